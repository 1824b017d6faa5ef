// The planner filling volumes through the real zip component, with a loop playing the runner:
// four 1,000,000-byte files in 4 MiB volumes all arrive, an entry the component refuses is
// reported once, and the catalogue list and the job's text log close the last volume; in split
// mode a file three times the volume size is zipped across parts; a resumed run's catalogue
// list loses the lines of the partial volume and no others. The volumes and the list are
// left under build/peer-volumes for unzip and zipinfo (natively); a run clears what an earlier
// one left there before anything else, so the peers never read stale volumes.

#include "gui/ScriptedPrompter.h"
#include "job/VolumePlannerWin.h"
#include "job/WindowlessHost.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

using namespace job;

namespace {

std::string FixedDrive(const std::string&) {
    return "Fixed";
}

class RecordingWinHost : public WindowlessHost, public WinPlannerFiles {
  public:
    RecordingWinHost(PlannerFileOptions options, zip::TZipper& zipper)
        : WinPlannerFiles(std::move(options), *this), zipper_(zipper) {}
    void AddToZipFiles(const std::string& path) override { zipper_.FilesList.Add(path); }
    void AddToRunLog(const std::string& text) override {
        std::ofstream(runLog, std::ios::app | std::ios::binary) << text << "\r\n";
    }
    void AddToLog(const std::string& text) override { programLog.push_back(text); }
    void AddToJobLog(const std::string& text, bool) override { jobLog.push_back(text); }
    void Wait(int milliseconds) override { waitedMs += milliseconds; }

    std::string runLog;
    std::vector<std::string> programLog, jobLog;
    int waitedMs = 0;

  private:
    zip::TZipper& zipper_;
};

std::filesystem::path PeerFolder(const std::string& name) {
    const std::filesystem::path peers =
        std::filesystem::path("Z:" + std::string(TW_SOURCE_DIR)) / "build" / "peer-volumes" / name;
    std::filesystem::remove_all(peers);
    return peers;
}

std::string ScratchFolder(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder =
        std::string(temp) + "tw_" + name + "_" + std::to_string(GetCurrentProcessId()) + "\\";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "src");
    std::filesystem::create_directories(folder + "out");
    return folder;
}

