#pragma once
// The text rules of the file selection, with no file system: how an include item splits into
// a path and masks, which masks take an entry, which exclude entries drop a listed path, the
// forms in which a catalogue stores paths, and the passes over the finished list (duplicates,
// counts, big files first).
//
// Every comparison is case-insensitive through one fold, the program's own (gui::FoldCaseI),
// so the sort, the duplicate test, masks and excludes agree on what "the same name" is. Keys
// are folded once per line, never per comparison. In a double-byte ANSI code page the byte
// after a lead byte is never folded and never taken for a "\".
//
// Exclude entries are compiled once per run into a small program of literal tests; matching a
// line then folds it once and runs the tests without allocating.

#include "gui/Clock.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {
struct LocaleFormat;
}

namespace job {

// One line of the selected file list: a file path, or a folder path ending in "\", with the
// size beside it (64-bit: the total counts the whole size of big files).
struct FileListEntry {
    std::string Path;
    int64_t Size = 0;
};
using FileList = std::vector<FileListEntry>;

// Ends in a "\" of its own, not in a double-byte character with that second byte.
bool IsFolderLine(std::string_view line);

// The fold of the ANSI code page: lead bytes of a double-byte code page are set once at
// start-up by the Windows side; none by default.
void SetAnsiLeadBytes(const std::array<bool, 256>& leadBytes);
bool IsAnsiLeadByte(unsigned char c);
std::string FoldPath(std::string_view text);
void FoldPathInto(std::string_view text, std::string& out);
// Index just after the last "\" or ":" (0 when there is none): the start of the name part.
size_t NamePartStart(std::string_view path);
inline std::string_view FolderPart(std::string_view path) {
    return path.substr(0, NamePartStart(path));
}
inline std::string_view NamePart(std::string_view path) {
    return path.substr(NamePartStart(path));
}

// An include item (or a queued folder) taken apart: the path to search, the masks entries
// must pass, and the mask text handed on to queued subfolders ("|*.doc|*.txt|" or empty).
struct ItemText {
    std::string Path;
    std::vector<std::string> Masks;
    std::string RememberedMasks;
};
ItemText ParseItemText(std::string item);
// The repair of a doubled "\" after the drive and before "*.*".
void RepairItemSeparators(std::string& text);

// The mask test of an entry found by the scan. fullPath is folder + name; all three folded.
bool MaskAccepts(std::string_view foldedMask, std::string_view foldedFullPath, std::string_view foldedName,
                 bool isFolder);
// True when some mask of the list accepts (the list folded already).
bool AnyMaskAccepts(const std::vector<std::string>& foldedMasks, std::string_view foldedFullPath,
                    std::string_view foldedName, bool isFolder);

// The job's exclude entries, compiled once.
class ExcludeRules {
  public:
    ExcludeRules() = default;
    explicit ExcludeRules(const std::vector<std::string>& entries);
    bool Empty() const { return rules_.empty(); }
    // The line (a file path or a folder path ending in "\") is excluded by some entry.
    bool Matches(std::string_view line) const;

  private:
    enum class PatternKind : uint8_t { Contains, EndsWith, NameContains, Equals, Anything, Never };
    struct Pattern {
        PatternKind Kind;
        std::string Text;
    };
    struct Rule {
        std::string Whole;     // the entry as a whole path (folder form completed)
        std::string Folder;    // P: the line's folder must begin with it (empty: anywhere)
        bool NameOnly = false; // no folder part: the entry may equal the name
        bool FolderForm = false;
        std::vector<Pattern> Patterns;
    };
    bool RuleMatches(const Rule& rule, std::string_view folder, std::string_view name,
                     std::string_view whole) const;
    std::vector<Rule> rules_;
    mutable std::string folded_;
};

// The path as the zip stores it, which is how the catalogue knows it.
std::string CataloguePathForm(std::string_view path, bool includeDriveInfo, bool includeFullDriveInfo);

// The date before which files are not taken, as a DOS date-time: the job's "After:" text when
// it holds a date, now + 100 days when it is empty, now + 1,000 days when the date is not used.
// nullopt when the text is no date.
std::optional<uint32_t> RunAfterDate(const std::string& afterDateText, bool useAfterDate, gui::DateTime now,
                                     const core::LocaleFormat& locale);
// Compared unsigned: DOS dates from 2044 on have the top bit set.
inline bool OlderThanAfterDate(uint32_t entryDosDateTime, uint32_t afterDate) {
    return entryDosDateTime < afterDate;
}

// What the passes over the list report and ask while they run.
class ListPassHost {
  public:
    virtual ~ListPassHost() = default;
    virtual bool Cancelled() = 0;
    // Every 128 lines: position of the pass and the running totals.
    virtual void PassProgress(int position, int count) = 0;
};

struct DuplicateResult {
    int FilesRemoved = 0;
    int FoldersRemoved = 0;
    int64_t BytesRemoved = 0;
    int Folders = 0; // distinct folder lines left
    bool Completed = false;
};
// Sorts the list case-insensitively (stable) and leaves each distinct path once, the first in
// list order. Without folder information every folder line goes too.
DuplicateResult RemoveDuplicates(FileList& list, bool includeFolderInformation, ListPassHost& host);

struct SelectionCounts {
    int Files = 0;
    int Folders = 0;
};
SelectionCounts CountSelection(const FileList& list, ListPassHost& host);

// Files above the limit stably to the top, larger first; the rest keeps its order. False when
// cancelled (the list is then unchanged).
bool OrderBySize(FileList& list, int64_t bigFileLimit, ListPassHost& host);
// MaxZipSize / 30, or free space / 30 when the destination has less room than a volume (but
// more than 2,000,000 bytes); never below 2,000,000.
int64_t BigFileLimit(int64_t maxZipSize, int64_t destinationFreeSpace);

} // namespace job
