#include "job/RestoreRun.h"

#include "core/PathText.h"
#include "core/WinFolders.h"
#include "job/JobArchiveTest.h"
#include "job/JobHost.h"
#include "job/RegBak.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/UnZipperWin.h"
#include "zip/ZipLib.h"

#include <windows.h>

#include <cstdio>

namespace job {

namespace {

std::string Upper(std::string text) {
    if (!text.empty()) CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Staging through the restore's own component, its restore handlers detached meanwhile.
class TStagingHost : public TBootReplaceHost {
  public:
    TStagingHost(JobHost& host, TRestoreRun& run) : host_(host), run_(run) {}
    // Once per staged file: a Cancel click gets through between them.
    void Status(const std::string& text) override {
        host_.SetRestoreStatus(text);
        host_.Pump();
    }
    void Log(const std::string& text) override { host_.AddToRestoreLog(text); }
    bool Ask(const std::string& text) override { return host_.ConfirmRestore(text); }
    void Inform(const std::string& text) override {
        if (!host_.Hidden()) host_.ShowMessage(text, gui::TMsgIcon::Information);
    }
    void ExtractEntry(int index, const std::string& folder) override {
        zip::TUnZipper& z = run_.UnZipper1();
        z.ClearSelected();
        z.SetSelected(index, true);
        z.SetDestDir(folder);
        z.SetRootDir("");
        z.RecreateDirs = false;
        Run(z);
    }
    void ExtractRestoreData(const std::vector<TRebootEntry>& entries, const std::string& folder) override {
        zip::TUnZipper& z = run_.UnZipper1();
        z.ClearSelected();
        std::string root;
        for (const TRebootEntry& entry : entries) {
            z.SetSelected(entry.index, true);
            const std::string path = z.Pathname(entry.index);
            const size_t at = Upper(path).find("\\_RESTORE");
            if (at != std::string::npos) root = path.substr(0, at + 9);
        }
        z.SetDestDir(folder);
        z.SetRootDir(root);
        z.RecreateDirs = true;
        Run(z);
    }
    bool CancelPending() override { return run_.RestoreCancelRequested; }

  private:
    void Run(zip::TUnZipper& z) {
        try {
            z.UnZipSelected();
        } catch (const std::exception& error) {
            host_.AddToRestoreLog(error.what());
        }
        z.ClearSelected();
    }
    JobHost& host_;
    TRestoreRun& run_;
};

} // namespace

TRestoreRun::TRestoreRun(JobHost& host)
    : host_(host), files_(std::make_unique<zip::TWinExtractFileSystem>()),
      unzipper_(std::make_unique<zip::TUnZipper>(*files_)) {
    zip::ConnectToProgram(*unzipper_);
    Connect();
}

TRestoreRun::~TRestoreRun() = default;

std::string TRestoreRun::ArchiveName() const {
    return unzipper_->ZipName();
}

void TRestoreRun::Say(const std::string& text) {
    host_.AddToRestoreLog(text);
    host_.SetRestoreStatus(text);
}

void TRestoreRun::ShowRunning(bool running) {
    Running = running;
    host_.ShowRestoreRunning(running);
}

void TRestoreRun::Connect() {
    zip::TUnZipper& z = *unzipper_;
    z.OnEndReadFileInfo = [this](zip::TUnZipper&, int index, int total) {
        if (total > 0) host_.SetRestoreProgress(index * 33 / total, 100);
    };
    z.OnStartUnZip = [this](zip::TUnZipper& z, int index, std::string& fname, bool& skip) {
        const std::string name = Upper(z.Filename(index));
        const std::string windows = Upper(host_.WindowsFolder());
        if ((name == "USER.DAT" || name == "SYSTEM.DAT") &&
            Upper(fname).compare(0, windows.size(), windows) == 0) {
            skip = true;
            RebootList.push_back({fname, index});
            Say("Will bee restored after reboot: " + fname);
            return;
        }
        if (z.Filename(index) == "_$zreg_$._$r") fname = host_.ProgramFolder() + "RestRegi.txt";
        if (z.Filename(index) == "_$zureg_$._$r") fname = host_.ProgramFolder() + "UserRestRegi.txt";
    };
    z.OnEndUnZip = [this](zip::TUnZipper& z, int index, const std::string& fname) {
        const core::OsVersion os = host_.Os();
        const std::string windows = Upper(host_.WindowsFolder() + "\\");
        const std::string upper = Upper(fname);
        if (!os.ntFamily && os.major == 4 && os.minor == 90 &&
            upper.compare(0, windows.size(), windows) == 0 && upper.size() > 4 &&
            upper.substr(upper.size() - 4) == ".DAT")
            WindowsMeHiveRestored = true;
        host_.SetRestoreStatus(VerifyMode ? "Verified: " + z.FullName(index)
                                          : z.Filename(index) + " is restored.");
        if (RestoreCancelRequested) {
            z.ClearSelected();
            z.CancelTheOperation();
        }
        FullReports = 0;
        host_.PumpIfDue();
    };
    z.OnSkippingFile = [this](zip::TUnZipper& z, zip::TSkipReason reason, const std::string& fname, int index,
                              bool&) {
        if (VerifyMode) return;
        if (RestoreCancelRequested) {
            Say("Restore cancelled by user");
            z.CancelTheOperation();
            return;
        }
        if (reason == zip::srCantCreateOutput) {
            Say("File locked, not restored: " + fname);
            RebootList.push_back({fname, index});
            return;
        }
        bool queue = false;
        if (reason == zip::srKeepExisting) {
            if (z.OverwriteMode == zip::Always) {
                queue = true;
            } else if (z.OverwriteMode == zip::ifNewer) {
                const std::optional<gui::DateTime> onDisk = files_->FileDate(fname);
                queue = onDisk && *onDisk < z.DateTime(index);
            }
        }
        if (queue) {
            RebootList.push_back({fname, index});
            Say("Will bee restored after reboot: " + fname);
        } else {
            Say("Not restored: " + fname);
        }
    };
    z.OnBadPassword = [this](zip::TUnZipper& z, int, std::string& newPassword) {
        std::string text;
        // The component takes the new password itself when it differs from the one tried.
        if (host_.AskPassword("Password ?", text) && !text.empty()) {
            newPassword = text;
        } else {
            z.Password.clear();
            newPassword.clear();
        }
    };
    z.OnBadCRC = [this](zip::TUnZipper& z, uint32_t, uint32_t, int index) {
        if (ReportBadCrc) host_.AddToLog(z.FullName(index) + " in " + z.ZipName() + " may be corrupt.");
    };
    z.OnTotalPercentDone = [this](zip::TUnZipper& z, int percent) {
        host_.SetRestoreProgress(percent, 100);
        if (percent >= 100 && ++FullReports > 100000) throw EInfiniteRun();
        if (RestoreCancelRequested) z.CancelTheOperation();
    };
    z.OnGetNextDisk = [this](zip::TUnZipper& z, int volume, std::string& fname) {
        NextArchivePart(z, volume, fname);
    };
    z.OnUnZipComplete = [this](zip::TUnZipper& z, int fileCount) {
        if (VerifyMode) return;
        host_.AddToLog(std::to_string(fileCount) + " files restored.");
        z.ClearSelected();
        host_.SetRestoreStatus(std::to_string(fileCount) + " of " + std::to_string(z.Count()) +
                               " files restored.");
        ShowRunning(false);
        RestoreCancelRequested = false;
    };
}

// The parts of a spanned archive are name.z01, name.z02, ... and the archive itself last. A part
// not where the one before was is asked for: a disc to insert, or the file chosen elsewhere.
void TRestoreRun::NextArchivePart(zip::TUnZipper& z, int volume, std::string& fname) {
    char ext[16];
    std::snprintf(ext, sizeof ext, ".z%02d", volume);
    const bool last = volume == z.EndCentral().ThisDisk + 1;
    fname = zip::ChangeFileExt(fname, last ? ".zip" : ext);
    if (Exists(fname)) return;
    if (!host_.AskOkCancel("Insert the disc with: " + fname, gui::TMsgIcon::Stop)) {
        RestoreCancelRequested = true;
        fname.clear();
        return;
    }
    if (Exists(fname)) return;
    // Windows dialogs separate the patterns of one filter with ";".
    std::string chosen = zip::ChangeFileExt(fname, ".*");
    if (host_.ChooseArchivePart("zip files|*.zip;*.z" + std::string(ext + 2), chosen)) fname = chosen;
}

int TRestoreRun::Open(const std::string& file) {
    zip::TUnZipper& z = *unzipper_;
    z.ClearZip();
    host_.SetRestoreProgress(0, 100);
    host_.SetRestoreStatus("Reading content of: " + file);
    const DWORD priority = GetPriorityClass(GetCurrentProcess());
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    bool read = true;
    try {
        z.SetZipName(file);
        z.ReadZip();
    } catch (const std::exception& error) {
        read = false;
        host_.AddToLog(file + ": " + error.what());
        host_.SetRestoreStatus(error.what());
    }
    SetPriorityClass(GetCurrentProcess(), read ? priority : NORMAL_PRIORITY_CLASS);
    const int count = read ? z.Count() : 0;
    if (count <= 0) z.ClearZip();
    return count;
}

void TRestoreRun::Close() {
    unzipper_->ClearZip();
}

void TRestoreRun::Cancel() {
    RestoreCancelRequested = true;
    unzipper_->CancelTheOperation();
    host_.AddToLog("Restore from: " + ArchiveName() + " cancelled");
}

void TRestoreRun::StartLog() {
    // The first free number from 100.
    const std::string folder = host_.LogFolder();
    core::ForceDirectories(folder);
    const std::string base = core::JobBaseName(ArchiveName().substr(ArchiveName().find_last_of("\\/:") + 1));
    host_.SetRestoreLogName(core::NextFreeNumberedName(folder + base + "_", 100, ".txt", Exists));
}

void TRestoreRun::Restore(const TRestoreOptions& options) {
    const std::string programFolder = host_.ProgramFolder();
    StartLog();
    zip::TUnZipper& z = *unzipper_;
    RebootList.clear();
    WindowsMeHiveRestored = false;
    z.SetDestDir(options.DestDir);
    z.SetRootDir(options.RootDir);
    z.CheckDiskLabels = false;
    DeleteFileA((programFolder + "RestRegi.txt").c_str());
    DeleteFileA((programFolder + "UserRestRegi.txt").c_str());
    for (const std::string& line : {"Restore from: " + ArchiveName() + " started",
                                    "Files to restore: " + std::to_string(z.NumSelected())}) {
        host_.AddToLog(line);
        host_.AddToRestoreLog(line);
    }
    z.RecreateDirs = options.RecreateDirs;
    z.OverwriteMode = options.Rule == TOverwriteRule::Always    ? zip::Always
                      : options.Rule == TOverwriteRule::IfOlder ? zip::ifNewer
                                                                : zip::Never;
    z.ReplaceReadOnly = options.Rule != TOverwriteRule::Never;
    RestoreCancelRequested = false;
    FullReports = 0;
    ShowRunning(true);
    try {
        z.UnZipSelected();
    } catch (const std::exception& error) {
        host_.AddToLog("Restore from: " + ArchiveName() + " stopped: " + error.what());
        host_.SetRestoreStatus(error.what());
    }
    // The write-back and the staging can be cancelled too: the action stays the Cancel button.
    ShowRunning(true);
    for (const char* name : {"RestRegi.txt", "UserRestRegi.txt"})
        if (!RestoreCancelRequested && Exists(programFolder + name)) {
            RestoreRegistry(host_, programFolder + name);
            ShowRunning(true);
        }
    if (!RebootList.empty()) ReplaceAtNextBoot(options.DestDir);
    ShowRunning(false);
    RestoreCancelRequested = false;
    host_.SetRestoreProgress(0, 100);
}

void TRestoreRun::Verify() {
    zip::TUnZipper& z = *unzipper_;
    if (z.Count() == 0) return;
    VerifyMode = true;
    RestoreCancelRequested = false;
    // A verify has no log of its own: the last restore's log stays as it was.
    host_.SetRestoreLogName("");
    host_.SetRestoreStatus("Verify in progress");
    ShowRunning(true);
    ReportBadCrc = false;
    FullReports = 0;
    bool good = false;
    try {
        good = z.TestArchive();
        if (!good && !RestoreCancelRequested) {
            ReportBadCrc = true;
            good = z.TestArchive();
        }
    } catch (const std::exception& error) {
        host_.AddToLog(ArchiveName() + ": " + error.what());
    }
    std::string name = ArchiveName();
    const size_t dot = name.find_last_of('.'), slash = name.find_last_of("\\/:");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name = name.substr(0, dot);
    name += ".zip";
    if (RestoreCancelRequested) {
        host_.SetRestoreStatus("Verify cancelled");
    } else if (!good) {
        host_.SetRestoreStatus("Verify finished, errors found in: " + name);
        host_.AddToLog("Errors found in: " + name);
    } else {
        host_.SetRestoreStatus("Verify finished, no errors found in: " + name);
        host_.AddToLog("No errors found in: " + name);
    }
    ShowRunning(false);
    host_.SetRestoreProgress(0, 100);
    VerifyMode = false;
    RestoreCancelRequested = false;
}

void TRestoreRun::ReplaceAtNextBoot(const std::string& destDir) {
    zip::TUnZipper& z = *unzipper_;
    // The restore's own handlers stay out of the staging.
    auto start = std::move(z.OnStartUnZip);
    auto end = std::move(z.OnEndUnZip);
    auto complete = std::move(z.OnUnZipComplete);
    auto skipping = std::move(z.OnSkippingFile);
    z.OnStartUnZip = nullptr;
    z.OnEndUnZip = nullptr;
    z.OnUnZipComplete = nullptr;
    z.OnSkippingFile = nullptr;
    z.ClearSelected();
    const core::OsVersion os = host_.Os();
    TBootReplaceSetup setup;
    setup.os = os.ntFamily                         ? TBootOs::NT
               : (os.major == 4 && os.minor == 90) ? TBootOs::WinMe
                                                   : TBootOs::Win9x;
    setup.windowsFolder = host_.WindowsFolder();
    char profile[MAX_PATH] = "";
    const DWORD n = GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile);
    if (n > 0 && n < sizeof profile) setup.userProfile = std::string(profile) + "\\";
    const std::string tempPath = host_.TempPath();
    setup.tempPath = tempPath.empty() ? host_.SystemTempPath() : tempPath;
    setup.systemTempPath = host_.SystemTempPath();
    setup.meHiveRestored = WindowsMeHiveRestored;
    TStagingHost staging(host_, *this);
    job::ReplaceAtNextBoot(staging, RebootList, setup);
    if (!tempPath.empty() && setup.tempPath != tempPath) host_.SetTempPath(setup.tempPath);
    z.OnStartUnZip = std::move(start);
    z.OnEndUnZip = std::move(end);
    z.OnUnZipComplete = std::move(complete);
    z.OnSkippingFile = std::move(skipping);
    z.SetDestDir(destDir);
    RebootList.clear();
}

} // namespace job
