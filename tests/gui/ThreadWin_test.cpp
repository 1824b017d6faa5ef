#include "WinTestSupport.h"
#include "gui/Application.h"
#include "gui/Clock.h"
#include "gui/CriticalSection.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Thread.h"
#include "gui/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

using namespace gui;

namespace {

// A thread whose body is given by the test.
class Worker : public TThread {
  public:
    explicit Worker(std::function<void(Worker&)> body, bool suspended = true)
        : TThread(true), body_(std::move(body)) {
        if (!suspended) Resume();
    }
    ~Worker() override {
        TerminateAndWait(); // body_ must outlive the thread
        if (destroyed) *destroyed = true;
    }
    std::atomic<bool>* destroyed = nullptr;
    using TThread::Synchronize;

  protected:
    void Execute() override { body_(*this); }

  private:
    std::function<void(Worker&)> body_;
};

class ThreadTest : public testing::Test {
  protected:
    void SetUp() override {
        Application();
        testsupport::DrainQueue();
        SetPrompter(&prompter);
        prompter.OnUnscripted = [](const std::string& what) { ADD_FAILURE() << what; };
        Application().OnException = [this](const std::string& what) { logged.push_back(what); };
        Application().IsHidden = [] { return false; };
    }
    void TearDown() override {
        SetPrompter(nullptr);
        Application().OnException = nullptr;
        Application().IsHidden = nullptr;
        testsupport::DrainQueue();
    }
    TScriptedPrompter prompter;
    std::vector<std::string> logged;
};

} // namespace

// The worker blocks in Synchronize until the GUI thread has run the step, wherever the GUI
// thread happens to be pumping: the main loop, a pump, a wait, a system-style modal loop.
TEST_F(ThreadTest, SynchronizeRunsOnTheGuiThreadInsideEveryLoop) {
    const DWORD guiThread = GetCurrentThreadId();
    std::string where;
    std::vector<std::string> seen;
    auto step = [&](std::function<void()> after) {
        return [&, after] {
            seen.push_back(GetCurrentThreadId() == guiThread ? where : "wrong thread");
            after();
        };
    };

    where = "main loop";
    Worker main([&](Worker&) { Worker::Synchronize(step([] { Application().Terminate(); })); });
    main.Resume();
    Application().Run();
    main.WaitFor();

    where = "wait";
    ManualClock clock;
    SetClock(&clock);
    Worker waiting([&](Worker&) { Worker::Synchronize(step([] { PostQuitMessage(0); })); });
    waiting.Resume();
    Wait(600'000, false); // ends early on the quit the step posts
    SetClock(nullptr);
    EXPECT_TRUE(testsupport::DrainQueue());
    waiting.WaitFor();

    // A raw GetMessage/DispatchMessage loop, as message boxes, menus and dialogs run it.
    where = "modal loop";
    bool ended = false;
    Worker modal([&](Worker&) { Worker::Synchronize(step([&] { ended = true; })); });
    modal.Resume();
    MSG message;
    while (!ended && GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    modal.WaitFor();

    // WaitFor on the GUI thread serves the worker's steps, so it cannot deadlock.
    where = "wait for";
    Worker joined([&](Worker&) { Worker::Synchronize(step([] {})); });
    joined.Resume();
    joined.WaitFor();

    EXPECT_EQ(seen, (std::vector<std::string>{"main loop", "wait", "modal loop", "wait for"}));
}

TEST_F(ThreadTest, StepExceptionsReachTheWorkerAndEscapesReachTheApplication) {
    prompter.AnswerMessage(mrOk);
    std::string caughtInWorker;
    Worker worker([&](Worker&) {
        try {
            Worker::Synchronize([] { throw std::runtime_error("step failed"); });
        } catch (const std::runtime_error& error) {
            caughtInWorker = error.what();
        }
        throw std::runtime_error("Disk full while caching");
    });
    worker.Resume();
    worker.WaitFor();
    EXPECT_EQ(caughtInWorker, "step failed");
    EXPECT_EQ(logged, std::vector<std::string>{"Disk full while caching"});
    const auto asked = prompter.Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Message.Text, "Disk full while caching");
    EXPECT_EQ(asked[0].Message.Icon, TMsgIcon::Stop);

    // Hidden: logged, not shown.
    Application().IsHidden = [] { return true; };
    Worker hidden([](Worker&) { throw std::runtime_error("quietly"); });
    hidden.Resume();
    hidden.WaitFor();
    EXPECT_EQ(logged.back(), "quietly");
    EXPECT_EQ(prompter.Requests().size(), 1u);
}

TEST_F(ThreadTest, LifecycleSuspendPriorityTerminateAndFreeOnTerminate) {
    // Created suspended: nothing runs until Resume. The body lowers its own priority.
    std::atomic<bool> ran{false};
    std::atomic<int> priorityInside{-1};
    Worker self([&](Worker& me) {
        ran = true;
        me.SetPriority(TThreadPriority::tpIdle);
        priorityInside = static_cast<int>(me.Priority());
        me.ReturnValue = 42;
    });
    EXPECT_TRUE(self.Suspended());
    EXPECT_FALSE(ran);
    self.SetPriority(TThreadPriority::tpTimeCritical);
    EXPECT_EQ(self.Priority(), TThreadPriority::tpTimeCritical);
    self.Resume();
    EXPECT_EQ(self.WaitFor(), 42);
    EXPECT_EQ(priorityInside, static_cast<int>(TThreadPriority::tpIdle));

    // OnTerminate runs on the GUI thread, then a FreeOnTerminate thread deletes itself.
    std::atomic<bool> destroyed{false};
    DWORD terminateThread = 0;
    auto* detached = new Worker([](Worker& me) {
        while (!me.Terminated())
            Sleep(0);
    });
    detached->destroyed = &destroyed;
    detached->FreeOnTerminate = true;
    detached->OnTerminate = [&] { terminateThread = GetCurrentThreadId(); };
    detached->Resume();
    detached->Terminate();
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), detached->Handle(), GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE,
                    0);
    while (MsgWaitForMultipleObjects(1, &copy, FALSE, 10'000, QS_POSTMESSAGE) == WAIT_OBJECT_0 + 1)
        ProcessMessages();
    CloseHandle(copy);
    EXPECT_EQ(terminateThread, GetCurrentThreadId());
    EXPECT_TRUE(destroyed);

    // Destroying a running thread asks it to stop and waits for it.
    std::atomic<bool> started{false}, stopped{false};
    {
        Worker looping(
            [&](Worker& me) {
                started = true;
                while (!me.Terminated())
                    Sleep(0);
                stopped = true;
            },
            false);
        while (!started)
            Sleep(0);
    }
    EXPECT_TRUE(stopped);

    // A thread terminated before it starts never runs its body.
    std::atomic<bool> bodyRan{false};
    Worker early([&](Worker&) { bodyRan = true; });
    early.Terminate();
    early.Resume();
    early.WaitFor();
    EXPECT_FALSE(bodyRan);
}

TEST_F(ThreadTest, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
    TCriticalSection lock;
    long shared = 0;
    auto body = [&](Worker&) {
        for (int i = 0; i < 20000; ++i) {
            lock.Enter();
            lock.Enter(); // the cache code re-enters from nested helpers
            ++shared;
            lock.Leave();
            lock.Leave();
        }
    };
    Worker first(body, false), second(body, false);
    first.WaitFor();
    second.WaitFor();
    EXPECT_EQ(shared, 40000);
}
