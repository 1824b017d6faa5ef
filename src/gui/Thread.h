#pragma once
// A worker thread in the manner the program's workers expect: created running or suspended,
// an Execute body that polls Terminated, a priority the body may change for itself, and
// Synchronize to run a step on the GUI thread while the worker waits for it. OnTerminate runs
// on the GUI thread once Execute has ended; with FreeOnTerminate the object then deletes
// itself. An exception that escapes Execute is reported by the application on the GUI thread.
//
// Synchronize posts the step to the application window rather than to the thread's queue,
// so that it also runs inside modal loops (ours and the system's: message boxes, menus,
// dialogs), which drop thread messages but dispatch window messages.

#include "gui/Exceptions.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace gui {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class EThread : public Exception {
  public:
    using Exception::Exception;
};

class TThread {
  public:
    explicit TThread(bool createSuspended);
    // Not for a FreeOnTerminate thread that has started: it deletes itself. A thread still
    // running is stopped with TerminateAndWait; a derived class whose Execute uses its own
    // members calls that in its own destructor, before those members go.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Resume();
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    bool Suspended() const { return suspended_; }
    // True once Execute and OnTerminate are done.
    bool Finished() const { return finished_; }
    // Waits for the end and returns ReturnValue. On the GUI thread, synchronized steps of
    // the worker keep running meanwhile, so a worker inside Synchronize cannot deadlock it.
    int WaitFor();
    // Terminate, resume when suspended, and WaitFor; nothing when already finished.
    void TerminateAndWait();

    // Read from and written to the system's thread.
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);

    // Set before the thread can end (before Resume, or in the constructor of a running one).
    bool FreeOnTerminate = false;
    std::function<void()> OnTerminate;
    int ReturnValue = 0;

    void* Handle() const { return handle_; } // HANDLE
    uint32_t ThreadID() const { return threadId_; }

    // Runs method on the GUI thread and returns when it has run; an exception it throws is
    // thrown again here. Called on the GUI thread, it just runs method.
    static void Synchronize(const std::function<void()>& method);

  protected:
    virtual void Execute() = 0;

  private:
    static unsigned __stdcall ThreadProc(void* self);

    void* handle_ = nullptr;
    uint32_t threadId_ = 0;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> suspended_{false};
    std::atomic<bool> finished_{false};
};

} // namespace gui
