#pragma once
// The base of every windowed control: a thin owner of one child HWND, subclassed so that
// the common input events (keys, mouse, focus) reach public callables, and so that it
// passes the WM_COMMAND/WM_NOTIFY/colour messages of its own children back to them. Each
// control kind therefore handles its own notifications, whatever it is placed on.
// State is read from the HWND, never from a copy, so tests see what a user would.

#include "gui/Component.h"
#include "gui/Graphics.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace gui {

class TForm;
class TControl;

// Where a control goes: on a form directly or inside a container control (panel, frame,
// tab sheet, group box). The form is always known, for hints and keyboard handling.
struct TParent {
    TParent(TForm& form);
    TParent(TControl& container);
    TForm* form;
    HWND handle;
};

class TControl : public TComponent {
  public:
    TControl(TParent parent, std::string name);
    ~TControl() override;

    HWND Handle() const { return handle_; }
    TForm& Form() const { return *form_; }
    static TControl* FromHandle(HWND window);

    bool Enabled() const { return IsWindowEnabled(handle_) != 0; }
    void SetEnabled(bool enabled);
    bool Visible() const { return (GetWindowLongA(handle_, GWL_STYLE) & WS_VISIBLE) != 0; }
    void SetVisible(bool visible);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    void SetFocus();
    bool Focused() const { return GetFocus() == handle_; }
    bool CanFocus() const;

    int Left() const { return Bounds().left; }
    int Top() const { return Bounds().top; }
    int Width() const { return Bounds().width; }
    int Height() const { return Bounds().height; }
    TBounds Bounds() const;
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
    void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }

    // Background and text colour; clDefault leaves the system's.
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor color);
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor) { cursor_ = cursor; }

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void()> OnEnter;
    std::function<void()> OnExit;
    // Setting key to 0 consumes it.
    std::function<void(WORD& key, TShiftState shift)> OnKeyDown;
    std::function<void(WORD& key, TShiftState shift)> OnKeyUp;
    std::function<void(char& key)> OnKeyPress;
    std::function<void(TMouseButton button, TShiftState shift, int x, int y)> OnMouseDown;
    std::function<void(TMouseButton button, TShiftState shift, int x, int y)> OnMouseUp;
    std::function<void(TShiftState shift, int x, int y)> OnMouseMove;
    std::function<void()> OnResize;
    // The modifier keys of the mouse press being handled, as the press itself carried them:
    // the control's own handling of it (a grid's OnSelectCell) runs before OnMouseDown and
    // reads them here. Nothing outside a press.
    std::optional<TShiftState> PressShiftState() const { return pressShift_; }

    // Alt+letter: true when the caption marks this letter with "&"; activating clicks or
    // focuses as the control kind does.
    virtual bool AcceptsMnemonic(char key) const { return false; }
    virtual void ActivateMnemonic() { SetFocus(); }

  protected:
    void CreateHandle(const char* className, DWORD style, DWORD exStyle, const std::string& text,
                      TBounds bounds);
    std::string TextOfWindow() const;
    void SetTextOfWindow(const std::string& text);

    // A WM_COMMAND, WM_NOTIFY, WM_HSCROLL/WM_VSCROLL that this control sent to its parent.
    virtual bool Notified(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) { return false; }
    // Messages of this control after the common events ran.
    virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);
    // Focus events come from notifications for controls whose focus sits in an inner window.
    bool focusFromNotification_ = false;
    // Set while a property setter changes the window, so the change notification fires nothing.
    bool settingProperty_ = false;

  private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool ColorMessage(HDC dc, LRESULT& result);
    friend bool ReflectNotification(UINT, WPARAM, LPARAM, LRESULT&);

    HWND handle_ = nullptr;
    HWND parent_ = nullptr;
    TForm* form_ = nullptr;
    WNDPROC original_ = nullptr;
    std::string hint_;
    TColor color_ = clDefault;
    TColor fontColor_ = clDefault;
    HBRUSH brush_ = nullptr;
    TCursor cursor_ = TCursor::crDefault;
    std::optional<TShiftState> pressShift_;
};

// Hands a child's notification (and colour request) to the control that sent it; false when
// the sender is not one of ours or did not handle it. Forms and containers call it first.
bool ReflectNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// Registers a window class of our own controls once (DefWindowProc; the control subclasses).
void RegisterControlClass(const char* className, UINT style, HBRUSH background);

HCURSOR CursorHandle(TCursor cursor);

// Registers the common controls' classes (tooltips, tabs, bars) once per process.
void EnsureCommonControls();

// True when the caption marks the key with "&" ("&&" is a plain ampersand).
bool CaptionHasMnemonic(const std::string& caption, char key);

} // namespace gui
