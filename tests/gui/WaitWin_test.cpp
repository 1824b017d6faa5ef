#include "WinTestSupport.h"
#include "gui/Application.h"
#include "gui/Clock.h"
#include "gui/Timer.h"
#include "gui/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class WaitTest : public testing::Test {
  protected:
    void SetUp() override {
        gui::Application();
        testsupport::DrainQueue();
        gui::SetClock(&clock);
    }
    void TearDown() override {
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    gui::ManualClock clock;
};

} // namespace

TEST_F(WaitTest, ZeroAndNegativeWaitsPumpOnceAndReturn) {
    int ran = 0;
    gui::Application().Post([&] { ++ran; });
    gui::Wait(0, false);
    EXPECT_EQ(ran, 1);
    EXPECT_LE(clock.MonotonicMs(), 1);

    gui::Application().Post([&] { ++ran; });
    gui::Wait(-5000, false);
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(clock.MonotonicMs(), 0);
}

TEST_F(WaitTest, LastsAtLeastTheTimeAskedEvenAcrossAClockChange) {
    gui::Application().Post([&] { clock.ShiftWallClock(-1.0 / 24); }); // DST ends during the wait
    gui::Wait(2000, false);
    EXPECT_GE(clock.MonotonicMs(), 2000);
    EXPECT_LE(clock.MonotonicMs(), 2002);
}

TEST_F(WaitTest, QuitMessageEndsTheWaitAndStaysQueued) {
    gui::Application().Post([] { PostQuitMessage(7); });
    gui::Wait(60'000, false);
    EXPECT_LT(clock.MonotonicMs(), 60'000);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_TRUE(gui::ProcessMessages() == false);
}

TEST_F(WaitTest, TimerTicksRunNestedInsideWaitsAndCoalesce) {
    gui::TTimer timer;
    int ticks = 0;
    int innerWaits = 0;
    timer.OnTimer = [&] {
        ++ticks;
        if (ticks == 1) {
            // A tick that waits itself: the nesting ends as the inner wait ends.
            gui::Wait(300, false);
            ++innerWaits;
        }
    };
    timer.SetInterval(1000);
    timer.SetEnabled(true);
    gui::Wait(3500, false);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(innerWaits, 1);

    // A timer that fell far behind fires once, as WM_TIMER does.
    ticks = 0;
    clock.Advance(10'000);
    gui::ProcessMessages();
    EXPECT_EQ(ticks, 1);
    timer.SetEnabled(false);
    clock.Advance(5000);
    gui::ProcessMessages();
    EXPECT_EQ(ticks, 1);
}

TEST_F(WaitTest, WorkerThreadWaitsWithoutTouchingTheGuiQueue) {
    int ran = 0;
    gui::Application().Post([&] { ++ran; });
    std::atomic<bool> done{false};
    std::thread worker([&] {
        gui::Wait(500, false);
        done = true;
    });
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(ran, 0) << "the worker must not run the GUI thread's messages";
    EXPECT_GE(clock.MonotonicMs(), 500);
    gui::ProcessMessages();
    EXPECT_EQ(ran, 1);
}

TEST_F(WaitTest, ExceptionInAHandlerIsReportedAndTheWaitGoesOn) {
    std::string reported;
    auto previous = gui::Application().OnException;
    gui::Application().OnException = [&](const std::string& what) { reported = what; };
    gui::Application().Post([] { throw std::runtime_error("handler failed"); });
    int after = 0;
    gui::Application().Post([&] { ++after; });
    gui::Wait(10, false);
    gui::Application().OnException = previous;
    EXPECT_EQ(reported, "handler failed");
    EXPECT_EQ(after, 1);
}

TEST(WaitSystemClock, RealClockWaitReturnsAfterItsTime) {
    gui::Application();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    gui::Wait(20, true);
    QueryPerformanceCounter(&end);
    EXPECT_GE((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart, 19);
}
