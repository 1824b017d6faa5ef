#pragma once
// A restore from one of the program's archives, and its verify, without a window: the unzip
// component UnZipper1 and its events, the restore log, the three overwrite rules, the registry
// copies written back after extraction, files in use replaced at the next boot, and the
// cancel that reaches every phase. The Restore tab shows the entries and starts it; what the
// run says and asks goes through the JobHost.

#include "job/BootReplaceWin.h"

#include <memory>
#include <string>
#include <vector>

namespace zip {
class TExtractFileSystem;
class TUnZipper;
} // namespace zip

namespace job {

class JobHost;

enum class TOverwriteRule { Never, IfOlder, Always };

struct TRestoreOptions {
    std::string DestDir; // Edit3
    std::string RootDir; // Edit6: the stored path prefix to cut
    bool RecreateDirs = true;
    TOverwriteRule Rule = TOverwriteRule::Never;
};

class TRestoreRun {
  public:
    explicit TRestoreRun(JobHost& host);
    ~TRestoreRun();
    TRestoreRun(const TRestoreRun&) = delete;
    TRestoreRun& operator=(const TRestoreRun&) = delete;

    zip::TUnZipper& UnZipper1() { return *unzipper_; }
    std::string ArchiveName() const;

    // A restore or verify runs (its action is the Cancel button meanwhile).
    bool Running = false;
    bool VerifyMode = false;
    bool RestoreCancelRequested = false;
    bool ReportBadCrc = false;
    int FullReports = 0;
    std::vector<TRebootEntry> RebootList;
    bool WindowsMeHiveRestored = false;

    // Reads the archive's directory at idle priority; the count of entries, 0 when there are
    // none or it could not be read (said in the program log and the status line).
    int Open(const std::string& file);
    void Close();
    // Extracts the selected entries, then writes back the registry copies among them and
    // stages the files in use for the next boot.
    void Restore(const TRestoreOptions& options);
    // Tests every entry; when that fails a second pass names the corrupt ones.
    void Verify();
    // The Cancel action while a restore or verify runs.
    void Cancel();

  private:
    void Connect();
    void Say(const std::string& text);
    void ShowRunning(bool running);
    void StartLog();
    void ReplaceAtNextBoot(const std::string& destDir);
    void NextArchivePart(zip::TUnZipper& z, int volume, std::string& fname);

    JobHost& host_;
    std::unique_ptr<zip::TExtractFileSystem> files_;
    std::unique_ptr<zip::TUnZipper> unzipper_;
};

} // namespace job
