// Whole jobs run by the program hosted in-process (manual clock, scripted prompter, recording
// shell, the real zip component): the start, the hand-over and the runner's steps through the
// window's queue, to a folder. The volumes are left under build/peer-volumes/runner for the
// native peers (JobRunnerPeers), with the tree they must hold.
#include "HostedJob.h"
#include "WineDriveWinSupport.h"
#include "core/DateText.h"
#include "gui/Action.h"
#include "gui/Label.h"
#include "job/FCopy2.h"
#include "job/JobRunner.h"
#include "job/RunStateWin.h"
#include "zip/Crc32.h"
#include "zip/Zipper.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace hostedjob;

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
// archive bit set again, the job's end (its program after) once. A close request, shown or
// hidden, then ends the program, the shown one asking once.
TEST(JobRunner, CancelInAZipRunLeavesWholeZipsNoWorkFilesAndEveryArchiveBitSetAgain) {
    for (const std::string how : {"start action", "close request", "close request, shown"}) {
        const bool shown = how == "close request, shown";
        HostedProgram hosted(!shown);
        TempFolder source;
        std::mt19937 random(9);
        WriteClips(hosted, source, 10, random);
        job::JobDefinition daily = ClearingJob(hosted.programFolder / "dest", source);
        daily.PostRunFile = "C:\\Tools\\post.exe";
        daily.PostWait = 1;
        hosted.WriteJob(daily);
        ui::TMF& form = *hosted.form;
        // The sixth file is zipped in the second volume.
        if (how != "close request") hosted.prompter.AnswerMessage(gui::mrYes);
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
        EXPECT_EQ(hosted.JobEnds("C:\\Tools\\post.exe"), 1u) << how << ": one job end";
        EXPECT_EQ(hosted.quitSeen, how != "start action") << how;
        if (shown) {
            EXPECT_EQ(hosted.prompter.MessageTexts(),
                      std::vector<std::string>{"Are you sure that the running backup job shall be shutdown"});
        }
        hosted.attributes.afterSet = nullptr;
    }
}

// The files after the one being zipped are read ahead when they are short. A file locked
// through the whole job is still judged at its turn: logged once, the others zipped, its bit
// kept. A cancel while the next files are read ahead leaves none of the sources open (each
// opens for writing with no sharing at all), whole zips, and every archive bit set again.
TEST(JobRunner, ReadingAheadKeepsTheLockedFileLineAndACancelLeavesNoSourceOpen) {
    const auto openWithoutSharing = [](const std::string& path) {
        const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        CloseHandle(handle);
        return true;
    };
    // Small enough to be read ahead whole.
    constexpr size_t smallClip = 200'000;
    {
        // Short and long files in turn; after each file, a short one not zipped yet is rewritten
        // in place (same size, a new write time), whether it was read ahead or not: a long file
        // is never open between two files, and a bit is cleared only where the entry holds the
        // file as it is.
        HostedProgram hosted;
        TempFolder source;
        std::mt19937 random(37);
        constexpr int count = 12;
        const auto clip = [&](int i) { return source / ("clip" + std::to_string(100 + i) + ".bin"); };
        const auto isLong = [](int i) { return i % 3 == 2; };
        for (int i = 0; i < count; ++i)
            WriteRandom(clip(i), isLong(i) ? 600'000 : smallClip / 2, random);
        hosted.attributes.AddTree(source.Path());
        hosted.WriteJob(ClearingJob(hosted.programFolder / "dest", source));
        std::vector<std::string> heldOpen;
        std::set<int> rewritten;
        hosted.attributes.afterSet = [&] {
            for (int i = 0; i < count; ++i)
                if (isLong(i) && !openWithoutSharing(clip(i))) heldOpen.push_back(clip(i));
            int next = 0;
            while (next < count && (isLong(next) || rewritten.count(next) ||
                                    !(hosted.attributes.files.Get(clip(next)) & gui::AttributeArchive)))
                ++next;
            if (next == count) return;
            rewritten.insert(next);
            const HANDLE file =
                CreateFileA(clip(next).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            std::string bytes(smallClip / 2, '\0');
            for (char& byte : bytes)
                byte = static_cast<char>(random());
            DWORD put = 0;
            EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
            FILETIME later;
            GetSystemTimeAsFileTime(&later);
            later.dwHighDateTime += 100 + next;
            EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &later));
            CloseHandle(file);
        };
        hosted.RunJob();
        hosted.attributes.afterSet = nullptr;
        EXPECT_TRUE(heldOpen.empty()) << heldOpen.front();
        std::map<std::string, uint32_t> entryCrcs;
        for (const std::string& zipName : ZipsIn(hosted.programFolder / "dest")) {
            zip::TWinExtractFileSystem files;
            zip::TUnZipper reader(files);
            reader.SetZipName(hosted.programFolder / ("dest\\" + zipName));
            EXPECT_TRUE(reader.TestArchive()) << zipName;
            for (int i = 0; i < reader.Count(); ++i)
                entryCrcs[reader.Filename(i)] = reader.Crc32(i);
        }
        int kept = 0;
        for (int i = 0; i < count; ++i) {
            const std::string name = std::filesystem::path(clip(i)).filename().string();
            ASSERT_EQ(entryCrcs.count(name), 1u) << name;
            const std::string now = ReadWholeFile(clip(i));
            if (hosted.attributes.files.Get(clip(i)) & gui::AttributeArchive)
                ++kept;
            else
                EXPECT_EQ(entryCrcs[name], zip::Crc32Of(now.data(), now.size())) << name << ": bit cleared";
        }
        EXPECT_GT(kept, 0) << "some short files were read before they were rewritten";
    }
    {
        HostedProgram hosted;
        TempFolder source;
        std::mt19937 random(35);
        WriteClips(hosted, source, 6, random, smallClip);
        hosted.WriteJob(ClearingJob(hosted.programFolder / "dest", source));
        const std::string locked = source / "clip2.bin";
        const HANDLE holder =
            CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        hosted.RunJob();
        CloseHandle(holder);
        const std::string log = ReadWholeFile(hosted.programFolder / "Daily.log");
        EXPECT_EQ(Count(log, "File skipped, while in use: " + locked), 1u) << log;
        EXPECT_EQ(Count(log, "File skipped"), 1u) << log;
        int entries = 0;
        for (const std::string& zipName : ZipsIn(hosted.programFolder / "dest")) {
            zip::TWinExtractFileSystem files;
            zip::TUnZipper reader(files);
            reader.SetZipName(hosted.programFolder / ("dest\\" + zipName));
            EXPECT_TRUE(reader.TestArchive()) << zipName;
            entries += reader.Count();
        }
        EXPECT_EQ(entries, 5 + 2) << "the other clips, the list and the log";
        for (const auto& [path, attributes] : hosted.attributes.files.files) {
            if (attributes & gui::AttributeDirectory) continue;
            EXPECT_EQ((attributes & gui::AttributeArchive) != 0, path == locked) << path;
        }
    }

    HostedProgram hosted;
    TempFolder source;
    std::mt19937 random(36);
    WriteClips(hosted, source, 10, random, smallClip);
    hosted.WriteJob(ClearingJob(hosted.programFolder / "dest", source));
    ui::TMF& form = *hosted.form;
    // The second file's bit is cleared while the third is read ahead.
    hosted.attributes.afterSet = [&] {
        if (hosted.attributes.sets == 2) form.Startbackup->Execute();
    };
    hosted.RunJob();
    hosted.attributes.afterSet = nullptr;
    EXPECT_FALSE(form.Session.Running());
    EXPECT_EQ(Count(hosted.ProgramLog(), "Backup cancelled"), 1u) << hosted.ProgramLog();
    for (const std::string& zipName : ZipsIn(hosted.programFolder / "dest")) {
        zip::TWinExtractFileSystem files;
        zip::TUnZipper reader(files);
        reader.SetZipName(hosted.programFolder / ("dest\\" + zipName));
        EXPECT_TRUE(reader.TestArchive()) << zipName;
    }
    EXPECT_TRUE(WorkFilesUnder(hosted.programFolder.Path()).empty());
    for (const auto& [path, attributes] : hosted.attributes.files.files) {
        if (attributes & gui::AttributeDirectory) continue;
        EXPECT_TRUE(attributes & gui::AttributeArchive) << path;
        EXPECT_TRUE(openWithoutSharing(path)) << path << " is still open";
        EXPECT_TRUE(DeleteFileA(path.c_str())) << path;
    }
}

