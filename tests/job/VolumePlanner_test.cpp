// The planner's rules over a component that calls back as the real one does: no line is lost
// when a volume fills, the entry limit, deferral, the rescue of a volume a reserve would
// leave empty, the end lines, and entries the component skipped.

#include "PlannerSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using namespace job;
using namespace plannertest;

namespace {

VolumePlan PlanOf(const std::vector<std::pair<std::string, int64_t>>& lines, int64_t maxZipSize) {
    VolumePlan plan;
    for (const auto& [path, size] : lines)
        plan.FilestoZipList.push_back({path, size});
    plan.MaxZipSize = maxZipSize;
    plan.FilesToBak = static_cast<int>(lines.size());
    plan.JobName = "Daily.dat";
    plan.RunLogName = "C:\\Tarnwick\\Daily.log";
    plan.ZipPackLevel = 0;
    return plan;
}

void SizesFrom(RecordingHost& host, const VolumePlan& plan) {
    host.sizeOf = [lines = plan.FilestoZipList](const std::string& path) -> int64_t {
        for (const PlanLine& line : lines)
            if (line.Path == path) return line.Size;
        return 1000;
    };
}

int Count(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

} // namespace

TEST(VolumePlanner, FullVolumeLeavesTheNextLineForTheNextVolumeAndTheLastLineIsNotLost) {
    VolumePlan plan = PlanOf({{"C:\\d\\1.bin", 1'000'000},
                              {"C:\\d\\2.bin", 1'000'000},
                              {"C:\\d\\3.bin", 1'000'000},
                              {"C:\\d\\4.bin", 1'000'000}},
                             4'194'304);
    RecordingHost host;
    SizesFrom(host, plan);
    const auto volumes = RunVolumes(plan, host);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0], (std::vector<std::string>{"C:\\d\\1.bin", "C:\\d\\2.bin", "C:\\d\\3.bin"}));
    EXPECT_EQ(volumes[1], (std::vector<std::string>{"C:\\d\\4.bin", "C:\\Tarnwick\\Daily.log"}));
    EXPECT_EQ(plan.FilestoZipListNr, static_cast<int>(plan.FilestoZipList.size()));
    EXPECT_EQ(Count(host.runLog, "Backup end: Daily.dat"), 1) << "end lines once";
    EXPECT_EQ(Count(host.runLog, "Files backed up: 4"), 1);
    EXPECT_EQ(host.waitedMs, 0) << "the log is written through: measured at once";
    EXPECT_EQ(plan.BytesToBak, 4'000'000 + 1000);
}

