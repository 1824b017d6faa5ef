#pragma once
// Volume planning: the zip component zips the names in its list one by one and calls back
// after each; the planner then adds at most one more name, taken from the job's file list or
// from the files deferred to later volumes, so a volume grows file by file until its room is
// used, the entry limit is reached or the lists run out. The runner also calls it once before
// each volume (with an empty name) to choose the first entry.
//
// The rules are portable; everything they need of the files, the logs and the window goes
// through PlannerHost, so they run natively with fakes and under Wine with the real zip
// component. FilestoZipListNr is always the index of the first main-list line not yet added
// or skipped: it moves only when a line is, so no line is passed over between volumes.
//
// The catalogue list and the job log are the last entries; one that does not fit the last
// volume's room waits for a volume of its own.
//
// The component calls once more when its list runs out, with the last name and the suffix
// "-:-": after the normal call of an entry it added, or as the only call for an entry it
// skipped (missing, locked, too big, refused). A marker for a name that no normal call named
// is such a skipped entry, reported once.

#include "job/VolumeSizes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace job {

struct PlanLine {
    std::string Path; // a folder line ends in "\"
    int64_t Size = 0;
};

struct DeferredFile {
    std::string Path;
    int64_t Estimate = 0;
};

// What the planner reads and keeps across its calls for one job.
struct VolumePlan {
    std::vector<PlanLine> FilestoZipList;
    int FilestoZipListNr = 0;
    std::vector<DeferredFile> ZipVolumeList;
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

    int64_t BytesToBak = 0;
    int64_t TotalMB = 0;
    int FileCount = 0;
    int FilesCopyed = 0;
    int FilesToBak = 0;
    bool FilesSkipped = false;
    bool CatSaved = true;
    bool EndLinesWritten = false;

    // Options.
    bool Optimizeusedspace = false;
    bool Splitlargefiles = false;
    bool Allfilenames1 = false;
    bool IncludeDateTime1 = false;
    bool DoCatalog = false;
    int ZipPackLevel = 6;
    bool DiscWriterMode = false;
    bool Hidden = false;
    bool DetailLog = false; // switch /L

    std::string JobName;     // the job file name
    std::string ZipFileName; // the volume's file name, for the .csv lines and the status
    std::string CsvFileName;
    std::string RunLogName; // the job's text log, zipped last
};

// The facts CanZipFile leaves for the .csv line.
struct ZipFileFacts {
    std::string DateText; // "Error: TimeFormat" when the date cannot be read
    int64_t Size = 0;
    bool Skipped = false; // left out for a reason the job's end reports
};

// The estimated compressed size of a file of the given size at a pack level (0 = stored):
// files up to 9,000,000 bytes are compressed whole in 1,000,000-byte blocks, larger ones by
// up to eight such samples spread over the file until two estimates agree. read(offset,
// buffer, size) answers the bytes read; cancelled() stops the sampling. At most 9,000,000
// bytes are read. progress(percent) follows the reading.
using BlockReader = std::function<size_t(int64_t offset, uint8_t* buffer, size_t size)>;
int64_t EstimateCompressedSize(int64_t size, int packLevel, int64_t budget, const BlockReader& read,
                               const std::function<bool()>& cancelled = {},
                               const std::function<void(int percent)>& progress = {});

class PlannerHost {
  public:
    virtual ~PlannerHost() = default;
    // The zip component's list.
    virtual void AddToZipFiles(const std::string& path) = 0;
    // The pre-zip test: readable, date sound (repaired when it can be), not locked. Logs its
    // own reasons. Folder lines pass.
    virtual bool CanZipFile(const std::string& path, ZipFileFacts& facts) = 0;
    // Estimated compressed size of a file at the job's level; 0 for a folder line.
    virtual int64_t EstimateCompressed(const std::string& path, int64_t budget) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    // Free bytes of the destination, read now, and shown beside it.
    virtual int64_t MeasureDestFreeSpace() = 0;
    virtual void ShowDestFreeSpace(int64_t) {}
    // The volume bar (ProgressBar3) while a size is estimated; 0 when done.
    virtual void SetEstimateProgress(int) {}
    virtual void AppendCsvLine(const std::string& line) = 0;
    // Every line is written: the list may be closed.
    virtual void CatalogueComplete() {}
    // The job's text log, the file zipped last.
    virtual void AddToRunLog(const std::string& text) = 0;
    virtual void AddToLog(const std::string& text) = 0; // program log, stamped
    virtual void AddToJobLog(const std::string& text, bool stamp) = 0;
    virtual void SetStatusText(const std::string& text) = 0; // Label1
    virtual void SetTotalText(const std::string& text) = 0;  // Label2
    virtual void SetJobProgress(int percent) = 0;            // ProgressBar1 and the tray tip
    virtual void PumpIfDue() = 0;
    virtual void Wait(int milliseconds) = 0;
    virtual bool Cancelled() = 0;
    virtual void ResetWatchdog() = 0;
};

class VolumePlanner {
  public:
    VolumePlanner(VolumePlan& plan, PlannerHost& host) : plan_(plan), host_(host) {}

    // The runner's call before a volume: a fresh volume, then the first entry.
    void StartVolume();
    // The OnEndZip handler.
    void Zipper1EndZip(const std::string& fileName, uint32_t uncompressedSize, uint32_t compressedSize,
                       uint32_t currentZipSize);

  private:
    bool LinesRemain() const;
    int64_t Margin() const;
    int64_t ComputeBudget(bool capByFreeSpace) const;
    void Close();
    void Add(const std::string& path, const ZipFileFacts& facts, bool csvLine);
    bool CanZip(const std::string& path, ZipFileFacts& facts);
    void SkipLine(bool countChecked);
    void TooBig(const std::string& path);
    void ReportSkipped(const std::string& path);
    void ShowProgress(uint32_t uncompressedSize);
    bool Overflows(int64_t size) const;
    bool DeferredPass(bool optimiseOnly);
    enum class Taken { Nothing, Added, VolumeClosed };
    Taken TakeDeferred();
    bool QueueLastEntry();
    std::vector<std::string> EndLines() const;
    void WriteEndLines();
    bool AddLastEntry();
    bool ChooseNext();

    VolumePlan& plan_;
    PlannerHost& host_;
    std::string lastNamed_;       // the entry the last normal call named, in this volume
    uint32_t currentZipSize_ = 0; // as the last call reported it
    bool logQueued_ = false;      // the job log's line is in the main list
    int waitingLine_ = -1;        // the catalogue list's or the log's line, until it is added
    std::unordered_map<std::string, std::string> pendingCsv_; // .csv lines of planned entries
    int64_t directoryBytes_ = 0;                              // what the volume's central directory will take
};

} // namespace job
