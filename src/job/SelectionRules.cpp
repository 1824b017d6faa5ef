#include "job/SelectionRules.h"

#include "core/ConvertError.h"
#include "core/DateText.h"
#include "gui/CompareText.h"
#include "zip/ZipLib.h"

#include <algorithm>
#include <numeric>

namespace job {

namespace {

std::array<bool, 256> ansiLeadBytes{};
bool anyLeadBytes = false;

constexpr int passStep = 128;

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Walks from a character start to the first character that begins at or after the index: in
// a double-byte code page a lead byte and the byte after it are one character.
size_t CharacterStartFrom(std::string_view text, size_t from, size_t at) {
    while (from < at)
        from += ansiLeadBytes[static_cast<uint8_t>(text[from])] ? 2 : 1;
    return from;
}

bool IsCharacterStart(std::string_view text, size_t at) {
    return !anyLeadBytes || CharacterStartFrom(text, 0, at) == at;
}

// The first match that begins a character. The byte search leads and the walk only follows it,
// so a line is walked at most once.
size_t FindAtCharacterStart(std::string_view text, std::string_view part) {
    size_t at = text.find(part);
    if (!anyLeadBytes) return at;
    for (size_t i = 0; at != std::string_view::npos; at = text.find(part, at + 1)) {
        i = CharacterStartFrom(text, i, at);
        if (i == at) return at;
    }
    return std::string_view::npos;
}

// Masks and excludes match whole characters only: "\CACHE\" is not in a folder whose name has
// a character with a "\" for its second byte just before "CACHE".
bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0 &&
           IsCharacterStart(text, text.size() - suffix.size());
}
bool Contains(std::string_view text, std::string_view part) {
    return FindAtCharacterStart(text, part) != std::string_view::npos;
}

// The last character is c, not a double-byte one whose second byte is c.
bool EndsWithCharacter(std::string_view text, char c) {
    return !text.empty() && text.back() == c && IsCharacterStart(text, text.size() - 1);
}

// Splits a mask text ("|a|b|" or "a|b|") at its bars; an empty piece ends the list.
std::vector<std::string> SplitMasks(std::string_view text) {
    std::vector<std::string> masks;
    if (!text.empty() && text.front() == '|') text.remove_prefix(1);
    while (!text.empty()) {
        const size_t bar = FindAtCharacterStart(text, "|");
        const std::string_view piece = text.substr(0, bar);
        if (piece.empty()) break;
        masks.emplace_back(piece);
        if (bar == std::string_view::npos) break;
        text.remove_prefix(bar + 1);
    }
    return masks;
}

// Steps 3 and 4 of taking an item apart: the path and the mask text (from its first "|").
void SplitPathAndMasks(std::string& text, std::string& path, std::string& maskText) {
    if (FindAtCharacterStart(text, "|") == std::string::npos && text.find('*') != std::string::npos) {
        const size_t nameStart = NamePartStart(text);
        text.insert(nameStart, 1, '|');
    }
    const size_t bar = FindAtCharacterStart(text, "|");
    if (bar == std::string::npos) {
        path = text;
        maskText.clear();
        return;
    }
    maskText = text.substr(bar);
    path = text.substr(0, bar);
    if (path.find('*') != std::string::npos) {
        const size_t nameStart = NamePartStart(path);
        maskText.insert(0, path, nameStart);
        path.resize(nameStart);
    }
}

} // namespace

bool IsFolderLine(std::string_view line) {
    return EndsWithCharacter(line, '\\');
}

void SetAnsiLeadBytes(const std::array<bool, 256>& leadBytes) {
    ansiLeadBytes = leadBytes;
    anyLeadBytes = std::find(leadBytes.begin(), leadBytes.end(), true) != leadBytes.end();
}

bool IsAnsiLeadByte(unsigned char c) {
    return ansiLeadBytes[c];
}

