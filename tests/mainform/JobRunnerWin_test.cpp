// Whole jobs run by the program hosted in-process (manual clock, scripted prompter, recording
// shell, the real zip component): the start, the hand-over and the runner's steps through the
// window's queue, to a folder. The volumes are left under build/peer-volumes/runner for the
// native peers (JobRunnerPeers), with the tree they must hold.
#include "FakeRegistry.h"
#include "WinTestSupport.h"
#include "gui/Action.h"
#include "gui/Clock.h"
#include "gui/FileAttributes.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "job/JobFile.h"
#include "job/JobRunner.h"
#include "ui/MFo.h"
#include "ui/Program.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

void WriteRandom(const std::string& path, size_t size, std::mt19937& random) {
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    WriteWholeFile(path, bytes);
}

std::vector<std::string> ZipsIn(const std::string& folder) {
    std::vector<std::string> zips;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        zips.push_back(entry.path().filename().string());
    std::sort(zips.begin(), zips.end());
    return zips;
}

std::vector<std::string> EntriesOf(const std::string& zipFile) {
    zip::TWinExtractFileSystem files;
    zip::TUnZipper reader(files);
    reader.SetZipName(zipFile);
    std::vector<std::string> names;
    for (int i = 0; i < reader.Count(); ++i)
        names.push_back(reader.FullName(i));
    return names;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// Attributes in memory (Wine keeps no cleared archive bit); a hook runs after each write, so
// a test can act inside a zip run.
class HookedAttributes final : public gui::FileAttributes {
  public:
    gui::MemoryFileAttributes files;
    std::function<void()> afterSet;
    int sets = 0;
    uint32_t Get(const std::string& path) override { return files.Get(path); }
    uint32_t Set(const std::string& path, uint32_t attributes) override {
        const uint32_t result = files.Set(path, attributes);
        ++sets;
        if (afterSet) afterSet();
        return result;
    }
};

// Every file and folder under the folder, with its archive bit.
void AddTree(HookedAttributes& attributes, const std::string& folder) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        attributes.files.files[entry.path().string()] =
            entry.is_directory() ? gui::AttributeDirectory : gui::AttributeArchive;
}

std::vector<std::string> WorkFilesUnder(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".zfi" || extension == ".tmp" || extension == ".~tm" || extension == ".~mz")
            found.push_back(entry.path().string());
    }
    return found;
}

// The program in a temporary folder, hidden (no boxes), with a job file Daily.dat.
struct HostedProgram {
    HostedProgram() {
        testsupport::DrainQueue();
        gui::SetClock(&clock);
        gui::SetShell(&shell);
        environment.programPath = programFolder / "tarnwick.exe";
        environment.windowsFolder = windowsFolder.Path().substr(0, windowsFolder.Path().size() - 1);
        environment.systemTempPath = programFolder.Path();
        environment.registry = &registry;
        program = std::make_unique<ui::TProgram>(environment);
        program->Start();
        form = program->MainForm();
        form->StartUpDone = true;
        form->JobAttributes = &attributes;
        program->Flags().Hidden = true;
        // The disc step is not here yet: it hands every volume straight back.
        form->OnDiscStep = [this](bool) { PostMessageA(form->Handle(), ui::WM_CONTINUE_JOB, 0, 0); };
    }
    ~HostedProgram() {
        program.reset();
        testsupport::DrainQueue();
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
    }
    void WriteJob(const job::JobDefinition& job) {
        WriteWholeFile(programFolder / "Daily.dat", job::WriteJobText(job, {}));
        form->LoadJob("Daily.dat");
    }
    // The start, then every step the queue brings, until the job has ended.
    void RunJob() {
        form->StartBackupJob();
        for (int round = 0; round < 10'000 && form->Session.Running(); ++round)
            testsupport::DrainQueue();
    }
    std::string ProgramLog() { return ReadWholeFile(programFolder / "tarnwick.log"); }

    gui::ManualClock clock;
    gui::TRecordingShell shell;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    HookedAttributes attributes;
    TempFolder programFolder, windowsFolder;
    testsupport::FakeRegistry registry;
    core::ProgramEnvironment environment;
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
};

std::filesystem::path PeerFolder(const std::string& name) {
    const std::filesystem::path peers =
        std::filesystem::path("Z:" + std::string(TW_SOURCE_DIR)) / "build" / "peer-volumes" / name;
    std::filesystem::remove_all(peers);
    std::filesystem::create_directories(peers);
    return peers;
}

} // namespace

