#pragma once
// Tabbed pages over the system tab control. Each sheet is a container window inside the tab
// control's display area; the tab of a sheet can be hidden, which removes its tab item (the
// control has no hidden tabs) and puts it back at its place among the visible ones later.
// Setting ActivePage from code fires nothing; a user's tab click runs OnChanging, which may
// refuse, then OnChange.

#include "gui/Control.h"

#include <vector>

namespace gui {

class TPageControl;

class TTabSheet : public TControl {
  public:
    TTabSheet(TPageControl& pages, std::string name, const std::string& caption);
    ~TTabSheet() override;

    std::string Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool visible);
    // Place among all sheets, and among the visible tabs (-1 while the tab is hidden).
    int PageIndex() const;
    int TabIndex() const;
    TPageControl& PageControl() const { return pages_; }

  private:
    friend class TPageControl;
    TPageControl& pages_;
    std::string caption_;
    bool tabVisible_ = true;
};

class TPageControl : public TControl {
  public:
    TPageControl(TParent parent, std::string name, TBounds bounds);

    int PageCount() const { return static_cast<int>(sheets_.size()); }
    TTabSheet& Pages(int index) const { return *sheets_.at(static_cast<size_t>(index)); }
    TTabSheet* ActivePage() const;
    void SetActivePage(TTabSheet* sheet);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index) { SetActivePage(&Pages(index)); }

    std::function<void(bool& allowChange)> OnChanging;
    std::function<void()> OnChange;

  protected:
    bool Notified(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    friend class TTabSheet;
    void AddSheet(TTabSheet& sheet);
    void RemoveSheet(TTabSheet& sheet);
    void InsertTab(TTabSheet& sheet);
    void RemoveTab(TTabSheet& sheet);
    TTabSheet* SheetOfTab(int tab) const;
    RECT DisplayRect() const;
    void ShowSelected();

    std::vector<TTabSheet*> sheets_;
};

} // namespace gui
