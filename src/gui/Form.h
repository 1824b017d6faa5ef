#pragma once
// A top-level form owned by the application window. Events are plain callables that tests
// may call directly; the window procedure routes the real messages to the same callables.
// Derived forms extend WndProc for their own messages and call the base for the rest.
// The form owns the controls, menu items and actions made on it (`Create<T>`) and finds
// them by name (`Find<T>`); they go before the window does.

#include "gui/Component.h"
#include "gui/Graphics.h"
#include "gui/Prompter.h"

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gui {

class THintHost;
class TMainMenu;
class TControl;

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TBorderStyle { bsSizeable, bsDialog, bsToolWindow, bsSingle };

struct FormBounds {
    int left = CW_USEDEFAULT;
    int top = CW_USEDEFAULT;
    int width = 640;
    int height = 480;
};

class TForm : public TComponentOwner {
  public:
    TForm(const std::string& className, const std::string& caption, FormBounds bounds,
          TBorderStyle border = TBorderStyle::bsSizeable);
    ~TForm() override;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return handle_; }
    static TForm* FromHandle(HWND window);

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    bool Visible() const { return IsWindowVisible(handle_) != 0; }
    void Show();
    void Hide();
    // Runs the close query; a modal form ends its loop, the main form ends the application's.
    void Close();

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetBounds(int left, int top, int width, int height);
    int ClientWidth() const;
    int ClientHeight() const;
    void SetClientSize(int width, int height);
    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);
    void CenterOnScreen();
    // Centres over another window; a negative left or top becomes 0. A reference height, when
    // given, stands in for the other window's height.
    void CenterOn(HWND other, int referenceHeight = -1);

    // Topmost by SetWindowPos, so the window (and every message posted to it) keeps its handle.
    // The state is what was asked: not every window manager reports WS_EX_TOPMOST back.
    bool StayOnTop() const { return stayOnTop_; }
    void SetStayOnTop(bool onTop);
    HWND OwnerWindow() const { return GetWindow(handle_, GW_OWNER); }
    void SetOwnerWindow(HWND owner);

    TColor Color() const { return color_; }
    void SetColor(TColor color);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show);
    THintHost& Hints() { return *hints_; }
    bool KeyPreview = false;
    bool DragAcceptsFiles() const { return (GetWindowLongA(handle_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; }
    void SetDragAcceptFiles(bool accept);

    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* menu);
    // The control focused when the form is shown.
    TControl* ActiveControl = nullptr;

    // Modal use: the prompter decides how (the product runs RunModalLoop, tests answer).
    int ShowModal();
    int RunModalLoop();
    bool Modal() const { return modal_; }
    int ModalResult = mrNone;

    // Derived forms call it at the end of their constructor, once their members exist.
    void DoCreate() {
        if (OnCreate) OnCreate();
    }

    std::function<void()> OnCreate;
    std::function<void()> OnShow;
    std::function<void()> OnActivate;
    std::function<void(bool& canClose)> OnCloseQuery;
    std::function<void()> OnDestroy;
    std::function<void()> OnResize;
    // Seen before the focused control's own handler while KeyPreview is set.
    std::function<void(WORD& key, TShiftState shift)> OnKeyDown;
    std::function<void(WORD& key, TShiftState shift)> OnKeyUp;
    std::function<void(const std::vector<std::string>& files)> OnDropFiles;

  protected:
    virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    RECT WindowRect() const;
    void DropFiles(HDROP drop);
    void FocusFirstControl();

    HWND handle_ = nullptr;
    std::unique_ptr<THintHost> hints_;
    TMainMenu* menu_ = nullptr;
    TColor color_ = clBtnFace;
    HBRUSH brush_ = nullptr;
    bool showHint_ = true;
    bool modal_ = false;
    bool activatedOnce_ = false;
    bool stayOnTop_ = false;
};

} // namespace gui
