// The end of a job: the report and the program after the job happen once per started job,
// however many ends overlap, never while a step of the job still runs, the cancel flag is
// cleared by the end of a started job, and an unattended run closes the program.

#include "gui/Clock.h"
#include "gui/Shell.h"
#include "job/JobEnd.h"
#include "job/WindowlessHost.h"

#include <gtest/gtest.h>

using namespace job;

namespace {

class EndHost : public WindowlessHost {
  public:
    void AddToLog(const std::string& text) override { log.push_back(text); }
    void Wait(int milliseconds) override {
        waits.push_back(milliseconds);
        if (duringWait) duringWait();
    }
    bool MailConfigured() override { return true; }
    void SendJobMail(const std::vector<std::string>& body, const std::string& suffix,
                     const std::string& attachment) override {
        mails.push_back(suffix + "|" + attachment + "|" + std::to_string(body.size()));
    }
    void JobEnded(bool) override { ++idle; }
    void CloseMainWindow() override { ++closes; }

    std::vector<std::string> log, mails;
    std::vector<int> waits;
    std::function<void()> duringWait;
    int idle = 0, closes = 0;
};

} // namespace

TEST(JobEnd, OverlappingEndsMailAndRunTheProgramAfterOncePerJobAndNotWhileTheStartRuns) {
    gui::TRecordingShell shell;
    gui::SetShell(&shell);
    gui::ManualClock clock;
    gui::SetClock(&clock);
    EndHost host;
    JobEndGuard guard;
    std::vector<std::string> body{"Backup started: Daily.dat", "Backup end: Daily.dat"};
    JobEndInput input{&body, "Daily.dat", "C:\\T\\Log\\Daily_100.txt", "\"C:\\Tools\\after.exe\" /done", 3};

    guard.JobStarted();
    guard.StepBegins();
    host.SetCancelled(true);
    JobEnd(guard, host, input); // the timer's cancel minute inside a pumped wait of the start
    EXPECT_TRUE(host.mails.empty()) << "the start ends the job itself";
    EXPECT_TRUE(host.Cancelled()) << "the start still has to see the cancel";
    guard.StepEnds();

    // The start's own end; the end phase arrives inside its wait for the program after.
    host.duringWait = [&] { JobEnd(guard, host, input); };
    JobEnd(guard, host, input);
    host.duringWait = nullptr;
    EXPECT_FALSE(host.Cancelled()) << "the cancel ends with its job";
    // A cancel set for the drives tab's own work, which the timer's cancel minute sees: an end
    // with no job started leaves it.
    host.SetCancelled(true);
    JobEnd(guard, host, input); // and once more afterwards
    EXPECT_TRUE(host.Cancelled());
    host.SetCancelled(false);
    EXPECT_EQ(host.mails, (std::vector<std::string>{"Daily.dat|C:\\T\\Log\\Daily_100.txt|2"}));
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(host.waits, (std::vector<int>{3000}));
    ASSERT_EQ(shell.Calls().size(), 1u);
    EXPECT_EQ(shell.Calls()[0].Target, "C:\\Tools\\after.exe");
    EXPECT_EQ(shell.Calls()[0].Parameters, "/done");
    EXPECT_EQ(shell.Calls()[0].Folder, "C:\\Tools\\");
    EXPECT_EQ(host.closes, 0);

    // The next job reports again; an unattended run closes the program after it.
    guard.JobStarted();
    body = {"Backup started: Daily.dat"};
    input.CloseAfterJob = true;
    input.PostRunFile.clear();
    JobEnd(guard, host, input);
    EXPECT_EQ(host.mails.size(), 2u);
    EXPECT_EQ(host.closes, 1);
    gui::SetShell(nullptr);
    gui::SetClock(nullptr);
}