TEST(VolumePlanner, EntryLimitEndsAVolumeUnlessTenOrFewerLinesRemain) {
    for (int total : {65'520, 65'505}) {
        std::vector<std::pair<std::string, int64_t>> lines;
        for (int i = 0; i < total; ++i)
            lines.push_back({"C:\\f\\" + std::to_string(i), 1});
        VolumePlan plan = PlanOf(lines, 4'294'967'295);
        plan.RunLogName.clear();
        RecordingHost host;
        host.sizeOf = [](const std::string&) { return int64_t(1); };
        const auto volumes = RunVolumes(plan, host);
        if (total == 65'520) {
            ASSERT_EQ(volumes.size(), 2u);
            EXPECT_EQ(volumes[0].size(), 65'500u);
            EXPECT_EQ(volumes[1].size(), 20u);
        } else {
            ASSERT_EQ(volumes.size(), 1u) << "10 or fewer left still go in";
            EXPECT_EQ(volumes[0].size(), 65'505u);
        }
    }
}

TEST(VolumePlanner, LargeFilesAreDeferredOrRefusedAndAReserveThatEmptiesAVolumeIsLowered) {
    // Space optimisation, once 12,000,000 bytes of a volume are used: a file that does not fit
    // the room left waits for a later volume; one whose estimate passes the volume size is
    // refused without splitting.
    VolumePlan plan = PlanOf({{"C:\\d\\a.bin", 13'000'000},
                              {"C:\\d\\big.bin", 7'500'000},
                              {"C:\\d\\huge.bin", 30'000'000},
                              {"C:\\d\\b.bin", 1'000'000}},
                             20'000'000);
    plan.Optimizeusedspace = true;
    RecordingHost host;
    SizesFrom(host, plan);
    auto volumes = RunVolumes(plan, host);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0], (std::vector<std::string>{"C:\\d\\a.bin", "C:\\d\\b.bin"}));
    EXPECT_EQ(volumes[1], (std::vector<std::string>{"C:\\d\\big.bin", "C:\\Tarnwick\\Daily.log"}));
    EXPECT_EQ(Count(host.jobLog, "C:\\d\\huge.bin was not added it is too big"), 1);
    EXPECT_TRUE(plan.FilesSkipped);

    // A reserve that leaves too little room for the only (deferred) file is lowered once.
    VolumePlan reserved = PlanOf({{"C:\\d\\big.bin", 6'000'000}}, 10'000'000);
    reserved.Optimizeusedspace = true;
    reserved.Splitlargefiles = true;
    reserved.SpaceReserve = 5'000'000;
    RecordingHost second;
    SizesFrom(second, reserved);
    volumes = RunVolumes(reserved, second);
    ASSERT_FALSE(volumes.empty());
    EXPECT_EQ(volumes[0].front(), "C:\\d\\big.bin");
    EXPECT_EQ(reserved.SpaceReserve, 2'097'152);

    // A file of 4 GiB or more whose list size (its low 32 bits) looks small is too big, not
    // a file that cannot be read.
    VolumePlan vast = PlanOf({{"C:\\d\\disk.vhd", 1000}, {"C:\\d\\b.bin", 1000}}, 20'000'000);
    RecordingHost third;
    third.sizeOf = [](const std::string& path) -> int64_t {
        return path == "C:\\d\\disk.vhd" ? 4'294'968'296 : 1000;
    };
    volumes = RunVolumes(vast, third);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0], (std::vector<std::string>{"C:\\d\\b.bin", "C:\\Tarnwick\\Daily.log"}));
    EXPECT_EQ(Count(third.jobLog, "C:\\d\\disk.vhd was not added it is too big"), 1);
    EXPECT_TRUE(vast.FilesSkipped);
}

TEST(VolumePlanner, SplitModeZipsEveryDeferredFileOnceTheMainListIsDoneWithOrWithoutOptimising) {
    for (bool optimise : {false, true}) {
        VolumePlan plan = PlanOf({{"C:\\d\\a.bin", 1'000'000},
                                  {"C:\\d\\huge.bin", 3 * 4'194'304},
                                  {"C:\\d\\mid.bin", 3'000'000},
                                  {"C:\\d\\b.bin", 1'000'000}},
                                 4'194'304);
        plan.Splitlargefiles = true;
        plan.Optimizeusedspace = optimise;
        RecordingHost host;
        SizesFrom(host, plan);
        const auto volumes = RunVolumes(plan, host);
        std::vector<std::string> zipped;
        for (const auto& volume : volumes)
            zipped.insert(zipped.end(), volume.begin(), volume.end());
        for (const char* path :
             {"C:\\d\\a.bin", "C:\\d\\huge.bin", "C:\\d\\mid.bin", "C:\\d\\b.bin", "C:\\Tarnwick\\Daily.log"})
            EXPECT_EQ(Count(zipped, path), 1) << path << (optimise ? " optimising" : " not optimising");
        EXPECT_LE(volumes.size(), 4u) << "no empty volumes without end";
        EXPECT_TRUE(plan.ZipVolumeList.empty());
        EXPECT_FALSE(plan.FilesSkipped);
    }
}