// A job with the registry, the system state and a file larger than a volume, split: the
// system-state file is stored without a folder, the registry copies under the folder of the
// live hives (the user's hive where it was), and the split volume ends in a .zip that is
// verified with its parts. The set is left under build/peer-volumes/runner-split for 7-Zip.
TEST(JobRunner, ZipEventsStoreSystemCopiesWhereARestoreWantsThemAndASplitVolumeEndsInAVerifiedZip) {
    HostedProgram hosted;
    TempFolder source;
    std::mt19937 random(125);
    WriteRandom(source / "huge.bin", 9'000'000, random);
    WriteRandom(source / "small.bin", 100'000, random);
    const std::string windows = hosted.environment.windowsFolder;
    const std::string regback = windows + "\\repair\\RegBack\\";
    ui::TMF& form = *hosted.form;
    // The system's backup tool, as far as the job sees it: the hive copies and the state file.
    hosted.shell.onStart = [&](const std::string& program) {
        if (program != "NTBACKUP.EXE") return;
        std::filesystem::create_directories(regback);
        for (const char* hive : {"system", "software", "security", "sam", "default", "ntuser.dat"})
            WriteWholeFile(regback + hive, std::string("hive ") + hive);
        WriteWholeFile(form.Session.Run.TempPath + "syssta.bkf", "system state");
    };
    job::JobDefinition daily;
    daily.Destination = hosted.programFolder / "dest";
    daily.ZipSizeText = "4";
    daily.CompressionLevel = 0;
    daily.Splitlargefiles = true;
    daily.Testarchiveafterbackup1 = true;
    daily.IncludeList = {"%REGISTRY%", "%SYSTEMSTATE%", source.Path() + "*.*"};
    hosted.WriteJob(daily);
    hosted.RunJob();

    ASSERT_FALSE(form.Session.Running());
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    const std::vector<std::string> files = ZipsIn(hosted.programFolder / "dest");
    std::vector<std::string> sets, parts;
    for (const std::string& file : files)
        (file.ends_with(".zip") ? sets : parts).push_back(file);
    ASSERT_EQ(parts.size(), 2u) << "9 MB stored in 4 MiB parts: two parts before the last";
    ASSERT_EQ(sets.size(), 1u);
    const std::string base = sets[0].substr(0, sets[0].size() - 4);
    EXPECT_EQ(parts, (std::vector<std::string>{base + ".z01", base + ".z02"}));
    const std::string set = hosted.programFolder / ("dest\\" + base);
    EXPECT_EQ(Count(log, "No errors found in: " + set + ".*"), 1u) << "the parts are verified: " << log;
    EXPECT_EQ(Count(log, "Errors found in:"), 0u) << log;

    const std::string windowsNoDrive = windows.substr(3);
    std::map<std::string, int> stored;
    for (const std::string& name : EntriesOf(set + ".zip"))
        ++stored[name];
    EXPECT_EQ(stored["syssta.bkf"], 1) << "the state file without a folder";
    for (const char* hive : {"system", "software", "security", "sam", "default"})
        EXPECT_EQ(stored[windowsNoDrive + "\\system32\\config\\" + hive], 1) << hive;
    EXPECT_EQ(stored[windowsNoDrive + "\\repair\\RegBack\\ntuser.dat"], 1) << "the user's hive stays";
    EXPECT_EQ(stored[source.Path().substr(3) + "huge.bin"], 1);
    EXPECT_EQ(stored[source.Path().substr(3) + "small.bin"], 1);

    const std::filesystem::path peers = PeerFolder("runner-split");
    for (const std::string& file : files)
        std::filesystem::copy_file(hosted.programFolder / ("dest\\" + file), peers / file);

    // With the drive stored as a folder name the registry copies keep it too. A split volume
    // whose first part is gone by the time it is verified cannot be verified: the log names
    // the missing part.
    std::filesystem::remove_all(hosted.programFolder / "dest");
    daily.Includedriveinfo = true;
    hosted.WriteJob(daily);
    ASSERT_NE(form.Runner(), nullptr);
    form.Runner()->AddZipToCatalog = [&](const std::string& zipName) {
        DeleteFileA((zipName.substr(0, zipName.size() - 4) + ".z01").c_str());
    };
    const size_t logBefore = hosted.ProgramLog().size();
    hosted.RunJob();
    const std::string second = hosted.ProgramLog().substr(logBefore);
    EXPECT_EQ(Count(second, "Backup end: Daily.dat\r\n"), 1u) << second;
    EXPECT_EQ(Count(second, "rrors found in: "), 0u) << second;
    EXPECT_EQ(Count(second, ".* skipped, a part is missing: "), 1u) << second;
    EXPECT_EQ(Count(second, ".z01\r\n"), 2u) << "logged as made, then named as the missing part: " << second;
    const std::vector<std::string> again = ZipsIn(hosted.programFolder / "dest");
    ASSERT_FALSE(again.empty());
    stored.clear();
    for (const std::string& name : EntriesOf(hosted.programFolder / ("dest\\" + again.back())))
        ++stored[name];
    EXPECT_EQ(stored["syssta.bkf"], 1);
    // Stored as the component stores every name with the drive: "\C\...".
    const std::string driveFolder = "\\" + windows.substr(0, 1) + windows.substr(2);
    for (const char* hive : {"system", "software", "security", "sam", "default"})
        EXPECT_EQ(stored[driveFolder + "\\system32\\config\\" + hive], 1) << hive;
}

// The job file's "After:" line.
std::string AfterLine(HostedProgram& hosted) {
    return testsupport::LineOf(ReadWholeFile(hosted.programFolder / "Daily.dat"), 4);
}

// A job that clears archive bits and uses the last run time, cancelled once in each phase by
// the start action, a close request, a stop request file or a prompt's Cancel, also between two
// steps: one "Backup cancelled", only whole zips, no work files, one job end, the job's
// "After:" date as it was before the start; the archive bits set again, or, where the user
// answered that they stay cleared, cleared exactly for the files in the whole zips on the
// destination. A run
// cancelled with work left can be resumed; one cancelled in the wait after its last volume
// cannot.
TEST(JobRunner, ACancelInEveryPhaseEndsTheJobOnceWithWholeZipsAndTheArchiveBitsAsAnswered) {
    enum class Bits { Untouched, Restored, KeptForWholeZips };
    struct Phase {
        std::string name;
        bool cd = false;    // a CD drive letter used as a drive: volumes built in the temporary folder
        bool hidden = true; // false: boxes are answered by the script
        std::function<void(job::JobDefinition&)> setUp;
        std::function<bool(HostedProgram&)> armed; // at a timer tick: the phase has come
        std::function<void(HostedProgram&)> cancel;
        Bits bits = Bits::Restored;
        bool resumable = true;
        bool betweenSteps = false; // armed is asked before each step of the runner instead
    };
    const auto startAction = [](HostedProgram& hosted) {
        hosted.prompter.AnswerMessage(gui::mrYes);
        hosted.form->Startbackup->Execute();
    };
    const auto closeRequest = [](HostedProgram& hosted) { hosted.form->Close(); };
    const auto volumeDone = [](HostedProgram& hosted) {
        return Count(hosted.ProgramLog(), "File created: ") == 1;
    };
    const auto secondVolumeDone = [](HostedProgram& hosted) {
        const std::string log = hosted.ProgramLog();
        return Count(log, "File copied: ") == 1 && Count(log, "File created: ") == 2;
    };
    // The copy fails (a folder holds the target's name) and the copy prompt is cancelled.
    const auto copyFails = [](HostedProgram& hosted) {
        const job::JobRun& run = hosted.form->Session.Run;
        CreateDirectoryA((run.DestPath + "\\" + run.ZipFileName).c_str(), nullptr);
        hosted.prompter.AnswerMessage(gui::mrCancel);
    };
    const std::vector<Phase> phases = {
        {"the wait after the program before the job, start action", false, true,
         [](job::JobDefinition& daily) {
             daily.PreRunFile = "C:\\Tools\\pre.exe";
             daily.PreWait = 5;
         },
         [](HostedProgram& hosted) { return hosted.shell.Started("C:\\Tools\\pre.exe"); }, startAction,
         Bits::Untouched, false},
        {"the selection, close request", false, true,
         [](job::JobDefinition& daily) { daily.IncludeList.insert(daily.IncludeList.begin(), "%REGISTRY%"); },
         [](HostedProgram& hosted) { return hosted.form->Session.Run.DoIncludeReg; }, closeRequest,
         Bits::Untouched, false},
        {"the wait between volumes, close request", false, true, {}, volumeDone, closeRequest},
        {"the wait at the end, start action",
         false,
         true,
         {},
         [](HostedProgram& hosted) { return Count(hosted.ProgramLog(), "Backup end: ") == 1; },
         startAction,
         Bits::KeptForWholeZips,
         false},
        {"the wait between volumes, stop request file",
         false,
         true,
         {},
         volumeDone,
         [](HostedProgram& hosted) {
             WriteWholeFile(hosted.programFolder / "Stop.req", "");
             hosted.form->MinuteTicks = 59; // this tick is the minute's
         }},
        {"the wait before a copy, start action", true, true, {}, volumeDone, startAction},
        {"the copy, close request",
         true,
         true,
         {},
         [](HostedProgram&) { return job::CopyBusy; },
         closeRequest},
        {"the second copy's prompt, bits reset",
         true,
         false,
         {},
         secondVolumeDone,
         [&](HostedProgram& hosted) {
             copyFails(hosted);
             hosted.prompter.AnswerMessage(gui::mrYes);
         }},
        {"the second copy's prompt, bits kept cleared",
         true,
         false,
         {},
         secondVolumeDone,
         [&](HostedProgram& hosted) {
             copyFails(hosted);
             hosted.prompter.AnswerMessage(gui::mrNo);
         },
         Bits::KeptForWholeZips},
        {"between a volume's zip run and its finish, start action",
         false,
         true,
         {},
         [](HostedProgram& hosted) {
             if (!hosted.form->Runner()) return false;
             const std::string zip = hosted.form->Runner()->Zipper1().ZipName();
             return !zip.empty() && testsupport::FileExists(zip) &&
                    Count(hosted.ProgramLog(), "File created: ") == 0;
         },
         startAction,
         Bits::Restored,
         true,
         true},
    };
    for (const Phase& phase : phases) {
        SCOPED_TRACE(phase.name);
        HostedProgram hosted(phase.hidden);
        TempFolder source;
        std::mt19937 random(9);
        WriteClips(hosted, source, 7, random);
        std::unique_ptr<wintest::TWineDrive> cd;
        job::JobDefinition daily = ClearingJob(hosted.programFolder / "dest", source);
        if (phase.cd) {
            cd = std::make_unique<wintest::TWineDrive>(DRIVE_CDROM);
            ASSERT_TRUE(cd->Defined());
            daily.Destination = cd->Root() + "dest";
            hosted.form->Creation().useTempFile = true;
        }
        daily.PostRunFile = "C:\\Tools\\post.exe";
        daily.PostWait = 1;
        daily.Uselasttime1 = true;
        daily.AfterDateText = core::DateToStrFixed(46000.25, hosted.form->Locale);
        if (phase.setUp) phase.setUp(daily);
        hosted.WriteJob(daily);
        const std::string afterLine = AfterLine(hosted);
        bool fired = false;
        const auto fire = [&] {
            if (fired || !hosted.form->Session.Running() || !phase.armed(hosted)) return;
            fired = true;
            phase.cancel(hosted);
        };
        const std::function<void()> step = hosted.form->OnContinueJob;
        if (phase.betweenSteps)
            hosted.form->OnContinueJob = [&] {
                fire();
                step();
            };
        else
            hosted.onTick = fire;
        hosted.RunJob();
        hosted.onTick = nullptr;
        hosted.form->OnContinueJob = step;

        ASSERT_TRUE(fired);
        ui::TMF& form = *hosted.form;
        EXPECT_FALSE(form.Session.Running());
        const std::string log = hosted.ProgramLog();
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_EQ(hosted.JobEnds("C:\\Tools\\post.exe"), 1u) << "one job end";
        EXPECT_EQ(hosted.prompter.Pending(), 0u);
        // The zips on the destination; a volume whose copy was cancelled is kept in the
        // temporary folder, but its files are on no destination and get their bits back.
        std::map<std::string, int> held;
        AddHeld(daily.Destination + "\\", held);
        EXPECT_TRUE(WorkFilesUnder(hosted.programFolder.Path()).empty());
        if (cd) {
            EXPECT_TRUE(WorkFilesUnder(cd->Folder()).empty());
        }
        for (const auto& [path, attributes] : hosted.attributes.files.files) {
            if (attributes & gui::AttributeDirectory) continue;
            const bool zipped = held.count(path) != 0;
            const bool cleared = phase.bits == Bits::KeptForWholeZips && zipped;
            EXPECT_EQ((attributes & gui::AttributeArchive) == 0, cleared) << path;
        }
        if (phase.bits == Bits::Untouched) {
            EXPECT_EQ(hosted.attributes.sets, 0);
        }
        if (phase.bits == Bits::KeptForWholeZips) {
            EXPECT_FALSE(held.empty());
        }
        EXPECT_EQ(testsupport::FileExists(hosted.programFolder / "tarnwick.run"), phase.resumable)
            << "a run cancelled with work left can be resumed, no other";
        EXPECT_EQ(AfterLine(hosted), afterLine) << "the \"After:\" date as before the start";
        DeleteFileA((hosted.programFolder / "Stop.req").c_str());
    }
}

// A run that died while its second volume was written (its resume state, its volumes and the
// archive bits as they were at that moment) is resumed: the half-written volume goes, the run
// goes on at that volume, and together the volumes hold every file once.
TEST(JobRunner, AResumedRunDeletesTheHalfWrittenVolumeAndGoesOnAtItSoEveryFileIsHeldOnce) {
    HostedProgram hosted(false);
    TempFolder source, crashed;
    std::mt19937 random(123);
    WriteClips(hosted, source, 7, random);
    const job::JobDefinition daily = ClearingJob(hosted.programFolder / "dest", source);
    hosted.WriteJob(daily);
    const std::string dest = daily.Destination + "\\";
    // What a kill in the middle of the second volume leaves: the state files of the program
    // folder, the destination, the archive bits.
    const auto isState = [](const std::string& name) {
        return (name.starts_with("tarnwick.") && !name.ends_with(".log") && !name.ends_with(".ini")) ||
               name == "Att.Lst";
    };
    std::map<std::string, uint32_t> bitsAtKill;
    std::string halfWritten;
    hosted.attributes.afterSet = [&] {
        if (hosted.attributes.sets != 6) return;
        for (const std::string& name : ZipsIn(hosted.programFolder.Path()))
            if (isState(name)) std::filesystem::copy_file(hosted.programFolder / name, crashed / name);
        // The volume being written is held open for writing only: what a killed run leaves of
        // it is made below.
        halfWritten = hosted.form->Session.Run.VolumePath;
        std::filesystem::create_directories(crashed / "dest");
        for (const std::string& name : ZipsIn(dest))
            if (dest + name != halfWritten)
                std::filesystem::copy_file(dest + name, crashed / ("dest\\" + name));
        bitsAtKill = hosted.attributes.files.files;
    };
    hosted.RunJob();
    hosted.attributes.afterSet = nullptr;
    ASSERT_FALSE(halfWritten.empty());
    ASSERT_FALSE(testsupport::FileExists(hosted.programFolder / "tarnwick.run"));

    // The kill: back to that moment.
    std::filesystem::remove_all(dest);
    std::filesystem::copy(crashed / "dest", dest);
    for (const std::string& name : ZipsIn(crashed.Path()))
        CopyFileA((crashed / name).c_str(), (hosted.programFolder / name).c_str(), FALSE);
    std::string partial(1'500'000, '\0');
    for (char& c : partial)
        c = static_cast<char>(random());
    WriteWholeFile(halfWritten, "PK\x03\x04" + partial);
    hosted.attributes.files.files = bitsAtKill;
    ASSERT_TRUE(testsupport::FileExists(hosted.programFolder / "tarnwick.run"));
    const size_t logBefore = hosted.ProgramLog().size();
    hosted.prompter.AnswerMessage(gui::mrYes);
    hosted.form->KeepResumeState = true; // as the start action leaves it
    hosted.RunJob();

    ASSERT_FALSE(hosted.form->Session.Running());
    const std::vector<std::string> asked = hosted.prompter.MessageTexts();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].starts_with("Your last job: Daily.dat was not finished")) << asked[0];
    const std::string log = hosted.ProgramLog().substr(logBefore);
    EXPECT_EQ(Count(log, "File deleted: " + halfWritten), 1u) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    std::map<std::string, int> held;
    AddHeld(dest, held);
    for (const auto& [path, attributes] : hosted.attributes.files.files) {
        if (attributes & gui::AttributeDirectory) continue;
        EXPECT_EQ(held[path], 1) << path;
        EXPECT_FALSE(attributes & gui::AttributeArchive) << path;
    }
    EXPECT_FALSE(testsupport::FileExists(hosted.programFolder / "tarnwick.run")) << "nothing left to resume";
}

