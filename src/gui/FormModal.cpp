#include "gui/Application.h"
#include "gui/Clock.h"
#include "gui/Form.h"
#include "gui/Timer.h"

namespace gui {

namespace {
// Every other enabled, visible top-level window of the thread is disabled for the time of
// the modal loop, as a dialog's owner would be.
struct DisabledWindows {
    HWND modal;
    std::vector<HWND> windows;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM context) {
    auto* state = reinterpret_cast<DisabledWindows*>(context);
    if (window != state->modal && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        state->windows.push_back(window);
    }
    return TRUE;
}
} // namespace

int TForm::ShowModal() {
    TModalRequest request;
    request.Form = this;
    request.RunModal = [this] { return RunModalLoop(); };
    ModalResult = mrNone;
    return Prompter().ShowModal(request);
}

int TForm::RunModalLoop() {
    DisabledWindows disabled{handle_, {}};
    EnumThreadWindows(GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&disabled));
    modal_ = true;
    ModalResult = mrNone;
    Show();
    TApplication& application = Application();
    MSG message;
    while (ModalResult == mrNone) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // The application's loop must still see it.
                PostQuitMessage(static_cast<int>(message.wParam));
                ModalResult = mrCancel;
                break;
            }
            application.DispatchMessageOf(message);
            continue;
        }
        if (application.DispatchDueTimers()) continue;
        if (CurrentClock().DrivesTimers() && TTimer::AdvanceToNextDue()) continue;
        WaitMessage();
    }
    // Owners come back before the dialog hides, so activation returns to them.
    for (HWND window : disabled.windows)
        if (IsWindow(window)) EnableWindow(window, TRUE);
    Hide();
    modal_ = false;
    return ModalResult;
}

} // namespace gui
