#pragma once
// A top-level form owned by the application window. Events are plain callables that tests
// may call directly; the window procedure routes the real messages to the same callables.
// Derived forms extend WndProc for their own messages and call the base for the rest.

#include <windows.h>

#include <functional>
#include <string>

namespace gui {

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

struct FormBounds {
    int left = CW_USEDEFAULT;
    int top = CW_USEDEFAULT;
    int width = 640;
    int height = 480;
};

class TForm {
  public:
    TForm(const std::string& className, const std::string& caption, FormBounds bounds);
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return handle_; }

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    bool Visible() const { return IsWindowVisible(handle_) != 0; }
    void Show();
    void Hide();
    // Runs the close query; the main form's close ends the application's loop.
    void Close();

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetBounds(int left, int top, int width, int height);
    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);

    std::function<void()> OnShow;
    std::function<void()> OnActivate;
    std::function<void(bool& canClose)> OnCloseQuery;
    std::function<void()> OnDestroy;
    std::function<void()> OnResize;

  protected:
    virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    RECT WindowRect() const;

    HWND handle_ = nullptr;
    bool shownOnce_ = false;
};

} // namespace gui
