#include "job/FileScan.h"

#include "core/PathText.h"

namespace job {

namespace {

constexpr int statusEveryFiles = 97; // a status point when more files than this came in
constexpr size_t pendingLimit = 1000;
// "MBytes total" counts in one unit at every point, or the label jumps between them.
constexpr int64_t bytesPerMegabyte = 1'048'576;

class PassHost final : public ListPassHost {
  public:
    PassHost(JobHost& host, std::function<void(int, int)> progress)
        : host_(host), progress_(std::move(progress)) {}
    bool Cancelled() override { return host_.Cancelled(); }
    void PassProgress(int position, int count) override {
        progress_(position, count);
        host_.Pump();
    }

  private:
    JobHost& host_;
    std::function<void(int, int)> progress_;
};

} // namespace

FileScan::FileScan(JobRun& run, JobHost& host, DirectoryLister& lister)
    : run_(run), host_(host), lister_(lister) {}

std::string FileScan::ScanStatus(const std::string& path) const {
    return "Files to backup: " + std::to_string(run_.FilesToBak) + ", seaching: " + path;
}

std::string FileScan::TotalStatus() const {
    return "MBytes total: " + std::to_string(run_.BytesToBak / bytesPerMegabyte);
}

void FileScan::FlushPendingWhenFull() {
    if (host_.ArchiveBitPending().size() > pendingLimit) host_.FlushAttributeList();
}

void FileScan::StatusPoint(const std::string& path) {
    filesAtLastStatus_ = run_.FilesToBak;
    host_.SetStatusText(ScanStatus(path));
    host_.SetTotalText(TotalStatus());
    FlushPendingWhenFull();
    host_.Pump();
}

bool FileScan::ChangedSinceCatalogue(const std::string& path, uint32_t dosDateTime) const {
    const SelectionOptions& options = run_.Options;
    const uint32_t* stored = run_.CatalogList.Find(
        CataloguePathForm(path, options.IncludeDriveInfo, options.IncludeFullDriveInfo));
    return stored == nullptr || *stored < dosDateTime;
}

// The tests every entry passes before the masks: date, 8.3 name, changed since last time.
bool FileScan::IsCandidate(const std::string& folder, const DirEntry& entry, bool folderEntry) {
    const SelectionOptions& options = run_.Options;
    if (options.UseAfterDate && OlderThanAfterDate(entry.DosDateTime, options.AfterDate)) return false;
    if (run_.Only83 && !core::IsShortFileName(folder + entry.Name)) return false;
    if (options.ChangedOnly) {
        if (options.CBCatalog) return ChangedSinceCatalogue(folder + entry.Name, entry.DosDateTime);
        return (entry.Attributes & EntryArchive) != 0;
    }
    return true;
}

bool FileScan::IsExcluded() {
    if (run_.Excludes.Empty() || !run_.Excludes.Matches(run_.FilestoZipList.back().Path)) return false;
    run_.FilestoZipList.pop_back();
    return true;
}

void FileScan::AddFoundEntry(const std::string& folder, const DirEntry& entry, bool folderEntry) {
    const bool ownFolder = folderEntry && entry.Name == ".";
    if (!masks_.empty()) {
        FoldPathInto(folder, folded_);
        FoldPathInto(entry.Name, foldedName_);
        folded_ += foldedName_;
        if (!AnyMaskAccepts(masks_, folded_, foldedName_, folderEntry)) return;
    }
    if (entry.NameLost) {
        // The name the system would open is not this one; another file might be taken in
        // its place.
        if (!folderEntry) {
            host_.AddToJobLog("File skipped, name not in the ANSI code page: " + folder + entry.Name);
            run_.FilesSkipped = true;
        }
        return;
    }
    std::string line = ownFolder ? folder : folderEntry ? folder + entry.Name + "\\" : folder + entry.Name;
    run_.FilestoZipList.push_back({std::move(line), entry.Size});
    if (IsExcluded()) {
        if (!folderEntry) --run_.FileCount;
        return;
    }
    run_.BytesToBak += entry.Size;
    if (!folderEntry) ++run_.FilesToBak;
    if (run_.Options.ClearArchiveBit && (entry.Attributes & EntryArchive))
        host_.ArchiveBitPending().push_back(run_.FilestoZipList.back().Path);
}

void FileScan::ScanItem(const std::string& item) {
    const ItemText text = ParseItemText(item);
    masks_.clear();
    for (const std::string& mask : text.Masks)
        masks_.push_back(FoldPath(mask));
    const std::string& path = text.Path;
    const bool wildcard = path.find('*') != std::string::npos;
    const bool existingFile = !wildcard && lister_.FileExists(path);
    if (!wildcard && !existingFile && !lister_.DirectoryExists(path)) {
        host_.AddToJobLog("WARNING item does not exists: " + path);
        run_.ItemMissing = true;
        return;
    }
    host_.SetStatusText(ScanStatus(path));

    std::string folder(FolderPart(path));
    RepairItemSeparators(folder);
    const bool folderSearch = !masks_.empty();
    lister_.List(folderSearch ? folder + "*.*" : path, entries_);
    filesAtLastStatus_ = run_.FilesToBak;
    const bool folderInformation = run_.Options.IncludeFolderInformation;

    for (const DirEntry& entry : entries_) {
        if (host_.Cancelled()) break;
        const bool folderEntry = (entry.Attributes & (EntryDirectory | EntryVolumeLabel)) != 0;
        bool candidate = true;
        if (folderEntry) {
            // A folder whose name is lost is reported once, when its subfolders are taken.
            if (entry.Name == ".." || !folderInformation || entry.NameLost) candidate = false;
        } else {
            ++run_.FileCount;
        }
        if (!IsCandidate(folder, entry, folderEntry)) candidate = false;
        if (candidate) AddFoundEntry(folder, entry, folderEntry);
        if (run_.FilesToBak - filesAtLastStatus_ > statusEveryFiles)
            StatusPoint(path);
        else
            host_.PumpIfDue();
    }

    if (!existingFile && !host_.Cancelled()) {
        const std::vector<DirEntry>* subfolders = &entries_;
        if (!folderSearch) {
            lister_.List(folder + "*.*", subfolderEntries_);
            subfolders = &subfolderEntries_;
        }
        const std::string namePart(NamePart(path));
        for (const DirEntry& entry : *subfolders) {
            if (host_.Cancelled()) break;
            if (!(entry.Attributes & EntryDirectory) || entry.Name == "." || entry.Name == "..") continue;
            if (entry.NameLost) {
                host_.AddToLog("Folder skipped, name not in the ANSI code page: " + folder + entry.Name +
                               "\\");
                run_.FilesSkipped = true;
                continue;
            }
            if (!(entry.Attributes & EntryReparsePoint))
                run_.ScanQueue.push_back(folder + entry.Name + "\\" + namePart + text.RememberedMasks);
            if (folderInformation && IsCandidate(folder, entry, true)) AddFoundEntry(folder, entry, true);
            host_.PumpIfDue();
        }
    }
    FlushPendingWhenFull();
}

void FileScan::DrainQueue() {
    while (!run_.ScanQueue.empty() && !host_.Cancelled()) {
        host_.ResetWatchdog();
        const std::string entry = std::move(run_.ScanQueue.front());
        run_.ScanQueue.pop_front();
        ScanItem(entry);
        if (!host_.Hidden()) {
            host_.SetStatusText("Files to backup: " + std::to_string(run_.FilesToBak));
            host_.SetTotalText(TotalStatus());
        }
        host_.PumpIfDue();
    }
}

void FileScan::RemoveDuplicates() {
    host_.AddToLog("Files total: " + std::to_string(run_.FileCount));
    const auto checking = [this] {
        return "Checking for duplicate entries, files to backup: " + std::to_string(run_.FilesToBak);
    };
    host_.SetStatusText(checking());
    host_.Pump();
    host_.SetPassProgress(0, static_cast<int>(run_.FilestoZipList.size()));
    PassHost pass(host_, [&](int position, int count) {
        host_.SetPassProgress(position, count);
        host_.SetStatusText(checking());
        host_.SetTotalText(TotalStatus());
    });
    const DuplicateResult result =
        job::RemoveDuplicates(run_.FilestoZipList, run_.Options.IncludeFolderInformation, pass);
    run_.FilesToBak -= result.FilesRemoved;
    run_.BytesToBak -= result.BytesRemoved;
    run_.DirToBak = run_.Options.IncludeFolderInformation ? result.Folders : 0;
    const std::string removed = "Duplicate entries removed: " + std::to_string(result.FilesRemoved);
    host_.SetStatusText("Files to backup: " + std::to_string(run_.FilesToBak) + ". " + removed);
    if (result.FilesRemoved > 0) host_.AddToLog(removed);
    host_.SetPassProgress(0, 100);
}

void FileScan::LogSelectionCounts() {
    PassHost pass(host_, [&](int position, int count) { host_.SetPassProgress(position, count); });
    const SelectionCounts counts = CountSelection(run_.FilestoZipList, pass);
    host_.AddToLog("Files to backup: " + std::to_string(counts.Files) + " " +
                   "Folder infos to backup: " + std::to_string(counts.Folders));
}

void FileScan::OrderBySize(int64_t destinationFreeSpace) {
    if (!run_.Optimizeusedspace) return; // RemoveDuplicates left it sorted
    PassHost pass(host_, [&](int position, int count) { host_.SetPassProgress(position, count); });
    job::OrderBySize(run_.FilestoZipList, BigFileLimit(run_.MaxZipSize, destinationFreeSpace), pass);
}

} // namespace job
