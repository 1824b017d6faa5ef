// The planner's volumes made through the real zip component under Wine (PlannerWithZipper),
// read by Info-ZIP: each tests sound, and the catalogue list names exactly the files each
// volume holds. The peers are Linux programs: this exists in the native build only.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

std::string RunShell(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    status = pclose(pipe);
    return out;
}

} // namespace

TEST(PlannerPeers, VolumesTestSoundAndTheCatalogueListMatchesTheirEntries) {
    const std::filesystem::path folder =
        std::filesystem::path(TW_SOURCE_DIR) / "build" / "peer-volumes" / "planner";
    if (!std::filesystem::exists(folder / "catalog.csv"))
        GTEST_SKIP() << "no volumes yet: the Wine test PlannerWithZipper.* writes " << folder;
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
        const std::string test = RunShell("unzip -tq '" + volume + "' 2>&1", status);
        EXPECT_EQ(status, 0) << test;
        const std::string list = RunShell("zipinfo -1 '" + volume + "'", status);
        EXPECT_EQ(status, 0);
        std::set<std::string> entries;
        std::stringstream lines(list);
        for (std::string entry; std::getline(lines, entry);)
            if (entry.find(".csv") == std::string::npos && entry.find(".log") == std::string::npos)
                entries.insert(entry);
        EXPECT_EQ(entries, names) << zipName;
    }
}

#endif
