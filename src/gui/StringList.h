#pragma once
// An ordered list of strings, each with an integer payload (a size, a row number, a DOS date,
// a selection flag). Sorted lists keep their order on every Add, comparing with CompareTextI
// unless asked to be case-sensitive, and apply the duplicates rule; unsorted lists keep the
// order of insertion.
//
// The catalogue and file lists fill sorted lists with hundreds of thousands of names, so the
// items live in blocks of a few hundred with a table of block starts: an Add finds its place
// by two binary searches (blocks, then within the block) and shifts at most one block, and
// an index reaches its item through one binary search on the block starts. A sorted fill
// therefore costs about what filling unsorted and sorting once does.

#include "gui/Persistent.h"
#include "gui/Stream.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gui {

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class EStringListError : public Exception {
  public:
    using Exception::Exception;
};

struct TStringItem {
    std::string Text;
    intptr_t Object = 0;
};

class TStringList : public TPersistent {
  public:
    TStringList() = default;
    TStringList(const TStringList&) = default;
    TStringList& operator=(const TStringList&) = default;

    int Count() const { return count_; }
    const std::string& Strings(int index) const { return ItemAt(index).Text; }
    const std::string& operator[](int index) const { return ItemAt(index).Text; }
    // Replacing a string breaks a sorted list's order, so it is refused there.
    void SetStrings(int index, std::string text);
    intptr_t Objects(int index) const { return ItemAt(index).Object; }
    void SetObjects(int index, intptr_t object);

    // Returns the index of the new string; on a sorted list that ignores duplicates, the
    // index of the string already there.
    int Add(std::string text, intptr_t object = 0);
    int AddObject(std::string text, intptr_t object) { return Add(std::move(text), object); }
    // Adds many at once: on a sorted list they are sorted and merged in one pass.
    void AddStrings(const TStringList& source);
    void Insert(int index, std::string text, intptr_t object = 0);
    void Delete(int index);
    void Clear();
    void Exchange(int first, int second);

    // -1 when absent.
    int IndexOf(std::string_view text) const;
    int IndexOfObject(intptr_t object) const;
    // A sorted list answers by binary search with the index of the first equal string, or
    // where it would go; an unsorted one searches in order (index = Count when absent).
    bool Find(std::string_view text, int& index) const;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);
    TDuplicates Duplicates() const { return duplicates_; }
    // Applies to later additions; the list is not checked again.
    void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool caseSensitive);

    // Stable: equal strings keep their relative order.
    void Sort();
    // Orders an unsorted list by the caller's rule (less-than); stable.
    void CustomSort(const std::function<bool(const TStringItem&, const TStringItem&)>& less);
    void Reverse();

    void Assign(const TPersistent& source) override;

    // Every string followed by CR LF.
    std::string Text() const;
    // Lines end at CR LF, LF or CR; a last line without an end counts. Every byte other
    // than the line ends is kept, NULs included.
    void SetText(std::string_view text);
    // From the stream's position to its end.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    // Visits every item in order; faster than indexing for whole-list walks.
    template <typename Visit> void ForEach(Visit&& visit) const {
        for (const auto& block : blocks_)
            for (const TStringItem& item : block)
                visit(item);
    }

  private:
    int Compare(std::string_view a, std::string_view b) const;
    const TStringItem& ItemAt(int index) const;
    TStringItem& ItemAt(int index);
    void CheckIndex(int index) const;
    void CheckUnsorted(const char* operation) const;
    struct Place {
        int index;
        const TStringItem* item; // the item now at index; none at the end
    };
    // The first index whose string is not before text (upper: not before or equal to it).
    Place Bound(std::string_view text, bool upper) const;
    void InsertItem(int index, TStringItem item);
    std::vector<TStringItem> Flatten();
    void Rebuild(std::vector<TStringItem>&& items);
    void AddMany(std::vector<TStringItem>&& items);

    std::vector<std::vector<TStringItem>> blocks_; // no empty block
    std::vector<int> starts_;                      // index of each block's first item
    int count_ = 0;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

} // namespace gui
