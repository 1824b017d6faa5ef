#pragma once
// A fresh run's selection: the exclude table, the include items with their special tokens,
// the registry and system-state copies, and the passes after the scan, up to the hand-over
// to the zip set-up (or the cancelled end).

#include "core/Settings.h"
#include "job/FileScan.h"
#include "job/JobDefinition.h"

#include <functional>
#include <string>

namespace job {

struct SelectionPlace {
    std::string ProgramFolder; // with a trailing "\"
    std::string WindowsFolder; // without a trailing "\"
    core::OsVersion Version;
    // The free bytes of the destination the start chose, asked only when the job orders big
    // files first; none: unknown.
    std::function<int64_t()> DestinationFreeSpace;
};

struct SelectionResult {
    bool Cancelled = false;
    // BytesToBak and FileCount before they start counting what is zipped.
    int64_t BytesSelected = 0;
    int FilesTotal = 0;
};

class JobItems {
  public:
    JobItems(JobRun& run, JobHost& host, DirectoryLister& lister, JobDefinition& job, SelectionPlace place);

    // Filled by the catalogue: reads the job's catalogues into the run's CatalogList; false
    // (logged there) when one is there but cannot be read.
    std::function<bool()> ReadCatalogs;
    // The main form's end of a cancelled start: running flag, start action, JobEnd.
    std::function<void()> EndCancelledStart;
    // Saves the job file (the "After:" date put back).
    std::function<void()> SaveJob;
    // The zip name of the run, for its work files.
    std::string ZipName;

    // From the counters of a fresh run to the end of the selection.
    SelectionResult Run();

    void BuildExcludeTable();
    void IncludeLoop();
    void SystemStateBackup();
    SelectionResult AfterSelection();

  private:
    std::string UserItem(const std::string& item, bool forInclude);
    void UserFolderNotice();
    void ScanLogged(const std::string& item);
    void WaitCancellable(int milliseconds);
    bool Newer(const std::string& path) const;
    void ReportBackupFailure(const std::string& text);

    JobRun& run_;
    JobHost& host_;
    DirectoryLister& lister_;
    JobDefinition& job_;
    SelectionPlace place_;
    FileScan scan_;
};

} // namespace job
