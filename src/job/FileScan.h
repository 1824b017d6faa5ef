#pragma once
// The file selection scan: turns include items into lines of the run's file list and queues
// their subfolders, then the passes over the finished list. The folders come in through a
// DirectoryLister (the system's on Windows, a table in tests), the window through JobHost.
//
// Each folder is enumerated once: the subfolders of the second phase are taken from the
// first phase's listing, so the lines and the queue keep the order of a separate search.
// Folder links are listed but never queued, so a link back up the tree cannot loop and no
// tree is taken twice.

#include "job/JobHost.h"
#include "job/JobRun.h"

#include <cstdint>
#include <string>
#include <vector>

namespace job {

constexpr uint32_t EntryVolumeLabel = 0x08;
constexpr uint32_t EntryDirectory = 0x10;
constexpr uint32_t EntryArchive = 0x20;
constexpr uint32_t EntryReparsePoint = 0x400;

struct DirEntry {
    std::string Name; // in the ANSI code page; "?" for each character it cannot hold
    uint32_t Attributes = 0;
    int64_t Size = 0;
    uint32_t DosDateTime = 0;
    bool NameLost = false; // the name has characters the ANSI code page cannot hold
};

class DirectoryLister {
  public:
    virtual ~DirectoryLister() = default;
    // The entries a search for the pattern (folder + wildcard name, or one path) finds, in the
    // system's order; none when the folder cannot be read.
    virtual void List(const std::string& pattern, std::vector<DirEntry>& entries) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
};

class FileScan {
  public:
    FileScan(JobRun& run, JobHost& host, DirectoryLister& lister);

    // One include item, or one queued folder.
    void ScanItem(const std::string& item);
    // The scan queue front first until it is empty or the run is cancelled; unless hidden the
    // labels show the totals between entries.
    void DrainQueue();

    // The passes after the scan.
    void RemoveDuplicates();
    void LogSelectionCounts();
    // Big files first when the job optimises used space, else the list stays sorted.
    void OrderBySize(int64_t destinationFreeSpace);

    // Status texts.
    std::string ScanStatus(const std::string& path) const;
    std::string TotalStatus() const;

  private:
    bool IsCandidate(const std::string& folder, const DirEntry& entry, bool folderEntry);
    void AddFoundEntry(const std::string& folder, const DirEntry& entry, bool folderEntry);
    bool IsExcluded();
    bool ChangedSinceCatalogue(const std::string& path, uint32_t dosDateTime) const;
    void StatusPoint(const std::string& path);
    void FlushPendingWhenFull();

    JobRun& run_;
    JobHost& host_;
    DirectoryLister& lister_;
    std::vector<std::string> masks_; // folded
    std::vector<DirEntry> entries_;
    std::vector<DirEntry> subfolderEntries_;
    std::string folded_;
    std::string foldedName_;
    int filesAtLastStatus_ = 0;
};

} // namespace job
