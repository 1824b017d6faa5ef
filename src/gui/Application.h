#pragma once
// The application object: a hidden top-level window that owns the main form and stands for
// "the application" (minimised, restored, activated), the message loop and the one dispatch
// routine that the loop and every pump share. Top-level rather than message-only, because
// broadcasts and WM_DEVICECHANGE reach top-level windows only.

#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace gui {

class TForm;

class TApplication {
  public:
    // The process's application object, created on first use on the GUI thread.
    static TApplication& Instance();

    HWND Handle() const { return handle_; }
    DWORD ThreadId() const { return threadId_; }
    bool OnGuiThread() const { return GetCurrentThreadId() == threadId_; }

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);
    int HintHidePause = 2500;
    bool ShowHint = true;
    // The help file and the viewer call, through the shell seam.
    std::string HelpFile;
    bool HelpCommand(unsigned command, uintptr_t data = 0);
    // False keeps the main form from being shown when the loop starts (second instance).
    bool ShowMainForm = true;
    TForm* MainForm = nullptr;

    std::function<void()> OnMinimize;
    std::function<void()> OnRestore;
    std::function<void()> OnActivate;
    // Last word on an exception that reached a window procedure, timer or thread entry: the
    // log. The message is also shown through the prompter once the program has set IsHidden
    // and it says the program is not hidden; before that (early start-up, tests that never
    // set it) errors are only logged, so no box can block a headless run.
    std::function<void(const std::string& what)> OnException;
    std::function<bool()> IsHidden;
    // Ends the process at once; tests replace it.
    std::function<void(int exitCode)> HaltHandler;

    // A hook sees every message of the application window first; returning true consumes it
    // with the result given. Hooks run newest first.
    using Hook = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)>;
    int AddHook(Hook hook);
    void RemoveHook(int id);

    // Runs the message loop until a quit message; shows the main form first.
    void Run();
    // Posts a callable to run on the GUI thread inside whichever loop or pump is active.
    // False when it could not be posted (the queue is full or the window is gone).
    bool Post(std::function<void()> work);
    // Asks the loop to end (posts the quit message).
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Ends the process without running the loop out.
    [[noreturn]] void Halt(int exitCode);

    void Minimize();
    void Restore();
    bool IsIconic() const { return handle_ && ::IsIconic(handle_); }

    // Turns the exception in flight into a report; never throws.
    void HandleException() noexcept;

    // The one dispatch routine: translate, dispatch, with exceptions already contained by
    // every window procedure. Also serves timers that run on a manual clock.
    void DispatchMessageOf(MSG& message);
    // Fires timers that are due on a manual clock; false when none was due.
    bool DispatchDueTimers();

  private:
    TApplication();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void SyncIconicState();

    HWND handle_ = nullptr;
    DWORD threadId_ = 0;
    std::string title_;
    bool terminated_ = false;
    bool handlingException_ = false;
    bool iconic_ = false;
    bool mainFormWasVisible_ = false;
    struct HookEntry {
        int id;
        Hook hook;
    };
    std::vector<HookEntry> hooks_;
    int nextHookId_ = 1;
};

inline TApplication& Application() {
    return TApplication::Instance();
}

// Whether what runs now was started by the user's own input (a key, a click, a menu command)
// rather than by a timer or the program's own messages. Input scopes nest; a timer or an own
// message handled in a pump inside one suspends it, so what the timer starts never counts as
// the user's even while a user command waits.
bool InUserInput();
class TUserInputScope {
  public:
    TUserInputScope();
    ~TUserInputScope();
    TUserInputScope(const TUserInputScope&) = delete;
    TUserInputScope& operator=(const TUserInputScope&) = delete;
};
class TOwnWorkScope {
  public:
    TOwnWorkScope();
    ~TOwnWorkScope();
    TOwnWorkScope(const TOwnWorkScope&) = delete;
    TOwnWorkScope& operator=(const TOwnWorkScope&) = delete;

  private:
    int saved_;
};
// Keyboard and mouse-button messages: what the user does to a window.
bool IsUserInputMessage(UINT message);

// Message of the application window that carries a posted callable in lParam.
constexpr UINT WM_TW_POSTED_WORK = WM_APP + 0x3F00;

// Runs body; an exception is handed to the application and fallback is returned instead.
template <typename Body, typename Result> Result Guarded(Body&& body, Result fallback) noexcept {
    try {
        return body();
    } catch (...) {
        Application().HandleException();
        return fallback;
    }
}

} // namespace gui
