// The volumes of whole jobs run under Wine (JobRunner.*), read by Info-ZIP and 7-Zip: each
// tests sound, extracted together they are the tree (every file, byte for byte, none twice),
// and the last ends with the catalogue list and the job log. The peers are Linux programs:
// native build only, after the Wine tests.
#ifndef _WIN32

#include "SharedTestData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(JobRunnerPeers, FolderJobVolumesTestSoundAndTogetherAreTheTree) {
    const std::filesystem::path folder =
        std::filesystem::path(TW_SOURCE_DIR) / "build" / "peer-volumes" / "runner";
    if (!std::filesystem::exists(folder / "source.txt")) {
        if (testsupport::SharedTestDataRequired()) FAIL() << "no volumes at " << folder;
        GTEST_SKIP() << "no volumes yet: the Wine test JobRunner.* writes " << folder;
    }
    // The tree was zipped from C:\<source>; the zips hold it under <source> with "/".
    std::string source = testsupport::ReadFile((folder / "source.txt").string()).substr(3);
    for (char& c : source)
        if (c == '\\') c = '/';
    std::vector<std::filesystem::path> zips;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".zip") zips.push_back(entry.path());
    std::sort(zips.begin(), zips.end());
    ASSERT_GE(zips.size(), 3u);

    const std::filesystem::path out = std::filesystem::temp_directory_path() / "tw_runner_peers";
    std::filesystem::remove_all(out);
    std::map<std::string, int> held;
    std::vector<std::string> last;
    for (const auto& zip : zips) {
        int status = -1;
        const std::string test = testsupport::RunCommand("unzip -tq " + Quoted(zip) + " 2>&1", status);
        EXPECT_EQ(status, 0) << zip << ": " << test;
        const std::string sevenZip = testsupport::RunCommand("7z t " + Quoted(zip) + " 2>&1", status);
        EXPECT_EQ(status, 0) << zip << ": " << sevenZip;
        last = Lines(testsupport::RunCommand("zipinfo -1 " + Quoted(zip), status));
        for (const std::string& name : last)
            ++held[name];
        const std::string extract =
            testsupport::RunCommand("unzip -qo " + Quoted(zip) + " -d " + Quoted(out) + " 2>&1", status);
        EXPECT_EQ(status, 0) << extract;
    }
    for (const auto& [name, count] : held)
        EXPECT_EQ(count, 1) << name << " is held " << count << " times";
    ASSERT_GE(last.size(), 2u);
    EXPECT_TRUE(last[last.size() - 2].ends_with(".csv")) << last[last.size() - 2];
    EXPECT_TRUE(last.back().ends_with("/Daily.log")) << last.back();

    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder / "tree")) {
        const std::string relative = std::filesystem::relative(entry.path(), folder / "tree").string();
        const std::filesystem::path extracted = out / source / relative;
        if (entry.is_directory()) {
            EXPECT_TRUE(std::filesystem::is_directory(extracted)) << relative;
            continue;
        }
        ++files;
        ASSERT_TRUE(std::filesystem::exists(extracted)) << relative;
        EXPECT_TRUE(testsupport::ReadFile(entry.path().string()) == testsupport::ReadFile(extracted.string()))
            << relative << " differs";
    }
    EXPECT_GE(files, 17);
    std::filesystem::remove_all(out);
}

// The split volume of the zip-events job (JobRunner.ZipEvents...), and the one copied from the
// temporary folder to a drive (JobCopy.ASplitVolume...): its last part names the set, and
// 7-Zip reads every entry across the parts, the large file among them.
TEST(JobRunnerPeers, SplitJobVolumeTestsSoundAcrossItsParts) {
    for (const char* written : {"runner-split", "runner-split-copied"}) {
        SCOPED_TRACE(written);
        const std::filesystem::path folder =
            std::filesystem::path(TW_SOURCE_DIR) / "build" / "peer-volumes" / written;
        std::vector<std::filesystem::path> sets;
        int parts = 0;
        if (std::filesystem::exists(folder)) {
            for (const auto& entry : std::filesystem::directory_iterator(folder))
                if (entry.path().extension() == ".zip")
                    sets.push_back(entry.path());
                else
                    ++parts;
        }
        if (sets.empty()) {
            if (testsupport::SharedTestDataRequired()) FAIL() << "no split set at " << folder;
            GTEST_SKIP()
                << "no split set yet: the Wine tests JobRunner.ZipEvents... and JobCopy.ASplitVolume... "
                   "write "
                << folder;
        }
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(parts, 2);
        int status = -1;
        const std::string sevenZip = testsupport::RunCommand("7z t " + Quoted(sets[0]) + " 2>&1", status);
        EXPECT_EQ(status, 0) << sevenZip;
        EXPECT_NE(sevenZip.find("Everything is Ok"), std::string::npos) << sevenZip;
        const std::string listed = testsupport::RunCommand("7z l -slt " + Quoted(sets[0]) + " 2>&1", status);
        EXPECT_EQ(status, 0) << listed;
        EXPECT_NE(listed.find("huge.bin"), std::string::npos) << listed;
        if (std::string(written) == "runner-split") {
            EXPECT_NE(listed.find("Path = syssta.bkf"), std::string::npos) << listed;
        }
    }
}

// The job whose second volume was damaged before its test (JobRunner.AVolumeThatFails...):
// 7-Zip finds that volume unsound, and every file the job left with a cleared archive bit is
// in a volume that 7-Zip tests sound.
TEST(JobRunnerPeers, EveryFileLeftWithAClearedArchiveBitIsInAVolumeThatTestsSound) {
    const std::filesystem::path folder =
        std::filesystem::path(TW_SOURCE_DIR) / "build" / "peer-volumes" / "runner-unsound";
    if (!std::filesystem::exists(folder / "cleared.txt")) {
        if (testsupport::SharedTestDataRequired()) FAIL() << "no volumes at " << folder;
        GTEST_SKIP() << "no volumes yet: the Wine test JobRunner.AVolumeThatFails... writes " << folder;
    }
    std::map<std::string, int> inSound;
    int unsound = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".zip") continue;
        int status = -1;
        testsupport::RunCommand("7z t " + Quoted(entry.path()) + " 2>&1", status);
        if (status != 0) {
            ++unsound;
            continue;
        }
        for (const std::string& name :
             Lines(testsupport::RunCommand("zipinfo -1 " + Quoted(entry.path()), status)))
            ++inSound[name];
    }
    EXPECT_EQ(unsound, 1);
    const std::vector<std::string> cleared = Lines(testsupport::ReadFile((folder / "cleared.txt").string()));
    EXPECT_FALSE(cleared.empty());
    for (const std::string& name : cleared)
        EXPECT_EQ(inSound[name], 1) << name << " has a cleared archive bit";
}

#endif
