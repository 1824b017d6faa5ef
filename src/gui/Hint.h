#pragma once
// Hints: one tooltip window per form, one tool per control that has a hint. Texts may hold
// line breaks (a lone CR as well as CR LF); the tip is given a maximum width so that the
// tooltip honours them.
//
// The hide delay is a WORD in TTM_SETDELAYTIME and values past 32,767 ms are not kept
// reliably by every common-controls version, so longer pauses are capped there.

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace gui {

class THintHost {
  public:
    explicit THintHost(HWND form);
    ~THintHost();
    THintHost(const THintHost&) = delete;
    THintHost& operator=(const THintHost&) = delete;

    HWND Handle() const { return tooltip_; }
    // An empty text removes the control's tool.
    void Set(HWND control, const std::string& text);
    void Remove(HWND control);
    // The text the tooltip holds for the control ("" when none).
    std::string TextOf(HWND control) const;
    void SetActive(bool active);
    // Milliseconds a tip stays up; returns the value the tooltip was given.
    int SetHidePause(int milliseconds);

    static constexpr int maxHidePause = 32767;
    static constexpr int maxTipWidth = 400;

  private:
    void Fill(TOOLINFOA& info, HWND control) const;
    HWND form_;
    HWND tooltip_ = nullptr;
};

// CR and LF alone become CR LF, the break the tooltip draws.
std::string HintLineBreaks(const std::string& text);

} // namespace gui
