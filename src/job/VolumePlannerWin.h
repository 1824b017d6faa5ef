#pragma once
// The planner's host on Win32, the file-facing half: the pre-zip test, the size estimate, the
// catalogue's .csv lines and the destination's free space. Its reasons go to the job's host.

#include "core/DateText.h"
#include "job/VolumePlanner.h"

namespace job {

struct PlannerFileOptions {
    int ZipPackLevel = 6;
    bool DoIncludeReg = false;
    std::string WindowsFolder;       // without a trailing "\"
    std::string ApplicationDataPath; // the profile folder, with a trailing "\"
    std::string CsvFileName;
    std::string DestPath;
    core::LocaleFormat Locale;
};

class WinPlannerFiles : public PlannerFiles {
  public:
    WinPlannerFiles(PlannerFileOptions options, JobHost& host) : options_(std::move(options)), host_(host) {}
    ~WinPlannerFiles() override;
    WinPlannerFiles(const WinPlannerFiles&) = delete;
    WinPlannerFiles& operator=(const WinPlannerFiles&) = delete;

    bool CanZipFile(const std::string& path, ZipFileFacts& facts) override;
    int64_t EstimateCompressed(const std::string& path, int64_t budget) override;
    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    int64_t MeasureDestFreeSpace() override;
    int64_t DestFreeSpaceOf(const std::string& destPath) override;
    void AppendCsvLine(const std::string& line) override;
    void CatalogueComplete() override;
    bool IsSavedRegistryFile(const std::string& path) override;

    PlannerFileOptions& Options() { return options_; }
    // The catalogue list's lines of a volume that landed under another name name that one.
    void RenameCsvVolume(const std::string& builtName, const std::string& landedName);

  private:
    bool CanZipFileChecked(const std::string& path, ZipFileFacts& facts);
    PlannerFileOptions options_;
    JobHost& host_;
    void* csvFile_ = reinterpret_cast<void*>(-1); // the catalogue list, open for appending
    bool csvFailed_ = false;                      // it could not be written: no more tries
};

// Appends one line (CR LF) to the file, creating it; a failed open is tried once more after
// a second. False when the line could not be written.
bool AppendLineToFile(const std::string& line, const std::string& fileName, JobHost& host);

// Cuts the catalogue list's last lines that name zipName (compared without case): the lines of
// a volume an interrupted run was building, which is deleted and built again, so its files
// are listed once. Lines of other volumes stay, and none before a line of another volume is
// cut. True when the list is as it should be (also when there is none).
bool DropCatalogueLines(const std::string& csvFileName, const std::string& zipName);

// The catalogue list's lines of zipName (compared without case) name newName instead: the
// volume landed under that name. True when the list is as it should be (also when there is
// none).
bool RenameCatalogueLines(const std::string& csvFileName, const std::string& zipName,
                          const std::string& newName);

} // namespace job