void WriteRandomFile(const std::string& path, size_t size, std::mt19937& random) {
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

TEST(PlannerWithZipper, VolumesHoldEveryFileOnceAndEndWithTheCatalogueListAndTheLog) {
    const std::filesystem::path peers = PeerFolder("planner");
    const std::string folder = ScratchFolder("planner");

    VolumePlan plan;
    std::mt19937 random(16);
    for (int i = 1; i <= 4; ++i) {
        const std::string path = folder + "src\\part" + std::to_string(i) + ".bin";
        WriteRandomFile(path, 1'000'000, random);
        plan.FilestoZipList.push_back({path, 1'000'000});
    }
    const std::string refused = folder + "src\\refused.txt";
    std::ofstream(refused, std::ios::binary) << "kept out by the component";
    plan.FilestoZipList.insert(plan.FilestoZipList.begin() + 1, {refused, 25});
    plan.MaxZipSize = 4'194'304;
    plan.FilesToBak = 5;
    plan.ZipPackLevel = 0;
    plan.DoCatalog = true;
    plan.CatSaved = false;
    plan.JobName = "Daily.dat";
    plan.CsvFileName = folder + "Daily 202612070400.csv";
    plan.RunLogName = folder + "Daily.log";

    zip::TWinExtractFileSystem files;
    zip::TWinZipperFileSystem output{FixedDrive};
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope scope{prompter};
    zip::TZipper zipper{files, output};
    zipper.PackLevel = 0;
    zipper.TempPath = folder;

    PlannerFileOptions options;
    options.ZipPackLevel = 0;
    options.CsvFileName = plan.CsvFileName;
    options.DestPath = folder + "out";
    RecordingWinHost host(options, zipper);
    host.runLog = plan.RunLogName;
    host.AddToRunLog("Backup started: Daily.dat"); // the job start writes the log first
    VolumePlanner planner(plan, host, host);
    zipper.OnEndZip = [&](zip::TZipper&, const std::string& name, uint32_t uncompressed, uint32_t compressed,
                          uint32_t current) {
        planner.Zipper1EndZip(name, uncompressed, compressed, current);
    };
    int refusals = 0;
    zipper.OnStartZip = [&](zip::TZipper&, const std::string& name, zip::TZipHeaderInfo&, bool& skip) {
        if (name == refused) {
            skip = true;
            ++refusals;
        }
    };

    std::vector<std::string> volumes;
    while (volumes.size() < 5 && (plan.FilestoZipListNr < static_cast<int>(plan.FilestoZipList.size()) ||
                                  !plan.ZipVolumeList.empty())) {
        plan.CurrentZipBytes = 0;
        plan.ZipEntryCount = 0;
        plan.ZipBudget = plan.MaxZipSize;
        plan.LastFreeSpaceCheck = 0;
        plan.ZipFileName = "vol" + std::to_string(volumes.size() + 1) + ".zip";
        volumes.push_back(folder + "out\\" + plan.ZipFileName);
        zipper.SetZipName(volumes.back());
        zipper.FilesList.Clear();
        planner.StartVolume();
        ASSERT_GT(zipper.FilesList.Count(), 0);
        zipper.Zip();
    }

    ASSERT_EQ(volumes.size(), 2u);
    std::vector<std::vector<std::string>> entries;
    for (const std::string& volume : volumes) {
        zip::TUnZipper reader(files);
        reader.SetZipName(volume);
        EXPECT_TRUE(reader.TestArchive()) << volume;
        EXPECT_LE(std::filesystem::file_size(volume), 4'194'304u);
        entries.emplace_back();
        for (int i = 0; i < reader.Count(); ++i)
            entries.back().push_back(reader.FullName(i));
    }
    EXPECT_EQ(entries[0], (std::vector<std::string>{"part1.bin", "part2.bin", "part3.bin"}));
    EXPECT_EQ(entries[1], (std::vector<std::string>{"part4.bin", "Daily 202612070400.csv", "Daily.log"}));
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(
        std::count(host.jobLog.begin(), host.jobLog.end(), "File skipped it can not be accessed: " + refused),
        1);
    EXPECT_EQ(plan.FilesCopyed, 6) << "four files, the list and the log; not the refused one";
    EXPECT_EQ(host.waitedMs, 0);

    // For the native peers: the volumes and the catalogue list.
    std::filesystem::create_directories(peers);
    for (const std::string& volume : volumes)
        std::filesystem::copy_file(volume, peers / std::filesystem::path(volume).filename());
    std::filesystem::copy_file(plan.CsvFileName, peers / "catalog.csv");
    std::filesystem::remove_all(folder);
}

// Split mode: a file three times the volume size is deferred, then zipped across parts once the
// main list is done, with or without space optimisation; nothing waits for a volume that never
// comes. The parts of each run go to the peers, which join them and test the whole set.
TEST(PlannerWithZipper, SplitModeZipsAFileThreeTimesTheVolumeSizeAcrossParts) {
    const std::filesystem::path peers = PeerFolder("planner-split");
    const std::string folder = ScratchFolder("planner_split");
    std::mt19937 random(28);
    // Not a whole number of mebibytes: Info-ZIP's join miscopies an entry that runs across parts
    // of such sizes, its own sets too.
    const int64_t volumeSize = 4'198'400;
    const std::vector<std::pair<std::string, size_t>> files = {
        {"small1.bin", 300'000}, {"huge.bin", 3 * volumeSize + 1000}, {"small2.bin", 300'000}};
    for (const auto& [name, size] : files)
        WriteRandomFile(folder + "src\\" + name, size, random);

    for (bool optimise : {false, true}) {
        const std::string mode = optimise ? "optimise" : "plain";
        const std::string out = folder + "out\\" + mode + "\\";
        std::filesystem::create_directories(out);
        VolumePlan plan;
        for (const auto& [name, size] : files)
            plan.FilestoZipList.push_back({folder + "src\\" + name, static_cast<int64_t>(size)});
        plan.MaxZipSize = volumeSize;
        plan.FilesToBak = 3;
        plan.ZipPackLevel = 0;
        plan.Splitlargefiles = true;
        plan.Optimizeusedspace = optimise;
        plan.JobName = "Daily.dat";
        plan.RunLogName = folder + "Daily " + mode + ".log";

        zip::TWinExtractFileSystem input;
        zip::TWinZipperFileSystem output{FixedDrive};
        gui::TScriptedPrompter prompter;
        gui::TPrompterScope scope{prompter};
        zip::TZipper zipper{input, output};
        zipper.PackLevel = 0;
        zipper.TempPath = folder;
        zipper.MultiZipInfo.MultiMode = zip::mmBlocks;
        zipper.MultiZipInfo.BlockSize = static_cast<uint32_t>(volumeSize);
        zipper.MultiZipInfo.FirstBlockSize = static_cast<uint32_t>(volumeSize);
        PlannerFileOptions options;
        options.ZipPackLevel = 0;
        options.DestPath = out;
        RecordingWinHost host(options, zipper);
        host.runLog = plan.RunLogName;
        host.AddToRunLog("Backup started: Daily.dat"); // the job start writes the log first
        VolumePlanner planner(plan, host, host);
        zipper.OnEndZip = [&](zip::TZipper&, const std::string& name, uint32_t uncompressed,
                              uint32_t compressed, uint32_t current) {
            planner.Zipper1EndZip(name, uncompressed, compressed, current);
        };

        int volumes = 0;
        while (volumes < 6 && (plan.FilestoZipListNr < static_cast<int>(plan.FilestoZipList.size()) ||
                               !plan.ZipVolumeList.empty())) {
            plan.CurrentZipBytes = 0;
            plan.ZipEntryCount = 0;
            plan.ZipBudget = plan.MaxZipSize;
            plan.LastFreeSpaceCheck = 0;
            plan.ZipFileName = "vol" + std::to_string(++volumes) + ".zip";
            zipper.SetZipName(out + plan.ZipFileName);
            zipper.FilesList.Clear();
            planner.StartVolume();
            ASSERT_GT(zipper.FilesList.Count(), 0) << mode << " volume " << volumes;
            zipper.Zip();
            // The last part of a set takes the volume's name, as the runner renames it.
            if (zipper.ZipName() != out + plan.ZipFileName)
                std::filesystem::rename(zipper.ZipName(), out + plan.ZipFileName);
        }
        EXPECT_LT(volumes, 6) << mode << ": volumes without end";
        EXPECT_TRUE(plan.ZipVolumeList.empty()) << mode;
        EXPECT_EQ(plan.FilesCopyed, 4) << mode << ": three files and the log";
        EXPECT_TRUE(host.jobLog.empty()) << mode << ": " << host.jobLog.front();
        for (const auto& entry : std::filesystem::directory_iterator(out))
            EXPECT_LE(std::filesystem::file_size(entry.path()), static_cast<uintmax_t>(volumeSize))
                << entry.path();

        std::filesystem::create_directories(peers / mode);
        for (const auto& entry : std::filesystem::directory_iterator(out))
            std::filesystem::copy_file(entry.path(), peers / mode / entry.path().filename());
    }
    std::filesystem::remove_all(folder);
}

// The pre-zip test on its one handle: a date before 1980 is repaired and the list gets the
// repaired date, a file locked by another program is skipped with its line, a folder passes.
TEST(PlannerWithZipper, PreZipTestRepairsABadDateSkipsALockedFileAndPassesAFolder) {
    const std::string folder = ScratchFolder("prezip");
    const std::string old = folder + "src\\old.txt";
    std::ofstream(old, std::ios::binary) << "from 1975";
    {
        const HANDLE file =
            CreateFileA(old.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SYSTEMTIME then{1975, 6, 0, 1, 12, 0, 0, 0};
        FILETIME time;
        SystemTimeToFileTime(&then, &time);
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
        CloseHandle(file);
    }
    const std::string locked = folder + "src\\locked.txt";
    std::ofstream(locked, std::ios::binary) << "mine";
    const HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    zip::TWinExtractFileSystem input;
    zip::TWinZipperFileSystem output{FixedDrive};
    zip::TZipper zipper{input, output};
    PlannerFileOptions options;
    options.Locale.shortDateFormat = "yyyy-MM-dd"; // year first: the text starts with it
    options.Locale.dateSeparator = '-';
    RecordingWinHost host(options, zipper);
    ZipFileFacts facts;
    EXPECT_TRUE(host.CanZipFile(old, facts));
    EXPECT_EQ(facts.Size, 9);
    EXPECT_GE(facts.DateText.substr(0, 4), "2020") << facts.DateText;
    EXPECT_FALSE(host.CanZipFile(locked, facts));
    EXPECT_TRUE(facts.Skipped);
    EXPECT_TRUE(host.CanZipFile(folder + "src", facts)) << "a folder without its backslash";
    EXPECT_EQ(host.jobLog, (std::vector<std::string>{"File skipped, while in use: " + locked}));
    CloseHandle(holder);
    std::filesystem::remove_all(folder);
}

TEST(PlannerWithZipper, AResumedRunCutsTheCatalogueLinesOfThePartialVolumeOnly) {
    const std::string folder = ScratchFolder("csvcut");
    const std::string csv = folder + "Daily 202612070400.csv";
    const auto read = [&] {
        std::ifstream in(csv, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_TRUE(DropCatalogueLines(csv, "vol2.zip")) << "no list yet: nothing to cut";

    const std::string kept = "vol1.zip,a.txt,C:\\d\\,07/12/2026 04:00:00,10,\r\n"
                             "vol1.zip,vol2.zip,C:\\d\\,07/12/2026 04:00:00,20,\r\n";
    {
        PlannerFileOptions options;
        options.CsvFileName = csv;
        struct CatalogueOnly : WinPlannerFiles {
            using WinPlannerFiles::WinPlannerFiles;
            void AddToZipFiles(const std::string&) override {}
        };
        WindowlessHost host;
        CatalogueOnly files(options, host);
        files.AppendCsvLine("vol1.zip,a.txt,C:\\d\\,07/12/2026 04:00:00,10,");
        files.AppendCsvLine("vol1.zip,vol2.zip,C:\\d\\,07/12/2026 04:00:00,20,");
        files.AppendCsvLine("vol2.zip,b.txt,C:\\d\\,07/12/2026 04:00:00,30,");
        files.AppendCsvLine("VOL2.ZIP,c.txt,C:\\d\\,07/12/2026 04:00:00,40,");
        // The run is killed here, its list still open.
        EXPECT_TRUE(DropCatalogueLines(csv, "vol2.zip"));
    }
    EXPECT_EQ(read(), kept) << "a file named like the volume in an earlier volume stays";
    EXPECT_TRUE(DropCatalogueLines(csv, "vol3.zip"));
    EXPECT_EQ(read(), kept) << "the last lines name another volume";

    // Lines of the partial volume before a line of another one are not the run's last: kept.
    std::ofstream(csv, std::ios::binary | std::ios::app)
        << "vol2.zip,b.txt,C:\\d\\,x,30,\r\nvol3.zip,e,C:\\,x,1,";
    EXPECT_TRUE(DropCatalogueLines(csv, "vol2.zip"));
    EXPECT_EQ(read().size(), kept.size() + 47);
    EXPECT_TRUE(DropCatalogueLines(csv, "vol3.zip")) << "a last line without its line end";
    EXPECT_EQ(read(), kept + "vol2.zip,b.txt,C:\\d\\,x,30,\r\n");
    std::filesystem::remove_all(folder);
}
