#include "job/Catalog.h"
#include "core/PathText.h"

#include "core/ConvertError.h"
#include "gui/CompareText.h"
#include "zip/ZipLib.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace job {

namespace {

constexpr size_t fieldLimit = 5000;
constexpr size_t indexLimit = 500;

struct Fields {
    std::string_view path, name, date, zip, index;
    int32_t dateValue = 0;
};

std::optional<int32_t> ParseInt32(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(value);
}

// Splits at the first four double quotes; field 5 ends at a fifth one, if any.
int SplitFields(std::string_view line, std::string_view (&field)[5]) {
    int count = 0;
    size_t start = 0;
    while (count < 5) {
        const size_t end = line.find('"', start);
        field[count++] =
            line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return count;
}

bool ParseFields(std::string_view line, Fields& fields) {
    std::string_view field[5];
    if (SplitFields(line, field) < 5) return false;
    fields.path = field[0].substr(0, fieldLimit);
    fields.name = field[1].substr(0, fieldLimit);
    fields.date = field[2].substr(0, fieldLimit);
    fields.zip = field[3].substr(0, fieldLimit);
    fields.index = field[4].substr(0, indexLimit);
    const std::optional<int32_t> date = ParseInt32(fields.date);
    if (!date || !ParseInt32(fields.index)) return false;
    fields.dateValue = *date;
    return true;
}

std::string FoldedKey(std::string_view path, std::string_view name) {
    std::string key;
    key.resize(path.size() + name.size());
    size_t i = 0;
    for (char c : path)
        key[i++] = static_cast<char>(gui::FoldCaseI(static_cast<uint8_t>(c)));
    for (char c : name)
        key[i++] = static_cast<char>(gui::FoldCaseI(static_cast<uint8_t>(c)));
    return key;
}

bool IsBareName(std::string_view name) {
    return name.find('\\') == std::string_view::npos;
}

std::vector<std::string> SplitBar(std::string_view names) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t bar = names.find('|', start);
        parts.emplace_back(
            names.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    return parts;
}

} // namespace

std::string FormatCatalogEntry(const CatalogEntry& entry) {
    return entry.Pathname + '"' + entry.Filename + '"' + std::to_string(entry.DosDateTime) + '"' +
           entry.ZipName + '"' + std::to_string(entry.EntryIndex);
}

bool ParseCatalogEntry(std::string_view line, CatalogEntry& entry) {
    Fields fields;
    if (!ParseFields(line, fields)) return false;
    entry.Pathname = fields.path;
    entry.Filename = fields.name;
    entry.DosDateTime = fields.dateValue;
    entry.ZipName = fields.zip;
    entry.EntryIndex = *ParseInt32(fields.index);
    return true;
}

std::vector<std::string> CatalogNaming::NameList(std::string_view catalogNames,
                                                 std::string_view catalogFolder) {
    if (catalogNames.find('|') == std::string_view::npos) return {std::string(catalogNames)};
    const std::vector<std::string> parts = SplitBar(catalogNames);
    std::string folder = core::FolderOf(parts.front());
    if (folder.empty()) folder = catalogFolder;
    std::vector<std::string> list;
    for (size_t i = 1; i < parts.size(); ++i)
        if (!parts[i].empty()) list.push_back(IsBareName(parts[i]) ? folder + parts[i] : parts[i]);
    return list;
}

std::string CatalogNaming::OwnCatalog(std::string_view catalogNames) {
    return std::string(catalogNames.substr(0, catalogNames.find('|')));
}

std::vector<std::string> CatalogNaming::AppendTargets(std::string_view catalogNames,
                                                      std::string_view catalogFolder) {
    std::vector<std::string> targets = NameList(catalogNames, catalogFolder);
    for (std::string& name : targets)
        if (IsBareName(name)) name = std::string(catalogFolder) + name;
    return targets;
}

void CatalogZipNames::Add(std::string_view zipName) {
    if (names_.insert(gui::UpperCaseI(zipName)).second) sorted_.emplace_back(zipName);
}

std::vector<std::string> CatalogZipNames::Sorted() const {
    std::vector<std::string> names = sorted_;
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return gui::CompareTextI(a, b) < 0; });
    return names;
}

bool CatalogZipNames::Contains(std::string_view zipName) const {
    return names_.contains(gui::UpperCaseI(zipName));
}

JobCatalogReader::JobCatalogReader(CatalogIndex& catalogList, CatalogZipNames& zipNames)
    : catalogList_(catalogList), zipNames_(zipNames) {}

void JobCatalogReader::ZipNameLine(std::string_view line) {
    Fields fields;
    if (!ParseFields(line, fields)) {
        ++Damaged;
        return;
    }
    AddZipName(fields.zip);
}

// A volume's lines come together: its name is looked up once, not once per line.
void JobCatalogReader::AddZipName(std::string_view zipName) {
    if (zipName == lastZip_) return;
    zipNames_.Add(zipName);
    lastZip_ = zipName;
}

