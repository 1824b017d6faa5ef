#pragma once
// A JobHost for work without a window (console drivers, tests): log lines go to one
// callback, nothing is pumped or waited for, no box is shown (a message becomes a log line,
// a question is answered No), nothing is ever cancelled unless someone sets it, and the
// program's facts are empty. Members added to JobHost get their quiet answer here; a double
// overrides only what its test checks.

#include "job/JobHost.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace job {

class WindowlessHost : public JobHost {
  public:
    explicit WindowlessHost(std::function<void(const std::string&)> log = nullptr) : log_(std::move(log)) {}

    // Reporting.
    void AddToLog(const std::string& text) override {
        if (log_) log_(text);
    }
    void AddToJobLog(const std::string& text, bool) override { AddToLog(text); }
    void AddToRunLog(const std::string&) override {}
    void BeginJobLog(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void SetTotalText(const std::string&) override {}
    void SetPassProgress(int, int) override {}
    void SetJobProgress(int) override {}
    void ShowDestFreeSpace(int64_t) override {}
    void ShowStatusAndLog(const std::string& text) override { AddToLog(text); }

    // Flow.
    void Wait(int) override {}
    void Pump() override {}
    void PumpIfDue() override {}
    bool Cancelled() override { return cancelled_; }
    void SetCancelled(bool cancelled) override { cancelled_ = cancelled; }
    void ResetWatchdog() override {}
    void PostContinueJob() override {}
    void PostDiscStep(bool) override {}

    // Questions.
    bool Hidden() override { return true; }
    void ShowMessage(const std::string& text, gui::TMsgIcon) override { AddToLog(text); }
    bool AskYesNo(const std::string&, gui::TMsgIcon) override { return false; }
    bool AskOkCancel(const std::string&, gui::TMsgIcon) override { return false; }

    // Program facts.
    bool StartUpDone() override { return true; }
    std::string ProgramFolder() override { return {}; }
    std::string ProgramFile() override { return {}; }
    std::string DataBase() override { return ProgramFolder(); }
    std::string UserFolders() override { return {}; }
    std::string TempPath() override { return tempPath_; }
    void SetTempPath(const std::string& path) override { tempPath_ = path; }
    void SetFoundTempPath(const std::string& found) override { SetTempPath(found); }
    bool UseTempFile() override { return false; }
    void SetUseTempFile(bool) override {}
    bool UseCDR() override { return useCDR_; }
    void ClearUseCDR() override { useCDR_ = false; }
    bool WindowsXP() override { return false; }
    core::OsVersion Os() override { return {}; }
    std::string WindowsFolder() override { return {}; }
    std::string SystemTempPath() override { return {}; }
    bool DetailLog() override { return false; }
    core::LocaleFormat Locale() override { return {}; }
    bool CloseAfterJob() override { return false; }
    int HiddenWaitMinutes() override { return core::FormCreationSettings{}.infiniteWait; }
    DiscDrives Drives() override { return {}; }
    std::string JobName() override { return {}; }
    void LoadJob(const std::string&) override {}
    void SaveJob(const std::string&) override {}
    void WriteLastJob(const std::string&) override {}
    void UncatalogueZip(const std::string&) override {}
    bool KeepResumeState() override { return false; }
    void DiscardResumeState() override {}
    void AbandonUnfinishedRun() override { DiscardResumeState(); }
    RunStateValues ResumeValues() override { return {}; }
    bool VerifyWrites() override { return false; }

    // The window.
    void BeginReport() override {}
    void CloseStatusBox() override {}
    void ShowStatusBox(const std::string& text) override { AddToLog(text); }
    bool ShowWindowForPrompt() override { return false; }
    void MinimizeAfterPrompt() override {}
    void ShowJobStarting() override {}
    void ShowCancelAction() override {}
    bool ArrangeWindowForJob() override { return false; }
    void ClearCloseRequest() override {}
    std::vector<std::string>& ArchiveBitPending() override { return archiveBitPending_; }
    void FlushAttributeList() override { archiveBitPending_.clear(); }
    bool MailConfigured() override { return false; }
    void SendJobMail(const std::vector<std::string>&, const std::string&, const std::string&) override {}
    void JobEnded(bool) override {}
    void CloseMainWindow() override {}
    bool CloseWhenJobEnds() override { return false; }
    void ArrangeWindowAfterJob() override {}
    void MinimizeAfterJob() override {}
    void ReminderJobEnded(bool, bool) override {}

    // The restore.
    void AddToRestoreLog(const std::string& text, bool) override { AddToLog(text); }
    void SetRestoreStatus(const std::string&) override {}
    void SetRestoreProgress(int, int) override {}
    void ShowRestoreRunning(bool) override {}
    bool RestoreCancelled() override { return false; }
    bool ConfirmRestore(const std::string&) override { return false; }
    bool AskPassword(const std::string&, std::string&) override { return false; }
    bool ChooseArchivePart(const std::string&, std::string&) override { return false; }
    std::string LogFolder() override { return ProgramFolder() + "Log\\"; }
    void SetRestoreLogName(const std::string&) override {}
    void ClearRestoreVerify() override {}

  private:
    std::function<void(const std::string&)> log_;
    bool cancelled_ = false;
    bool useCDR_ = true;
    std::string tempPath_;
    std::vector<std::string> archiveBitPending_;
};

} // namespace job
