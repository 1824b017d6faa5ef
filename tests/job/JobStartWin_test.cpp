// The job start in-process under Wine, with real drives and the window played by recorders:
// the volume size box, the program before the job with its parameters and wait, the end's
// report and program after the job once per job, log names counting up, a destination that
// is not ready, a date that is no date, a second start while one runs, what an earlier run
// left behind, and a cancel asked for inside the start.

#include "gui/Clock.h"
#include "gui/Shell.h"
#include "job/JobStart.h"
#include "job/WindowlessHost.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>

using namespace job;

namespace {

class Host : public WindowlessHost {
  public:
    Host(JobSession& session, const std::string& folder) : session_(session), folder_(folder) {}
    void AddToLog(const std::string& text) override {
        log.push_back(text);
        session_.MailBody.push_back(text);
    }
    void ShowStatusAndLog(const std::string& text) override { status.push_back(text); }
    void Wait(int milliseconds) override {
        events.push_back("wait " + std::to_string(milliseconds));
        static_cast<gui::ManualClock&>(gui::CurrentClock()).Advance(milliseconds);
        if (const std::function<void()> work = std::exchange(duringWait, nullptr)) work();
    }
    bool Hidden() override { return hidden; }
    void ShowMessage(const std::string& text, gui::TMsgIcon) override { boxes.push_back(text); }
    bool AskYesNo(const std::string& text, gui::TMsgIcon) override { return asked.push_back(text), true; }
    std::string ProgramFolder() override { return folder_; }
    std::string ProgramFile() override { return folder_ + "tarnwick.exe"; }
    std::string TempPath() override { return folder_ + "temp\\"; }
    void SetTempPath(const std::string& path) override { tempSet = path; }
    bool CloseAfterJob() override { return closeAfter; }
    std::string JobName() override { return "Daily.dat"; }
    void LoadJob(const std::string& name) override {
        loaded.push_back(name);
        session_.LoadedJobName = name;
    }
    void SaveJob(const std::string& name) override { saved.push_back(name); }
    bool MailConfigured() override { return true; }
    void SendJobMail(const std::vector<std::string>& body, const std::string& suffix,
                     const std::string& attachment) override {
        events.push_back("mail " + suffix + " " + attachment + " " + std::to_string(body.size()));
    }
    void JobEnded(bool) override { events.push_back("idle"); }
    void CloseMainWindow() override { events.push_back("close"); }
    void Pump() override {
        if (const std::function<void()> work = std::exchange(duringPump, nullptr)) work();
    }
    // The window step after the start's resets: what is armed here runs in the next pump.
    bool ArrangeWindowForJob() override {
        duringPump = std::exchange(armedPump, nullptr);
        return shownForJob;
    }
    void ClearCloseRequest() override { ++closeRequestsCleared; }

    bool hidden = true, closeAfter = false, shownForJob = false;
    std::function<void()> duringWait; // runs inside the next wait, as a timer tick would
    std::function<void()> duringPump, armedPump;
    int closeRequestsCleared = 0;
    std::string tempSet;
    std::vector<std::string> log, boxes, events, asked, loaded, saved, status;

  private:
    JobSession& session_;
    std::string folder_;
};

// No disc layer: the start never reaches it while no transport is loaded.
class NoDisc : public DiscWriter {
  public:
    bool Load(bool) override { return false; }
    bool Select(const std::string&, char) override { return false; }
    bool Ready(int) override { return false; }
    int64_t FreeBytes() override { return 0; }
    int64_t CapacityAfterErase() override { return -1; }
    void Release() override {}
};

struct StartRig {
    StartRig() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "tw_start_" + std::to_string(GetCurrentProcessId()) + "\\";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder + "dest");
        gui::SetClock(&clock);
        gui::SetShell(&shell);
        job.Destination = folder + "dest\\";
        job.ZipSizeText = "5000";
        job.PreRunFile = "\"C:\\Tools\\pre run.exe\" /quiet";
        job.PreWait = 2;
        job.PostRunFile = "C:\\Tools\\post.exe";
        job.PostWait = 1;
    }
    ~StartRig() {
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
        std::filesystem::remove_all(folder);
    }
    gui::ManualClock clock{46363.5};
    gui::TRecordingShell shell;
    std::string folder;
    JobSession session;
    JobDefinition& job = session.Job;
    NoDisc disc;
};

} // namespace