TEST(VolumePlanner, CatalogueListOrLogTooBigForTheRoomLeftWaitsForTheNextVolume) {
    // Three files leave about 1,390,000 bytes; the catalogue list fits, the log does not.
    const std::string csv = "C:\\Tarnwick\\Catalogs\\Daily 202612070400.csv";
    VolumePlan plan = PlanOf(
        {{"C:\\d\\1.bin", 1'000'000}, {"C:\\d\\2.bin", 900'000}, {"C:\\d\\3.bin", 900'000}}, 4'194'304);
    plan.DoCatalog = true;
    plan.CatSaved = false;
    plan.CsvFileName = csv;
    RecordingHost host;
    host.sizeOf = [&](const std::string& path) -> int64_t {
        if (path == csv) return 300;
        if (path == plan.RunLogName) return 2'000'000;
        return path == "C:\\d\\1.bin" ? 1'000'000 : 900'000;
    };
    auto volumes = RunVolumes(plan, host);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0], (std::vector<std::string>{"C:\\d\\1.bin", "C:\\d\\2.bin", "C:\\d\\3.bin", csv}));
    EXPECT_EQ(volumes[1], (std::vector<std::string>{plan.RunLogName}));
    EXPECT_EQ(Count(host.runLog, "Backup end: Daily.dat"), 1);
    EXPECT_EQ(Count(host.runLog, "File created: vol2.zip"), 1) << "the volume that holds the log";

    // Both too big: the list waits, the log follows it into the next volume.
    VolumePlan both = PlanOf({{"C:\\d\\1.bin", 1'000'000}, {"C:\\d\\2.bin", 900'000}}, 4'194'304);
    both.DoCatalog = true;
    both.CatSaved = false;
    both.CsvFileName = csv;
    RecordingHost second;
    second.sizeOf = [&](const std::string& path) -> int64_t {
        if (path == csv) return 2'500'000;
        if (path == both.RunLogName) return 10'000;
        return path == "C:\\d\\1.bin" ? 1'000'000 : 900'000;
    };
    volumes = RunVolumes(both, second);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[1], (std::vector<std::string>{csv, both.RunLogName}));
    EXPECT_EQ(both.FilestoZipListNr, static_cast<int>(both.FilestoZipList.size()));
}

TEST(VolumePlanner, ALastVolumeBuiltAgainOrAResumedRunQueuesTheCatalogueListAndTheLogOnce) {
    const std::string csv = "C:\\Tarnwick\\Catalogs\\Daily 202612070400.csv";
    VolumePlan plan = PlanOf({{"C:\\d\\1.bin", 1'000'000}, {"C:\\d\\2.bin", 1'000'000}}, 4'194'304);
    plan.DoCatalog = true;
    plan.CatSaved = false;
    plan.CsvFileName = csv;
    const std::vector<std::string> lastVolume = {"C:\\d\\1.bin", "C:\\d\\2.bin", csv, plan.RunLogName};
    RecordingHost host;
    SizesFrom(host, plan);
    ASSERT_EQ(RunVolumes(plan, host), (std::vector<std::vector<std::string>>{lastVolume}));

    // The medium was full: the run goes back to the volume's start (the queued lines stay in
    // the list) and builds it again with a fresh planner.
    plan.FilestoZipListNr = 0;
    plan.CatSaved = false;
    plan.EndLinesWritten = false;
    plan.FileCount = plan.FilesCopyed = 0;
    plan.BytesToBak = 0;
    host.runLog.clear();
    EXPECT_EQ(RunVolumes(plan, host), (std::vector<std::vector<std::string>>{lastVolume}));
    EXPECT_EQ(plan.FilestoZipList.size(), 4u) << "nothing queued twice";
    EXPECT_TRUE(plan.CatSaved);
    EXPECT_EQ(Count(host.runLog, "Backup end: Daily.dat"), 1);
    EXPECT_EQ(Count(host.runLog, "Files backed up: 3"), 1) << "the log follows its end lines";

    // Resumed where the log waited for a volume of its own: the saved list ends with the two
    // queued lines, the flag of the end lines is not part of the saved state.
    VolumePlan resumed =
        PlanOf({{"C:\\d\\1.bin", 1'000'000}, {csv, 300}, {"C:\\Tarnwick\\Daily.log", 0}}, 4'194'304);
    resumed.CsvFileName = csv;
    resumed.FilestoZipListNr = 2;
    RecordingHost second;
    SizesFrom(second, resumed);
    EXPECT_EQ(RunVolumes(resumed, second),
              (std::vector<std::vector<std::string>>{{"C:\\Tarnwick\\Daily.log"}}));
    EXPECT_EQ(resumed.FilestoZipList.size(), 3u);
    EXPECT_EQ(Count(second.runLog, "Backup end: Daily.dat"), 1);
    EXPECT_TRUE(second.csv.empty()) << "the log has no line in the catalogue list";
}

TEST(VolumePlanner, EveryVolumeReadsTheFreeSpaceAgainAndClosesWithinIt) {
    // Another program fills the destination after the first volume: the second volume reads
    // the free space once it holds 10,000,000 bytes, and what it writes after that reading
    // counts against it, so it closes before the medium is full.
    std::vector<std::pair<std::string, int64_t>> lines;
    for (int i = 0; i < 20; ++i)
        lines.push_back({"C:\\d\\" + std::to_string(i) + ".bin", 3'000'000});
    VolumePlan plan = PlanOf(lines, 40'000'000);
    struct FillingDisk : RecordingHost {
        const VolumePlan* plan = nullptr;
        int secondVolumeReads = 0;
        int64_t MeasureDestFreeSpace() override {
            if (plan->ZipFileName == "vol1.zip") return 100'000'000;
            ++secondVolumeReads;
            // Every entry zipped so far is on the medium.
            return std::max<int64_t>(17'000'000 - 3'000'000 * static_cast<int64_t>(zipList.size()), 0);
        }
    } host;
    host.plan = &plan;
    SizesFrom(host, plan);
    const auto volumes = RunVolumes(plan, host);
    ASSERT_GE(volumes.size(), 3u);
    EXPECT_EQ(volumes[0].size(), 13u);
    EXPECT_GT(host.secondVolumeReads, 0);
    EXPECT_EQ(volumes[1].size(), 5u) << "about 12,000,000 bytes, then 5,000,000 free";
    EXPECT_EQ(plan.FilestoZipListNr, static_cast<int>(plan.FilestoZipList.size())) << "every line placed";
}

TEST(VolumePlanner, TheFreeSpaceIsReadWhereTheRunWritesNow) {
    // The volume preparation moved the run from the full E: to the alternative F:.
    std::vector<std::pair<std::string, int64_t>> lines;
    for (int i = 0; i < 12; ++i)
        lines.push_back({"C:\\d\\" + std::to_string(i) + ".bin", 3'000'000});
    VolumePlan plan = PlanOf(lines, 40'000'000);
    plan.DestPath = "F:\\Backup";
    struct TwoDrives : RecordingHost {
        std::vector<std::string> read;
        // The destination the files were set up with.
        int64_t MeasureDestFreeSpace() override { return DestFreeSpaceOf("E:\\Backup"); }
        int64_t DestFreeSpaceOf(const std::string& destPath) override {
            read.push_back(destPath);
            return destPath == "F:\\Backup" ? 100'000'000 : 3'000'000;
        }
    } host;
    SizesFrom(host, plan);
    const auto volumes = RunVolumes(plan, host);
    ASSERT_FALSE(volumes.empty());
    EXPECT_EQ(volumes[0].size(), 13u) << "every file and the log: no cap by the full drive";
    ASSERT_FALSE(host.read.empty());
    EXPECT_EQ(std::count(host.read.begin(), host.read.end(), "F:\\Backup"),
              static_cast<long>(host.read.size()));
}

TEST(VolumePlanner, AStatusThatCannotBeShownIsLoggedAndThePlanGoesOn) {
    struct FailingStatus : RecordingHost {
        void SetJobProgress(int) override { throw std::runtime_error("no window"); }
    };
    VolumePlan plan = PlanOf({{"C:\\d\\1.bin", 1000}, {"C:\\d\\2.bin", 1000}}, 4'194'304);
    FailingStatus host;
    SizesFrom(host, plan);
    const auto volumes = RunVolumes(plan, host);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0].size(), 3u) << "both files and the log";
    EXPECT_EQ(Count(host.programLog, "Warning, unknow error calculating status C:\\d\\1.bin"), 1);
}

