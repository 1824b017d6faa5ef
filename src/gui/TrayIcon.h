#pragma once
// The notification-area icon. What the program asked for (added or not, the tip) is kept
// here and is what callers read; a failing Shell_NotifyIcon (no tray, a restarting shell,
// a display-less session) is ignored, so the program behaves the same either way.

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>

namespace gui {

class TTrayIcon {
  public:
    static constexpr UINT iconId = 100;
    static constexpr UINT callbackMessage = WM_USER + 101;
    // The tip field holds 64 characters with the terminating zero.
    static constexpr size_t maxTipLength = 63;

    TTrayIcon() = default;
    ~TTrayIcon() { Remove(); }
    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;

    // An icon already there stays (it is only brought up to date); one the shell lost, as
    // after a restarted taskbar, is added again.
    void Add(HWND owner, HICON icon, const std::string& tip);
    void SetTip(const std::string& tip);
    void Remove();
    bool Added() const { return added_; }
    const std::string& Tip() const { return tip_; }

    // The shell call: tests record here; empty, Shell_NotifyIcon.
    static inline std::function<bool(DWORD action, const NOTIFYICONDATAA& data)> ShellNotify;

  private:
    bool Notify(DWORD action) const;

    HWND owner_ = nullptr;
    HICON icon_ = nullptr;
    bool added_ = false;
    std::string tip_;
};

} // namespace gui
