// Whole jobs hosted in-process onto a removable drive whose media really fill (tmpfs mounts the
// script made, put in a Wine "floppy" drive): a medium filled by someone else in the middle of
// a volume has the volume rolled back and made again on the next medium, with nothing lost;
// a medium too full for the next volume asks, and a Cancel there ends the job once; hidden, with
// a mail nobody reads, a medium that stays full or a volume that fails again and again ends the
// job after [Settings] InfiniteWait minutes, before the idle watchdog would halt the program.
#include "HostedJob.h"
#include "WineDriveWinSupport.h"
#include "core/Settings.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/ListBox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

using namespace hostedjob;

namespace {

// A medium of the script, emptied, as a Windows folder ending in "\".
std::string Medium(int number) {
    const char* unixPath = std::getenv(("TW_MEDIA_" + std::to_string(number)).c_str());
    if (unixPath == nullptr) {
        ADD_FAILURE() << "TW_MEDIA_" << number << " is not set: run through tests/scripts/tmpfs_media.sh";
        return {};
    }
    std::string folder = std::string("Z:") + unixPath + "\\";
    std::replace(folder.begin(), folder.end(), '/', '\\');
    for (const std::string& file : ZipsIn(folder))
        DeleteFileA((folder + file).c_str());
    return folder;
}

int64_t FreeBytes(const std::string& root) {
    ULARGE_INTEGER free{}, total{}, all{};
    GetDiskFreeSpaceExA(root.c_str(), &free, &total, &all);
    return static_cast<int64_t>(free.QuadPart);
}

// Fills the medium up to `left` bytes, as another program would.
void FillUpTo(const std::string& medium, const std::string& root, int64_t left) {
    WriteWholeFile(medium + "filler.bin", std::string(static_cast<size_t>(FreeBytes(root) - left), 'f'));
}

const char shortage[] = "Not enough free disk space for the next files in ";

// Seven 900,000-byte files to the floppy's root in stored 4 MiB volumes, clearing archive
// bits: four files in the first volume, three in the second.
struct FloppyJob {
    explicit FloppyJob(HostedProgram& hosted) : hosted(hosted) {
        EXPECT_TRUE(floppy.Defined());
        EXPECT_TRUE(floppy.Insert(first));
        std::mt19937 random(17);
        WriteClips(hosted, source, 7, random);
        job::JobDefinition daily = ClearingJob(floppy.Root().substr(0, 2), source);
        daily.PostRunFile = "C:\\Tools\\post.exe";
        hosted.WriteJob(daily);
    }
    int Cleared() const {
        int cleared = 0;
        for (const auto& [path, attributes] : hosted.attributes.files.files)
            cleared += !(attributes & (gui::AttributeArchive | gui::AttributeDirectory));
        return cleared;
    }
    // The source files among what the zips hold (beside them: the folder, the job log).
    size_t SourceFiles(const std::map<std::string, int>& held) const {
        size_t files = 0;
        for (const auto& [name, count] : held)
            files += name.starts_with(source.Path()) && !name.ends_with("\\");
        return files;
    }

    HostedProgram& hosted;
    std::string first = Medium(1), second = Medium(2);
    wintest::TWineDrive floppy{DRIVE_REMOVABLE};
    TempFolder source;
};

struct Halted {};

// A hidden job with a mail recipient nobody reads: mail goes to a port nothing listens on (each
// mail fails and says so in the log), the program gives up waiting after `bound` minutes, a
// schedule is listed (the idle watchdog counts) and a halt is caught. A job still waiting after
// three bounds is cancelled by the test.
struct UnreadMail {
    static constexpr int bound = 5;

