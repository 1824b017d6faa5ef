#include "gui/StringList.h"

#include "gui/CompareText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

namespace gui {

namespace {

// Blocks are filled to blockFill when built and split past blockMax; the sizes balance the
// shift inside one block against updating the table of block starts.
constexpr size_t blockFill = 128;
constexpr size_t blockMax = 256;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

int TStringList::Compare(std::string_view a, std::string_view b) const {
    return caseSensitive_ ? CompareStrOrdinal(a, b) : CompareTextI(a, b);
}

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= count_)
        throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TStringList::CheckUnsorted(const char* operation) const {
    if (sorted_) throw EStringListError(std::string(operation) + " is not allowed on a sorted list");
}

const TStringItem& TStringList::ItemAt(int index) const {
    CheckIndex(index);
    const size_t block =
        static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), index) - starts_.begin()) - 1;
    return blocks_[block][static_cast<size_t>(index - starts_[block])];
}

TStringItem& TStringList::ItemAt(int index) {
    return const_cast<TStringItem&>(static_cast<const TStringList&>(*this).ItemAt(index));
}

void TStringList::InsertItem(int index, TStringItem item) {
    if (index < 0 || index > count_)
        throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
    size_t block;
    size_t offset;
    if (index == count_) {
        // Appending: a full last block starts a new one rather than splitting.
        if (blocks_.empty() || blocks_.back().size() >= blockMax) {
            blocks_.emplace_back().reserve(blockFill);
            starts_.push_back(count_);
        }
        block = blocks_.size() - 1;
        offset = blocks_[block].size();
    } else {
        block =
            static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), index) - starts_.begin()) -
            1;
        offset = static_cast<size_t>(index - starts_[block]);
    }
    auto& items = blocks_[block];
    items.insert(items.begin() + static_cast<ptrdiff_t>(offset), std::move(item));
    for (size_t later = block + 1; later < starts_.size(); ++later)
        ++starts_[later];
    ++count_;
    if (items.size() > blockMax) {
        const size_t half = items.size() / 2;
        std::vector<TStringItem> tail(std::make_move_iterator(items.begin() + static_cast<ptrdiff_t>(half)),
                                      std::make_move_iterator(items.end()));
        items.erase(items.begin() + static_cast<ptrdiff_t>(half), items.end());
        blocks_.insert(blocks_.begin() + static_cast<ptrdiff_t>(block) + 1, std::move(tail));
        starts_.insert(starts_.begin() + static_cast<ptrdiff_t>(block) + 1,
                       starts_[block] + static_cast<int>(half));
    }
}

std::vector<TStringItem> TStringList::Flatten() {
    std::vector<TStringItem> items;
    items.reserve(static_cast<size_t>(count_));
    for (auto& block : blocks_)
        for (auto& item : block)
            items.push_back(std::move(item));
    blocks_.clear();
    starts_.clear();
    count_ = 0;
    return items;
}

void TStringList::Rebuild(std::vector<TStringItem>&& items) {
    blocks_.clear();
    starts_.clear();
    if (items.size() > static_cast<size_t>(INT32_MAX)) throw EStringListError("Too many strings in a list");
    count_ = static_cast<int>(items.size());
    for (size_t start = 0; start < items.size(); start += blockFill) {
        const size_t end = std::min(items.size(), start + blockFill);
        auto& block = blocks_.emplace_back();
        block.reserve(blockFill);
        block.assign(std::make_move_iterator(items.begin() + static_cast<ptrdiff_t>(start)),
                     std::make_move_iterator(items.begin() + static_cast<ptrdiff_t>(end)));
        starts_.push_back(static_cast<int>(start));
    }
}

TStringList::Place TStringList::Bound(std::string_view text, bool upper) const {
    auto before = [&](const TStringItem& item) {
        const int order = Compare(item.Text, text);
        return upper ? order <= 0 : order < 0;
    };
    size_t low = 0, high = blocks_.size();
    while (low < high) {
        const size_t middle = (low + high) / 2;
        if (before(blocks_[middle].back()))
            low = middle + 1;
        else
            high = middle;
    }
    if (low == blocks_.size()) return {count_, nullptr};
    const auto& block = blocks_[low];
    size_t first = 0, last = block.size();
    while (first < last) {
        const size_t middle = (first + last) / 2;
        if (before(block[middle]))
            first = middle + 1;
        else
            last = middle;
    }
    return {starts_[low] + static_cast<int>(first), &block[first]};
}

