#pragma once
// The item list of a list box or combo box, read and written through the control's own
// messages (the two controls differ only in the message numbers). A sorted list is sorted by
// this layer with CompareTextI, not by the control, so it orders names as the string lists
// and the catalogue do; one item goes in by binary search, many at once by one sort and one
// refill, since inserting hundreds of thousands one by one would be quadratic.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gui {

struct TItemMessages {
    UINT addString, insertString, deleteString, resetContent, getCount, getText, getTextLen, setItemData,
        getItemData, findStringExact, err;
};

class TItemList {
  public:
    TItemList(HWND& control, const TItemMessages& messages) : control_(control), messages_(messages) {}

    int Count() const { return static_cast<int>(Send(messages_.getCount, 0, 0)); }
    std::string Strings(int index) const;
    std::string operator[](int index) const { return Strings(index); }
    // Returns the index the item went to (its sorted place when sorted).
    int Add(const std::string& text, intptr_t object = 0);
    // Many items: appended, or merged into a sorted list with one sort.
    void AddStrings(const std::vector<std::string>& texts);
    void Insert(int index, const std::string& text, intptr_t object = 0);
    void Delete(int index);
    void Clear() { Send(messages_.resetContent, 0, 0); }
    // Replaces the text and keeps the object; a sorted list moves the item to its place.
    void Set(int index, const std::string& text);
    // Case-insensitive, whole text; -1 when absent.
    int IndexOf(const std::string& text) const;
    intptr_t Objects(int index) const;
    void SetObject(int index, intptr_t object);
    std::vector<std::string> ToVector() const;

    bool Sorted() const { return sorted_; }
    // Turning sorting on sorts what is there.
    void SetSorted(bool sorted);

  private:
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
        return SendMessageA(control_, message, wParam, lParam);
    }
    int SortedPosition(const std::string& text) const;
    void Refill(const std::vector<std::pair<std::string, intptr_t>>& items);

    HWND& control_;
    const TItemMessages& messages_;
    bool sorted_ = false;
};

extern const TItemMessages listBoxMessages;
extern const TItemMessages comboBoxMessages;

} // namespace gui