    explicit UnreadMail(HostedProgram& hosted) : hosted(hosted) {
        core::EMailSettings mail;
        mail.to = "ops@example.com";
        mail.smtpServer = "127.0.0.1";
        mail.smtpPort = "9";
        core::WriteEMail(hosted.form->ProgramIni(), mail);
        hosted.form->Creation().infiniteWait = bound;
        hosted.form->ListBox2->Items().Add("a schedule");
        gui::Application().HaltHandler = [this](int) {
            ++halts;
            throw Halted{};
        };
    }
    ~UnreadMail() {
        gui::Application().HaltHandler = [](int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); };
    }
    // Inside the job's waits.
    void Tick() {
        if (stoppedByTest || hosted.clock.MonotonicMs() - startMs <= 3 * bound * 60'000) return;
        stoppedByTest = true;
        hosted.form->Session.Cancelled = true;
    }
    std::string Run() {
        startMs = hosted.clock.MonotonicMs();
        try {
            hosted.RunJob();
        } catch (const Halted&) {
        }
        return hosted.ProgramLog();
    }
    // One notice, logged and mailed; the job cancelled once the bound has passed, through its
    // cancel, with the programs after the job; no box.
    void EndedAfterTheBound(const std::string& log, const std::string& notice) {
        EXPECT_EQ(halts, 0) << "the idle watchdog halted the program";
        EXPECT_FALSE(stoppedByTest) << "still waiting after three bounds";
        EXPECT_FALSE(hosted.form->Session.Running());
        EXPECT_GE(hosted.clock.MonotonicMs() - startMs, bound * 60'000);
        EXPECT_EQ(Count(log, notice), 1u) << log;
        EXPECT_EQ(Count(log, "Mail not sent: "), 2u) << "the notice's and the report's: " << log;
        EXPECT_EQ(Count(log, "Job cancelled, no answer after " + std::to_string(bound) + " minutes\r\n"), 1u)
            << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_EQ(hosted.JobEnds("C:\\Tools\\post.exe"), 1u);
        EXPECT_TRUE(hosted.prompter.MessageTexts().empty());
    }

    HostedProgram& hosted;
    int halts = 0;
    bool stoppedByTest = false;
    int64_t startMs = 0;
};

} // namespace

TEST(RunnerMedia, AMediumFilledInTheMiddleOfAVolumeHasItMadeAgainOnTheNextMediumAndNothingIsLost) {
    HostedProgram hosted(false);
    FloppyJob media(hosted);
    // Another program fills the medium while the second volume is written.
    bool filled = false;
    hosted.attributes.afterSet = [&] {
        if (filled || hosted.attributes.sets != 6) return;
        filled = true;
        FillUpTo(media.first, media.floppy.Root(), 100'000);
    };
    int clearedAtPrompt = -1;
    bool partialAtPrompt = true;
    hosted.prompter.AnswerMessage(gui::mrOk);
    hosted.prompter.onMessage = [&](const std::string& text) {
        if (!text.starts_with(shortage)) return;
        clearedAtPrompt = media.Cleared();
        partialAtPrompt = ZipsIn(media.first).size() != 2;
        media.floppy.Insert(media.second);
    };
    hosted.RunJob();

    ASSERT_TRUE(filled);
    EXPECT_FALSE(hosted.form->Session.Running());
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Not enough room for: "), 1u) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
    ASSERT_EQ(hosted.prompter.MessageTexts().size(), 1u);
    EXPECT_EQ(clearedAtPrompt, 4) << "the failed volume's files have their archive bits again";
    EXPECT_FALSE(partialAtPrompt) << "the failed volume is gone from the full medium";
    EXPECT_EQ(hosted.JobEnds("C:\\Tools\\post.exe"), 1u);

    std::map<std::string, int> held;
    AddHeld(media.first, held);
    AddHeld(media.second, held);
    EXPECT_EQ(media.SourceFiles(held), 7u);
    EXPECT_EQ(ZipsIn(media.first).size(), 2u) << "the first volume and the filler";
    EXPECT_EQ(ZipsIn(media.second).size(), 1u) << "the second volume, made again";
    for (const auto& [path, attributes] : hosted.attributes.files.files) {
        if (attributes & gui::AttributeDirectory) continue;
        EXPECT_EQ(held[path], 1) << path << " is in one whole volume";
        EXPECT_FALSE(attributes & gui::AttributeArchive) << path;
    }
    EXPECT_TRUE(WorkFilesUnder(media.first).empty());
    EXPECT_TRUE(WorkFilesUnder(media.second).empty());
    EXPECT_TRUE(WorkFilesUnder(hosted.programFolder.Path()).empty());
}

TEST(RunnerMedia, CancelAtTheShortagePromptEndsTheJobOnceAndSetsTheArchiveBitsAgain) {
    // Too little room left by another program before the first volume (asked at the
    // hand-over) or between the volumes.
    for (const size_t volumesBefore : {0u, 1u}) {
        SCOPED_TRACE(volumesBefore ? "before the second volume" : "before the first volume");
        HostedProgram hosted(false);
        FloppyJob media(hosted);
        bool filled = false;
        const auto fill = [&] {
            filled = true;
            FillUpTo(media.first, media.floppy.Root(), 1'000'000);
        };
        if (volumesBefore == 0) fill();
        hosted.onTick = [&] {
            if (!filled && Count(hosted.ProgramLog(), "File created: ") == volumesBefore) fill();
        };
        hosted.prompter.AnswerMessage(gui::mrCancel);
        hosted.prompter.AnswerMessage(gui::mrYes);
        hosted.RunJob();

        ASSERT_TRUE(filled);
        EXPECT_FALSE(hosted.form->Session.Running());
        const std::vector<std::string> asked = hosted.prompter.MessageTexts();
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_TRUE(asked[0].starts_with(shortage)) << asked[0];
        EXPECT_EQ(asked[1], "Reset the archive bit to the state before the backup");
        const std::string log = hosted.ProgramLog();
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_EQ(hosted.JobEnds("C:\\Tools\\post.exe"), 1u);
        std::map<std::string, int> held;
        AddHeld(media.first, held);
        EXPECT_EQ(media.SourceFiles(held), 4 * volumesBefore) << "whole volumes only";
        EXPECT_EQ(media.Cleared(), 0);
        EXPECT_TRUE(WorkFilesUnder(media.first).empty());
        EXPECT_TRUE(WorkFilesUnder(hosted.programFolder.Path()).empty());
    }
}

// A CD drive used as a drive builds its volumes in the temporary folder; on a temporary drive
// without room for one the user is asked twice (warnings), and OK to both builds them on the CD
// drive, for the rest of the program's run without asking again. A hidden job takes OK as its
// answer, and a program set not to use the temporary folder for a CD asks nothing.
TEST(RunnerMedia, ATemporaryDriveWithoutRoomAsksTwiceAndOkToBothBuildsTheVolumesOnTheCdDrive) {
    wintest::TWineDrive temporary(DRIVE_FIXED), cd(DRIVE_CDROM);
    ASSERT_TRUE(temporary.Defined() && cd.Defined());
    const std::string medium = Medium(2);
    ASSERT_TRUE(temporary.Insert(medium));
    TempFolder source;
    std::mt19937 random(3);
    for (int i = 0; i < 3; ++i)
        WriteRandom(source / ("clip" + std::to_string(i) + ".bin"), 200'000, random);
    const std::string dest = cd.Folder() + "dest\\";
    const auto run = [&](HostedProgram& hosted) {
        std::filesystem::remove_all(dest);
        job::JobDefinition daily;
        daily.Destination = cd.Root() + "dest";
        daily.IncludeList = {source.Path() + "*.*"};
        hosted.WriteJob(daily);
        hosted.form->Creation().useTempFile = true;
        hosted.form->Flags().TempPath = temporary.Root();
        hosted.RunJob();
        EXPECT_FALSE(hosted.form->Session.Running());
        const std::vector<std::string> zips = ZipsIn(dest);
        ASSERT_EQ(zips.size(), 1u);
        EXPECT_TRUE(ZipIsSound(dest + zips[0]));
        EXPECT_TRUE(ZipsIn(medium).empty()) << "nothing left in the temporary folder";
    };
    const std::string without =
        "Continuing the job without using temp file, this is not recomended if you are writing to a CDR";
    {
        HostedProgram hosted(false);
        hosted.prompter.AnswerMessage(gui::mrOk);
        hosted.prompter.AnswerMessage(gui::mrOk);
        run(hosted);
        const std::vector<gui::TPromptRecord> asked = hosted.prompter.Requests();
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[0].Message.Text,
                  "Not enough free space in: \r" + temporary.Root() +
                      "\rDelete some files to make some free space and press OK or continue without using "
                      "temp file, not recomended if you are writing to a CDR");
        EXPECT_EQ(asked[1].Message.Text, without);
        for (const gui::TPromptRecord& question : asked)
            EXPECT_EQ(question.Message.Icon, gui::TMsgIcon::Warning);
        std::string log = hosted.ProgramLog();
        EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
        EXPECT_EQ(Count(log, "File copied: "), 0u) << "built on the CD drive itself: " << log;

        // The answer holds for the program's run.
        run(hosted);
        EXPECT_EQ(hosted.prompter.Requests().size(), 2u) << "asked once in the program's run";
        log = hosted.ProgramLog();
        EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 2u) << log;
    }
    {
        HostedProgram hosted(true);
        run(hosted);
        EXPECT_TRUE(hosted.prompter.Requests().empty());
        const std::string log = hosted.ProgramLog();
        EXPECT_EQ(Count(log, without), 1u) << log;
        EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
    }
    {
        HostedProgram hosted(false);
        hosted.form->Creation().useCDR = false;
        run(hosted);
        EXPECT_TRUE(hosted.prompter.Requests().empty()) << "[Settings] UseCDR=0 asks nothing";
        EXPECT_EQ(Count(hosted.ProgramLog(), "Backup end: Daily.dat\r\n"), 1u) << hosted.ProgramLog();
    }
}

namespace {

// A split job of one 14,000,000-byte image onto the floppy: its parts outgrow the medium, though
// the medium has room for a volume.
void WriteSplitImageJob(HostedProgram& hosted, const wintest::TWineDrive& floppy, const TempFolder& source) {
    std::mt19937 random(71);
    WriteRandom(source / "disk.img", 14'000'000, random);
    hosted.attributes.AddTree(source.Path());
    job::JobDefinition daily = ClearingJob(floppy.Root().substr(0, 2), source);
    daily.Splitlargefiles = true;
    daily.PostRunFile = "C:\\Tools\\post.exe";
    hosted.WriteJob(daily);
}

} // namespace

// A split file whose parts outgrow the medium, though the medium has room for a volume: the
// room test cannot see it. The volume is made again once; its second failure on the same
// medium without more room is a shortage, named in the log with the file: shown, the prompt
// (Cancel ends the job once); hidden without a recipient, the job is cancelled. No part of
// the failed volume is left on the medium and every archive bit is set again.
TEST(RunnerMedia, AVolumeFailingTwiceForRoomTheRoomTestCannotSeeIsAShortageNotAnEndlessRebuild) {
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "hidden" : "shown");
        HostedProgram hosted(hidden);
        const std::string medium = Medium(1);
        wintest::TWineDrive floppy(DRIVE_REMOVABLE);
        ASSERT_TRUE(floppy.Defined() && floppy.Insert(medium));
        TempFolder source;
        WriteSplitImageJob(hosted, floppy, source);
        if (!hidden) {
            hosted.prompter.AnswerMessage(gui::mrCancel);
            hosted.prompter.AnswerMessage(gui::mrYes);
        }
        hosted.RunJob();

