#pragma once
// The record of one backup run, held by the job's session and shared by the job's steps: the
// lists the selection builds, the volume plan the planner keeps across its calls, the
// counters and the flags the special items set. The job start resets it.

#include "gui/Clock.h"
#include "job/SelectionRules.h"
#include "job/VolumeSizes.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace job {

// The job's options that decide which entries the scan takes.
struct SelectionOptions {
    bool UseAfterDate = false;
    uint32_t AfterDate = 0; // DOS date-time
    bool ChangedOnly = false;
    bool CBCatalog = false; // changed files judged by the catalogue instead of the archive bit
    bool ClearArchiveBit = false;
    bool IncludeFolderInformation = true;
    bool IncludeDriveInfo = false;
    bool IncludeFullDriveInfo = false;
};

// Earlier backups' paths (as the zip stores them) with their DOS date-times, found
// case-insensitively. The catalogue reader fills it.
class CatalogIndex {
  public:
    void Clear() { dates_.clear(); }
    void Add(std::string_view storedPath, uint32_t dosDateTime) {
        dates_[FoldPath(storedPath)] = dosDateTime;
    }
    // Nothing when the path is not in the catalogue.
    // Keeps the newest date-time per path, compared as the signed numbers a catalogue holds.
    void Raise(std::string_view storedPath, int32_t dosDateTime) {
        const auto [found, added] =
            dates_.try_emplace(FoldPath(storedPath), static_cast<uint32_t>(dosDateTime));
        if (!added && static_cast<int32_t>(found->second) < dosDateTime)
            found->second = static_cast<uint32_t>(dosDateTime);
    }
    const uint32_t* Find(std::string_view storedPath) const {
        const auto found = dates_.find(FoldPath(storedPath));
        return found == dates_.end() ? nullptr : &found->second;
    }
    size_t Size() const { return dates_.size(); }

  private:
    std::unordered_map<std::string, uint32_t> dates_;
};

// A file put off to a later volume, with its estimated compressed size.
struct DeferredFile {
    std::string Path;
    int64_t Estimate = 0;
};

// Where a volume began: what a volume that failed on a full medium rolls the run back to
// before it is built again.
struct VolumeRollback {
    bool Saved = false;
    int ZipNameNr = 0; // before the volume was named: the volume gets its name again
    int FilestoZipListNr = 0;
    int iZip = 0;
    std::vector<DeferredFile> ZipVolumeList;
    int FileCount = 0;
    int FilesCopyed = 0;
    int64_t BytesToBak = 0;
    int64_t EarlierVolumeBytes = 0;
    bool CatSaved = true;
    bool EndLinesWritten = false;
    bool FilesSkipped = false;
};

struct JobRun {
    // Selection.
    std::vector<std::string> ExcludeList;
    ExcludeRules Excludes; // ExcludeList compiled, once per run
    FileList FilestoZipList;
    // The index of the first line of FilestoZipList not yet added to a volume or skipped.
    int FilestoZipListNr = 0;
    std::deque<std::string> ScanQueue;
    CatalogIndex CatalogList;
    SelectionOptions Options;

    // Counters.
    int FileCount = 0; // files looked at
    int FilesCopyed = 0;
    int FilesToBak = 0; // file lines in the list
    int DirToBak = 0;   // folder lines in the list
    int64_t BytesToBak = 0;
    int ZipNameNr = 0;
    int64_t TotalMB = 0;

    // Flags of the special items and of the scan.
    bool Only83 = false;
    bool DoIncludeReg = false;
    bool DoIncludeSysState = false;
    bool DoCatalog = false;
    bool CatSaved = true;
    bool SystemItem = false;
    bool ItemMissing = false;
    bool FilesSkipped = false; // a file was left out because its name cannot be stored
    bool UserFolderNoticePending = true;

    // The volume plan.
    std::vector<DeferredFile> ZipVolumeList; // put off to later volumes
    int iZip = 0;
    int64_t MaxZipSize = CdVolumeSize;
    int64_t CurrentZipBytes = 0;
    int64_t SpaceReserve = 0;
    int64_t EarlierVolumeBytes = 0;
    int64_t ZipBudget = 0;
    int64_t DestFreeSpace = 0;
    int64_t LastFreeSpaceCheck = 0;
    int ZipEntryCount = 0;
    bool EntryLimitReached = false;
    bool EndLinesWritten = false;

    // The job's options as the run takes them.
    bool Optimizeusedspace = false;
    bool Splitlargefiles = false;
    bool Allfilenames1 = false;
    bool IncludeDateTime1 = false;
    int ZipPackLevel = 6;
    bool DiscWriterMode = false;
    bool Hidden = false;
    bool DetailLog = false; // switch /L

    std::string JobName;     // the job file name
    std::string ZipFileName; // the volume's file name, for the .csv lines and the status
    std::string CsvFileName;
    std::string RunLogName; // the job's text log, zipped last

    gui::DateTime JobStartTime = 0;
    // The "After:" text the job had before its start moved it to the start's time, kept with
    // the resume state; a cancelled run puts it back. None: the run did not move it.
    std::optional<std::string> AfterDateTextBeforeStart;
    // Files the run took are in no sound copy (a volume not written, or a start that ended
    // before the job ran): the "After:" text goes back too, or the next run would pass them by.
    bool FilesLeftUncopied = false;
    // The user folders found in the registry: the application-data folder + user name + "\".
    std::string UserFolders;
    std::string TempPath; // with a trailing "\"

    // Where the volumes go, as the start chose it and the space checks change it.
    std::string DestPath;              // the alternative in use
    std::vector<std::string> DestList; // the alternatives of the destination field
    std::string PreviousDestPath;
    int DestDrive = -2;
    bool EraseFirst = false;
    std::string WriterChoice; // the job's writer choice, empty for "Use path"
    int64_t TempSpaceMargin = 0;
    bool UseTempFileNow = false;
    // The volume is in the temporary folder and is copied to DestPath after its zip run.
    bool CopyPending = false;
    bool KeepArchiveBitsCleared = false; // the user declined to reset them after a cancel

    // The volumes.
    std::string ZipName; // the job's base name
    std::string ZipDate; // "yyyymmdd"
    bool OverwriteExistingZipFile1 = false;
    std::string VolumePath; // the path the zip component is given
    std::vector<std::string> JobZipNames;
    std::vector<std::string> CatZipList; // zip names the catalogue already holds
    VolumeRollback Rollback;

    // The disc step's lists, saved with the resume state.
    std::vector<std::string> BflList, CflList, VflList, FflList, DflList;
    // How often the disc step put each volume back on the burn-later list in this run.
    std::map<std::string, int> DiscRequeues;
    // The catalogue names the resume state keeps.
    std::string CatalogName, CatName, EditCatNameText;
};

} // namespace job
