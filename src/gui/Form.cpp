#include "gui/Form.h"

#include "gui/Application.h"
#include "gui/Control.h"
#include "gui/Hint.h"
#include "gui/Menu.h"

#include <shellapi.h>

#include <algorithm>
#include <set>

namespace gui {

namespace {
constexpr char formProperty[] = "TwForm";

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

void BorderStyles(TBorderStyle border, DWORD& style, DWORD& exStyle) {
    exStyle = WS_EX_CONTROLPARENT;
    switch (border) {
    case TBorderStyle::bsSizeable:
        style = WS_OVERLAPPEDWINDOW;
        break;
    case TBorderStyle::bsDialog:
        style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        exStyle |= WS_EX_DLGMODALFRAME;
        break;
    case TBorderStyle::bsToolWindow:
        style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
        exStyle |= WS_EX_TOOLWINDOW;
        break;
    case TBorderStyle::bsSingle:
        style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        break;
    }
    style |= WS_CLIPCHILDREN;
}

bool OwnProcessWindow(HWND window) {
    DWORD process = 0;
    if (!window) return false;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId();
}
} // namespace

TForm::TForm(const std::string& className, const std::string& caption, FormBounds bounds,
             TBorderStyle border) {
    RegisterFormClass(className, &TForm::StaticWndProc);
    DWORD style = 0, exStyle = 0;
    BorderStyles(border, style, exStyle);
    handle_ = CreateWindowExA(exStyle, className.c_str(), caption.c_str(), style, bounds.left, bounds.top,
                              bounds.width, bounds.height, Application().Handle(), nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (!handle_) throw std::runtime_error("cannot create form \"" + caption + "\"");
    SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetPropA(handle_, formProperty, this);
    hints_ = std::make_unique<THintHost>(handle_);
    hints_->SetHidePause(Application().HintHidePause);
}

TForm::~TForm() {
    if (Application().MainForm == this) Application().MainForm = nullptr;
    if (OnDestroy) OnDestroy();
    SetMenu(nullptr);
    FreeComponents();
    hints_.reset();
    if (handle_) {
        RemovePropA(handle_, formProperty);
        SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
    if (brush_) DeleteObject(brush_);
}

TForm* TForm::FromHandle(HWND window) {
    return window ? static_cast<TForm*>(GetPropA(window, formProperty)) : nullptr;
}

std::string TForm::Caption() const {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(handle_)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(handle_, text.data(), static_cast<int>(text.size()))));
    return text;
}

void TForm::SetCaption(const std::string& caption) {
    SetWindowTextA(handle_, caption.c_str());
}

void TForm::Show() {
    ShowWindow(handle_, SW_SHOW);
    FocusFirstControl();
}

void TForm::Hide() {
    ShowWindow(handle_, SW_HIDE);
}

void TForm::Close() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(canClose);
    if (!canClose) return;
    if (modal_) {
        if (ModalResult == mrNone) ModalResult = mrCancel;
        return;
    }
    Hide();
    if (Application().MainForm == this) Application().Terminate();
}

void TForm::FocusFirstControl() {
    if (ActiveControl && ActiveControl->CanFocus()) ActiveControl->SetFocus();
}

RECT TForm::WindowRect() const {
    RECT rect{};
    GetWindowRect(handle_, &rect);
    return rect;
}

int TForm::Left() const {
    return WindowRect().left;
}
int TForm::Top() const {
    return WindowRect().top;
}
int TForm::Width() const {
    return WindowRect().right - WindowRect().left;
}
int TForm::Height() const {
    return WindowRect().bottom - WindowRect().top;
}