void FoldPathInto(std::string_view text, std::string& out) {
    out.resize(text.size());
    if (!anyLeadBytes) {
        for (size_t i = 0; i < text.size(); ++i)
            out[i] = static_cast<char>(gui::FoldCaseI(static_cast<uint8_t>(text[i])));
        return;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (ansiLeadBytes[c] && i + 1 < text.size()) {
            out[i] = text[i];
            ++i;
            out[i] = text[i];
        } else {
            out[i] = static_cast<char>(gui::FoldCaseI(c));
        }
    }
}

std::string FoldPath(std::string_view text) {
    std::string out;
    FoldPathInto(text, out);
    return out;
}

size_t NamePartStart(std::string_view path) {
    if (!anyLeadBytes) {
        const size_t last = path.find_last_of("\\:");
        return last == std::string_view::npos ? 0 : last + 1;
    }
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<uint8_t>(path[i]);
        if (ansiLeadBytes[c]) {
            ++i;
            continue;
        }
        if (c == '\\' || c == ':') start = i + 1;
    }
    return std::min(start, path.size());
}

void RepairItemSeparators(std::string& text) {
    const size_t drive = FindAtCharacterStart(text, ":\\\\");
    if (drive != std::string::npos) text.erase(drive + 2, 1);
    const size_t all = FindAtCharacterStart(text, "\\\\*.*");
    if (all != std::string::npos) text.erase(all, 1);
}

ItemText ParseItemText(std::string item) {
    ItemText result;
    RepairItemSeparators(item);
    std::string maskText;
    SplitPathAndMasks(item, result.Path, maskText);
    if (!maskText.empty()) {
        if (!EndsWithCharacter(maskText, '|')) maskText += '|';
        result.RememberedMasks = maskText.front() == '|' ? maskText : "|" + maskText;
        result.Masks = SplitMasks(maskText);
    }
    RepairItemSeparators(result.Path);
    return result;
}

bool MaskAccepts(std::string_view mask, std::string_view fullPath, std::string_view name, bool isFolder) {
    if (mask.empty()) return false;
    const bool starFirst = mask.front() == '*';
    const bool starLast = mask.back() == '*';
    if (starFirst && starLast) {
        const std::string_view inner =
            mask.size() >= 2 ? mask.substr(1, mask.size() - 2) : std::string_view{};
        return inner == "." || Contains(fullPath, inner);
    }
    if (isFolder) return true;
    if (starFirst) return EndsWith(fullPath, mask.substr(1));
    const size_t star = mask.find('*');
    if (star != std::string_view::npos) return Contains(name, mask.substr(0, star));
    return false;
}

bool AnyMaskAccepts(const std::vector<std::string>& masks, std::string_view fullPath, std::string_view name,
                    bool isFolder) {
    for (const std::string& mask : masks)
        if (MaskAccepts(mask, fullPath, name, isFolder)) return true;
    return false;
}

ExcludeRules::ExcludeRules(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        // A blank entry would take the shape of a folder test that every line passes.
        if (entry.find_first_not_of(' ') == std::string::npos) continue;
        Rule rule;
        std::string text = FoldPath(entry);
        if (IsFolderLine(text)) {
            rule.FolderForm = true;
            if (text.find('*') == std::string::npos) text += "*.*";
        }
        rule.Whole = text;
        if (FolderPart(text).empty()) {
            rule.NameOnly = true;
            text.insert(0, 1, '|');
        }
        std::string path, patterns;
        SplitPathAndMasks(text, path, patterns);
        std::string folder(FolderPart(path));
        const size_t star = folder.find('*');
        if (star != std::string::npos) {
            patterns.insert(0, folder, star);
            folder.resize(star);
        }
        for (size_t at = patterns.find("*\\|"); at != std::string::npos; at = patterns.find("*\\|", at + 1))
            patterns.erase(at + 1, 1);
        const size_t bar = FindAtCharacterStart(folder, "|");
        if (bar != std::string::npos) folder.resize(bar);
        rule.Folder = folder;

        for (const std::string& pattern : SplitMasks(patterns)) {
            const bool starFirst = pattern.front() == '*';
            const bool starLast = pattern.back() == '*';
            Pattern compiled{PatternKind::Never, {}};
            if (rule.FolderForm) {
                if (starFirst || starLast) {
                    const size_t begin = starFirst ? 1 : 0;
                    const size_t end = std::max(begin, pattern.size() - (starLast ? 1 : 0));
                    compiled.Text = pattern.substr(begin, end - begin);
                    compiled.Kind = compiled.Text == "." || compiled.Text.empty() ? PatternKind::Anything
                                                                                  : PatternKind::Contains;
                }
            } else if (starFirst && starLast) {
                compiled.Text = pattern.size() >= 2 ? pattern.substr(1, pattern.size() - 2) : std::string{};
                compiled.Kind = PatternKind::Contains;
            } else if (starFirst) {
                compiled = {PatternKind::EndsWith, pattern.substr(1)};
            } else if (const size_t inner = pattern.find('*'); inner != std::string::npos) {
                compiled = {PatternKind::NameContains, pattern.substr(0, inner)};
            } else {
                // With a folder the pattern names one file of it (and below it).
                compiled = {PatternKind::Equals, pattern};
            }
            if (compiled.Kind != PatternKind::Never) rule.Patterns.push_back(std::move(compiled));
        }
        rules_.push_back(std::move(rule));
    }
}