// A mixed tree (folders, an empty folder, random and text files) in 4 MiB volumes, verified
// after each, with the catalogue: every file once, the last volume ends with the catalogue
// list and the job's log, and the logs tell the run.
TEST(JobRunner, AMixedTreeGoesToAFolderInVolumesThatHoldItOnceAndEndWithTheListAndTheLog) {
    HostedProgram hosted;
    TempFolder source;
    std::mt19937 random(17);
    std::filesystem::create_directories(source / "docs\\old");
    std::filesystem::create_directories(source / "empty");
    std::filesystem::create_directories(source / "media");
    for (int i = 0; i < 9; ++i)
        WriteRandom(source / ("media\\clip" + std::to_string(i) + ".bin"), 900'000 + i * 1000, random);
    for (int i = 0; i < 6; ++i) {
        std::string text;
        for (int line = 0; line < 2000; ++line)
            text += "line " + std::to_string(line) + " of note " + std::to_string(i) + "\r\n";
        WriteWholeFile(source / ("docs\\note" + std::to_string(i) + ".txt"), text);
    }
    WriteWholeFile(source / "docs\\old\\tiny.txt", "x");
    WriteWholeFile(source / "zero.dat", "");

    job::JobDefinition daily;
    daily.Destination = hosted.programFolder / "dest";
    daily.ZipSizeText = "4";
    daily.CompressionLevel = 6;
    daily.Testarchiveafterbackup1 = true;
    daily.MakeCatalog = true;
    daily.IncludeList = {source.Path().substr(0, source.Path().size() - 1), "%CATALOG%"};
    hosted.WriteJob(daily);
    hosted.RunJob();

    ui::TMF& form = *hosted.form;
    ASSERT_FALSE(form.Session.Running());
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
    EXPECT_EQ(Count(log, "Errors found in:"), 0u) << log;
    const std::vector<std::string> zips = ZipsIn(hosted.programFolder / "dest");
    ASSERT_GE(zips.size(), 3u);
    EXPECT_EQ(Count(log, "No errors found in: "), zips.size()) << "the last volume is verified too";
    EXPECT_EQ(Count(log, "File created: "), zips.size()) << log;

    std::map<std::string, int> held;
    std::vector<std::string> last;
    for (const std::string& zipName : zips) {
        const std::string path = hosted.programFolder / ("dest\\" + zipName);
        EXPECT_LE(std::filesystem::file_size(path), 4u * 1'048'576u) << zipName;
        last = EntriesOf(path);
        for (const std::string& name : last)
            ++held[name];
    }
    ASSERT_GE(last.size(), 2u);
    EXPECT_TRUE(last.back().ends_with("\\Daily.log"))
        << "the job log closes the last volume: " << last.back();
    EXPECT_NE(last[last.size() - 2].find(".csv"), std::string::npos) << last[last.size() - 2];
    for (const auto& [name, count] : held)
        EXPECT_EQ(count, 1) << name;
    for (const auto& file : std::filesystem::recursive_directory_iterator(source.Path())) {
        if (!file.is_regular_file()) continue;
        const std::string stored =
            file.path().string().substr(source.Path().find('\\') + 1); // without the drive
        EXPECT_TRUE(held.count(stored)) << stored;
    }
    EXPECT_TRUE(hosted.prompter.Requests().empty()) << "hidden: no box";
    EXPECT_FALSE(testsupport::FileExists(hosted.programFolder / "tarnwick.run")) << "nothing left to resume";

    // For the peers: the volumes and the tree.
    const std::filesystem::path peers = PeerFolder("runner");
    for (const std::string& zipName : zips)
        std::filesystem::copy_file(hosted.programFolder / ("dest\\" + zipName), peers / zipName);
    for (const auto& file : std::filesystem::recursive_directory_iterator(source.Path())) {
        const std::filesystem::path target =
            peers / "tree" / file.path().string().substr(source.Path().size());
        if (file.is_directory())
            std::filesystem::create_directories(target);
        else
            std::filesystem::copy_file(file.path(), target);
    }
    WriteWholeFile((peers / "source.txt").string(), source.Path());
}

// Four 1,000,000-byte random files, volume size "2" (raised to the smallest, 4 MiB) and the
// compression at position 2 (stored): every volume within 4 MiB, the four stored, each once.
TEST(JobRunner, FourMillionByteFilesAtTheSmallestSizeAreStoredInFourMebibyteVolumes) {
    HostedProgram hosted;
    TempFolder source;
    std::mt19937 random(4);
    for (int i = 1; i <= 4; ++i)
        WriteRandom(source / ("part" + std::to_string(i) + ".bin"), 1'000'000, random);
    job::JobDefinition daily;
    daily.Destination = hosted.programFolder / "dest";
    daily.ZipSizeText = "2";
    daily.CompressionLevel = 2;
    daily.IncludeList = {source.Path() + "*.*"};
    hosted.WriteJob(daily);
    hosted.RunJob();
    ASSERT_FALSE(hosted.form->Session.Running());
    std::map<std::string, int> parts;
    for (const std::string& zipName : ZipsIn(hosted.programFolder / "dest")) {
        const std::string path = hosted.programFolder / ("dest\\" + zipName);
        EXPECT_LE(std::filesystem::file_size(path), 4u * 1'048'576u) << zipName;
        zip::TWinExtractFileSystem files;
        zip::TUnZipper reader(files);
        reader.SetZipName(path);
        EXPECT_TRUE(reader.TestArchive()) << zipName;
        for (int i = 0; i < reader.Count(); ++i) {
            const std::string name = reader.Filename(i);
            if (!name.starts_with("part")) continue;
            ++parts[name];
            EXPECT_EQ(reader.CompressedSize(i), reader.UncompressedSize(i)) << name << " is stored";
        }
    }
    EXPECT_EQ(parts, (std::map<std::string, int>{
                         {"part1.bin", 1}, {"part2.bin", 1}, {"part3.bin", 1}, {"part4.bin", 1}}));
}

// A job that clears archive bits, cancelled inside the second volume's zip run by the start
// action or by a close request: one "Backup cancelled", only whole zips, no work files, every
// archive bit set again, the job's end (its program after) once.
TEST(JobRunner, CancelInAZipRunLeavesWholeZipsNoWorkFilesAndEveryArchiveBitSetAgain) {
    for (const std::string how : {"start action", "close request"}) {
        HostedProgram hosted;
        TempFolder source;
        std::mt19937 random(9);
        for (int i = 0; i < 10; ++i)
            WriteRandom(source / ("clip" + std::to_string(i) + ".bin"), 900'000, random);
        AddTree(hosted.attributes, source.Path());
        job::JobDefinition daily;
        daily.Destination = hosted.programFolder / "dest";
        daily.ZipSizeText = "4";
        daily.CompressionLevel = 0;
        daily.ClearArchiveBit = true;
        daily.PostRunFile = "C:\\Tools\\post.exe";
        daily.PostWait = 1;
        daily.IncludeList = {source.Path() + "*.*"};
        hosted.WriteJob(daily);
        ui::TMF& form = *hosted.form;
        // The sixth file is zipped in the second volume.
        if (how == "start action") hosted.prompter.AnswerMessage(gui::mrYes);
        hosted.attributes.afterSet = [&] {
            if (hosted.attributes.sets != 6) return;
            if (how == "start action")
                form.Startbackup->Execute();
            else
                form.Close();
        };
        hosted.RunJob();

        EXPECT_FALSE(form.Session.Running()) << how;
        EXPECT_EQ(Count(hosted.ProgramLog(), "Backup cancelled"), 1u) << how << hosted.ProgramLog();
        const std::vector<std::string> zips = ZipsIn(hosted.programFolder / "dest");
        EXPECT_EQ(zips.size(), 1u) << how << ": the first volume, whole";
        for (const std::string& zipName : zips) {
            zip::TWinExtractFileSystem files;
            zip::TUnZipper reader(files);
            reader.SetZipName(hosted.programFolder / ("dest\\" + zipName));
            EXPECT_TRUE(reader.TestArchive()) << how << " " << zipName;
        }
        EXPECT_TRUE(WorkFilesUnder(hosted.programFolder.Path()).empty()) << how;
        for (const auto& [path, attributes] : hosted.attributes.files.files)
            EXPECT_TRUE(attributes & (gui::AttributeArchive | gui::AttributeDirectory)) << how << " " << path;
        size_t ends = 0;
        for (const gui::TShellCall& call : hosted.shell.Calls())
            ends += call.Target == "C:\\Tools\\post.exe";
        EXPECT_EQ(ends, 1u) << how << ": one job end";
        hosted.attributes.afterSet = nullptr;
    }
}
