#include "gui/TrayIcon.h"

#include <shellapi.h>

#include <cstring>
#include <utility>

namespace gui {

bool TTrayIcon::Notify(DWORD action) const {
    NOTIFYICONDATAA data{};
    // The original structure size: every shell version takes it.
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = owner_;
    data.uID = iconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callbackMessage;
    data.hIcon = icon_;
    std::memcpy(data.szTip, tip_.data(), tip_.size());
    // Failure is expected without a shell; the in-memory state stays what was asked.
    if (ShellNotify) return ShellNotify(action, data);
    return Shell_NotifyIconA(action, &data) != FALSE;
}

void TTrayIcon::Add(HWND owner, HICON icon, const std::string& tip) {
    // Another owner means another icon: the old one goes.
    if (added_ && owner != owner_) Remove();
    owner_ = owner;
    icon_ = icon;
    tip_ = tip.substr(0, maxTipLength);
    // Deleting and adding again would make the icon blink and move.
    if (!added_ || !Notify(NIM_MODIFY)) Notify(NIM_ADD);
    added_ = true;
}

void TTrayIcon::SetTip(const std::string& tip) {
    std::string cut = tip.substr(0, maxTipLength);
    // A job sets its progress once per file; the shell, another process, hears only a change.
    if (added_ && cut == tip_) return;
    tip_ = std::move(cut);
    if (added_) Notify(NIM_MODIFY);
}

void TTrayIcon::Remove() {
    if (!added_) return;
    Notify(NIM_DELETE);
    added_ = false;
}

} // namespace gui
