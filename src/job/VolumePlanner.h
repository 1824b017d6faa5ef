#pragma once
// Volume planning: the zip component zips the names in its list one by one and calls back
// after each; the planner then adds at most one more name, taken from the job's file list or
// from the files deferred to later volumes, so a volume grows file by file until its room is
// used, the entry limit is reached or the lists run out. The runner also calls it once before
// each volume (with an empty name) to choose the first entry.
//
// The rules are portable; everything they need of the files, the logs and the window goes
// through PlannerFiles and the job's host, so they run natively with fakes and under Wine with the real zip
// component. FilestoZipListNr is always the index of the first main-list line not yet added
// or skipped: it moves only when a line is, so no line is passed over between volumes.
//
// The catalogue list and the job log are the last entries, queued at the end of the main
// list; one that does not fit the last volume's room waits for a volume of its own. A queued
// entry is known by its name at the list's end, so a volume built again after a rollback, or a
// resumed run, queues neither a second time.
//
// The component calls once more when its list runs out, with the last name and the suffix
// "-:-": after the normal call of an entry it added, or as the only call for an entry it
// skipped (missing, locked, too big, refused). A marker for a name that no normal call named
// is such a skipped entry, reported once.

#include "job/JobHost.h"
#include "job/JobRun.h"
#include "job/VolumeSizes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace job {

using PlanLine = FileListEntry;
// The planner keeps its state across calls in the run record.
using VolumePlan = JobRun;

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

// What the planner needs of the files beside the job's host: the zip component's list and
// the file system.
class PlannerFiles {
  public:
    virtual ~PlannerFiles() = default;
    // The zip component's list.
    virtual void AddToZipFiles(const std::string& path) = 0;
    // The pre-zip test: readable, date sound (repaired when it can be), not locked. Logs its
    // own reasons. Folder lines pass.
    virtual bool CanZipFile(const std::string& path, ZipFileFacts& facts) = 0;
    // A file the planner will most likely test soon, named in the order of the tests, with its
    // listed size: its reading may start now, while the component zips. Only a guess; the test
    // decides as always. False when no more can be taken on for now.
    virtual bool ReadAhead(const std::string& /*path*/, int64_t /*listedSize*/) { return false; }
    // Whatever was named for reading ahead and not tested yet is let go.
    virtual void DropReadAhead() {}
    // The call's choice is made: a file tested and not added is let go.
    virtual void TestsDone() {}
    // Estimated compressed size of a file at the job's level; 0 for a folder line.
    virtual int64_t EstimateCompressed(const std::string& path, int64_t budget) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    // Free bytes of the destination, read now.
    virtual int64_t MeasureDestFreeSpace() = 0;
    // Free bytes of the destination the run uses now (the volume preparation may have moved
    // it to another alternative), read now.
    virtual int64_t DestFreeSpaceOf(const std::string& destPath) { return MeasureDestFreeSpace(); }
    virtual void AppendCsvLine(const std::string& line) = 0;
    // Every line is written: the list may be closed.
    virtual void CatalogueComplete() {}
    // A live registry file the job takes as its saved copy: the component cannot read it, and
    // that is no file left out.
    virtual bool IsSavedRegistryFile(const std::string& /*path*/) { return false; }
};

class VolumePlanner {
  public:
    VolumePlanner(JobRun& plan, PlannerFiles& files, JobHost& host)
        : plan_(plan), files_(files), host_(host) {}

    // The runner's call before a volume: a fresh volume, then the first entry.
    void StartVolume();
    // The OnEndZip handler.
    void Zipper1EndZip(const std::string& fileName, uint32_t uncompressedSize, uint32_t compressedSize,
                       uint32_t currentZipSize);

  private:
    bool LinesRemain() const;
    int64_t Margin() const;
    int64_t UnmeasuredBytes() const;
    int64_t ComputeBudget(bool capByFreeSpace) const;
    void Close();
    void Add(const std::string& path, const ZipFileFacts& facts, bool csvLine);
    void AddDeferred(const ZipFileFacts& facts);
    bool CanZip(const std::string& path, ZipFileFacts& facts);
    void SkipLine(bool countChecked);
    void TooBig(const std::string& path);
    void ReportSkipped(const std::string& path);
    void ShowProgress(uint32_t uncompressedSize);
    bool Overflows(int64_t size) const;
    bool DeferredPass(bool optimiseOnly);
    enum class Taken { Nothing, Added, VolumeClosed };
    Taken TakeDeferred();
    bool IsEndEntryName(const std::string& path) const;
    bool IsQueuedEndEntry(int index) const;
    bool EndEntryQueued(const std::string& path) const;
    bool QueueLastEntry();
    std::vector<std::string> EndLines() const;
    void WriteEndLines();
    bool AddLastEntry();
    bool ChooseNext();
    void ReadAheadNext();

    JobRun& plan_;
    PlannerFiles& files_;
    JobHost& host_;
    std::string lastNamed_;       // the entry the last normal call named, in this volume
    int readAheadTo_ = 0;         // the first main-list line not yet named for reading ahead
    bool deferredAdded_ = false;  // this call added a deferred file
    uint32_t currentZipSize_ = 0; // as the last call reported it
    std::unordered_map<std::string, std::string> pendingCsv_; // .csv lines of planned entries
    int64_t directoryBytes_ = 0;                              // what the volume's central directory will take
};

} // namespace job
