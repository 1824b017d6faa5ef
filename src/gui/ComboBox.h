#pragma once
// Combo box: editable (typed text) or a drop-down list. Text reads the window text, which
// the control keeps even while disabled. Focus events come from the combo's notifications,
// as the focus of an editable one sits in its inner edit.

#include "gui/Control.h"
#include "gui/ItemList.h"

namespace gui {

class TComboBox : public TControl {
  public:
    TComboBox(TParent parent, std::string name, TBounds bounds, bool editable = false,
              int dropDownHeight = 200);

    TItemList& Items() { return items_; }
    const TItemList& Items() const { return items_; }
    int ItemIndex() const { return static_cast<int>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0)); }
    void SetItemIndex(int index) { SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    std::string Text() const { return TextOfWindow(); }
    // A list takes the item of that text (none when absent); an editable box takes any text.
    void SetText(const std::string& text);
    int DroppedWidth() const { return static_cast<int>(SendMessageA(Handle(), CB_GETDROPPEDWIDTH, 0, 0)); }
    void SetDroppedWidth(int width) {
        SendMessageA(Handle(), CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
    }

    std::function<void()> OnChange;
    std::function<void()> OnDropDown;
    std::function<void()> OnCloseUp;

  protected:
    bool Notified(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    HWND handleRef_ = nullptr;
    TItemList items_;
    bool editable_;
};

} // namespace gui