bool ExcludeRules::RuleMatches(const Rule& rule, std::string_view folder, std::string_view name,
                               std::string_view whole) const {
    if (rule.Whole == whole) return true;
    if (rule.NameOnly && rule.Whole == name) return true;
    if (!rule.Folder.empty() && !StartsWith(folder, rule.Folder)) return false;
    for (const Pattern& pattern : rule.Patterns) {
        switch (pattern.Kind) {
        case PatternKind::Anything:
            return true;
        case PatternKind::Contains:
            // Folder-form tests look at the folder only; the others at the whole path.
            if (Contains(rule.FolderForm ? folder : whole, pattern.Text)) return true;
            break;
        case PatternKind::EndsWith:
            if (EndsWith(whole, pattern.Text)) return true;
            break;
        case PatternKind::NameContains:
            if (Contains(name, pattern.Text)) return true;
            break;
        case PatternKind::Equals:
            if (rule.Folder.empty() ? name == pattern.Text
                                    : whole.size() == rule.Folder.size() + pattern.Text.size() &&
                                          EndsWith(whole, pattern.Text))
                return true;
            break;
        case PatternKind::Never:
            break;
        }
    }
    return false;
}

bool ExcludeRules::Matches(std::string_view line) const {
    if (rules_.empty()) return false;
    FoldPathInto(line, folded_);
    const std::string_view whole = folded_;
    const size_t nameStart = NamePartStart(whole);
    const std::string_view folder = whole.substr(0, nameStart);
    const std::string_view name = whole.substr(nameStart);
    for (const Rule& rule : rules_)
        if (RuleMatches(rule, folder, name, whole)) return true;
    return false;
}

std::string CataloguePathForm(std::string_view path, bool includeDriveInfo, bool includeFullDriveInfo) {
    std::string form(path);
    if (includeFullDriveInfo) return form;
    const bool unc = StartsWith(form, "\\\\");
    if (includeDriveInfo) {
        if (unc) form.erase(0, 1);
        if (form.size() >= 2 && form[1] == ':') form = "\\" + form.substr(0, 1) + form.substr(2);
        return form;
    }
    if (unc) {
        // \\server\share\rest -> rest
        const std::string_view names = std::string_view(form).substr(2);
        const size_t share = FindAtCharacterStart(names, "\\");
        if (share == std::string_view::npos) return {};
        const std::string_view shareAndRest = names.substr(share + 1);
        const size_t rest = FindAtCharacterStart(shareAndRest, "\\");
        return rest == std::string_view::npos ? std::string{} : std::string(shareAndRest.substr(rest + 1));
    }
    if (form.size() >= 2 && form[1] == ':') return form.size() > 3 ? form.substr(3) : std::string{};
    return form;
}

