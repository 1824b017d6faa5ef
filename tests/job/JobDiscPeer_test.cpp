// The disc two jobs wrote through the simulated drive under Wine (JobDiscStep.*), read by
// isoinfo and Info-ZIP: the last session lists every volume of both jobs in \Backup, each
// tests sound, and together they hold every source file byte for byte. Native build only.
#ifndef _WIN32

#include "SharedTestData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {} // namespace

TEST(JobDiscPeers, EveryVolumeOfBothJobsIsInTheLastSessionSoundAndWhole) {
    const std::filesystem::path images =
        std::filesystem::path(TW_SOURCE_DIR) / "build" / "win" / "peer-images";
    const std::filesystem::path image = images / "jobdisc-cdr.img";
    std::ifstream startFile(images / "jobdisc-cdr.img.start");
    unsigned start = 0;
    if (!(startFile >> start) || !std::filesystem::exists(image)) {
        if (testsupport::SharedTestDataRequired()) FAIL() << "no image at " << image;
        GTEST_SKIP() << "no image yet: the Wine test JobDiscStep.* writes " << image;
    }
    const std::string session = " -T " + std::to_string(start);
    int status = -1;
    std::istringstream listing(
        testsupport::RunCommand("isoinfo -i '" + image.string() + "'" + session + " -J -f", status));
    ASSERT_EQ(status, 0);
    std::vector<std::string> zips;
    for (std::string line; std::getline(listing, line);)
        if (line.rfind("/Backup/", 0) == 0 && line.ends_with(".zip")) zips.push_back(line);
    EXPECT_GE(zips.size(), 5u) << "four volumes of the first job, one of the second";

    const std::filesystem::path out = std::filesystem::temp_directory_path() / "jobdisc-peer";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out / "x");
    for (const std::string& zip : zips) {
        SCOPED_TRACE(zip);
        const std::filesystem::path copy = out / std::filesystem::path(zip).filename();
        testsupport::RunCommand("isoinfo -i '" + image.string() + "'" + session + " -J -x '" + zip + "' > '" +
                                    copy.string() + "'",
                                status);
        ASSERT_EQ(status, 0);
        testsupport::RunCommand("unzip -tq '" + copy.string() + "' >/dev/null 2>&1", status);
        EXPECT_EQ(status, 0);
        testsupport::RunCommand("unzip -oqq '" + copy.string() + "' -d '" + (out / "x").string() + "' 2>&1",
                                status);
        EXPECT_EQ(status, 0);
    }
    // Every source file, found by its name among the extracted ones, byte for byte.
    for (const auto& source : std::filesystem::directory_iterator(images / "jobdisc-cdr.img.src")) {
        SCOPED_TRACE(source.path().filename().string());
        bool found = false;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(out / "x"))
            if (entry.path().filename() == source.path().filename()) {
                found = true;
                EXPECT_TRUE(testsupport::ReadFile(entry.path().string()) ==
                            testsupport::ReadFile(source.path().string()));
            }
        EXPECT_TRUE(found);
    }
    std::filesystem::remove_all(out);
}

#endif // _WIN32