void JobCatalogReader::OwnLine(std::string_view line) {
    Fields fields;
    if (!ParseFields(line, fields)) {
        ++Damaged;
        return;
    }
    AddZipName(fields.zip);
    std::string path;
    path.reserve(fields.path.size() + fields.name.size());
    path.append(fields.path).append(fields.name);
    catalogList_.Raise(path, fields.dateValue);
}

void JobCatalogReader::Finish() {
    if (catalogList_.Size() == 0) catalogList_.Add("", 0);
}

void CatalogRows::Clear() {
    for (auto* column : {&names_, &paths_, &dates_, &zips_, &indices_, &keys_})
        std::vector<std::string>().swap(*column);
    std::vector<int32_t>().swap(dateValues_);
    std::vector<uint8_t>().swap(selected_);
    std::vector<size_t>().swap(hashes_);
    pathIndex_.clear();
    pathIndex_.rehash(0);
    std::vector<int>().swap(order_);
    sortColumn_ = PathColumn;
    damaged_ = 0;
}

void CatalogRows::AddRow(std::string_view name, std::string_view path, std::string_view date,
                         int32_t dateValue, std::string_view zip, std::string_view index) {
    names_.emplace_back(name);
    paths_.emplace_back(path);
    dates_.emplace_back(date);
    dateValues_.push_back(dateValue);
    zips_.emplace_back(zip);
    indices_.emplace_back(index);
    selected_.push_back(0);
}

void CatalogRows::AddLine(std::string_view line) {
    Fields fields;
    if (!ParseFields(line, fields)) {
        ++damaged_;
        return;
    }
    if (fields.name.empty() && !Folders) return;
    // The key goes in as the next row's; a path seen before takes it out again.
    keys_.push_back(FoldedKey(fields.path, fields.name));
    if (!Duplicates) {
        hashes_.push_back(std::hash<std::string>()(keys_.back()));
        const auto [found, added] = pathIndex_.insert(Count());
        if (!added) {
            keys_.pop_back();
            hashes_.pop_back();
            const auto row = static_cast<size_t>(*found);
            // The newest line's fields, in the place of the first line of that path.
            if (fields.dateValue > dateValues_[row]) {
                names_[row] = fields.name;
                paths_[row] = fields.path;
                dates_[row] = fields.date;
                dateValues_[row] = fields.dateValue;
                zips_[row] = fields.zip;
                indices_[row] = fields.index;
            }
            return;
        }
    }
    AddRow(fields.name, fields.path, fields.date, fields.dateValue, fields.zip, fields.index);
    sortColumn_ = PathColumn;
}

std::string CatalogRows::Key(int row, int column) const {
    const auto r = static_cast<size_t>(row);
    switch (column) {
    case NameColumn:
        return gui::UpperCaseI(names_[r]);
    case ZipColumn:
        return gui::UpperCaseI(zips_[r]);
    default:
        return FoldedKey(paths_[r], names_[r]);
    }
}

void CatalogRows::SortBy(int column) {
    if (column < NameColumn || column > ZipColumn) column = PathColumn;
    pathIndex_.clear();
    hashes_.clear();
    order_.resize(static_cast<size_t>(Count()));
    std::iota(order_.begin(), order_.end(), 0);
    if (column == ModifiedColumn) {
        // As the unsigned numbers they are: the text of a date after 2043 is negative.
        std::stable_sort(order_.begin(), order_.end(), [this](int a, int b) {
            return static_cast<uint32_t>(dateValues_[static_cast<size_t>(a)]) <
                   static_cast<uint32_t>(dateValues_[static_cast<size_t>(b)]);
        });
    } else {
        if (column != sortColumn_ || keys_.size() != order_.size()) {
            keys_.resize(order_.size());
            for (int row = 0; row < Count(); ++row)
                keys_[static_cast<size_t>(row)] = Key(row, column);
        }
        std::stable_sort(order_.begin(), order_.end(), [this](int a, int b) {
            return keys_[static_cast<size_t>(a)] < keys_[static_cast<size_t>(b)];
        });
    }
    if (column == ModifiedColumn) keys_.clear();
    sortColumn_ = column;
}

int CatalogRows::RowOfGridRow(int gridRow) const {
    if (gridRow < 1 || gridRow > static_cast<int>(order_.size())) return -1;
    return order_[static_cast<size_t>(gridRow - 1)];
}

int CatalogRows::GridRowOfRow(int row) const {
    const auto found = std::find(order_.begin(), order_.end(), row);
    return found == order_.end() ? -1 : static_cast<int>(found - order_.begin()) + 1;
}

std::string CatalogRows::CellText(int col, int row, const core::LocaleFormat& locale) const {
    const auto r = static_cast<size_t>(row);
    switch (col) {
    case 1:
        return names_[r];
    case 2:
        return paths_[r];
    case 3: {
        const std::optional<gui::DateTime> date =
            zip::DosDateTimeToDateTime(static_cast<uint32_t>(dateValues_[r]));
        return date ? " " + core::DateToStrFixed(*date, locale) : " ";
    }
    case 4:
        return zips_[r];
    default:
        return {};
    }
}

