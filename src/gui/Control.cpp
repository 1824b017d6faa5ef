#include "gui/Control.h"

#include "gui/Application.h"
#include "gui/Form.h"
#include "gui/Hint.h"

#include <commctrl.h>

#include <optional>
#include <set>

namespace gui {

namespace {
constexpr char controlProperty[] = "TwControl";
}

TParent::TParent(TForm& owner) : form(&owner), handle(owner.Handle()) {}
TParent::TParent(TControl& container) : form(&container.Form()), handle(container.Handle()) {}

void RegisterControlClass(const char* className, UINT style, HBRUSH background) {
    static std::set<std::string> registered;
    if (registered.count(className)) return;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = className;
    RegisterClassExA(&windowClass);
    registered.insert(className);
}

HCURSOR CursorHandle(TCursor cursor) {
    switch (cursor) {
    case TCursor::crHourGlass:
        return LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)); // IDC_WAIT
    case TCursor::crDrag:
        return LoadCursorA(nullptr, MAKEINTRESOURCEA(32646)); // IDC_SIZEALL
    case TCursor::crNoDrop:
        return LoadCursorA(nullptr, MAKEINTRESOURCEA(32648)); // IDC_NO
    case TCursor::crArrow:
    case TCursor::crDefault:
        break;
    }
    return LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
}

void EnsureCommonControls() {
    // The common controls' window classes exist only once they are asked for.
    static const bool registered = [] {
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES};
        return InitCommonControlsEx(&classes) != FALSE;
    }();
    (void)registered;
}

bool CaptionHasMnemonic(const std::string& caption, char key) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return CharUpperA(reinterpret_cast<LPSTR>(
                   static_cast<uintptr_t>(static_cast<unsigned char>(caption[i + 1])))) ==
               CharUpperA(reinterpret_cast<LPSTR>(static_cast<uintptr_t>(static_cast<unsigned char>(key))));
    }
    return false;
}

TControl::TControl(TParent parent, std::string name)
    : TComponent(std::move(name)), parent_(parent.handle), form_(parent.form) {}

TControl::~TControl() {
    if (handle_) {
        form_->Hints().Remove(handle_);
        RemovePropA(handle_, controlProperty);
        SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        if (IsWindow(handle_)) DestroyWindow(handle_);
    }
    if (brush_) DeleteObject(brush_);
}

void TControl::CreateHandle(const char* className, DWORD style, DWORD exStyle, const std::string& text,
                            TBounds bounds) {
    EnsureCommonControls();
    handle_ =
        CreateWindowExA(exStyle, className, text.c_str(), style | WS_CHILD, bounds.left, bounds.top,
                        bounds.width, bounds.height, parent_, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!handle_) throw std::runtime_error("cannot create control \"" + Name() + "\" (" + className + ")");
    SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SetPropA(handle_, controlProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TControl::SubclassProc)));
}

TControl* TControl::FromHandle(HWND window) {
    return window ? static_cast<TControl*>(GetPropA(window, controlProperty)) : nullptr;
}

std::string TControl::TextOfWindow() const {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(handle_)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(handle_, text.data(), static_cast<int>(text.size()))));
    return text;
}

void TControl::SetTextOfWindow(const std::string& text) {
    settingProperty_ = true;
    SetWindowTextA(handle_, text.c_str());
    settingProperty_ = false;
}

void TControl::SetEnabled(bool enabled) {
    EnableWindow(handle_, enabled);
}

void TControl::SetVisible(bool visible) {
    ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE);
}

void TControl::SetHint(const std::string& hint) {
    hint_ = hint;
    form_->Hints().Set(handle_, hint);
}

void TControl::SetFocus() {
    ::SetFocus(handle_);
}

bool TControl::CanFocus() const {
    for (HWND window = handle_; window; window = GetParent(window)) {
        if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return false;
        if (!(GetWindowLongA(window, GWL_STYLE) & WS_CHILD)) break;
    }
    return true;
}

