#pragma once
// Colours, modifier state and cursors shared by forms, controls and the canvas.
// A colour is either an RGB value or, with the top bit set, a system colour index, so that
// "button face" follows the user's scheme instead of being frozen at start.

#include <windows.h>

#include <cstdint>

namespace gui {

using TColor = int32_t;
constexpr TColor SystemColor(int index) {
    return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index));
}
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clNavy = 0x800000;
constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clDefault = SystemColor(0xFF);

inline COLORREF ColorToRGB(TColor color) {
    if (color < 0) return GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color);
}

// Modifier keys and mouse buttons held during an input event.
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32,
                      ssDouble = 64;

// The keyboard part read from the thread's key state (tests set it with SetKeyboardState).
inline TShiftState KeyboardShiftState() {
    TShiftState state = 0;
    if (GetKeyState(VK_SHIFT) < 0) state |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) state |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) state |= ssAlt;
    return state;
}

// Shift state of a mouse message's wParam.
inline TShiftState MouseShiftState(WPARAM keys) {
    TShiftState state = 0;
    if (keys & MK_SHIFT) state |= ssShift;
    if (keys & MK_CONTROL) state |= ssCtrl;
    if (keys & MK_LBUTTON) state |= ssLeft;
    if (keys & MK_RBUTTON) state |= ssRight;
    if (keys & MK_MBUTTON) state |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) state |= ssAlt;
    return state;
}

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum class TCursor { crDefault, crHourGlass, crArrow, crDrag, crNoDrop };

struct TBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

} // namespace gui
