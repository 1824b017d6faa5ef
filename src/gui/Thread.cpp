#include "gui/Thread.h"

#include "gui/Application.h"
#include "gui/SysError.h"

#include <windows.h>

#include <process.h>

#include <exception>
#include <iterator>
#include <memory>

namespace gui {

namespace {

constexpr int systemPriorities[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                    THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                    THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                    THREAD_PRIORITY_TIME_CRITICAL};

// Runs the posted steps of the application window only: enough for a worker's Synchronize
// without dispatching user input into code that is waiting.
void RunPostedWork() {
    MSG message;
    while (PeekMessageA(&message, Application().Handle(), WM_TW_POSTED_WORK, WM_TW_POSTED_WORK, PM_REMOVE))
        DispatchMessageA(&message);
}

// A step the worker waits on; it outlives the wait only through the shared pointer.
struct SyncCall {
    std::function<void()> method;
    std::exception_ptr error;
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~SyncCall() { CloseHandle(done); }
};

// Hands an exception of the worker to the application on the GUI thread.
void ReportOnGuiThread(std::exception_ptr failure) noexcept {
    try {
        TThread::Synchronize([&] {
            try {
                std::rethrow_exception(failure);
            } catch (...) {
                Application().HandleException();
            }
        });
    } catch (...) {
        OutputDebugStringA("A worker's exception could not reach the GUI thread\n");
    }
}

} // namespace

TThread::TThread(bool createSuspended) {
    // Made here, on the creating (GUI) thread, never lazily by a worker's first Synchronize.
    Application();
    unsigned id = 0;
    // Always made suspended, so the members are complete before Execute can run.
    handle_ = reinterpret_cast<void*>(
        _beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id));
    if (!handle_) throw EThread("Cannot create a thread: " + SysErrorMessage(GetLastError()));
    threadId_ = id;
    suspended_ = true;
    if (!createSuspended) Resume();
}

TThread::~TThread() {
    if (handle_ && GetCurrentThreadId() != threadId_) {
        try {
            TerminateAndWait();
        } catch (const std::exception& error) {
            OutputDebugStringA(
                ("A thread could not be stopped: " + std::string(error.what()) + "\n").c_str());
        }
    }
    if (handle_) CloseHandle(handle_);
}

void TThread::TerminateAndWait() {
    if (finished_) return;
    Terminate();
    while (suspended_)
        Resume();
    WaitFor();
}

void TThread::Resume() {
    const DWORD previous = ResumeThread(handle_);
    if (previous == static_cast<DWORD>(-1))
        throw EThread("Cannot resume a thread: " + SysErrorMessage(GetLastError()));
    if (previous <= 1) suspended_ = false;
}

int TThread::WaitFor() {
    if (GetCurrentThreadId() == threadId_) throw EThread("A thread cannot wait for itself");
    const bool guiThread = Application().OnGuiThread();
    for (;;) {
        const DWORD result = guiThread
                                 ? MsgWaitForMultipleObjects(1, &handle_, FALSE, INFINITE, QS_POSTMESSAGE)
                                 : WaitForSingleObject(handle_, INFINITE);
        if (result == WAIT_OBJECT_0) break;
        if (result == WAIT_FAILED)
            throw EThread("Cannot wait for a thread: " + SysErrorMessage(GetLastError()));
        RunPostedWork();
    }
    return ReturnValue;
}

TThreadPriority TThread::Priority() const {
    const int value = GetThreadPriority(handle_);
    for (size_t i = 0; i < std::size(systemPriorities); ++i)
        if (systemPriorities[i] == value) return static_cast<TThreadPriority>(i);
    return TThreadPriority::tpNormal;
}

void TThread::SetPriority(TThreadPriority priority) {
    if (!SetThreadPriority(handle_, systemPriorities[static_cast<int>(priority)]))
        throw EThread("Cannot change a thread's priority: " + SysErrorMessage(GetLastError()));
}

void TThread::Synchronize(const std::function<void()>& method) {
    TApplication& application = Application();
    if (application.OnGuiThread()) return method();
    auto call = std::make_shared<SyncCall>();
    call->method = method;
    if (!call->done) throw EThread("Cannot create the event of a synchronized call");
    const bool posted = application.Post([call] {
        try {
            call->method();
        } catch (...) {
            call->error = std::current_exception();
        }
        SetEvent(call->done);
    });
    if (!posted) throw EThread("Cannot reach the GUI thread: " + SysErrorMessage(GetLastError()));
    WaitForSingleObject(call->done, INFINITE);
    if (call->error) std::rethrow_exception(call->error);
}

unsigned __stdcall TThread::ThreadProc(void* parameter) {
    auto* self = static_cast<TThread*>(parameter);
    std::exception_ptr failure;
    try {
        if (!self->Terminated()) self->Execute();
    } catch (...) {
        failure = std::current_exception();
    }
    // The report and OnTerminate run on the GUI thread; neither may end this thread early.
    if (failure) ReportOnGuiThread(failure);
    if (self->OnTerminate) {
        try {
            Synchronize(self->OnTerminate);
        } catch (...) {
            ReportOnGuiThread(std::current_exception());
        }
    }
    const int result = self->ReturnValue;
    const bool freeOnTerminate = self->FreeOnTerminate;
    self->finished_ = true;
    if (freeOnTerminate) delete self;
    return static_cast<unsigned>(result);
}

} // namespace gui
