#pragma once
// Helpers of the control, menu and grid tests: a form per test with a scripted prompter,
// input driven through the real message path (posted, then pumped through the application's
// dispatch so the keyboard hook sees it), and painting into a memory bitmap.

#include "WinTestSupport.h"
#include "gui/Application.h"
#include "gui/Form.h"
#include "gui/Graphics.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Wait.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class VisualTest : public testing::Test {
  protected:
    void SetUp() override {
        prompter.OnUnscripted = [](const std::string& what) {
            ADD_FAILURE() << "unscripted prompt: " << what;
        };
        previousOnException_ = gui::Application().OnException;
        gui::Application().OnException = [](const std::string& what) {
            ADD_FAILURE() << "handler threw: " << what;
        };
        form = std::make_unique<gui::TForm>("TwVisualTest", "Visual test", gui::FormBounds{40, 40, 600, 420});
    }
    void TearDown() override {
        form.reset();
        SetKeys(0);
        DrainQueue();
        gui::Application().OnException = previousOnException_;
    }

    // Shows the form. Tests never take the foreground: test processes run side by side and
    // would steal each other's focus.
    void ShowForm() {
        form->Show();
        gui::ProcessMessages();
    }

    // Modifier keys as GetKeyState will report them (ssShift, ssCtrl, ssAlt).
    static void SetKeys(gui::TShiftState shift) {
        BYTE state[256] = {};
        if (shift & gui::ssShift) state[VK_SHIFT] = 0x80;
        if (shift & gui::ssCtrl) state[VK_CONTROL] = 0x80;
        if (shift & gui::ssAlt) state[VK_MENU] = 0x80;
        SetKeyboardState(state);
    }

    // A key press as the system delivers it: posted to the window, then pumped.
    static void PressKey(HWND target, WORD key, gui::TShiftState shift = 0) {
        SetKeys(shift);
        const UINT down = (shift & gui::ssAlt) ? WM_SYSKEYDOWN : WM_KEYDOWN;
        const UINT up = (shift & gui::ssAlt) ? WM_SYSKEYUP : WM_KEYUP;
        PostMessageA(target, down, key, 1);
        PostMessageA(target, up, key, static_cast<LPARAM>(0xC0000001));
        gui::ProcessMessages();
        SetKeys(0);
    }

    static void Click(HWND target, int x, int y, WPARAM keys = 0) {
        SendMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(x, y));
        SendMessageA(target, WM_LBUTTONUP, keys, MAKELPARAM(x, y));
    }

    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    std::unique_ptr<gui::TForm> form;

  private:
    std::function<void(const std::string&)> previousOnException_;
};

// A window's client area painted (WM_PRINTCLIENT) into a 32-bit memory bitmap.
class PaintedPixels {
  public:
    explicit PaintedPixels(HWND window) {
        RECT client{};
        GetClientRect(window, &client);
        width_ = client.right;
        height_ = client.bottom;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
        GdiFlush();
        const auto* pixels = static_cast<const uint32_t*>(bits);
        pixels_.assign(pixels, pixels + static_cast<size_t>(width_) * static_cast<size_t>(height_));
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    // As a COLORREF (0x00BBGGRR).
    COLORREF At(int x, int y) const {
        const uint32_t pixel =
            pixels_.at(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x));
        return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    }

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;
};

} // namespace testsupport
