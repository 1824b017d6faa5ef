#pragma once
// Catalogue files: one line per zipped file (path, name, DOS date-time, zip name, position in
// the zip's directory, joined by double quotes), appended by every job volume and by Add, read
// by the job start and browsed, pruned and searched on the Catalog tab.
//
// A catalogue is untrusted text that grows for years. A line that does not have five fields,
// or whose date-time or position is no integer, is skipped and counted, never fatal; fields are
// cut at fixed limits. The browser keeps its rows as parallel columns with a row index sorted
// by the chosen column's key. Keys are folded to upper case once, so sorting and Go to compare
// bytes; the Modified column compares the DOS date-times as unsigned numbers, since their text
// does not sort by date (a 2024 value is negative, a 2008 one is not).

#include "core/DateText.h"
#include "job/JobRun.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace zip {
class TUnZipper;
}

namespace job {

struct CatalogEntry {
    std::string Pathname; // ends in "\" unless empty
    std::string Filename; // empty for a folder
    int32_t DosDateTime = -1;
    std::string ZipName;
    int32_t EntryIndex = 0;
};

std::string FormatCatalogEntry(const CatalogEntry& entry);
// False for a damaged line: fewer than five fields, or field 3 or 5 no integer.
bool ParseCatalogEntry(std::string_view line, CatalogEntry& entry);

// One line (with CR LF) per entry of the unzipper's archive, in directory order.
std::string CatalogLinesOfZip(zip::TUnZipper& unzipper, std::string_view zipFileName);

// The catalogue names of a job (`CatalogNames`, "|"-joined) and where their files lie.
// catalogFolder is "<data or program folder>Catalogs\".
struct CatalogNaming {
    // The catalogues whose zip names count as used and which receive new entries: the one
    // name, or every name after the first, bare ones in the first name's folder.
    static std::vector<std::string> NameList(std::string_view catalogNames, std::string_view catalogFolder);
    // The job's own catalogue: up to the first "|".
    static std::string OwnCatalog(std::string_view catalogNames);
    // Where the job's new entries go: the name list, bare names in the catalogue folder.
    static std::vector<std::string> AppendTargets(std::string_view catalogNames,
                                                  std::string_view catalogFolder);
};

// Zip names already used by a job's catalogues, found case-insensitively.
class CatalogZipNames {
  public:
    void Clear() {
        names_.clear();
        sorted_.clear();
    }
    void Add(std::string_view zipName);
    bool Contains(std::string_view zipName) const;
    size_t Size() const { return names_.size(); }
    // The distinct names as first met, in the one case-insensitive order.
    std::vector<std::string> Sorted() const;

  private:
    std::unordered_set<std::string> names_;
    std::vector<std::string> sorted_;
};

// The job start's reading: zip names from every catalogue of the job, and from the job's own
// catalogue the newest date-time per path.
class JobCatalogReader {
  public:
    JobCatalogReader(CatalogIndex& catalogList, CatalogZipNames& zipNames);
    void ZipNameLine(std::string_view line);
    void OwnLine(std::string_view line);
    // An empty list gets its one empty item.
    void Finish();
    int Damaged = 0;

  private:
    void AddZipName(std::string_view zipName);

    CatalogIndex& catalogList_;
    CatalogZipNames& zipNames_;
    std::string lastZip_;
};

// The browser's rows of one catalogue file.
class CatalogRows {
  public:
    enum Column { NameColumn = 1, PathColumn = 2, ModifiedColumn = 3, ZipColumn = 4 };

    CatalogRows() = default;
    // The load's index refers to the key column by address.
    CatalogRows(const CatalogRows&) = delete;
    CatalogRows& operator=(const CatalogRows&) = delete;

    bool Folders = false;    // keep folder lines
    bool Duplicates = false; // one row per line instead of one per path

    // Empties the rows and gives their memory back.
    void Clear();
    // One line of the file by the load rules; a damaged line is counted.
    void AddLine(std::string_view line);
    // The row index after a load: by path.
    void FinishLoad() { SortBy(PathColumn); }
    int Damaged() const { return damaged_; }

    int Count() const { return static_cast<int>(paths_.size()); }
    int SortColumn() const { return sortColumn_; }
    void SortBy(int column);
    // The row shown on grid row r (r >= 1).
    int RowOfGridRow(int gridRow) const;
    int GridRowOfRow(int row) const;

