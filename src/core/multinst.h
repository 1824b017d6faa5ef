#pragma once
// The single-instance guard: a named mutex and a registered window message, both named after
// the program's full path, so two copies in different folders run side by side. The first
// instance hooks the application window to answer the message; a second one broadcasts it
// and ends.

#include "core/ProgramFlags.h"
#include "gui/Application.h"

#include <string>

namespace core {

class TInstanceGuard {
  public:
    // Opens the mutex of a running instance, or returns null. Replaceable so that tests can
    // stage two starts at the same moment, where both miss each other's mutex here.
    using OpenMutexCall = HANDLE (*)(const char* name);
    static HANDLE OpenRunningInstanceMutex(const char* name);

    TInstanceGuard(gui::TApplication& application, ProgramFlags& flags, const std::string& programPath,
                   OpenMutexCall openMutex = &OpenRunningInstanceMutex);
    ~TInstanceGuard();
    TInstanceGuard(const TInstanceGuard&) = delete;
    TInstanceGuard& operator=(const TInstanceGuard&) = delete;

    // 0 when the name could not be registered; then no message counts as ours.
    UINT InstanceMessage() const { return instanceMessage_; }

  private:
    bool Hook(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void BringToFront();

    gui::TApplication& application_;
    ProgramFlags& flags_;
    UINT instanceMessage_ = 0;
    HANDLE mutex_ = nullptr;
    int hookId_ = 0;
};

// Brings a window to the foreground even when another process owns the foreground, by
// attaching to the input of the foreground window's thread for the moment of the call.
bool ForceForegroundWindow(HWND window);

} // namespace core