// A run that uses the last run time, cancelled between volumes: the program's own resume
// values name the job, the volume to make and the "After:" text its start replaced, which is
// back in the job file. Resumed and cancelled again, the run puts back that same text; a file
// whose bit it cleared is in a whole zip. A run whose resume state cannot be saved leaves none
// behind that a later Yes would trust. The timer's job end puts the text back as well.
TEST(JobRunner, AResumedRunCancelledPutsBackTheAfterTextOfItsStartAndAFailedSaveLeavesNoResume) {
    HostedProgram hosted(false);
    TempFolder source;
    std::mt19937 random(5);
    WriteClips(hosted, source, 10, random);
    ui::TMF& form = *hosted.form;
    job::JobDefinition daily = ClearingJob(hosted.programFolder / "dest", source);
    daily.Uselasttime1 = true;
    const std::string after = core::DateToStrFixed(46000.25, form.Locale);
    daily.AfterDateText = after;
    hosted.WriteJob(daily);
    const std::string afterLine = AfterLine(hosted);
    // The start action's cancel once the run's log has this many volumes.
    const auto cancelAfterVolumes = [&](size_t volumes, size_t logFrom) {
        bool fired = false;
        hosted.onTick = [&hosted, &form, volumes, logFrom, fired]() mutable {
            if (fired || !form.Session.Running()) return;
            if (Count(hosted.ProgramLog().substr(logFrom), "File created: ") < volumes) return;
            fired = true;
            hosted.prompter.AnswerMessage(gui::mrYes);
            form.Startbackup->Execute();
        };
    };
    cancelAfterVolumes(1, 0);
    hosted.RunJob();
    ASSERT_FALSE(form.Session.Running());
    EXPECT_EQ(Count(hosted.ProgramLog(), "Backup cancelled"), 1u);
    EXPECT_EQ(AfterLine(hosted), afterLine);
    const job::RunStateValues saved = form.Host().ResumeValues();
    EXPECT_EQ(saved.JobName, "Daily.dat");
    EXPECT_EQ(saved.AfterDateTextBeforeStart, std::optional<std::string>(after));
    EXPECT_TRUE(saved.VolumePath.starts_with(daily.Destination + "\\")) << saved.VolumePath;
    EXPECT_EQ(saved.JobLogName, form.Session.JobLogName);

    // Resumed: its start moves nothing, its cancel puts back what the first start replaced, also
    // where the first run was killed and left the job file as its start wrote it.
    job::JobDefinition moved = daily;
    moved.AfterDateText = core::DateToStrFixed(46000.5, form.Locale);
    hosted.WriteJob(moved);
    ASSERT_NE(AfterLine(hosted), afterLine);
    hosted.prompter.AnswerMessage(gui::mrYes);
    form.KeepResumeState = true;
    size_t logBefore = hosted.ProgramLog().size();
    cancelAfterVolumes(1, logBefore);
    hosted.RunJob();
    ASSERT_FALSE(form.Session.Running());
    std::string log = hosted.ProgramLog().substr(logBefore);
    EXPECT_TRUE(hosted.prompter.MessageTexts()[1].starts_with("Your last job: Daily.dat was not finished"));
    EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
    EXPECT_EQ(AfterLine(hosted), afterLine) << "not an empty text";
    EXPECT_EQ(form.Host().ResumeValues().AfterDateTextBeforeStart, std::optional<std::string>(after));
    // The resumed run has no list of its own: a file whose bit it cleared is in a whole zip.
    std::map<std::string, int> held;
    AddHeld(daily.Destination + "\\", held);
    for (const auto& [path, attributes] : hosted.attributes.files.files) {
        if (!(attributes & (gui::AttributeArchive | gui::AttributeDirectory))) {
            EXPECT_EQ(held[path], 1) << path;
        }
    }

    // A fresh run whose state cannot be saved from its second volume on (a folder holds the name
    // of a list file), cancelled after that volume: nothing to resume.
    form.KeepResumeState = false;
    logBefore = hosted.ProgramLog().size();
    const std::filesystem::path blocked = hosted.programFolder / "tarnwick.tfl";
    bool blockedSet = false;
    hosted.onTick = [&] {
        if (!form.Session.Running()) return;
        const std::string now = hosted.ProgramLog().substr(logBefore);
        if (!blockedSet && Count(now, "File created: ") == 1) {
            blockedSet = true;
            std::filesystem::remove(blocked);
            std::filesystem::create_directory(blocked);
        } else if (blockedSet && Count(now, "File created: ") == 2 && !form.Session.Cancelled) {
            hosted.prompter.AnswerMessage(gui::mrYes);
            form.Startbackup->Execute();
        }
    };
    hosted.RunJob();
    hosted.onTick = nullptr;
    std::filesystem::remove(blocked);
    log = hosted.ProgramLog().substr(logBefore);
    ASSERT_TRUE(blockedSet);
    EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
    EXPECT_GE(Count(log, "The resume state could not be saved, the job cannot be resumed: "), 1u) << log;
    EXPECT_FALSE(testsupport::FileExists(hosted.programFolder / "tarnwick.run"));
    EXPECT_EQ(form.Host().ResumeValues().JobName, "");

    // The timer's job end after a cancel, while no step is under way, puts the text back too.
    ASSERT_EQ(AfterLine(hosted), afterLine);
    const std::function<void()> step = form.OnContinueJob;
    bool ended = false;
    form.OnContinueJob = [&] {
        const std::string zip = form.Runner()->Zipper1().ZipName();
        if (!ended && !zip.empty() && testsupport::FileExists(zip)) {
            ended = true;
            form.Session.Cancelled = true;
            form.OnJobEnd();
        }
        step();
    };
    hosted.RunJob();
    form.OnContinueJob = step;
    ASSERT_TRUE(ended);
    EXPECT_FALSE(form.Session.Running());
    EXPECT_EQ(AfterLine(hosted), afterLine);
}

