#include "gui/Hint.h"

#include "gui/Application.h"
#include "gui/Control.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace gui {

std::string HintLineBreaks(const std::string& text) {
    std::string result;
    result.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            result += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            result += c;
        }
    }
    return result;
}

THintHost::THintHost(HWND form) : form_(form) {
    EnsureCommonControls();
    tooltip_ = CreateWindowExA(
        WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, maxTipWidth);
}

THintHost::~THintHost() {
    if (tooltip_) DestroyWindow(tooltip_);
}

void THintHost::Fill(TOOLINFOA& info, HWND control) const {
    info = {};
    // The pre-Vista size: the one every common-controls version accepts.
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = form_;
    info.uId = reinterpret_cast<UINT_PTR>(control);
}

void THintHost::Set(HWND control, const std::string& text) {
    if (!tooltip_) return;
    if (text.empty()) {
        Remove(control);
        return;
    }
    std::string shown = HintLineBreaks(text);
    TOOLINFOA info;
    Fill(info, control);
    info.lpszText = shown.data();
    // The application's pause may have been set after the form was made.
    SetHidePause(Application().HintHidePause);
    if (TextOf(control).empty())
        SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    else
        SendMessageA(tooltip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

void THintHost::Remove(HWND control) {
    if (!tooltip_) return;
    TOOLINFOA info;
    Fill(info, control);
    SendMessageA(tooltip_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

std::string THintHost::TextOf(HWND control) const {
    if (!tooltip_) return {};
    TOOLINFOA info;
    Fill(info, control);
    if (!SendMessageA(tooltip_, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&info))) return {};
    std::vector<char> buffer(4096, '\0');
    info.lpszText = buffer.data();
    SendMessageA(tooltip_, TTM_GETTEXTA, buffer.size(), reinterpret_cast<LPARAM>(&info));
    return buffer.data();
}

void THintHost::SetActive(bool active) {
    if (tooltip_) SendMessageA(tooltip_, TTM_ACTIVATE, active, 0);
}

int THintHost::SetHidePause(int milliseconds) {
    const int kept = std::clamp(milliseconds, 0, maxHidePause);
    if (tooltip_) SendMessageA(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kept, 0));
    return kept;
}

} // namespace gui
