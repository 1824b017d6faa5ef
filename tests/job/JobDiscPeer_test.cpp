// Discs that whole jobs wrote through the simulated drive under Wine (JobDiscStep.*), read by
// isoinfo, xorriso and Info-ZIP: the last session of each disc lists the same volumes to both
// readers, each tests sound, and together the discs hold every source file once, byte for
// byte. Native build only.
#ifndef _WIN32

#include "SharedTestData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

const std::filesystem::path& Images() {
    static const std::filesystem::path images =
        std::filesystem::path(TW_SOURCE_DIR) / "build" / "win" / "peer-images";
    return images;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// The zips in \Backup of the image's last session, as isoinfo lists them; xorriso must list the
// same. Each is extracted, tested and unpacked into a folder of its own under out.
size_t CheckLastSession(const std::string& name, const std::filesystem::path& out) {
    SCOPED_TRACE(name);
    const std::filesystem::path image = Images() / name;
    std::ifstream startFile(Images() / (name + ".start"));
    unsigned start = 0;
    if (!(startFile >> start) || !std::filesystem::exists(image)) {
        ADD_FAILURE() << "no image at " << image;
        return 0;
    }
    const std::string session = " -T " + std::to_string(start);
    int status = -1;
    std::set<std::string> zips, xorriso;
    for (const std::string& line :
         Lines(testsupport::RunCommand("isoinfo -i '" + image.string() + "'" + session + " -J -f", status)))
        if (line.rfind("/Backup/", 0) == 0 && line.ends_with(".zip")) zips.insert(line);
    EXPECT_EQ(status, 0);
    for (std::string line : Lines(testsupport::RunCommand("LC_ALL=C.UTF-8 xorriso -indev '" + image.string() +
                                                              "' -load sbsector " + std::to_string(start) +
                                                              " -find /Backup -name '*.zip' 2>/dev/null",
                                                          status))) {
        if (line.size() > 2 && line.front() == '\'') line = line.substr(1, line.size() - 2);
        if (line.rfind("/Backup/", 0) == 0) xorriso.insert(line);
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(zips, xorriso) << "isoinfo and xorriso see one last session";

    for (const std::string& zip : zips) {
        SCOPED_TRACE(zip);
        const std::filesystem::path folder = out / (name + std::filesystem::path(zip).stem().string());
        std::filesystem::create_directories(folder);
        const std::filesystem::path copy =
            out / (name + "-" + std::filesystem::path(zip).filename().string());
        testsupport::RunCommand("isoinfo -i '" + image.string() + "'" + session + " -J -x '" + zip + "' > '" +
                                    copy.string() + "'",
                                status);
        EXPECT_EQ(status, 0);
        testsupport::RunCommand("unzip -tq '" + copy.string() + "' >/dev/null 2>&1", status);
        EXPECT_EQ(status, 0) << "every listed volume tests sound";
        testsupport::RunCommand("unzip -oqq '" + copy.string() + "' -d '" + folder.string() + "' 2>&1",
                                status);
        EXPECT_EQ(status, 0);
    }
    return zips.size();
}

// Every source file is among the unpacked files exactly once, with its bytes.
void SourcesHeldOnce(const std::filesystem::path& sources, const std::filesystem::path& out) {
    ASSERT_TRUE(std::filesystem::exists(sources)) << sources;
    for (const auto& source : std::filesystem::directory_iterator(sources)) {
        SCOPED_TRACE(source.path().filename().string());
        int found = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
            if (entry.is_regular_file() && entry.path().filename() == source.path().filename()) {
                ++found;
                EXPECT_TRUE(testsupport::ReadFile(entry.path().string()) ==
                            testsupport::ReadFile(source.path().string()));
            }
        EXPECT_EQ(found, 1);
    }
}

bool ImagesPresent(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (!std::filesystem::exists(Images() / (name + ".start"))) return false;
    return true;
}

#define REQUIRE_IMAGES(...)                                                                                  \
    if (!ImagesPresent({__VA_ARGS__})) {                                                                     \
        if (testsupport::SharedTestDataRequired()) FAIL() << "no images in " << Images();                    \
        GTEST_SKIP() << "no images yet: the Wine tests JobDiscStep.* write them to " << Images();            \
    }

} // namespace

// Two jobs on one disc: the last session lists the volumes of both.
TEST(JobDiscPeers, EveryVolumeOfBothJobsIsInTheLastSessionSoundAndWhole) {
    REQUIRE_IMAGES("jobdisc-cdr.img");
    const std::filesystem::path out = std::filesystem::temp_directory_path() / "jobdisc-peer";
    std::filesystem::remove_all(out);
    EXPECT_GE(CheckLastSession("jobdisc-cdr.img", out), 5u)
        << "four volumes of the first job, one of the second";
    SourcesHeldOnce(Images() / "jobdisc-cdr.img.src", out);
    std::filesystem::remove_all(out);
}

// A hidden three-volume job whose first disc filled, swapped by the tray or after the notice: the
// disc it was given next continues its own sessions, not the first disc's, so both last sessions
// list only sound volumes and the source is on the two discs once.
TEST(JobDiscPeers, ASwappedDiscHoldsItsOwnSessionsAndTheTwoDiscsTheSourceOnce) {
    REQUIRE_IMAGES("jobswap-d0.img", "jobswap-d1.img", "jobnotice-d0.img", "jobnotice-d1.img");
    for (const std::string job : {"jobswap", "jobnotice"}) {
        SCOPED_TRACE(job);
        const std::filesystem::path out = std::filesystem::temp_directory_path() / (job + "-peer");
        std::filesystem::remove_all(out);
        const size_t first = CheckLastSession(job + "-d0.img", out);
        const size_t second = CheckLastSession(job + "-d1.img", out);
        EXPECT_EQ(first, 1u) << "room for one session on the first disc";
        EXPECT_EQ(first + second, 3u);
        SourcesHeldOnce(Images() / (job + ".src"), out);
        std::filesystem::remove_all(out);
    }
}

#endif // _WIN32