// Where the runner's own work goes wrong: a volume whose zip run ran out of room is made
// again, and only the archive bits that run cleared are set again (a job that leaves them alone
// gives none to files without one); an error after "Backup end" is logged and the job ends as
// done, its archive bits cleared, nothing to resume, its end once.
TEST(JobRunner, ARebuiltVolumeSetsOnlyTheBitsItClearedAndAnErrorAfterTheEndEndsTheJobAsDone) {
    // The medium of the first archive file opened fills 2 MB in.
    class FillingFile final : public ForwardingFile {
      public:
        using ForwardingFile::ForwardingFile;
        size_t Write(const uint8_t* data, size_t count) override {
            const int64_t room = 2'000'000 - Position();
            return ForwardingFile::Write(data, room <= 0 ? 0 : std::min<size_t>(count, room));
        }
    };
    for (const bool clears : {false, true}) {
        SCOPED_TRACE(clears ? "clearing archive bits" : "leaving archive bits");
        HostedProgram hosted;
        TempFolder source;
        RunForTheRunner(hosted, source);
        ui::TMF& form = *hosted.form;
        ASSERT_NE(form.Runner(), nullptr);

        std::mt19937 random(335);
        WriteClips(hosted, source, 4, random);
        // Two files never had the bit.
        hosted.attributes.files.files[source / "clip1.bin"] = 0;
        hosted.attributes.files.files[source / "clip2.bin"] = 0;
        job::JobDefinition daily = ClearingJob(hosted.programFolder / "dest", source);
        daily.ClearArchiveBit = clears;
        hosted.WriteJob(daily);
        FirstFileOn<FillingFile>(*form.Runner());
        const size_t logBefore = hosted.ProgramLog().size();
        hosted.RunJob();
        form.Runner()->OutputFile = nullptr;
        const std::string log = hosted.ProgramLog().substr(logBefore);
        EXPECT_EQ(Count(log, ", the volume is made again: "), 1u) << log;
        EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
        for (const auto& [path, attributes] : hosted.attributes.files.files) {
            if (attributes & gui::AttributeDirectory) continue;
            const bool hadBit = !path.ends_with("clip1.bin") && !path.ends_with("clip2.bin");
            EXPECT_EQ((attributes & gui::AttributeArchive) != 0, hadBit && !clears) << path;
        }
    }

    // The box that tells the reminder's job is done fails.
    HostedProgram hosted(false);
    TempFolder source;
    std::mt19937 random(336);
    WriteClips(hosted, source, 3, random);
    job::JobDefinition daily;
    daily.Destination = hosted.programFolder / "dest";
    daily.ClearArchiveBit = true;
    daily.PostRunFile = "C:\\Tools\\post.exe";
    daily.IncludeList = {source.Path() + "*.*"};
    hosted.WriteJob(daily);
    ui::TMF& form = *hosted.form;
    form.ReminderJob = "Daily.dat";
    hosted.prompter.onMessage = [](const std::string& text) {
        if (text.starts_with("The backup job Daily.dat is completed"))
            throw std::runtime_error("the box failed");
    };
    hosted.RunJob();
    ASSERT_FALSE(form.Session.Running());
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup error: the box failed"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
    EXPECT_EQ(Count(log, "Backup terminated unexpected"), 0u) << log;
    for (const auto& [path, attributes] : hosted.attributes.files.files)
        EXPECT_EQ((attributes & gui::AttributeArchive) != 0, (attributes & gui::AttributeDirectory) != 0)
            << path;
    EXPECT_FALSE(testsupport::FileExists(hosted.programFolder / "tarnwick.run"));
    EXPECT_EQ(hosted.JobEnds("C:\\Tools\\post.exe"), 1u);
    EXPECT_EQ(ZipsIn(daily.Destination).size(), 1u);
}

