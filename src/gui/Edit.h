#pragma once
// One-line edit. OnChange runs for the user's typing only: setting Text from code fires
// nothing. The password character can be switched at run time.

#include "gui/Control.h"

namespace gui {

class TEdit : public TControl {
  public:
    TEdit(TParent parent, std::string name, TBounds bounds, const std::string& text = {});

    std::string Text() const { return TextOfWindow(); }
    void SetText(const std::string& text) { SetTextOfWindow(text); }
    // 0 shows the text as typed.
    char PasswordChar() const { return static_cast<char>(SendMessageA(Handle(), EM_GETPASSWORDCHAR, 0, 0)); }
    void SetPasswordChar(char mask);
    bool ReadOnly() const { return (GetWindowLongA(Handle(), GWL_STYLE) & ES_READONLY) != 0; }
    void SetReadOnly(bool readOnly) { SendMessageA(Handle(), EM_SETREADONLY, readOnly, 0); }
    void SetMaxLength(int length) { SendMessageA(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(length), 0); }
    void SelectAll() { SendMessageA(Handle(), EM_SETSEL, 0, -1); }
    // The caret's character position, and moving the caret there (nothing selected).
    int SelStart() const {
        DWORD start = 0;
        SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
        return static_cast<int>(start);
    }
    void SetSelStart(int position) { SendMessageA(Handle(), EM_SETSEL, position, position); }

    std::function<void()> OnChange;

  protected:
    TEdit(TParent parent, std::string name, TBounds bounds, const std::string& text, DWORD style);
    bool Notified(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

} // namespace gui