TEST(VolumePlanner, EntriesTheComponentSkippedAreReportedOnceAndNotCountedAsBackedUp) {
    VolumePlan plan = PlanOf(
        {{"C:\\d\\a.txt", 10}, {"C:\\d\\locked.txt", 10}, {"C:\\d\\gone.txt", 10}, {"C:\\d\\z.txt", 10}},
        10'000'000);
    plan.DoCatalog = true;
    plan.CatSaved = false;
    plan.CsvFileName = "C:\\Tarnwick\\Catalogs\\Daily 202612070400.csv";
    RecordingHost host;
    SizesFrom(host, plan);
    host.unreadable = {"C:\\d\\locked.txt", "C:\\d\\gone.txt"};
    host.missing = {"C:\\d\\gone.txt"};
    // Missing at the pre-zip test too: never planned, never reported as skipped by the zip.
    const auto volumes = RunVolumes(plan, host);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0], (std::vector<std::string>{"C:\\d\\a.txt", "C:\\d\\z.txt", plan.CsvFileName,
                                                    "C:\\Tarnwick\\Daily.log"}));
    EXPECT_EQ(Count(host.jobLog, "File skipped it can not be accessed: C:\\d\\locked.txt"), 1);
    EXPECT_EQ(Count(host.jobLog, "File skipped, while in use: C:\\d\\gone.txt"), 1);
    EXPECT_EQ(plan.FilesCopyed, 4) << "two files, the catalogue list and the log";
    ASSERT_EQ(host.csv.size(), 2u) << "one .csv line per zipped file, none for the skipped one";
    EXPECT_EQ(host.csv[0], "vol1.zip,a.txt,C:\\d\\,07/12/2026 04:00:00,10,");
}