// The start action on the unsaved new job asks where to save it first (the file name "New
// Job.dat" offered), then the job runs under the name given.
TEST(JobRunner, TheStartActionOnTheNewJobAsksForItsFileFirstAndRunsItUnderThatName) {
    HostedProgram hosted;
    TempFolder source;
    WriteWholeFile(source / "a.txt", "some bytes");
    job::JobDefinition daily;
    daily.Destination = hosted.programFolder / "dest";
    daily.IncludeList = {source.Path() + "*.*"};
    hosted.WriteJob(daily);
    ui::TMF& form = *hosted.form;
    form.Flags().JobName = "New Job.dat";
    const std::string named = hosted.programFolder / "Weekly.dat";
    hosted.prompter.AnswerFile({named});
    form.Startbackup->Execute();
    for (int round = 0; round < 1000 && form.Session.Running(); ++round)
        testsupport::DrainQueue();

    const std::vector<gui::TPromptRecord> asked = hosted.prompter.Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Kind, gui::TPromptKind::FileDialog);
    EXPECT_TRUE(asked[0].File.Save);
    EXPECT_EQ(asked[0].File.FileName, "New Job.dat");
    EXPECT_TRUE(testsupport::FileExists(named));
    EXPECT_FALSE(testsupport::FileExists(hosted.programFolder / "New Job.dat"));
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Weekly.dat\r\n"), 1u) << log;
    EXPECT_EQ(ZipsIn(daily.Destination).size(), 1u);
}