        EXPECT_FALSE(hosted.form->Session.Running());
        const std::string log = hosted.ProgramLog();
        EXPECT_EQ(Count(log, "Not enough room for: "), 3u) << "two failures, the second named again: " << log;
        EXPECT_EQ(Count(log, " again, with the same medium and no more room, while adding: " + source.Path() +
                                 "disk.img"),
                  1u)
            << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_EQ(hosted.JobEnds("C:\\Tools\\post.exe"), 1u);
        const std::vector<std::string> asked = hosted.prompter.MessageTexts();
        if (hidden) {
            EXPECT_TRUE(asked.empty());
            EXPECT_EQ(Count(log, "Not enough free disk space\r\n"), 1u) << log;
        } else {
            ASSERT_EQ(asked.size(), 2u);
            EXPECT_TRUE(asked[0].starts_with(shortage)) << asked[0];
        }
        // The first volume holds the folder; of the failed one no part is left.
        for (const std::string& file : ZipsIn(medium)) {
            EXPECT_TRUE(file.ends_with("001.zip")) << file;
            EXPECT_TRUE(ZipIsSound(medium + file)) << file;
        }
        for (const auto& [path, attributes] : hosted.attributes.files.files)
            EXPECT_TRUE(attributes & (gui::AttributeArchive | gui::AttributeDirectory)) << path;
    }
}

