#include "gui/PageControl.h"

#include <commctrl.h>

#include <algorithm>

namespace gui {

// ---- sheet

TTabSheet::TTabSheet(TPageControl& pages, std::string name, const std::string& caption)
    : TControl(TParent(pages), std::move(name)), pages_(pages), caption_(caption) {
    RegisterControlClass("TTabSheet", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const RECT area = pages.DisplayRect();
    CreateHandle("TTabSheet", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, {},
                 {area.left, area.top, area.right - area.left, area.bottom - area.top});
    pages_.AddSheet(*this);
}

TTabSheet::~TTabSheet() {
    pages_.RemoveSheet(*this);
}

void TTabSheet::SetCaption(const std::string& caption) {
    caption_ = caption;
    const int tab = TabIndex();
    if (tab < 0) return;
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption_.data();
    SendMessageA(pages_.Handle(), TCM_SETITEMA, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
}

int TTabSheet::PageIndex() const {
    const auto& sheets = pages_.sheets_;
    return static_cast<int>(std::find(sheets.begin(), sheets.end(), this) - sheets.begin());
}

int TTabSheet::TabIndex() const {
    if (!tabVisible_) return -1;
    int tab = 0;
    for (const TTabSheet* sheet : pages_.sheets_) {
        if (sheet == this) return tab;
        if (sheet->tabVisible_) ++tab;
    }
    return -1;
}

void TTabSheet::SetTabVisible(bool visible) {
    if (visible == tabVisible_) return;
    if (visible) {
        tabVisible_ = true;
        pages_.InsertTab(*this);
    } else {
        pages_.RemoveTab(*this);
        tabVisible_ = false;
    }
    pages_.ShowSelected();
}

// ---- page control

TPageControl::TPageControl(TParent parent, std::string name, TBounds bounds)
    : TControl(parent, std::move(name)) {
    CreateHandle(WC_TABCONTROLA, WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                 WS_EX_CONTROLPARENT, {}, bounds);
}

RECT TPageControl::DisplayRect() const {
    RECT rect{};
    GetClientRect(Handle(), &rect);
    SendMessageA(Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

void TPageControl::AddSheet(TTabSheet& sheet) {
    sheets_.push_back(&sheet);
    InsertTab(sheet);
    ShowSelected();
}

void TPageControl::RemoveSheet(TTabSheet& sheet) {
    if (sheet.tabVisible_) RemoveTab(sheet);
    std::erase(sheets_, &sheet);
    ShowSelected();
}

void TPageControl::InsertTab(TTabSheet& sheet) {
    TCITEMA item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = sheet.caption_.data();
    item.lParam = reinterpret_cast<LPARAM>(&sheet);
    const bool wasEmpty = SendMessageA(Handle(), TCM_GETITEMCOUNT, 0, 0) == 0;
    SendMessageA(Handle(), TCM_INSERTITEMA, static_cast<WPARAM>(sheet.TabIndex()),
                 reinterpret_cast<LPARAM>(&item));
    if (wasEmpty) SendMessageA(Handle(), TCM_SETCURSEL, 0, 0);
    // The tab row may have grown a line.
    const RECT area = DisplayRect();
    for (TTabSheet* each : sheets_)
        MoveWindow(each->Handle(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

void TPageControl::RemoveTab(TTabSheet& sheet) {
    const int tab = sheet.TabIndex();
    const bool wasSelected = tab == static_cast<int>(SendMessageA(Handle(), TCM_GETCURSEL, 0, 0));
    SendMessageA(Handle(), TCM_DELETEITEM, static_cast<WPARAM>(tab), 0);
    if (wasSelected && SendMessageA(Handle(), TCM_GETITEMCOUNT, 0, 0) > 0)
        SendMessageA(Handle(), TCM_SETCURSEL, 0, 0);
}

TTabSheet* TPageControl::SheetOfTab(int tab) const {
    if (tab < 0) return nullptr;
    TCITEMA item{};
    item.mask = TCIF_PARAM;
    if (!SendMessageA(Handle(), TCM_GETITEMA, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return reinterpret_cast<TTabSheet*>(item.lParam);
}

TTabSheet* TPageControl::ActivePage() const {
    return SheetOfTab(static_cast<int>(SendMessageA(Handle(), TCM_GETCURSEL, 0, 0)));
}

int TPageControl::ActivePageIndex() const {
    const TTabSheet* active = ActivePage();
    return active ? active->PageIndex() : -1;
}

void TPageControl::SetActivePage(TTabSheet* sheet) {
    if (!sheet || &sheet->pages_ != this || !sheet->tabVisible_) return;
    SendMessageA(Handle(), TCM_SETCURSEL, static_cast<WPARAM>(sheet->TabIndex()), 0);
    ShowSelected();
}

void TPageControl::ShowSelected() {
    const TTabSheet* active = ActivePage();
    for (TTabSheet* sheet : sheets_)
        if (sheet != active) ShowWindow(sheet->Handle(), SW_HIDE);
    if (active) ShowWindow(active->Handle(), SW_SHOWNA);
}

bool TPageControl::Notified(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    if (message != WM_NOTIFY) return false;
    switch (reinterpret_cast<NMHDR*>(lParam)->code) {
    case TCN_SELCHANGING: {
        bool allow = true;
        if (OnChanging) OnChanging(allow);
        result = allow ? FALSE : TRUE;
        return true;
    }
    case TCN_SELCHANGE:
        ShowSelected();
        if (OnChange) OnChange();
        result = 0;
        return true;
    default:
        return false;
    }
}

LRESULT TPageControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = DefaultHandler(message, wParam, lParam);
    if (message == WM_SIZE) {
        const RECT area = DisplayRect();
        for (TTabSheet* sheet : sheets_)
            MoveWindow(sheet->Handle(), area.left, area.top, area.right - area.left, area.bottom - area.top,
                       TRUE);
    }
    return result;
}

} // namespace gui