// The hand-over's two ways out of the ordinary: split parts a killed run left in the temporary
// folder under the first volume's name go before it is made; a resume whose list files are
// gone has nothing to do and says so.
TEST(JobRunner, TheHandOverDeletesStaleSplitPartsAndAResumeWithoutItsListsHasNothingToDo) {
    HostedProgram hosted(false);
    TempFolder source;
    WriteWholeFile(source / "a.txt", "some bytes");
    job::JobDefinition daily;
    daily.Destination = hosted.programFolder / "dest";
    daily.IncludeList = {source.Path() + "*.*"};
    hosted.WriteJob(daily);
    ui::TMF& form = *hosted.form;
    const std::string temp = hosted.programFolder / "temp\\";
    form.Flags().TempPath = temp;
    hosted.RunJob();
    const std::vector<std::string> first = ZipsIn(daily.Destination);
    ASSERT_EQ(first.size(), 1u);
    const std::string stale = temp + first[0].substr(0, first[0].size() - 4);
    std::filesystem::remove_all(daily.Destination);
    for (const char* extension : {".z01", ".z17", ".z100", ".z999"})
        WriteWholeFile(stale + extension, "a part of a set never finished");
    WriteWholeFile(stale + ".z1000", "not a part name of ours");
    hosted.RunJob();
    EXPECT_EQ(ZipsIn(daily.Destination), first);
    for (const char* extension : {".z01", ".z17", ".z100", ".z999"})
        EXPECT_FALSE(testsupport::FileExists(stale + extension)) << extension;
    EXPECT_TRUE(testsupport::FileExists(stale + ".z1000"));

    // The resume state names the job, its lists are gone.
    job::RunStateValues values;
    values.JobName = "Daily.dat";
    values.FilestoZipListNr = 3;
    const std::string base = hosted.programFolder / "tarnwick";
    ASSERT_TRUE(job::SaveRunState(base, {}, values));
    for (const char* list : {".ftz", ".tfl", ".bfl", ".cfl", ".vfl", ".ffl", ".dfl"})
        DeleteFileA((base + list).c_str());
    hosted.prompter.AnswerMessage(gui::mrYes);
    form.KeepResumeState = true;
    const size_t logBefore = hosted.ProgramLog().size();
    hosted.RunJob();
    EXPECT_EQ(hosted.prompter.Pending(), 0u) << "the resume was offered";
    const std::string log = hosted.ProgramLog().substr(logBefore);
    EXPECT_EQ(Count(log, "Backup end: Daily.dat nothing to do."), 1u) << log;
    EXPECT_EQ(form.Label1->Caption(), "No files selected for backup");
    EXPECT_EQ(ZipsIn(daily.Destination), first) << "no new volume";
    EXPECT_FALSE(testsupport::FileExists(base + ".run"));
}

