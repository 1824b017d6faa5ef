#pragma once
// List box. Items are the control's own strings (sorted by the layer when Sorted is set);
// multi-select boxes use the extended selection of Shift and Ctrl clicks.

#include "gui/Control.h"
#include "gui/ItemList.h"

#include <string>
#include <vector>

namespace gui {

class TListBox : public TControl {
  public:
    TListBox(TParent parent, std::string name, TBounds bounds, bool multiSelect = false, bool sorted = false);

    TItemList& Items() { return items_; }
    const TItemList& Items() const { return items_; }
    bool Sorted() const { return items_.Sorted(); }
    void SetSorted(bool sorted) { items_.SetSorted(sorted); }
    bool MultiSelect() const { return multiSelect_; }

    // The focused item of a multi-select box, the selected one otherwise; -1 when none.
    int ItemIndex() const;
    void SetItemIndex(int index);
    bool Selected(int index) const {
        return SendMessageA(Handle(), LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
    }
    void SetSelected(int index, bool selected);
    int SelCount() const;
    void ClearSelection();
    int TopIndex() const { return static_cast<int>(SendMessageA(Handle(), LB_GETTOPINDEX, 0, 0)); }
    void SetTopIndex(int index) { SendMessageA(Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(index), 0); }
    // The item under a client point, -1 below the last item.
    int ItemAtPos(int x, int y) const;

    // The horizontal scroll range grows to the widest of these texts, so a line wider than the
    // box can be scrolled to instead of being cut; the bar shows only while one is wider.
    void WidenFor(const std::vector<std::string>& texts);
    void ResetWidth();

    std::function<void()> OnChange;

  protected:
    bool Notified(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    HWND handleRef_ = nullptr;
    TItemList items_;
    bool multiSelect_;
    int scrollWidth_ = 0;
};

} // namespace gui
