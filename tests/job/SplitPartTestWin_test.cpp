// The job's test of a split volume finds each part where the set put it: a set of more than a
// hundred parts (".z100" and up), its last part under the volume's name, and the later parts
// in a second destination, as a destination that filled leaves them. The zip component makes
// the set; the unzip component tests it through the job's next-part answer.
#include "WinTestSupport.h"
#include "job/JobDiscStep.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using testsupport::FileExists;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

TEST(SplitPartTest, ASetOfOverAHundredPartsOverTwoDestinationsTestsSound) {
    TempFolder source, first, second;
    zip::TWinExtractFileSystem in;
    zip::TWinZipperFileSystem out{[](const std::string&) { return std::string("Fixed"); }};
    zip::TZipper zipper{in, out};
    zipper.SetRootDir(source.Path());
    std::mt19937 random(31);
    std::string bytes(1'700'000, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    WriteWholeFile(source / "big.bin", bytes);
    WriteWholeFile(source / "small.txt", "small");
    zipper.FilesList.Add(source / "big.bin");
    zipper.FilesList.Add(source / "small.txt");
    zipper.PackLevel = 0;
    zipper.MultiZipInfo.MultiMode = zip::mmBlocks;
    zipper.MultiZipInfo.BlockSize = zipper.MultiZipInfo.FirstBlockSize = 16'384;
    const std::string set = first / "Set";
    zipper.SetZipName(set + ".zip");
    ASSERT_EQ(zipper.Zip(), 2);
    // The run leaves the last part under its number; the job gives it the volume's name.
    const int parts = zipper.VolumesWritten();
    ASSERT_GT(parts, 101);
    char last[16];
    std::snprintf(last, sizeof last, ".z%02d", parts);
    ASSERT_TRUE(MoveFileA((set + last).c_str(), (set + ".zip").c_str()));
    // From part 60 on, and the last, the second destination took them.
    for (int part = 60; part < parts; ++part) {
        char name[16];
        std::snprintf(name, sizeof name, "Set.z%02d", part);
        ASSERT_TRUE(MoveFileA((first / name).c_str(), (second / name).c_str()));
    }
    ASSERT_TRUE(MoveFileA((set + ".zip").c_str(), (second / "Set.zip").c_str()));

    const std::vector<std::string> destinations{first.Path(),
                                                second.Path().substr(0, second.Path().size() - 1)};
    zip::TUnZipper tester(in);
    std::vector<std::string> asked;
    tester.OnGetNextDisk = [&](zip::TUnZipper&, int number, std::string& fileName) {
        fileName = job::SplitPartToTest(fileName, number, destinations);
        asked.push_back(fileName);
    };
    tester.SetZipName(second / "Set.zip");
    EXPECT_TRUE(tester.TestArchive());
    ASSERT_FALSE(asked.empty());
    for (const std::string& name : asked)
        EXPECT_TRUE(FileExists(name)) << name;
    EXPECT_EQ(asked.back(), second / "Set.zip");
}