// The second of three volumes is damaged before its test: its files get their archive bits back
// with one line naming it, the job goes on to its end, and the reminder's box and the mail (the
// job's lines, as the program after the job is started) tell of a problem. The volumes and the
// files left with cleared bits go to build/peer-volumes/runner-unsound: 7-Zip must find every
// such file in a volume it tests sound.
TEST(JobRunner, AVolumeThatFailsItsTestGivesItsFilesArchiveBitsBackAndTheJobEndsWithAProblem) {
    HostedProgram hosted(false);
    TempFolder source;
    std::mt19937 random(31);
    WriteClips(hosted, source, 10, random);
    job::JobDefinition daily = ClearingJob(hosted.programFolder / "dest", source);
    daily.Testarchiveafterbackup1 = true;
    daily.PostRunFile = "C:\\Tools\\post.exe";
    daily.Uselasttime1 = true;
    daily.AfterDateText = core::DateToStrFixed(46000.25, hosted.form->Locale);
    hosted.WriteJob(daily);
    const std::string afterLine = AfterLine(hosted);
    ui::TMF& form = *hosted.form;
    form.ReminderJob = "Daily.dat";
    hosted.prompter.AnswerMessage(gui::mrOk);
    // A stored entry's bytes of the second volume change once it is written.
    std::string damaged;
    bool hooked = false;
    hosted.attributes.afterSet = [&] {
        if (hooked) return;
        hooked = true;
        job::JobRunner& runner = *form.Runner();
        runner.AddZipToCatalog = [&, original = runner.AddZipToCatalog,
                                  volumes = 0](const std::string& zipName) mutable {
            if (original) original(zipName);
            if (++volumes != 2) return;
            damaged = zipName;
            std::string bytes = ReadWholeFile(zipName);
            for (size_t at = 500'000; at < 500'016; ++at)
                bytes[at] = static_cast<char>(~bytes[at]);
            WriteWholeFile(zipName, bytes);
        };
    };
    std::vector<std::string> mailed;
    hosted.shell.onStart = [&](const std::string& program) {
        if (program == "C:\\Tools\\post.exe") mailed = form.Session.MailBody;
    };
    hosted.RunJob();

    ASSERT_FALSE(form.Session.Running());
    ASSERT_FALSE(damaged.empty());
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Errors found in: " + damaged + "\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Archivebits reset for the files of: "), 1u) << log;
    EXPECT_EQ(Count(log, "Archivebits reset for the files of: " + damaged + "\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
    EXPECT_EQ(AfterLine(hosted), afterLine) << "files in no copy are newer than the next run's date";
    const std::vector<std::string> boxes = hosted.prompter.MessageTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0],
              "There was a problem with the backup job Daily.dat, look in the log for detailed information");
    const auto inMail = [&](const std::string& text) {
        return std::any_of(mailed.begin(), mailed.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(inMail("Archivebits reset for the files of: " + damaged)) << "the mail tells it";

    // Exactly the damaged volume's files have their bits again.
    std::vector<std::string> inDamaged;
    for (const std::string& name : EntriesOf(damaged))
        inDamaged.push_back("C:\\" + name);
    ASSERT_FALSE(inDamaged.empty());
    std::string cleared;
    for (const auto& [path, bits] : hosted.attributes.files.files) {
        if (bits & gui::AttributeDirectory) continue;
        const bool again = std::find(inDamaged.begin(), inDamaged.end(), path) != inDamaged.end();
        EXPECT_EQ((bits & gui::AttributeArchive) != 0, again) << path;
        if (!(bits & gui::AttributeArchive)) {
            std::string stored = path.substr(3);
            std::replace(stored.begin(), stored.end(), '\\', '/');
            cleared += stored + "\n";
        }
    }
    const std::filesystem::path peers = PeerFolder("runner-unsound");
    const std::vector<std::string> zips = ZipsIn(daily.Destination);
    EXPECT_GE(zips.size(), 3u);
    // The job's catalogue keeps the lines of the volumes written and none of the damaged one: a
    // run that judges changes by it takes its files again.
    const std::string catalogue = ReadWholeFile(form.Session.Run.CatName);
    const std::string damagedName = std::filesystem::path(damaged).filename().string();
    EXPECT_EQ(catalogue.find(damagedName), std::string::npos) << catalogue;
    for (const std::string& zipName : zips)
        if (zipName != damagedName) {
            EXPECT_NE(catalogue.find(zipName), std::string::npos) << zipName;
        }
    for (const std::string& zipName : zips)
        std::filesystem::copy_file(daily.Destination + "\\" + zipName, peers / zipName);
    WriteWholeFile((peers / "cleared.txt").string(), cleared);
}