std::optional<uint32_t> RunAfterDate(const std::string& afterDateText, bool useAfterDate, gui::DateTime now,
                                     const core::LocaleFormat& locale) {
    uint32_t afterDate = 0;
    if (!afterDateText.empty()) {
        try {
            afterDate = zip::DateTimeToDosDateTime(core::StrToDateFixed(afterDateText, locale));
        } catch (const core::EConvertError&) {
            return std::nullopt;
        }
    } else {
        afterDate = zip::DateTimeToDosDateTime(now + 100);
    }
    if (!useAfterDate) afterDate = zip::DateTimeToDosDateTime(now + 1000);
    return afterDate;
}

DuplicateResult RemoveDuplicates(FileList& list, bool includeFolderInformation, ListPassHost& host) {
    DuplicateResult result;
    const size_t count = list.size();
    // All folded keys in one buffer; the sort then compares plain bytes.
    std::vector<size_t> offsets(count + 1);
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        offsets[i] = total;
        total += list[i].Path.size();
    }
    offsets[count] = total;
    std::string keys;
    keys.reserve(total);
    std::string folded;
    for (const FileListEntry& entry : list) {
        FoldPathInto(entry.Path, folded);
        keys += folded;
    }
    const auto key = [&](uint32_t i) {
        return std::string_view(keys.data() + offsets[i], offsets[i + 1] - offsets[i]);
    };
    std::vector<uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const int c = key(a).compare(key(b));
        return c != 0 ? c < 0 : a < b;
    });

    FileList sorted;
    sorted.reserve(count);
    std::string_view lastKey;
    bool haveLast = false;
    for (size_t position = 0; position < count; ++position) {
        const uint32_t i = order[position];
        if (position % passStep == 0) {
            if (host.Cancelled()) {
                // What is not yet looked at stays, in sorted order.
                for (size_t rest = position; rest < count; ++rest)
                    sorted.push_back(std::move(list[order[rest]]));
                list = std::move(sorted);
                return result;
            }
            host.PassProgress(static_cast<int>(position), static_cast<int>(count));
        }
        FileListEntry& entry = list[i];
        const bool folder = IsFolderLine(entry.Path);
        const std::string_view current = key(i);
        if (folder && !includeFolderInformation) {
            ++result.FoldersRemoved;
            result.BytesRemoved += entry.Size;
            continue;
        }
        if (haveLast && current == lastKey) {
            if (folder) {
                ++result.FoldersRemoved;
            } else {
                ++result.FilesRemoved;
            }
            result.BytesRemoved += entry.Size;
            continue;
        }
        if (folder) ++result.Folders;
        lastKey = current;
        haveLast = true;
        sorted.push_back(std::move(entry));
    }
    list = std::move(sorted);
    result.Completed = true;
    return result;
}

SelectionCounts CountSelection(const FileList& list, ListPassHost& host) {
    SelectionCounts counts;
    const int count = static_cast<int>(list.size());
    for (int i = 0; i < count; ++i) {
        if (i % passStep == 0) {
            if (host.Cancelled()) break;
            host.PassProgress(i, count);
        }
        if (IsFolderLine(list[i].Path))
            ++counts.Folders;
        else
            ++counts.Files;
    }
    return counts;
}

bool OrderBySize(FileList& list, int64_t bigFileLimit, ListPassHost& host) {
    if (host.Cancelled()) return false;
    const auto big = std::stable_partition(
        list.begin(), list.end(), [&](const FileListEntry& entry) { return entry.Size > bigFileLimit; });
    std::stable_sort(list.begin(), big,
                     [](const FileListEntry& a, const FileListEntry& b) { return a.Size > b.Size; });
    host.PassProgress(static_cast<int>(list.size()), static_cast<int>(list.size()));
    return true;
}

int64_t BigFileLimit(int64_t maxZipSize, int64_t destinationFreeSpace) {
    constexpr int64_t smallest = 2'000'000;
    int64_t limit = maxZipSize / 30;
    if (destinationFreeSpace < maxZipSize && destinationFreeSpace > smallest)
        limit = destinationFreeSpace / 30;
    return std::max(limit, smallest);
}

} // namespace job