TEST(JobStart, FolderDestinationRunsTheProgramBeforeThenEndsOnceWithTheReportAndTheProgramAfter) {
    StartRig rig;
    Host host(rig.session, rig.folder);
    JobStarter start(rig.session, host, rig.disc);
    const std::string afterText = rig.job.AfterDateText;
    start.StartBackupJob();

    EXPECT_EQ(rig.job.ZipSizeText, "4095");
    EXPECT_EQ(start.MaxZipSize, 4'294'967'295);
    EXPECT_EQ(start.Destination.DestPath, rig.folder + "dest");
    EXPECT_EQ(rig.job.Destination, rig.folder + "dest");
    EXPECT_EQ(rig.session.JobLogName, rig.folder + "Log\\Daily_100.txt");
    EXPECT_TRUE(std::filesystem::is_directory(rig.folder + "Catalogs"));
    EXPECT_EQ(host.loaded, (std::vector<std::string>{"Daily.dat"}));
    // Nothing was handed over to run: the "After:" date the start moved goes back.
    EXPECT_EQ(host.saved, (std::vector<std::string>{"Daily.dat", "Daily.dat"}))
        << "a fresh run saves the job";
    EXPECT_EQ(rig.job.AfterDateText, afterText);
    EXPECT_EQ(host.tempSet, rig.folder + "temp\\") << "the missing temporary folder is made";
    const auto calls = rig.shell.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Target, "C:\\Tools\\pre run.exe");
    EXPECT_EQ(calls[0].Parameters, "/quiet");
    EXPECT_EQ(calls[0].Folder, "C:\\Tools\\");
    EXPECT_EQ(calls[1].Target, "C:\\Tools\\post.exe");
    ASSERT_EQ(host.events.size(), 4u);
    EXPECT_EQ(host.events[0], "wait 2000") << "the program before the job, then its wait";
    EXPECT_EQ(host.events[1].rfind("mail Daily.dat " + rig.folder + "Log\\Daily_100.txt", 0), 0u);
    EXPECT_EQ(host.events[2], "wait 1000");
    EXPECT_EQ(host.events[3], "idle");
    EXPECT_EQ(rig.session.State, JobState::Idle);

    // The next run logs to the next name; a start while one runs returns without a word.
    // An end asked for inside the start's wait (the timer's cancel minute) leaves the job to
    // the start: it stays running until the start's own end has run.
    std::ofstream(rig.folder + "Log\\Daily_100.txt") << "x";
    JobState seen = JobState::Idle;
    host.duringWait = [&] {
        start.EndJob();
        seen = rig.session.State;
    };
    start.StartBackupJob();
    EXPECT_EQ(seen, JobState::Running);
    EXPECT_EQ(rig.session.State, JobState::Idle);
    EXPECT_EQ(rig.session.JobLogName, rig.folder + "Log\\Daily_101.txt");
    EXPECT_EQ(host.loaded.size(), 1u) << "the loaded job is not loaded again";
    rig.session.State = JobState::Running;
    const size_t logged = host.log.size();
    start.StartBackupJob();
    EXPECT_EQ(host.log.size(), logged);
}

TEST(JobStart, NotReadyDestinationAndANoDateAfterTextEndTheRunOnce) {
    StartRig rig;
    Host host(rig.session, rig.folder);
    JobStarter start(rig.session, host, rig.disc);
    char letter = 0;
    for (char candidate = 'Y'; candidate >= 'M' && !letter; --candidate) {
        const char root[] = {candidate, ':', '\\', 0};
        if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) letter = candidate;
    }
    ASSERT_NE(letter, 0);
    rig.job.Destination = std::string(1, letter) + ":\\Backup";
    rig.job.PreRunFile.clear();
    host.closeAfter = true;
    start.StartBackupJob();
    EXPECT_EQ(host.status, (std::vector<std::string>{"Job cancelled, destination is not ready: " +
                                                     std::string(1, letter) + ":\\Backup"}));
    EXPECT_TRUE(host.boxes.empty()) << "hidden: no box";
    EXPECT_EQ(std::count_if(host.events.begin(), host.events.end(),
                            [](const std::string& e) { return e.rfind("mail ", 0) == 0; }),
              1);
    EXPECT_EQ(host.events.back(), "close") << "an unattended run closes the program";
    EXPECT_TRUE(rig.shell.Calls().size() == 1u && rig.shell.Calls()[0].Target == "C:\\Tools\\post.exe");

    host.events.clear();
    rig.job.Destination = rig.folder + "dest";
    rig.job.AfterDateText = "no date";
    rig.job.UseAfterDate = true;
    start.StartBackupJob();
    EXPECT_NE(rig.job.AfterDateText, "no date") << "replaced by now";
    EXPECT_TRUE(host.saved.empty()) << "the run ends before the job is saved";
    EXPECT_EQ(host.events.back(), "close");
}

