#pragma once
// A bar the user drags to resize the control before it: the one to its left (vertical bar) or
// above it (horizontal bar). OnCanResize may refuse or change the new size; the splitter then
// sizes its target, moves itself to the target's new edge and runs OnMoved, where the owner
// lays out the rest.

#include "gui/Control.h"

namespace gui {

enum class TSplitterKind { Vertical, Horizontal };

class TSplitter : public TControl {
  public:
    TSplitter(TParent parent, std::string name, TBounds bounds, TControl& target,
              TSplitterKind kind = TSplitterKind::Vertical);

    int MinSize = 30;
    // Sizes the target as a drag to that size would, with the same checks and events.
    void MoveTo(int newSize);

    std::function<void(int& newSize, bool& accept)> OnCanResize;
    std::function<void()> OnMoved;

  protected:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    int TargetSize() const;
    int MousePosition(LPARAM lParam) const;

    TControl& target_;
    TSplitterKind kind_;
    bool dragging_ = false;
    int dragStart_ = 0;
    int sizeAtStart_ = 0;
};

} // namespace gui