void TForm::SetBounds(int left, int top, int width, int height) {
    SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

int TForm::ClientWidth() const {
    RECT rect{};
    GetClientRect(handle_, &rect);
    return rect.right;
}

int TForm::ClientHeight() const {
    RECT rect{};
    GetClientRect(handle_, &rect);
    return rect.bottom;
}

void TForm::SetClientSize(int width, int height) {
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongA(handle_, GWL_STYLE)),
                       GetMenu(handle_) != nullptr, static_cast<DWORD>(GetWindowLongA(handle_, GWL_EXSTYLE)));
    SetWindowPos(handle_, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
        if (WindowState() != TWindowState::wsNormal)
            ShowWindow(handle_, visible ? SW_RESTORE : SW_SHOWNOACTIVATE);
        if (!visible) ShowWindow(handle_, SW_HIDE);
        break;
    case TWindowState::wsMinimized:
        if (Application().MainForm == this)
            Application().Minimize();
        else
            ShowWindow(handle_, SW_MINIMIZE);
        break;
    case TWindowState::wsMaximized:
        ShowWindow(handle_, SW_MAXIMIZE);
        break;
    }
}

void TForm::CenterOnScreen() {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    SetBounds(area.left + (area.right - area.left - Width()) / 2,
              area.top + (area.bottom - area.top - Height()) / 2, Width(), Height());
}

void TForm::CenterOn(HWND other, int referenceHeight) {
    RECT rect{};
    if (!other || !GetWindowRect(other, &rect)) return CenterOnScreen();
    const int height = referenceHeight >= 0 ? referenceHeight : static_cast<int>(rect.bottom - rect.top);
    const int left = static_cast<int>(rect.left) + (static_cast<int>(rect.right - rect.left) - Width()) / 2;
    const int top = static_cast<int>(rect.top) + (height - Height()) / 2;
    SetBounds(std::max(left, 0), std::max(top, 0), Width(), Height());
}

void TForm::SetStayOnTop(bool onTop) {
    stayOnTop_ = onTop;
    SetWindowPos(handle_, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm::SetOwnerWindow(HWND owner) {
    SetWindowLongPtrA(handle_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
}

void TForm::SetColor(TColor color) {
    color_ = color;
    if (brush_) DeleteObject(brush_);
    brush_ = color == clBtnFace ? nullptr : CreateSolidBrush(ColorToRGB(color));
    InvalidateRect(handle_, nullptr, TRUE);
}

void TForm::SetShowHint(bool show) {
    showHint_ = show;
    hints_->SetActive(show);
}

void TForm::SetDragAcceptFiles(bool accept) {
    DragAcceptFiles(handle_, accept);
}

void TForm::SetMenu(TMainMenu* menu) {
    if (menu_) menu_->Attach(nullptr);
    menu_ = menu;
    if (menu_)
        menu_->Attach(handle_);
    else
        ::SetMenu(handle_, nullptr);
}

void TForm::DropFiles(HDROP drop) {
    std::vector<std::string> files;
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::string name(DragQueryFileA(drop, i, nullptr, 0) + 1, '\0');
        name.resize(DragQueryFileA(drop, i, name.data(), static_cast<UINT>(name.size())));
        files.push_back(std::move(name));
    }
    DragFinish(drop);
    if (OnDropFiles) OnDropFiles(files);
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
    LRESULT result = 0;
    if (ReflectNotification(message, wParam, lParam, result)) return result;
    switch (message) {
    case WM_COMMAND:
        if (lParam == 0 && menu_ && menu_->Command(LOWORD(wParam))) return 0;
        break;
    case WM_INITMENUPOPUP:
        if (menu_) menu_->InitPopup(reinterpret_cast<HMENU>(wParam));
        return 0;
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
    case WM_SHOWWINDOW:
        if (wParam && lParam == 0 && OnShow) OnShow();
        break;
    case WM_ACTIVATE:
        // Switching back from another program is the application's activation, not the form's.
        if (LOWORD(wParam) != WA_INACTIVE) {
            const bool fromOwnWindow = OwnProcessWindow(reinterpret_cast<HWND>(lParam));
            const bool first = !activatedOnce_;
            activatedOnce_ = true;
            if ((first || fromOwnWindow) && OnActivate) OnActivate();
        }
        break;
    case WM_ERASEBKGND:
        if (brush_) {
            RECT rect{};
            GetClientRect(handle_, &rect);
            FillRect(reinterpret_cast<HDC>(wParam), &rect, brush_);
            return 1;
        }
        break;
    case WM_DROPFILES:
        DropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_SIZE:
        if (OnResize) OnResize();
        break;
    default:
        break;
    }
    return DefaultHandler(message, wParam, lParam);
}

} // namespace gui
