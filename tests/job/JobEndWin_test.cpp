// The wait before the program after the job, with the window's close already queued by the end
// phase: the whole wait passes on the clock before the program starts, and the quit stays
// queued for the main loop.

#include "gui/Clock.h"
#include "gui/Shell.h"
#include "gui/Wait.h"
#include "job/JobEnd.h"
#include "job/WindowlessHost.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace job;

TEST(JobEndWin, WaitBeforeTheProgramAfterTheJobOutlastsAQueuedQuit) {
    // The window's own waits and pumps, as the main form's host makes them.
    struct PumpingHost : WindowlessHost {
        void Wait(int milliseconds) override { gui::Wait(milliseconds, false); }
        void PumpIfDue() override { gui::PumpIfDue(10); }
    };
    gui::ManualClock clock;
    gui::SetClock(&clock);
    struct TimedShell : gui::TRecordingShell {
        bool Open(const std::string& target, const std::string& parameters,
                  const std::string& folder) override {
            startedAt = gui::CurrentClock().MonotonicMs();
            return TRecordingShell::Open(target, parameters, folder);
        }
        int64_t startedAt = -1;
    } shell;
    gui::SetShell(&shell);
    PumpingHost host;
    JobEndGuard guard;
    guard.JobStarted();
    JobEndInput input;
    input.PostRunFile = "\"C:\\Tools\\after.exe\" /done";
    input.PostWait = 5;

    PostQuitMessage(3);
    JobEnd(guard, host, input);
    gui::SetShell(nullptr);
    gui::SetClock(nullptr);

    ASSERT_EQ(shell.Calls().size(), 1u);
    EXPECT_GE(shell.startedAt, 5'000) << "the program after the job started before its wait was over";
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 3u);
}
