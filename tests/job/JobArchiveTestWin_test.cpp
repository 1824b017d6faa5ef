// The test of a job's finished archive on the job's own zip component: an archive made by the
// zip component with one entry damaged, tested twice as the job does, then cancelled.
#include "WinTestSupport.h"
#include "job/JobArchiveTest.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

TEST(JobArchiveTest, ShowsEachEntryNamesTheCorruptOneAndStopsOnTheJobsCancel) {
    TempFolder work;
    zip::TWinExtractFileSystem in;
    zip::TWinZipperFileSystem out{[](const std::string&) { return std::string("Fixed"); }};
    zip::TZipper zipper{in, out};
    zipper.SetRootDir(work.Path());
    zipper.SetZipName(work / "job.zip");
    for (const char* name : {"good.txt", "bad.txt", "last.txt"}) {
        WriteWholeFile(work / name, std::string(3000, name[0]));
        zipper.FilesList.Add(work / name);
    }
    ASSERT_EQ(zipper.Zip(), 3);
    const std::string archive = work / "job.zip";
    std::string bytes = ReadWholeFile(archive);
    const size_t at = bytes.find("bad.txt") + 7 + 4;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
    WriteWholeFile(archive, bytes);

    zip::TUnZipper zipper1(in);
    zipper1.SetZipName(archive);
    job::TJobArchiveTest test;
    std::vector<std::string> statuses, log;
    int progress = -1;
    bool cancelled = false;
    test.Status = [&](const std::string& text) { statuses.push_back(text); };
    test.Log = [&](const std::string& text) { log.push_back(text); };
    test.Progress = [&](int percent) { progress = percent; };
    test.JobCancelled = [&] { return cancelled; };
    test.Connect(zipper1, nullptr);
    test.Testing = true;
    EXPECT_FALSE(zipper1.TestArchive());
    EXPECT_TRUE(log.empty()) << "the first pass names nothing";
    test.ReportBadCrc = true;
    EXPECT_FALSE(zipper1.TestArchive());
    EXPECT_EQ(log, std::vector<std::string>{"bad.txt in " + archive + " may be corrupt."});
    EXPECT_EQ(statuses.front(), "Verified: good.txt. job.zip");
    EXPECT_GT(progress, 0) << "the job's bar moves";

    statuses.clear();
    cancelled = true;
    try {
        zipper1.TestArchive();
    } catch (const std::exception&) {
    }
    EXPECT_EQ(statuses.size(), 1u) << "the job's cancel stops the test after the entry in hand";
}