// The same volume, hidden, with a recipient nobody reads: from the notice on the volume is made
// again every two minutes until [Settings] InfiniteWait minutes have passed, then the job is
// cancelled, every archive bit set again, nothing of the volume left.
TEST(RunnerMedia, AVolumeFailingAgainAndAgainWhileNobodyReadsTheMailEndsCancelledAfterTheBound) {
    HostedProgram hosted(true);
    UnreadMail unread(hosted);
    hosted.onTick = [&] { unread.Tick(); };
    const std::string medium = Medium(1);
    wintest::TWineDrive floppy(DRIVE_REMOVABLE);
    ASSERT_TRUE(floppy.Defined() && floppy.Insert(medium));
    TempFolder source;
    WriteSplitImageJob(hosted, floppy, source);
    const std::string log = unread.Run();

    unread.EndedAfterTheBound(log, std::string(shortage) + " " + floppy.Root().substr(0, 2));
    EXPECT_GE(Count(log, " again, with the same medium and no more room, while adding: "), 2u) << log;
    for (const std::string& file : ZipsIn(medium))
        EXPECT_TRUE(file.ends_with("001.zip")) << file;
    for (const auto& [path, attributes] : hosted.attributes.files.files)
        EXPECT_TRUE(attributes & (gui::AttributeArchive | gui::AttributeDirectory)) << path;
}

