// Zips made by Info-ZIP zip and by python's zipfile are catalogued line for line as python
// itself lists them, and the browser then shows one row per path with the newest volume.

// The peers are Linux programs: these tests exist in the native build only.
#ifndef _WIN32

#include "UnZipperSupport.h"
#include "job/Catalog.h"
#include "zip/UnZipper.h"

#include <gtest/gtest.h>

namespace {

using testsupport::RunCommand;

// What python's zipfile makes of the archives, in the catalogue's line format.
const char* const pythonLister =
    "import os,sys,zipfile\n"
    "for p in sys.argv[1:]:\n"
    "  for i,e in enumerate(zipfile.ZipFile(p).infolist()):\n"
    "    n=e.filename.replace('/','\\\\'); c=n.rfind('\\\\')+1\n"
    "    y,mo,d,h,mi,s=e.date_time\n"
    "    v=(y-1980)<<25|mo<<21|d<<16|h<<11|mi<<5|s//2\n"
    "    v=v-2**32 if v>=2**31 else v\n"
    "    sys.stdout.write('%s\"%s\"%d\"%s\"%d\\r\\n'%(n[:c],n[c:],v,os.path.basename(p),i))\n";

} // namespace

TEST(CatalogPeers, ZipsOfInfoZipAndPythonCatalogueAsPythonListsThem) {
    unziptest::TTempFolder tmp;
    const std::string dir = tmp.Path();
    testsupport::WriteFile(tmp / "lister.py", pythonLister);
    // A folder entry and two files by Info-ZIP; by python one file in three volumes (the
    // second newest) and a file dated 2050, beyond the signed range.
    ASSERT_EQ(RunCommand("cd " + dir +
                         " && mkdir -p docs/sub && echo a > docs/a.txt && echo b > docs/sub/b.txt && " +
                         "touch -d '2019-05-06 07:08:10' docs/a.txt && zip -qr iz.zip docs && python3 -c \"" +
                         "import zipfile\n" + "for v,y in ((1,2020),(2,2024),(3,2022)):\n" +
                         "  with zipfile.ZipFile('vol%d.zip'%v,'w') as z:\n" +
                         "    z.writestr(zipfile.ZipInfo('data/same.txt',(y,3,4,5,6,8)),'x'*v)\n" +
                         "    if v==3: z.writestr(zipfile.ZipInfo('data/late.txt',(2050,1,2,3,4,6)),'l')\n\"")
                  .exitCode,
              0);
    const std::vector<std::string> zips = {"iz.zip", "vol1.zip", "vol2.zip", "vol3.zip"};
    std::string expected;
    std::string arguments;
    for (const std::string& name : zips)
        arguments += " " + dir + "/" + name;
    const testsupport::TCommandResult listed = RunCommand("python3 " + dir + "/lister.py" + arguments);
    ASSERT_EQ(listed.exitCode, 0);

    unziptest::TStdFileSystem files;
    std::string catalogue;
    for (const std::string& name : zips) {
        zip::TUnZipper unzipper(files);
        unzipper.SetZipName(tmp / name);
        catalogue += job::CatalogLinesOfZip(unzipper, name);
    }
    EXPECT_EQ(catalogue, listed.output);
    EXPECT_NE(catalogue.find("docs\\\"\""), std::string::npos);    // the folder entry
    EXPECT_NE(catalogue.find("\"late.txt\"-"), std::string::npos); // 2050 is negative

    job::CatalogRows rows;
    job::ForEachLine(catalogue, [&](std::string_view line) { rows.AddLine(line); });
    rows.FinishLoad();
    EXPECT_EQ(rows.Damaged(), 0);
    for (int row = 0; row < rows.Count(); ++row)
        if (rows.Name(row) == "same.txt") {
            EXPECT_EQ(rows.Zip(row), "vol2.zip");
        }
    EXPECT_EQ(rows.Count(), 4); // a.txt, b.txt, same.txt, late.txt
}

#endif
