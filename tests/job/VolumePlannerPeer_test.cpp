// The planner's volumes made through the real zip component under Wine (PlannerWithZipper),
// read by Info-ZIP: each tests sound, the catalogue list names exactly the files each volume
// holds, and split sets joined by zip hold every file once. The peers are Linux programs: this
// exists in the native build only. Missing volumes fail where the run must be whole.
#ifndef _WIN32

#include "SharedTestData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

#define SKIP_OR_FAIL_WITHOUT(path)                                                                           \
    if (!std::filesystem::exists(path)) {                                                                    \
        if (testsupport::SharedTestDataRequired()) FAIL() << "no volumes at " << (path);                     \
        GTEST_SKIP() << "no volumes yet: the Wine tests PlannerWithZipper.* write " << (path);               \
    }

} // namespace

TEST(PlannerPeers, VolumesTestSoundAndTheCatalogueListMatchesTheirEntries) {
    const std::filesystem::path folder =
        std::filesystem::path(TW_SOURCE_DIR) / "build" / "peer-volumes" / "planner";
    SKIP_OR_FAIL_WITHOUT(folder / "catalog.csv");
    std::map<std::string, std::set<std::string>> listed;
    std::ifstream csv(folder / "catalog.csv");
    for (std::string line; std::getline(csv, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::stringstream fields(line);
        std::string zipName, fileName;
        std::getline(fields, zipName, ',');
        std::getline(fields, fileName, ',');
        listed[zipName].insert(fileName);
    }
    ASSERT_EQ(listed.size(), 2u);
    for (const auto& [zipName, names] : listed) {
        const std::string volume = (folder / zipName).string();
        int status = -1;
        const std::string test = testsupport::RunCommand("unzip -tq '" + volume + "' 2>&1", status);
        EXPECT_EQ(status, 0) << test;
        const std::string list = testsupport::RunCommand("zipinfo -1 '" + volume + "'", status);
        EXPECT_EQ(status, 0);
        std::set<std::string> entries;
        std::stringstream lines(list);
        for (std::string entry; std::getline(lines, entry);)
            if (entry.find(".csv") == std::string::npos && entry.find(".log") == std::string::npos)
                entries.insert(entry);
        EXPECT_EQ(entries, names) << zipName;
    }
}

TEST(PlannerPeers, SplitSetsJoinedByZipTestSoundAndHoldEveryFileOnce) {
    const std::filesystem::path folder =
        std::filesystem::path(TW_SOURCE_DIR) / "build" / "peer-volumes" / "planner-split";
    for (const std::string mode : {"plain", "optimise"}) {
        SKIP_OR_FAIL_WITHOUT(folder / mode);
        const std::filesystem::path joined = std::filesystem::temp_directory_path() / ("tw_joined_" + mode);
        std::filesystem::remove_all(joined);
        std::filesystem::create_directories(joined);
        // A set is named by its last part, the one with the directory.
        std::vector<std::filesystem::path> sets;
        int parts = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder / mode)) {
            ++parts;
            if (entry.path().extension() == ".zip") sets.push_back(entry.path());
        }
        std::map<std::string, int> names;
        for (const std::filesystem::path& last : sets) {
            const std::filesystem::path whole = joined / last.filename();
            int status = -1;
            const std::string sevenZip = testsupport::RunCommand("7z t " + Quoted(last) + " 2>&1", status);
            EXPECT_EQ(status, 0) << mode << ": " << sevenZip;
            const std::string merge = testsupport::RunCommand(
                "zip -q -s 0 " + Quoted(last) + " --out " + Quoted(whole) + " 2>&1", status);
            ASSERT_EQ(status, 0) << mode << ": zip cannot join " << last << ": " << merge;
            const std::string test = testsupport::RunCommand("unzip -tq " + Quoted(whole) + " 2>&1", status);
            EXPECT_EQ(status, 0) << mode << ": " << test;
            std::stringstream lines(testsupport::RunCommand("zipinfo -1 " + Quoted(whole), status));
            for (std::string name; std::getline(lines, name);)
                ++names[name];
        }
        EXPECT_GE(parts, 4) << mode << ": the large file spans parts";
        EXPECT_EQ(names,
                  (std::map<std::string, int>{
                      {"small1.bin", 1}, {"huge.bin", 1}, {"small2.bin", 1}, {"Daily " + mode + ".log", 1}}))
            << mode;
        std::filesystem::remove_all(joined);
    }
}

#endif
