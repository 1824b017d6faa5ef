#include "gui/Form.h"

#include "gui/Application.h"

#include <set>

namespace gui {

namespace {
void RegisterFormClass(const std::string& className, WNDPROC procedure) {
    static std::set<std::string> registered;
    if (registered.count(className)) return;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hIcon = LoadIconA(windowClass.hInstance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className.c_str();
    RegisterClassExA(&windowClass);
    registered.insert(className);
}
} // namespace

TForm::TForm(const std::string& className, const std::string& caption, FormBounds bounds) {
    RegisterFormClass(className, &TForm::StaticWndProc);
    handle_ = CreateWindowExA(0, className.c_str(), caption.c_str(), WS_OVERLAPPEDWINDOW, bounds.left, bounds.top,
                              bounds.width, bounds.height, Application().Handle(), nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TForm::~TForm() {
    if (Application().MainForm == this) Application().MainForm = nullptr;
    if (handle_) {
        SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
}

std::string TForm::Caption() const {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(handle_)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(handle_, text.data(), static_cast<int>(text.size()))));
    return text;
}

void TForm::SetCaption(const std::string& caption) { SetWindowTextA(handle_, caption.c_str()); }

void TForm::Show() {
    ShowWindow(handle_, SW_SHOW);
    if (!shownOnce_) {
        shownOnce_ = true;
        if (OnShow) OnShow();
    }
}

void TForm::Hide() { ShowWindow(handle_, SW_HIDE); }

void TForm::Close() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(canClose);
    if (!canClose) return;
    Hide();
    if (Application().MainForm == this) Application().Terminate();
}

RECT TForm::WindowRect() const {
    RECT rect{};
    GetWindowRect(handle_, &rect);
    return rect;
}

int TForm::Left() const { return WindowRect().left; }
int TForm::Top() const { return WindowRect().top; }
int TForm::Width() const { return WindowRect().right - WindowRect().left; }
int TForm::Height() const { return WindowRect().bottom - WindowRect().top; }

void TForm::SetBounds(int left, int top, int width, int height) {
    SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

TWindowState TForm::WindowState() const {
    if (IsIconic(handle_)) return TWindowState::wsMinimized;
    if (IsZoomed(handle_)) return TWindowState::wsMaximized;
    return TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
    const bool visible = Visible();
    switch (state) {
    case TWindowState::wsNormal:
        if (WindowState() != TWindowState::wsNormal) ShowWindow(handle_, visible ? SW_RESTORE : SW_SHOWNOACTIVATE);
        if (!visible) ShowWindow(handle_, SW_HIDE);
        break;
    case TWindowState::wsMinimized:
        if (Application().MainForm == this) Application().Minimize();
        else ShowWindow(handle_, SW_MINIMIZE);
        break;
    case TWindowState::wsMaximized:
        ShowWindow(handle_, SW_MAXIMIZE);
        break;
    }
}

LRESULT CALLBACK TForm::StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!form) return DefWindowProcA(window, message, wParam, lParam);
    return Guarded([&] { return form->WndProc(message, wParam, lParam); }, LRESULT{0});
}

LRESULT TForm::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(handle_, message, wParam, lParam);
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_SYSCOMMAND:
        // The main form minimises the whole application, so the taskbar button stays with it.
        if ((wParam & 0xFFF0) == SC_MINIMIZE && Application().MainForm == this) {
            Application().Minimize();
            return 0;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && OnActivate) OnActivate();
        break;
    case WM_SIZE:
        if (OnResize) OnResize();
        break;
    case WM_DESTROY:
        if (OnDestroy) OnDestroy();
        break;
    default:
        break;
    }
    return DefaultHandler(message, wParam, lParam);
}

} // namespace gui