int TStringList::Add(std::string text, intptr_t object) {
    if (!sorted_ || count_ == 0 || Compare(blocks_.back().back().Text, text) < 0) {
        InsertItem(count_, {std::move(text), object});
        return count_ - 1;
    }
    // Equal strings go after their equals, as a stable sort would place them.
    const Place place = Bound(text, duplicates_ == TDuplicates::dupAccept);
    if (duplicates_ != TDuplicates::dupAccept && place.item && Compare(place.item->Text, text) == 0) {
        if (duplicates_ == TDuplicates::dupIgnore) return place.index;
        throw EStringListError("String list does not allow duplicates: \"" + text + "\"");
    }
    InsertItem(place.index, {std::move(text), object});
    return place.index;
}

void TStringList::AddMany(std::vector<TStringItem>&& items) {
    if (!sorted_) {
        for (auto& item : items)
            InsertItem(count_, std::move(item));
        return;
    }
    auto less = [this](const TStringItem& a, const TStringItem& b) { return Compare(a.Text, b.Text) < 0; };
    std::stable_sort(items.begin(), items.end(), less);
    if (duplicates_ != TDuplicates::dupAccept) {
        // Checked before anything changes, so a refused batch leaves the list as it was.
        std::vector<TStringItem> kept;
        kept.reserve(items.size());
        for (auto& item : items) {
            int at = 0;
            const bool duplicate =
                (!kept.empty() && Compare(kept.back().Text, item.Text) == 0) || Find(item.Text, at);
            if (!duplicate) {
                kept.push_back(std::move(item));
            } else if (duplicates_ == TDuplicates::dupError) {
                throw EStringListError("String list does not allow duplicates: \"" + item.Text + "\"");
            }
        }
        items.swap(kept);
    }
    std::vector<TStringItem> all = Flatten();
    const auto middle = static_cast<ptrdiff_t>(all.size());
    all.insert(all.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
    std::inplace_merge(all.begin(), all.begin() + middle, all.end(), less);
    Rebuild(std::move(all));
}

void TStringList::AddStrings(const TStringList& source) {
    std::vector<TStringItem> items;
    items.reserve(static_cast<size_t>(source.count_));
    source.ForEach([&](const TStringItem& item) { items.push_back(item); });
    AddMany(std::move(items));
}

void TStringList::Insert(int index, std::string text, intptr_t object) {
    CheckUnsorted("Insert");
    InsertItem(index, {std::move(text), object});
}

void TStringList::SetStrings(int index, std::string text) {
    CheckUnsorted("Replacing a string");
    ItemAt(index).Text = std::move(text);
}

void TStringList::SetObjects(int index, intptr_t object) {
    ItemAt(index).Object = object;
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    const size_t block =
        static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), index) - starts_.begin()) - 1;
    auto& items = blocks_[block];
    items.erase(items.begin() + (index - starts_[block]));
    for (size_t later = block + 1; later < starts_.size(); ++later)
        --starts_[later];
    --count_;
    if (items.empty()) {
        blocks_.erase(blocks_.begin() + static_cast<ptrdiff_t>(block));
        starts_.erase(starts_.begin() + static_cast<ptrdiff_t>(block));
    }
}

void TStringList::Clear() {
    blocks_.clear();
    starts_.clear();
    count_ = 0;
}

void TStringList::Exchange(int first, int second) {
    CheckUnsorted("Exchange");
    std::swap(ItemAt(first), ItemAt(second));
}

int TStringList::IndexOf(std::string_view text) const {
    int index = 0;
    return Find(text, index) ? index : -1;
}

int TStringList::IndexOfObject(intptr_t object) const {
    int index = 0;
    for (const auto& block : blocks_)
        for (const TStringItem& item : block) {
            if (item.Object == object) return index;
            ++index;
        }
    return -1;
}

bool TStringList::Find(std::string_view text, int& index) const {
    if (sorted_) {
        const Place place = Bound(text, false);
        index = place.index;
        return place.item && Compare(place.item->Text, text) == 0;
    }
    index = 0;
    for (const auto& block : blocks_)
        for (const TStringItem& item : block) {
            if (item.Text.size() == text.size() && Compare(item.Text, text) == 0) return true;
            ++index;
        }
    return false;
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !sorted_) Sort();
    sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
    if (caseSensitive == caseSensitive_) return;
    caseSensitive_ = caseSensitive;
    if (sorted_) Sort();
}