    const std::string& Name(int row) const { return names_[static_cast<size_t>(row)]; }
    const std::string& Path(int row) const { return paths_[static_cast<size_t>(row)]; }
    const std::string& DateText(int row) const { return dates_[static_cast<size_t>(row)]; }
    int32_t Date(int row) const { return dateValues_[static_cast<size_t>(row)]; }
    const std::string& Zip(int row) const { return zips_[static_cast<size_t>(row)]; }
    const std::string& Index(int row) const { return indices_[static_cast<size_t>(row)]; }
    bool Selected(int row) const { return selected_[static_cast<size_t>(row)] != 0; }
    void SetSelected(int row, bool on) { selected_[static_cast<size_t>(row)] = on ? 1 : 0; }

    // Cell text of grid columns 1-4 (column 3 the date and time after a blank).
    std::string CellText(int col, int row, const core::LocaleFormat& locale) const;
    // The grid row of the first row whose key is not less than the text (the last row when
    // none is); nothing when a date for Modified does not convert or there is no row.
    std::optional<int> GoTo(std::string_view text, const core::LocaleFormat& locale) const;
    // The rows as a catalogue file, in row order.
    std::string Text() const;
    // One row as a catalogue line with its CR LF, appended to `out`.
    void AppendLine(int row, std::string& out) const;

  private:
    std::string Key(int row, int column) const;
    void AddRow(std::string_view name, std::string_view path, std::string_view date, int32_t dateValue,
                std::string_view zip, std::string_view index);

    std::vector<std::string> names_, paths_, dates_, zips_, indices_;
    std::vector<int32_t> dateValues_;
    std::vector<uint8_t> selected_;
    std::vector<std::string> keys_; // folded keys of the sort column, by row
    // Rows by their folded path + name (keys_), while loading.
    // Each key's hash is kept, so growing the index does not hash every key again.
    std::vector<size_t> hashes_;
    struct KeyHash {
        const std::vector<size_t>* hashes;
        size_t operator()(int row) const { return (*hashes)[static_cast<size_t>(row)]; }
    };
    struct KeyEqual {
        const std::vector<std::string>* keys;
        bool operator()(int a, int b) const {
            return (*keys)[static_cast<size_t>(a)] == (*keys)[static_cast<size_t>(b)];
        }
    };
    std::unordered_set<int, KeyHash, KeyEqual> pathIndex_{16, KeyHash{&hashes_}, KeyEqual{&keys_}};
    std::vector<int> order_; // row index: rows in key order
    int sortColumn_ = PathColumn;
    int damaged_ = 0;
};

// Remove zip: every line whose zip name differs (ignoring case) from the one named.
class CatalogZipFilter {
  public:
    explicit CatalogZipFilter(std::string_view zipName);
    // False for a line of the named zip; a line too short to name one stays.
    bool Keeps(std::string_view line) const;

  private:
    std::string zipName_; // folded
};
std::string CatalogWithoutZip(std::string_view text, std::string_view zipName);
// Remove duplicates: per path the newest line, in the place of its first line; folder lines
// only when kept. Damaged lines are dropped and counted.
std::string CatalogWithoutDuplicates(std::string_view text, bool folders, int* damaged = nullptr);

// The lines of a catalogue file of any size through one fixed buffer: memory does not grow
// with the file, and positions count in 64 bits. A line longer than the buffer comes as its
// first buffer-full (no field of a sound line is near that long) and the rest of it is skipped.
class CatalogLineReader {
  public:
    // Fills up to `room` bytes and tells how many came (0 at the end); false when a read fails.
    using Source = std::function<bool(char* into, size_t room, size_t& got)>;
    static constexpr size_t DefaultBuffer = size_t{1} << 20;

    explicit CatalogLineReader(Source source, size_t bufferSize = DefaultBuffer);
    // The next line without its end (CR LF, LF or CR); false at the end or when a read failed.
    // The view lasts until the next call. After the end, a call reads again: what was
    // appended meanwhile comes next.
    bool Next(std::string_view& line);
    bool Failed() const { return failed_; }
    // Bytes of the source consumed by the lines returned.
    uint64_t Position() const { return delivered_ - (end_ - begin_); }

  private:
    bool Fill();
    size_t LineEnd() const;
    void Consume(size_t lineEnd);

    Source source_;
    std::vector<char> buffer_;
    size_t begin_ = 0, end_ = 0;
    uint64_t delivered_ = 0;
    bool failed_ = false;
    bool afterCR_ = false;  // the last line ended in CR: a LF next is its end too
    bool skipping_ = false; // the rest of a line longer than the buffer
};

// Calls f for every line of the text (CR LF, LF or CR ends one).
template <typename F> void ForEachLine(std::string_view text, F&& f) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        f(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
}

} // namespace job
