// What a Zip call adds: the lines of FilesList resolved to files before anything is written.
//
// A line is a folder entry (ending in "\"), a plain file name, or a mask. Plain names are
// checked one by one against the exclude list, the file system, the archive-bit rule and,
// under zaFreshen, the archive's entries; masks are set aside and searched afterwards, so
// that every name the search adds is already a checked file. The total byte count built
// here drives the percent events of the run.
//
// Under zaFreshen a file qualifies only when the archive holds an entry of the same stored
// name, so the lookup compares names in stored form ("/" separators, code page, folder rules
// of the path options), built once into a hash set: a backup archive has many thousands of
// entries and a list of as many names. The naming rule itself (SetEntryName: the folder and
// name an entry gets from a path under the path options) lives here once, for the entries the
// run makes and for every lookup of an existing entry.

#include "zip/Zipper.h"

#include "gui/CompareText.h"
#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <unordered_set>

namespace zip {

namespace {

std::string FolderOf(const std::string& name) {
    const size_t slash = name.find_last_of('\\');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

std::string NameWithoutFolder(const std::string& name) {
    const size_t cut = name.find_last_of("\\:");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return prefix.size() <= text.size() &&
           gui::SameTextI(std::string_view(text).substr(0, prefix.size()), prefix);
}

bool MatchesAny(const gui::TStringList& list, const std::string& name) {
    const std::string bare = NameWithoutFolder(name);
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& line = list[i];
        if (IsMatch(line, line.find('\\') != std::string::npos ? name : bare)) return true;
    }
    return false;
}

std::string FoldName(std::string_view name) {
    return gui::UpperCaseI(name);
}

} // namespace

bool TZipper::IsExcluded(const std::string& name) const {
    return MatchesAny(ExcludeList, name);
}

bool TZipper::IsNoCompress(const std::string& name) const {
    return MatchesAny(NoCompressList, name);
}

void TZipper::SetEntryName(TZipHeaderInfo& entry, const std::string& name) {
    const std::string path = Store83Names ? output_.ShortName(name) : name;
    std::string folder;
    if (StorePaths()) {
        folder = FolderOf(path);
        if (RelativePaths() && !RootDir().empty()) {
            // A short path starts with the short form of the root.
            const std::string root = Store83Names ? output_.ShortName(RootDir()) : RootDir();
            if (StartsWithNoCase(folder, root)) folder.erase(0, root.size());
        }
        if (!StoreVolumes()) {
            if (folder.size() >= 2 && folder[1] == ':') folder.erase(0, 2);
            if (!folder.empty() && folder[0] == '\\') folder.erase(0, 1);
        }
    }
    const bool isFolder = !path.empty() && path.back() == '\\';
    if (isFolder && !StorePaths()) {
        // Without stored paths a folder keeps its own name, so its entry is still a folder.
        const std::string own = path.substr(0, path.size() - 1);
        folder = own.substr(FolderOf(own).size());
        if (folder.size() >= 2 && folder[1] == ':') folder.clear();
    }
    entry.SetDirectory(folder);
    entry.SetFilename(path.substr(FolderOf(path).size()));
}

std::string TZipper::StoredNameOf(const std::string& name) {
    TZipHeaderInfo entry;
    SetEntryName(entry, name);
    return FoldName(entry.StoredName());
}

std::string TZipper::StoredNameOf(const TZipHeaderInfo& entry) {
    // Held as read: already in the archive's code page, only the separators differ.
    std::string name = entry.Directory() + entry.Filename();
    SlashesToUnix(name);
    return FoldName(name);
}

bool TZipper::ArchiveExists() {
    if (callerStream_ != nullptr) return callerStream_->Size() > 0;
    return !ZipName().empty() && output_.Info(ZipName()).has_value();
}

void TZipper::BuildZipFileList() {
    totalBytes_ = 0;
    std::unordered_set<std::string> inArchive;
    const bool freshen = ZipAction == zaFreshen;
    if (freshen && ArchiveExists()) {
        OpenZip();
        for (int i = 0; i < master_->Count(); ++i)
            inArchive.insert(StoredNameOf(*master_->Entry(i)));
        CloseZip(true);
    }
    auto archiveBitRejects = [this](const TSourceInfo& info) {
        return SkipIfArchiveBitNotSet && !(info.attributes & kAttrArchive);
    };

    std::vector<std::string> masks;
    for (int i = 0; i < FilesList.Count();) {
        std::string name = FilesList[i];
        if (!name.empty() && name.back() == '\\') {
            ++i;
            continue;
        }
        if (HasWildcards(name)) {
            masks.push_back(name);
            FilesList.Delete(i);
            continue;
        }
        if (name.find_first_of("\\:") == std::string::npos) {
            name = RootDir() + name;
            FilesList.SetStrings(i, name);
        }
        if (IsExcluded(name)) {
            FilesList.Delete(i);
            continue;
        }
        const std::optional<TSourceInfo> info = output_.Info(name);
        if (!info) {
            if (OnNoSuchFile) OnNoSuchFile(*this, name);
            FilesList.Delete(i);
            continue;
        }
        // A folder is zipped only when named with its trailing "\"; otherwise it would become an
        // empty file of the folder's name.
        if (info->IsFolder() || archiveBitRejects(*info) ||
            (freshen && !inArchive.contains(StoredNameOf(name)))) {
            FilesList.Delete(i);
            continue;
        }
        totalBytes_ += uint64_t(info->size);
        ++i;
    }

    const std::string archive = callerStream_ == nullptr ? FoldName(ZipName()) : std::string();
    for (std::string mask : masks) {
        bool recurse = Recurse;
        if (mask[0] == '|' || mask[0] == '>') {
            recurse = mask[0] == '>';
            mask.erase(0, 1);
        }
        std::string folder = FolderOf(mask);
        const std::string fileMask = mask.substr(folder.size());
        if (folder.empty()) folder = RootDir();
        // Wildcard folder parts are searched level by level; only the fixed start must exist.
        if (folder.empty() || !files_.DirectoryExists(SplitSearchStart(folder).folder)) continue;
        output_.Search(folder, recurse, fileMask, [&](const std::string& found, int64_t size) {
            // A search of a large tree keeps the window alive and can be cancelled.
            ThrowIfCanceled();
            if (found.back() == '\\') {
                if (recurse && AddDirEntriesOnRecurse) FilesList.Add(found);
                return true;
            }
            if (IsExcluded(found) || (!archive.empty() && FoldName(found) == archive)) return true;
            if (SkipIfArchiveBitNotSet) {
                const std::optional<TSourceInfo> info = output_.Info(found);
                if (!info || archiveBitRejects(*info)) return true;
            }
            if (freshen && !inArchive.contains(StoredNameOf(found))) return true;
            FilesList.Add(found);
            totalBytes_ += uint64_t(size);
            return true;
        });
    }
}

} // namespace zip