void TStringList::Sort() {
    if (count_ < 2) return;
    std::vector<TStringItem> items = Flatten();
    std::stable_sort(items.begin(), items.end(), [this](const TStringItem& a, const TStringItem& b) {
        return Compare(a.Text, b.Text) < 0;
    });
    Rebuild(std::move(items));
}

void TStringList::CustomSort(const std::function<bool(const TStringItem&, const TStringItem&)>& less) {
    CheckUnsorted("A custom sort");
    std::vector<TStringItem> items = Flatten();
    std::stable_sort(items.begin(), items.end(), less);
    Rebuild(std::move(items));
}

void TStringList::Reverse() {
    CheckUnsorted("Reversing");
    std::vector<TStringItem> items = Flatten();
    std::reverse(items.begin(), items.end());
    Rebuild(std::move(items));
}

void TStringList::Assign(const TPersistent& source) {
    const auto* list = dynamic_cast<const TStringList*>(&source);
    if (!list) return TPersistent::Assign(source);
    if (list != this) *this = *list;
}

std::string TStringList::Text() const {
    size_t length = 0;
    ForEach([&](const TStringItem& item) { length += item.Text.size() + 2; });
    std::string text;
    text.reserve(length);
    ForEach([&](const TStringItem& item) {
        text += item.Text;
        text += "\r\n";
    });
    return text;
}

void TStringList::SetText(std::string_view text) {
    std::vector<TStringItem> items;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        items.push_back({std::string(text.substr(start, end - start)), 0});
        if (end < text.size() && text[end] == '\r') ++end;
        if (end < text.size() && text[end] == '\n') ++end; // CR LF is one line end
        start = end;
    }
    Clear();
    AddMany(std::move(items));
}

void TStringList::LoadFromStream(TStream& stream) {
    const int64_t left = stream.Size() - stream.Position();
    if (left < 0) return SetText({});
    if (static_cast<uint64_t>(left) >= SIZE_MAX / 2) throw EReadError("Text too large to load into a list");
    std::string text;
    try {
        text.resize(static_cast<size_t>(left));
    } catch (const std::bad_alloc&) {
        throw EReadError("Not enough memory to load " + std::to_string(left) + " bytes of text");
    }
    stream.ReadBuffer(text.data(), text.size());
    SetText(text);
}

void TStringList::SaveToStream(TStream& stream) const {
    static constexpr char lineEnd[] = {'\r', '\n'};
    ForEach([&](const TStringItem& item) {
        stream.WriteBuffer(item.Text.data(), item.Text.size());
        stream.WriteBuffer(lineEnd, 2);
    });
}

void TStringList::LoadFromFile(const std::string& fileName) {
    FilePtr file(std::fopen(fileName.c_str(), "rb"));
    if (!file)
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno),
                          static_cast<uint32_t>(errno));
    std::string text;
    try {
        char buffer[65536];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
            text.append(buffer, got);
    } catch (const std::bad_alloc&) {
        throw EReadError("Not enough memory to load file \"" + fileName + "\"");
    } catch (const std::length_error&) {
        throw EReadError("File \"" + fileName + "\" is too large to load");
    }
    if (std::ferror(file.get()))
        throw EReadError("Cannot read file \"" + fileName + "\". " + std::strerror(errno));
    SetText(text);
}

void TStringList::SaveToFile(const std::string& fileName) const {
    FilePtr file(std::fopen(fileName.c_str(), "wb"));
    if (!file)
        throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(errno),
                            static_cast<uint32_t>(errno));
    bool ok = true;
    ForEach([&](const TStringItem& item) {
        ok = ok && std::fwrite(item.Text.data(), 1, item.Text.size(), file.get()) == item.Text.size() &&
             std::fwrite("\r\n", 1, 2, file.get()) == 2;
    });
    const int error = errno;
    const bool closed = std::fclose(file.release()) == 0;
    if (!ok || !closed)
        throw EWriteError("Cannot write file \"" + fileName + "\". " + std::strerror(ok ? errno : error));
}

} // namespace gui
