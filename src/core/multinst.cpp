#include "core/multinst.h"

#include "core/Switches.h"
#include "gui/Form.h"

#include <dbt.h>

#include <cstdio>

namespace core {

namespace {
constexpr WPARAM closeRequest = 16;
}

HANDLE TInstanceGuard::OpenRunningInstanceMutex(const char* name) {
    return OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name);
}

TInstanceGuard::TInstanceGuard(gui::TApplication& application, ProgramFlags& flags,
                               const std::string& programPath, OpenMutexCall openMutex)
    : application_(application), flags_(flags) {
    const std::string name = InstanceName(programPath);
    // Names over 255 characters cannot be registered: 0 then, and message 0 is never ours.
    instanceMessage_ = RegisterWindowMessageA(name.c_str());

    HANDLE existing = openMutex(name.c_str());
    if (!existing) {
        hookId_ = application_.AddHook([this](UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
            return Hook(message, wParam, lParam, result);
        });
        mutex_ = CreateMutexA(nullptr, FALSE, name.c_str());
        // Two starts at the same moment both miss OpenMutex; the later CreateMutex then
        // opens the other's mutex and must count as a second instance too.
        if (mutex_ && GetLastError() != ERROR_ALREADY_EXISTS) return;
        if (mutex_) CloseHandle(mutex_);
        mutex_ = nullptr;
        application_.RemoveHook(hookId_);
        hookId_ = 0;
    } else {
        CloseHandle(existing);
    }

    application_.ShowMainForm = false;
    DWORD recipients = BSM_APPLICATIONS;
    if (instanceMessage_)
        BroadcastSystemMessageA(BSF_IGNORECURRENTTASK | BSF_POSTMESSAGE, &recipients, instanceMessage_, 0, 0);
    flags_.SecondInstance = true;
    application_.Terminate();
}

TInstanceGuard::~TInstanceGuard() {
    if (hookId_) application_.RemoveHook(hookId_);
    if (mutex_) CloseHandle(mutex_);
}

bool TInstanceGuard::Hook(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message == WM_DEVICECHANGE) {
        if (wParam == DBT_DEVICEARRIVAL) {
            flags_.DiscArrived = true;
            flags_.DiscRemoved = false;
            flags_.MediaChangeTicks = 0;
        } else if (wParam == DBT_DEVICEREMOVECOMPLETE) {
            flags_.DiscRemoved = true;
            flags_.DiscArrived = false;
            flags_.MediaChangeTicks = 0;
        }
        return false; // the application window's own handling follows
    }
    if (instanceMessage_ == 0 || message != instanceMessage_) return false;
    result = 0;
    if (wParam == closeRequest) {
        if (application_.MainForm) application_.MainForm->Close();
    } else {
        BringToFront();
    }
    return true;
}

void TInstanceGuard::BringToFront() {
    flags_.ActivatedByOther = true;
    gui::TForm* form = application_.MainForm;
    if (!form) return;
    if (application_.IsIconic()) {
        form->SetWindowState(gui::TWindowState::wsNormal);
        ShowWindow(application_.Handle(), SW_RESTORE);
    }
    SetForegroundWindow(form->Handle());
    ForceForegroundWindow(form->Handle());
    flags_.Hidden = form->Handle() != GetForegroundWindow();
}

bool ForceForegroundWindow(HWND window) {
    const DWORD ownThread = GetCurrentThreadId();
    const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const bool attached = foregroundThread && foregroundThread != ownThread &&
                          AttachThreadInput(ownThread, foregroundThread, TRUE);
    const bool done = SetForegroundWindow(window) != 0;
    if (!done) {
        char text[64];
        std::snprintf(text, sizeof text, "Error %lu from SetForegroundWindow", GetLastError());
        OutputDebugStringA(text);
    }
    if (attached) AttachThreadInput(ownThread, foregroundThread, FALSE);
    return done;
}

} // namespace core
