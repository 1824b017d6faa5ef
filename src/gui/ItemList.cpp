#include "gui/ItemList.h"

#include "gui/CompareText.h"

#include <algorithm>

namespace gui {

const TItemMessages listBoxMessages{LB_ADDSTRING,
                                    LB_INSERTSTRING,
                                    LB_DELETESTRING,
                                    LB_RESETCONTENT,
                                    LB_GETCOUNT,
                                    LB_GETTEXT,
                                    LB_GETTEXTLEN,
                                    LB_SETITEMDATA,
                                    LB_GETITEMDATA,
                                    LB_FINDSTRINGEXACT,
                                    static_cast<UINT>(LB_ERR)};
const TItemMessages comboBoxMessages{
    CB_ADDSTRING,   CB_INSERTSTRING,    CB_DELETESTRING,          CB_RESETCONTENT,
    CB_GETCOUNT,    CB_GETLBTEXT,       CB_GETLBTEXTLEN,          CB_SETITEMDATA,
    CB_GETITEMDATA, CB_FINDSTRINGEXACT, static_cast<UINT>(CB_ERR)};

std::string TItemList::Strings(int index) const {
    const LRESULT length = Send(messages_.getTextLen, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied =
        Send(messages_.getText, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied < 0 ? 0 : static_cast<size_t>(copied));
    return text;
}

int TItemList::SortedPosition(const std::string& text) const {
    // After equal items, so equal names keep the order they came in.
    int low = 0, high = Count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (CompareTextI(Strings(middle), text) <= 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

int TItemList::Add(const std::string& text, intptr_t object) {
    const int index = sorted_ ? SortedPosition(text) : Count();
    Insert(index, text, object);
    return index;
}

void TItemList::Insert(int index, const std::string& text, intptr_t object) {
    const LRESULT at =
        Send(messages_.insertString, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str()));
    if (at >= 0 && object) Send(messages_.setItemData, static_cast<WPARAM>(at), object);
}

void TItemList::Delete(int index) {
    Send(messages_.deleteString, static_cast<WPARAM>(index), 0);
}

void TItemList::Set(int index, const std::string& text) {
    const intptr_t object = Objects(index);
    Delete(index);
    if (sorted_)
        Add(text, object);
    else
        Insert(index, text, object);
}

int TItemList::IndexOf(const std::string& text) const {
    // The control's exact search ignores case but starts after the given index and wraps.
    const LRESULT found =
        Send(messages_.findStringExact, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    return found < 0 ? -1 : static_cast<int>(found);
}

intptr_t TItemList::Objects(int index) const {
    const LRESULT data = Send(messages_.getItemData, static_cast<WPARAM>(index), 0);
    return data == static_cast<LRESULT>(static_cast<int>(messages_.err)) ? 0 : static_cast<intptr_t>(data);
}

void TItemList::SetObject(int index, intptr_t object) {
    Send(messages_.setItemData, static_cast<WPARAM>(index), object);
}

std::vector<std::string> TItemList::ToVector() const {
    std::vector<std::string> texts;
    const int count = Count();
    texts.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        texts.push_back(Strings(i));
    return texts;
}

void TItemList::Refill(const std::vector<std::pair<std::string, intptr_t>>& items) {
    SendMessageA(control_, WM_SETREDRAW, FALSE, 0);
    Clear();
    for (const auto& [text, object] : items) {
        const LRESULT at = Send(messages_.addString, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (at >= 0 && object) Send(messages_.setItemData, static_cast<WPARAM>(at), object);
    }
    SendMessageA(control_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control_, nullptr, TRUE);
}

void TItemList::AddStrings(const std::vector<std::string>& texts) {
    if (!sorted_) {
        SendMessageA(control_, WM_SETREDRAW, FALSE, 0);
        for (const std::string& text : texts)
            Send(messages_.addString, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SendMessageA(control_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(control_, nullptr, TRUE);
        return;
    }
    std::vector<std::pair<std::string, intptr_t>> items;
    const int count = Count();
    items.reserve(static_cast<size_t>(count) + texts.size());
    for (int i = 0; i < count; ++i)
        items.emplace_back(Strings(i), Objects(i));
    for (const std::string& text : texts)
        items.emplace_back(text, 0);
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return CompareTextI(a.first, b.first) < 0; });
    Refill(items);
}

void TItemList::SetSorted(bool sorted) {
    if (sorted == sorted_) return;
    sorted_ = sorted;
    if (sorted_) AddStrings({});
}

} // namespace gui
