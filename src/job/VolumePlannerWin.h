#pragma once
// The planner's host on Win32, the file-facing half: the pre-zip test, the size estimate, the
// catalogue's .csv lines and the destination's free space. Its reasons go to the job's host.

#include "core/DateText.h"
#include "job/VolumePlanner.h"
#include "zip/ZipperFiles.h"

#include <memory>
#include <optional>

namespace zip {
class TSourcePrefetch;
class TWinZipperFileSystem;
} // namespace zip

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
    WinPlannerFiles(PlannerFileOptions options, JobHost& host);
    ~WinPlannerFiles() override;
    WinPlannerFiles(const WinPlannerFiles&) = delete;
    WinPlannerFiles& operator=(const WinPlannerFiles&) = delete;

    // One look at the file serves the test, the estimate and the zipping: a file that passes
    // is kept (its facts, and its first bytes with the file open when it is longer) until the
    // component takes it or the next test.
    bool CanZipFile(const std::string& path, ZipFileFacts& facts) override;
    // Queues the file for a reader thread; the test of that path takes what it found. Only a
    // file the reader takes whole: a longer one would stay open, and be read partly now and
    // partly at its turn, while the ones before it are zipped.
    bool ReadAhead(const std::string& path, int64_t listedSize) override;
    void DropReadAhead() override;
    void TestsDone() override;
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
    // The zip run is over (done, failed, cancelled): nothing read ahead or tested stays open.
    void DropOpened();

  protected:
    // What the last test read, when it passed for path.
    bool TakeTested(const std::string& path, zip::TSourceInfo& info, std::unique_ptr<gui::TStream>& source);

  private:
    bool CanZipFileChecked(const std::string& path, ZipFileFacts& facts);
    bool ReadForTest(const std::string& path, std::optional<zip::TSourceInfo>& info,
                     std::unique_ptr<gui::TStream>& source);
    int64_t Estimate(int64_t size, int64_t budget, const BlockReader& read);
    std::unique_ptr<zip::TWinZipperFileSystem> sources_;
    std::unique_ptr<zip::TSourcePrefetch> reader_; // after sources_, which its thread uses
    std::string testedPath_;
    zip::TSourceInfo testedInfo_;
    std::unique_ptr<gui::TStream> tested_;
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