TBounds TControl::Bounds() const {
    RECT rect{};
    GetWindowRect(handle_, &rect);
    MapWindowPoints(nullptr, GetParent(handle_), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void TControl::SetBounds(int left, int top, int width, int height) {
    SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::SetColor(TColor color) {
    color_ = color;
    if (brush_) DeleteObject(brush_);
    brush_ = color == clDefault ? nullptr : CreateSolidBrush(ColorToRGB(color));
    InvalidateRect(handle_, nullptr, TRUE);
}

void TControl::SetFontColor(TColor color) {
    fontColor_ = color;
    InvalidateRect(handle_, nullptr, TRUE);
}

bool TControl::ColorMessage(HDC dc, LRESULT& result) {
    if (color_ == clDefault && fontColor_ == clDefault) return false;
    if (fontColor_ != clDefault) SetTextColor(dc, ColorToRGB(fontColor_));
    if (brush_) {
        SetBkColor(dc, ColorToRGB(color_));
        result = reinterpret_cast<LRESULT>(brush_);
    } else {
        SetBkMode(dc, TRANSPARENT);
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return true;
}

bool ReflectNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HWND sender = nullptr;
    switch (message) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
        sender = reinterpret_cast<HWND>(lParam);
        break;
    case WM_NOTIFY:
        sender = reinterpret_cast<NMHDR*>(lParam)->hwndFrom;
        break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        if (TControl* control = TControl::FromHandle(reinterpret_cast<HWND>(lParam)))
            return control->ColorMessage(reinterpret_cast<HDC>(wParam), result);
        return false;
    default:
        return false;
    }
    TControl* control = TControl::FromHandle(sender);
    return control && control->Notified(message, wParam, lParam, result);
}

LRESULT CALLBACK TControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TControl* control = FromHandle(window);
    if (!control) return DefWindowProcA(window, message, wParam, lParam);
    return Guarded([&] { return control->HandleMessage(message, wParam, lParam); }, LRESULT{0});
}

LRESULT TControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    // Input sent straight to a control (a click a button makes of BM_CLICK) is the user's too.
    std::optional<TUserInputScope> input;
    if (IsUserInputMessage(message)) input.emplace();
    if (ReflectNotification(message, wParam, lParam, result)) return result;
    switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP: {
        auto& handler = message == WM_KEYDOWN ? OnKeyDown : OnKeyUp;
        if (handler) {
            WORD key = static_cast<WORD>(wParam);
            handler(key, KeyboardShiftState());
            if (key == 0) return 0;
            wParam = key;
        }
        break;
    }
    case WM_CHAR:
        if (OnKeyPress) {
            char key = static_cast<char>(wParam);
            OnKeyPress(key);
            if (key == 0) return 0;
            wParam = static_cast<unsigned char>(key);
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        const bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
        const TMouseButton button =
            (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP)   ? TMouseButton::mbLeft
            : (message == WM_RBUTTONDOWN || message == WM_RBUTTONUP) ? TMouseButton::mbRight
                                                                     : TMouseButton::mbMiddle;
        // The control's own handling (selection, focus) comes first, as the user sees it.
        struct Restore {
            std::optional<TShiftState>& slot;
            std::optional<TShiftState> outer;
            ~Restore() { slot = outer; }
        } restore{pressShift_, pressShift_};
        if (down) pressShift_ = MouseShiftState(wParam);
        result = WndProc(message, wParam, lParam);
        auto& handler = down ? OnMouseDown : OnMouseUp;
        if (handler)
            handler(button, MouseShiftState(wParam), static_cast<short>(LOWORD(lParam)),
                    static_cast<short>(HIWORD(lParam)));
        return result;
    }
    case WM_MOUSEMOVE:
        if (OnMouseMove)
            OnMouseMove(MouseShiftState(wParam), static_cast<short>(LOWORD(lParam)),
                        static_cast<short>(HIWORD(lParam)));
        break;
    case WM_LBUTTONDBLCLK:
        result = WndProc(message, wParam, lParam);
        if (OnDblClick) OnDblClick();
        return result;
    case WM_SETFOCUS:
        if (!focusFromNotification_ && OnEnter) OnEnter();
        break;
    case WM_KILLFOCUS:
        if (!focusFromNotification_ && OnExit) OnExit();
        break;
    case WM_SIZE:
        if (OnResize) OnResize();
        break;
    case WM_SETCURSOR:
        if (cursor_ != TCursor::crDefault && reinterpret_cast<HWND>(wParam) == handle_) {
            ::SetCursor(CursorHandle(cursor_));
            return TRUE;
        }
        break;
    case WM_NCDESTROY: {
        const WNDPROC original = original_;
        RemovePropA(handle_, controlProperty);
        HWND window = handle_;
        handle_ = nullptr;
        return CallWindowProcA(original, window, message, wParam, lParam);
    }
    default:
        break;
    }
    return WndProc(message, wParam, lParam);
}

LRESULT TControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandler(message, wParam, lParam);
}

LRESULT TControl::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(original_, handle_, message, wParam, lParam);
}

} // namespace gui
