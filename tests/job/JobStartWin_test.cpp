// The job start in-process under Wine, with real drives and the window played by recorders:
// the volume size box, the program before the job with its parameters and wait, the end's
// report and program after the job once per job, log names counting up, a destination that
// is not ready, a date that is no date, and a second start while one runs.

#include "gui/Clock.h"
#include "gui/Shell.h"
#include "job/JobStart.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace job;

namespace {

class Host : public JobHost {
  public:
    explicit Host(std::vector<std::string>& body) : body_(body) {}
    void AddToLog(const std::string& text) override {
        log.push_back(text);
        body_.push_back(text);
    }
    void Wait(int milliseconds) override {
        events.push_back("wait " + std::to_string(milliseconds));
        gui::Clock& clock = gui::CurrentClock();
        static_cast<gui::ManualClock&>(clock).Advance(milliseconds);
    }
    void AddToJobLog(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void SetTotalText(const std::string&) override {}
    void SetProgress3(int, int) override {}
    void Pump() override {}
    void PumpIfDue() override {}
    bool Cancelled() override { return cancelled; }
    void SetCancelled(bool value) override { cancelled = value; }
    bool Hidden() override { return hidden; }
    void ShowWarning(const std::string& text) override { boxes.push_back(text); }
    std::vector<std::string>& ArchiveBitPending() override { return pending; }
    void FlushAttributeList() override {}
    bool MailConfigured() override { return true; }
    void SendJobMail(const std::vector<std::string>& body, const std::string& suffix,
                     const std::string& attachment) override {
        events.push_back("mail " + suffix + " " + attachment + " " + std::to_string(body.size()));
    }
    void JobEnded(bool) override { events.push_back("idle"); }
    void CloseMainWindow() override { events.push_back("close"); }

    bool cancelled = false, hidden = true;
    std::vector<std::string> log, boxes, events, pending;

  private:
    std::vector<std::string>& body_;
};

class Window : public StartWindow {
  public:
    Window(JobDefinition& job, const std::string& folder) : job_(job), folder_(folder) {}
    bool JobRunning() override { return running; }
    void SetJobRunning(bool value) override { running = value; }
    bool StartUpDone() override { return true; }
    void BeginReport() override { body.clear(); }
    void CloseStatusBox() override {}
    std::string TempPath() override { return folder_ + "temp\\"; }
    void SetTempPath(const std::string& path) override { tempSet = path; }
    void ShowJobStarting() override {}
    void ShowCancelAction() override {}
    void ArrangeWindowForJob() override {}
    bool KeepResumeState() override { return false; }
    void DiscardResumeState() override {}
    RunStateValues ResumeValues() override { return {}; }
    bool AskYesNo(const std::string& text) override { return asked.push_back(text), true; }
    std::string JobName() override { return "Daily.dat"; }
    void LoadJob(const std::string& name) override { loaded.push_back(name); }
    void SaveJob(const std::string& name) override { saved.push_back(name); }
    void WriteLastJob(const std::string&) override {}
    bool AspiLoaded() override { return false; }
    bool InitDiscLayer() override { return false; }
    std::string CDDriveList() override { return ""; }
    std::string ReadonlyDriveList() override { return ""; }
    void SelectBurnerDevice() override {}
    int64_t DiscCapacity(bool) override { return 0; }
    std::string DataBase() override { return folder_; }
    std::string ProgramFolder() override { return folder_; }
    std::string ProgramFile() override { return folder_ + "tarnwick.exe"; }
    bool UseTempFile() override { return false; }
    bool WindowsXP() override { return false; }
    std::string JobLogName() override { return logName; }
    void SetJobLogName(const std::string& name) override { logName = name; }
    bool CloseAfterJob() override { return closeAfter; }
    std::vector<std::string>& MailBody() override { return body; }
    core::LocaleFormat Locale() override { return {}; }
    void SetStatusCancelledText(const std::string& text) override { status.push_back(text); }

    bool running = false, closeAfter = false;
    std::string tempSet, logName;
    std::vector<std::string> asked, loaded, saved, status, body;

  private:
    JobDefinition& job_;
    std::string folder_;
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
    JobDefinition job;
    JobRun run;
    JobEndGuard guard;
};

} // namespace

TEST(JobStart, FolderDestinationRunsTheProgramBeforeThenEndsOnceWithTheReportAndTheProgramAfter) {
    StartRig rig;
    Window window(rig.job, rig.folder);
    Host host(window.body);
    JobStarter start(rig.run, rig.job, host, window, rig.guard);
    start.StartBackupJob();

    EXPECT_EQ(rig.job.ZipSizeText, "4095");
    EXPECT_EQ(start.MaxZipSize, 4'294'967'295);
    EXPECT_EQ(start.Destination.DestPath, rig.folder + "dest");
    EXPECT_EQ(rig.job.Destination, rig.folder + "dest");
    EXPECT_EQ(window.logName, rig.folder + "Log\\Daily_100.txt");
    EXPECT_TRUE(std::filesystem::is_directory(rig.folder + "Catalogs"));
    EXPECT_EQ(window.loaded, (std::vector<std::string>{"Daily.dat"}));
    EXPECT_EQ(window.saved, (std::vector<std::string>{"Daily.dat"})) << "a fresh run saves the job";
    EXPECT_EQ(window.tempSet, rig.folder + "temp\\") << "the missing temporary folder is made";
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
    EXPECT_FALSE(window.running);

    // The next run logs to the next name; a start while one runs returns without a word.
    std::ofstream(rig.folder + "Log\\Daily_100.txt") << "x";
    start.StartBackupJob();
    EXPECT_EQ(window.logName, rig.folder + "Log\\Daily_101.txt");
    window.running = true;
    const size_t logged = host.log.size();
    start.StartBackupJob();
    EXPECT_EQ(host.log.size(), logged);
}

TEST(JobStart, NotReadyDestinationAndANoDateAfterTextEndTheRunOnce) {
    StartRig rig;
    Window window(rig.job, rig.folder);
    Host host(window.body);
    JobStarter start(rig.run, rig.job, host, window, rig.guard);
    char letter = 0;
    for (char candidate = 'Y'; candidate >= 'M' && !letter; --candidate) {
        const char root[] = {candidate, ':', '\\', 0};
        if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) letter = candidate;
    }
    ASSERT_NE(letter, 0);
    rig.job.Destination = std::string(1, letter) + ":\\Backup";
    rig.job.PreRunFile.clear();
    window.closeAfter = true;
    start.StartBackupJob();
    EXPECT_EQ(window.status, (std::vector<std::string>{"Job cancelled, destination is not ready: " +
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
    EXPECT_TRUE(window.saved.empty()) << "the run ends before the job is saved";
    EXPECT_EQ(host.events.back(), "close");
}