TEST(JobStart, AStartClearsWhatTheRunBeforeLeftAndKeepsACancelAskedInsideIt) {
    StartRig rig;
    Host host(rig.session, rig.folder);
    JobStarter start(rig.session, host, rig.disc);
    JobRun& run = rig.session.Run;
    // A cancelled earlier run: its log, its resume lists, its volume's work files, its plan.
    rig.session.JobLogName = rig.folder + "Log\\Daily_100.txt";
    run.BflList = run.CflList = run.VflList = run.FflList = run.DflList = {"left"};
    run.CopyPending = true;
    run.ZipFileName = "Daily_3.zip";
    run.EntryLimitReached = true;
    run.EarlierVolumeBytes = 5'000'000;
    run.ZipVolumeList = {{"C:\\Data\\big.bin", 9}};
    run.FilestoZipListNr = 7;
    std::filesystem::create_directories(rig.folder + "temp");
    for (const char* file : {"Daily_3.zfi", "Daily_3.tmp"})
        std::ofstream(rig.folder + "temp\\" + file) << "x";

    // Ended before its log is named: neither this run's lines nor its mail reach the old log.
    char letter = 0;
    for (char candidate = 'Y'; candidate >= 'M' && !letter; --candidate) {
        const char root[] = {candidate, ':', '\\', 0};
        if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) letter = candidate;
    }
    ASSERT_NE(letter, 0);
    rig.job.Destination = std::string(1, letter) + ":\\Backup";
    rig.job.PreRunFile.clear();
    start.StartBackupJob();
    EXPECT_TRUE(rig.session.JobLogName.empty());
    const auto mail = std::find_if(host.events.begin(), host.events.end(),
                                   [](const std::string& e) { return e.rfind("mail ", 0) == 0; });
    ASSERT_NE(mail, host.events.end());
    EXPECT_EQ(mail->rfind("mail Daily.dat  ", 0), 0u) << "no attachment: " << *mail;
    EXPECT_TRUE(run.BflList.empty() && run.CflList.empty() && run.VflList.empty() && run.FflList.empty() &&
                run.DflList.empty());
    EXPECT_FALSE(run.CopyPending);
    EXPECT_FALSE(std::filesystem::exists(rig.folder + "temp\\Daily_3.zfi"));
    EXPECT_FALSE(std::filesystem::exists(rig.folder + "temp\\Daily_3.tmp"));

    // A run that gets as far as the hand-over starts its plan afresh and carries its names.
    rig.job.Destination = rig.folder + "dest";
    rig.job.CompressionLevel = 2;
    host.shownForJob = true;
    JobRun handed;
    start.OnSelectAndHandOver = [&] { return handed = run, true; };
    host.events.clear();
    start.StartBackupJob();
    EXPECT_TRUE(rig.session.WasMinimizedAtStart);
    EXPECT_FALSE(handed.EntryLimitReached);
    EXPECT_EQ(handed.EarlierVolumeBytes, 0);
    EXPECT_TRUE(handed.ZipVolumeList.empty()) << "a cancelled job's deferred files are not this one's";
    EXPECT_EQ(handed.FilestoZipListNr, 0);
    EXPECT_EQ(handed.ZipPackLevel, 0) << "below 3 the run stores";
    EXPECT_EQ(handed.CsvFileName, start.CsvFileName);
    EXPECT_EQ(handed.CatalogName, start.CsvFileName) << "the resume state's key for the list";
    EXPECT_EQ(handed.CatName, start.CatalogNames);
    EXPECT_FALSE(start.CsvFileName.empty());
    EXPECT_EQ(rig.session.State, JobState::Running) << "handed over";
    EXPECT_GT(host.closeRequestsCleared, 0);

    // A cancel (or a close, which cancels) clicked inside the start's pump after the job's load
    // stays: the start runs on to its hand-over, and then ends the run itself.
    rig.session.State = JobState::Idle;
    rig.session.EndGuard.JobStarted();
    host.events.clear();
    host.closeRequestsCleared = 0;
    host.armedPump = [&] { host.SetCancelled(true); };
    start.StartBackupJob();
    EXPECT_EQ(rig.session.State, JobState::Idle);
    EXPECT_EQ(host.events.back(), "idle");
    EXPECT_EQ(host.closeRequestsCleared, 0) << "the close asked for with the cancel is kept";
    EXPECT_FALSE(host.Cancelled()) << "cleared by the job's end";
}