// Filled by another program after the first volume, the medium stays full and nobody reads the
// notice: the job waits [Settings] InfiniteWait minutes, with schedules listed, and is then
// cancelled; the first volume stays whole on the medium and every archive bit is set again.
TEST(RunnerMedia, AMediumThatStaysFullWhileNobodyReadsTheMailEndsTheJobCancelledAfterTheBound) {
    HostedProgram hosted(true);
    UnreadMail unread(hosted);
    FloppyJob media(hosted);
    bool filled = false;
    hosted.onTick = [&] {
        unread.Tick();
        if (filled || Count(hosted.ProgramLog(), "File created: ") != 1) return;
        filled = true;
        FillUpTo(media.first, media.floppy.Root(), 1'000'000);
    };
    const std::string log = unread.Run();

    ASSERT_TRUE(filled);
    unread.EndedAfterTheBound(log, std::string(shortage) + " " + media.floppy.Root().substr(0, 2));
    std::map<std::string, int> held;
    AddHeld(media.first, held);
    EXPECT_EQ(media.SourceFiles(held), 4u) << "whole volumes only";
    EXPECT_EQ(media.Cleared(), 0);
    EXPECT_TRUE(WorkFilesUnder(media.first).empty());
    EXPECT_TRUE(WorkFilesUnder(hosted.programFolder.Path()).empty());
}

// A split volume whose destination fills goes on in the next alternative of the destination
// field: the parts made after the first medium filled are on the second, the last under the
// volume's name, each part is logged as made, the job's test finds every part where it went,
// and the parts put together are the set.
TEST(RunnerMedia, ASplitVolumeWhoseDestinationFillsGoesOnInTheNextAlternative) {
    HostedProgram hosted(true);
    const std::string one = Medium(1), two = Medium(2);
    wintest::TWineDrive first(DRIVE_FIXED), second(DRIVE_FIXED);
    ASSERT_TRUE(first.Defined() && first.Insert(one));
    ASSERT_TRUE(second.Defined() && second.Insert(two));
    // Room for the first part only (and enough for the start to take the medium).
    FillUpTo(one, first.Root(), 8'200'000);
    TempFolder source;
    std::mt19937 random(41);
    WriteRandom(source / "disk.img", 13'000'000, random);
    hosted.attributes.AddTree(source.Path());
    job::JobDefinition daily;
    daily.Destination = first.Root() + "Bak|" + second.Root() + "Bak";
    daily.ZipName = "Set";
    daily.ZipSizeText = "4";
    daily.CompressionLevel = 0;
    daily.Splitlargefiles = true;
    daily.Testarchiveafterbackup1 = true;
    daily.IncludeList = {source.Path() + "*.*"};
    hosted.WriteJob(daily);
    hosted.RunJob();

    EXPECT_FALSE(hosted.form->Session.Running());
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
    EXPECT_EQ(Count(log, "Errors found in:"), 0u) << log;
    EXPECT_EQ(Count(log, "No errors found in: "), 2u) << log;
    // The first volume holds the folder; the file's own set is the second.
    const std::string firstSet = one + "Bak\\Set002", secondSet = two + "Bak\\Set002";
    EXPECT_EQ(ZipsIn(one + "Bak"), (std::vector<std::string>{"Set001.zip", "Set002.z01"}));
    EXPECT_EQ(ZipsIn(two + "Bak"), (std::vector<std::string>{"Set002.z02", "Set002.z03", "Set002.zip"}));
    EXPECT_EQ(Count(log, "File created: " + first.Root() + "Bak\\Set002.z01\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "File created: " + second.Root() + "Bak\\Set002.z02\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "No errors found in: " + second.Root() + "Bak\\Set002.*"), 1u) << log;

    // The parts brought together are the whole set.
    TempFolder together;
    CopyFileA((firstSet + ".z01").c_str(), (together / "Set002.z01").c_str(), FALSE);
    for (const char* part : {".z02", ".z03", ".zip"})
        CopyFileA((secondSet + part).c_str(), (together / ("Set002" + std::string(part))).c_str(), FALSE);
    EXPECT_TRUE(ZipIsSound(together / "Set002.zip"));
    const std::vector<std::string> entries = EntriesOf(together / "Set002.zip");
    EXPECT_EQ(std::count(entries.begin(), entries.end(), source.Path().substr(3) + "disk.img"), 1);
    std::filesystem::remove_all(std::filesystem::path(one + "Bak"));
    std::filesystem::remove_all(std::filesystem::path(two + "Bak"));
    DeleteFileA((one + "filler.bin").c_str());
}