TEST(VolumePlanner, EstimateSamplesLargeFilesAndReadsAtMostNineMegabytes) {
    // Half zeros, half noise: whole-file compression of a small file and sampling of a large one.
    const int64_t size = 64'000'000;
    uint32_t seed = 1;
    int64_t bytesRead = 0;
    const BlockReader read = [&](int64_t offset, uint8_t* buffer, size_t wanted) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(wanted, size - offset));
        for (size_t i = 0; i < n; ++i) {
            seed = seed * 1103515245u + 12345u;
            buffer[i] = (i & 1) ? 0 : static_cast<uint8_t>(seed >> 16);
        }
        bytesRead += static_cast<int64_t>(n);
        return n;
    };
    std::vector<int> shown;
    const int64_t estimate = EstimateCompressedSize(size, 6, 100'000'000, read, {},
                                                    [&](int percent) { shown.push_back(percent); });
    ASSERT_FALSE(shown.empty()) << "the volume bar follows the samples";
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_LE(shown.back(), 64);
    EXPECT_GT(estimate, size / 2 + size / 50) << "noise does not shrink";
    EXPECT_LT(estimate, size * 3 / 4);
    EXPECT_LE(bytesRead, 9'000'000);
    EXPECT_EQ(EstimateCompressedSize(size, 0, 0, read), size) << "stored: the size itself";
}

// A deferred file is long: the short files after it are named for reading ahead once it is
// zipped, not while, when they could change before their test.
TEST(VolumePlanner, NoFileIsNamedForReadingAheadWhileADeferredFileIsZipped) {
    std::vector<std::pair<std::string, int64_t>> lines = {{"C:\\d\\a.bin", 13'000'000},
                                                          {"C:\\d\\big.bin", 7'500'000}};
    for (int i = 0; i < 12; ++i)
        lines.push_back({"C:\\d\\s" + std::to_string(i) + ".bin", 1'000'000});
    VolumePlan plan = PlanOf(lines, 20'000'000);
    plan.Optimizeusedspace = true;
    RecordingHost host;
    SizesFrom(host, plan);
    const auto volumes = RunVolumes(plan, host);
    ASSERT_EQ(volumes.size(), 2u);
    ASSERT_EQ(volumes[1].front(), "C:\\d\\big.bin") << "deferred to the next volume";
    const auto big = std::find(host.order.begin(), host.order.end(), "+C:\\d\\big.bin");
    ASSERT_NE(big, host.order.end());
    ASSERT_NE(big + 1, host.order.end());
    EXPECT_EQ((big + 1)->front(), '+') << *(big + 1);
    EXPECT_NE(std::find_if(big, host.order.end(), [](const std::string& event) { return event[0] == '?'; }),
              host.order.end())
        << "the files after it are read ahead again";
}
