#include "gui/Application.h"

#include "gui/Clock.h"
#include "gui/Form.h"
#include "gui/KeyboardHook.h"
#include "gui/Shell.h"
#include "gui/SystemPrompter.h"
#include "gui/Timer.h"

#include <memory>
#include <optional>

namespace gui {

namespace {
constexpr char windowClassName[] = "TApplication";
}

TApplication& TApplication::Instance() {
    static TApplication application;
    return application;
}

TApplication::TApplication() {
    threadId_ = GetCurrentThreadId();
    HaltHandler = [](int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); };
    SetDefaultPrompter(&SystemPrompter());
    SetDefaultShell(&SystemShell());
    OnException = [](const std::string& what) {
        OutputDebugStringA(("Unhandled exception: " + what + "\n").c_str());
    };

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TApplication::WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hIcon = LoadIconA(windowClass.hInstance, MAKEINTRESOURCEA(1));
    windowClass.lpszClassName = windowClassName;
    RegisterClassExA(&windowClass);

    // Zero-sized and off-screen: it carries the taskbar button and the minimised state.
    handle_ = CreateWindowExA(0, windowClassName, "", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                              nullptr, nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    SetWindowTextA(handle_, title.c_str());
}

int TApplication::AddHook(Hook hook) {
    const int id = nextHookId_++;
    hooks_.push_back({id, std::move(hook)});
    return id;
}

void TApplication::RemoveHook(int id) {
    std::erase_if(hooks_, [id](const HookEntry& entry) { return entry.id == id; });
}

void TApplication::Run() {
    terminated_ = false;
    if (MainForm && ShowMainForm) {
        ShowWindow(handle_, SW_SHOWNOACTIVATE);
        MainForm->Show();
    }
    MSG message;
    for (;;) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) break;
            DispatchMessageOf(message);
            continue;
        }
        if (DispatchDueTimers()) continue;
        if (CurrentClock().DrivesTimers() && TTimer::AdvanceToNextDue()) continue;
        WaitMessage();
    }
    terminated_ = true;
}

bool TApplication::Post(std::function<void()> work) {
    auto* owned = new std::function<void()>(std::move(work));
    if (PostMessageA(handle_, WM_TW_POSTED_WORK, 0, reinterpret_cast<LPARAM>(owned))) return true;
    delete owned;
    return false;
}

void TApplication::Terminate() {
    terminated_ = true;
    PostQuitMessage(0);
}

void TApplication::Halt(int exitCode) {
    HaltHandler(exitCode);
    ExitProcess(static_cast<UINT>(exitCode)); // a test's handler is expected to throw instead
}

bool TApplication::HelpCommand(unsigned command, uintptr_t data) {
    if (HelpFile.empty()) return false;
    return Shell().Help(MainForm ? MainForm->Handle() : handle_, HelpFile, command, data);
}

void TApplication::Minimize() {
    if (!iconic_) ShowWindow(handle_, SW_MINIMIZE);
    SyncIconicState();
}

void TApplication::Restore() {
    if (iconic_) ShowWindow(handle_, SW_RESTORE);
    SyncIconicState();
}

// Minimising hides the main form and leaves the taskbar button on the application window;
// restoring brings the form back. Both the program's own calls and the system's
// (a ShowWindow from the instance hook, the taskbar) end up here.
void TApplication::SyncIconicState() {
    const bool iconicNow = IsIconic();
    if (iconicNow == iconic_) return;
    iconic_ = iconicNow;
    HWND form = MainForm ? MainForm->Handle() : nullptr;
    if (iconic_) {
        mainFormWasVisible_ = form && IsWindowVisible(form);
        if (form) ShowWindow(form, SW_HIDE);
        if (OnMinimize) OnMinimize();
    } else {
        if (form && mainFormWasVisible_) ShowWindow(form, SW_SHOW);
        if (OnRestore) OnRestore();
    }
}

void TApplication::HandleException() noexcept {
    std::string what = "unknown exception";
    try {
        throw;
    } catch (const std::exception& error) {
        what = error.what();
    } catch (...) {
    }
    try {
        if (OnException) OnException(what);
    } catch (...) {
        OutputDebugStringA("Exception handler failed\n");
    }
    // An error while showing an error (a prompter that refuses) is logged, never shown again.
    if (handlingException_) return;
    handlingException_ = true;
    try {
        if (IsHidden && !IsHidden()) {
            TMessageBoxRequest box;
            box.Caption = title_;
            box.Text = what;
            box.Icon = TMsgIcon::Stop;
            Prompter().ShowMessageBox(box);
        }
    } catch (const std::exception& error) {
        OutputDebugStringA(("Exception could not be shown: " + std::string(error.what()) + "\n").c_str());
        try {
            if (OnException) OnException(std::string("The error could not be shown: ") + error.what());
        } catch (...) {
        }
    }
    handlingException_ = false;
}

namespace {
// GUI thread only, like every window it stands for.
int userInputDepth = 0;
} // namespace

bool InUserInput() {
    return userInputDepth > 0;
}

TUserInputScope::TUserInputScope() {
    ++userInputDepth;
}

TUserInputScope::~TUserInputScope() {
    --userInputDepth;
}

TOwnWorkScope::TOwnWorkScope() : saved_(userInputDepth) {
    userInputDepth = 0;
}

TOwnWorkScope::~TOwnWorkScope() {
    userInputDepth = saved_;
}

bool IsUserInputMessage(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK) ||
           (message >= WM_NCLBUTTONDOWN && message <= WM_NCMBUTTONDBLCLK);
}

void TApplication::DispatchMessageOf(MSG& message) {
    std::optional<TUserInputScope> input;
    if (IsUserInputMessage(message.message)) input.emplace();
    if (PreTranslateKeyboard(message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

bool TApplication::DispatchDueTimers() {
    if (!CurrentClock().DrivesTimers() || !OnGuiThread()) return false;
    return TTimer::FireDue();
}

LRESULT CALLBACK TApplication::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TApplication*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    return Guarded([&] { return self->HandleMessage(message, wParam, lParam); }, LRESULT{0});
}

LRESULT TApplication::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A hook may remove itself while it runs; walk a copy.
    const std::vector<HookEntry> hooks = hooks_;
    for (auto entry = hooks.rbegin(); entry != hooks.rend(); ++entry) {
        LRESULT result = 0;
        if (entry->hook(message, wParam, lParam, result)) return result;
    }
    switch (message) {
    case WM_TW_POSTED_WORK: {
        std::unique_ptr<std::function<void()>> work(reinterpret_cast<std::function<void()>*>(lParam));
        if (work && *work) (*work)();
        return 0;
    }
    case WM_TIMER:
        TTimer::FireById(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_SIZE:
        SyncIconicState();
        break;
    case WM_ACTIVATEAPP:
        if (wParam && OnActivate) OnActivate();
        break;
    case WM_CLOSE:
        if (MainForm) MainForm->Close();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(handle_, message, wParam, lParam);
}

} // namespace gui