std::optional<int> CatalogRows::GoTo(std::string_view text, const core::LocaleFormat& locale) const {
    if (text.empty() || order_.empty()) return std::nullopt;
    std::vector<int>::const_iterator found;
    if (sortColumn_ == ModifiedColumn) {
        std::optional<uint32_t> target;
        try {
            target = zip::DateTimeToDosDateTime(core::StrToDateFixed(text, locale));
        } catch (const core::EConvertError&) {
        }
        if (!target) return std::nullopt;
        found = std::partition_point(order_.begin(), order_.end(), [&](int row) {
            return static_cast<uint32_t>(dateValues_[static_cast<size_t>(row)]) < *target;
        });
    } else {
        const std::string target = gui::UpperCaseI(text);
        found = std::partition_point(order_.begin(), order_.end(),
                                     [&](int row) { return keys_[static_cast<size_t>(row)] < target; });
    }
    if (found == order_.end()) return static_cast<int>(order_.size());
    return static_cast<int>(found - order_.begin()) + 1;
}

void CatalogRows::AppendLine(int row, std::string& out) const {
    const auto r = static_cast<size_t>(row);
    out += paths_[r];
    out += '"';
    out += names_[r];
    out += '"';
    out += dates_[r];
    out += '"';
    out += zips_[r];
    out += '"';
    out += indices_[r];
    out += "\r\n";
}

std::string CatalogRows::Text() const {
    std::string text;
    for (int row = 0; row < Count(); ++row)
        AppendLine(row, text);
    return text;
}

CatalogZipFilter::CatalogZipFilter(std::string_view zipName) : zipName_(gui::UpperCaseI(zipName)) {}

bool CatalogZipFilter::Keeps(std::string_view line) const {
    std::string_view field[5];
    return SplitFields(line, field) < 4 || gui::UpperCaseI(field[3].substr(0, fieldLimit)) != zipName_;
}

std::string CatalogWithoutZip(std::string_view text, std::string_view zipName) {
    const CatalogZipFilter filter(zipName);
    std::string kept;
    ForEachLine(text, [&](std::string_view line) {
        if (!filter.Keeps(line)) return;
        kept += line;
        kept += "\r\n";
    });
    return kept;
}

std::string CatalogWithoutDuplicates(std::string_view text, bool folders, int* damaged) {
    CatalogRows rows;
    rows.Folders = folders;
    ForEachLine(text, [&](std::string_view line) { rows.AddLine(line); });
    if (damaged) *damaged = rows.Damaged();
    return rows.Text();
}

CatalogLineReader::CatalogLineReader(Source source, size_t bufferSize)
    : source_(std::move(source)), buffer_(std::max<size_t>(bufferSize, 1)) {}

// More bytes after those kept; false at the end or when the read fails.
bool CatalogLineReader::Fill() {
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    size_t got = 0;
    if (!source_(buffer_.data() + end_, buffer_.size() - end_, got)) {
        failed_ = true;
        return false;
    }
    got = std::min(got, buffer_.size() - end_);
    end_ += got;
    delivered_ += got;
    return got > 0;
}

// The first CR or LF from begin_, or end_; memchr runs through long lines at memory speed.
size_t CatalogLineReader::LineEnd() const {
    const char* from = buffer_.data() + begin_;
    const size_t length = end_ - begin_;
    const void* lf = std::memchr(from, '\n', length);
    const size_t stop = lf ? static_cast<size_t>(static_cast<const char*>(lf) - from) : length;
    const void* cr = std::memchr(from, '\r', stop);
    return begin_ + (cr ? static_cast<size_t>(static_cast<const char*>(cr) - from) : stop);
}

void CatalogLineReader::Consume(size_t lineEnd) {
    afterCR_ = buffer_[lineEnd] == '\r';
    begin_ = lineEnd + 1;
}

bool CatalogLineReader::Next(std::string_view& line) {
    while (!failed_) {
        if (begin_ == end_ && !Fill()) return false;
        if (afterCR_) {
            afterCR_ = false;
            if (buffer_[begin_] == '\n') {
                ++begin_;
                continue;
            }
        }
        const size_t lineEnd = LineEnd();
        if (skipping_) {
            if (lineEnd == end_) {
                begin_ = end_;
                continue;
            }
            skipping_ = false;
            Consume(lineEnd);
            continue;
        }
        if (lineEnd < end_) {
            line = std::string_view(buffer_.data() + begin_, lineEnd - begin_);
            Consume(lineEnd);
            return true;
        }
        if (begin_ == 0 && end_ == buffer_.size()) {
            line = std::string_view(buffer_.data(), end_);
            begin_ = end_;
            skipping_ = true;
            return true;
        }
        if (!Fill()) {
            // The last line has no end.
            if (failed_ || begin_ == end_) return false;
            line = std::string_view(buffer_.data() + begin_, end_ - begin_);
            begin_ = end_;
            return true;
        }
    }
    return false;
}

} // namespace job
