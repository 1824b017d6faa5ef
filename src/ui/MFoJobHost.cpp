// How the job engine reaches the main form: every member of job::JobHost maps onto the
// form's own routine, control or setting.
#include "ui/MFo.h"

#include "core/PathText.h"
#include "core/Settings.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/CheckBox.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/ProgressBar.h"
#include "gui/Prompter.h"
#include "gui/Wait.h"
#include "job/MailReport.h"
#include "job/RunStateWin.h"
#include "ui/CatalogTab.h"
#include "ui/MFoDiscs.h"
#include "ui/MFoRestore.h"
#include "ui/SmallDialogs.h"

namespace ui {

class TMFJobHost final : public job::JobHost {
  public:
    explicit TMFJobHost(TMF& form) : form_(form) {}

    // Reporting.
    void AddToLog(const std::string& text) override { form_.AddToLog(text); }
    void AddToJobLog(const std::string& text, bool stamp) override { form_.AddToJobLog(text, stamp); }
    void AddToRunLog(const std::string& text) override { form_.AddToRunLog(text); }
    void BeginJobLog(const std::string& jobLogName) override { form_.BeginJobLog(jobLogName); }
    void SetStatusText(const std::string& text) override { form_.Label1->SetCaption(text); }
    void SetTotalText(const std::string& text) override { form_.Label2->SetCaption(text); }
    void SetPassProgress(int position, int maximum) override {
        form_.ProgressBar3->SetMax(maximum);
        form_.ProgressBar3->SetPosition(position);
    }
    void SetJobProgress(int percent) override {
        form_.ProgressBar1->SetMax(100);
        form_.ProgressBar1->SetPosition(percent);
        form_.UpdateTrayTip(core::JobBaseName(form_.flags_.JobName) + " " + std::to_string(percent) + "%");
    }
    void ShowDestFreeSpace(int64_t bytes) override {
        if (form_.OnShowFreeBytes) form_.OnShowFreeBytes(bytes);
    }
    void ShowStatusAndLog(const std::string& text) override {
        form_.Label1->SetCaption(text);
        form_.AddToLog(text);
    }

    // Flow.
    void Wait(int milliseconds) override { gui::Wait(milliseconds, false); }
    void Pump() override { gui::ProcessMessages(); }
    void PumpIfDue() override { gui::PumpIfDue(pumpIntervalMs); }
    bool Cancelled() override { return form_.Session.Cancelled; }
    void SetCancelled(bool cancelled) override { form_.Session.Cancelled = cancelled; }
    void ResetWatchdog() override { form_.Session.JobAlive(); }
    void PostContinueJob() override { PostMessageA(form_.Handle(), WM_CONTINUE_JOB, 0, 0); }
    void PostDiscStep(bool writeNow) override {
        PostMessageA(form_.Handle(), WM_DISC_STEP, writeNow ? 1 : 0, writeNow ? 1 : 0);
    }

    // Questions.
    bool Hidden() override { return form_.flags_.Hidden; }
    void ShowMessage(const std::string& text, gui::TMsgIcon icon) override {
        form_.ShowBox(text, gui::TMsgButtons::OK, icon, 1);
    }
    bool AskYesNo(const std::string& text, gui::TMsgIcon icon) override {
        return !Hidden() && form_.ShowBox(text, gui::TMsgButtons::YesNo, icon, 1) == gui::mrYes;
    }
    bool AskOkCancel(const std::string& text, gui::TMsgIcon icon) override {
        return !Hidden() && form_.ShowBox(text, gui::TMsgButtons::OKCancel, icon, 1) == gui::mrOk;
    }

    // Program facts.
    bool StartUpDone() override { return form_.StartUpDone; }
    std::string ProgramFolder() override { return form_.environment_.ProgramFolder(); }
    std::string ProgramFile() override { return form_.environment_.programPath; }
    std::string DataBase() override {
        return form_.folders_.perUserDataOn && !form_.DataDir().empty() ? form_.DataDir() : ProgramFolder();
    }
    std::string UserFolders() override {
        const core::UserFolders& folders = form_.folders_;
        if (folders.applicationDataPath.empty() || folders.userName.empty()) return {};
        return folders.applicationDataPath + folders.userName + "\\";
    }
    std::string TempPath() override { return form_.flags_.TempPath; }
    void SetTempPath(const std::string& path) override {
        form_.flags_.TempPath = path;
        form_.programIni_.WriteString(core::ini::Files, "TempPath", path);
        if (!form_.DataDir().empty()) form_.UserIni().WriteString(core::ini::Files, "TempPath", path);
    }
    // The folder typed on the drives tab is tried once more; the one just found stays when it
    // cannot be made.
    void SetFoundTempPath(const std::string& found) override {
        form_.flags_.TempPath = found;
        if (form_.DiscTab) form_.DiscTab->EditTempPathExit();
        SetTempPath(form_.flags_.TempPath);
    }
    bool UseTempFile() override { return form_.creation_.useTempFile; }
    void SetUseTempFile(bool on) override {
        form_.creation_.useTempFile = on;
        form_.programIni_.WriteBool(core::ini::Settings, "UseTempFile", on);
    }
    bool UseCDR() override { return form_.creation_.useCDR; }
    void ClearUseCDR() override { form_.creation_.useCDR = false; }
    bool WindowsXP() override { return form_.environment_.os.IsWindowsXP(); }
    core::OsVersion Os() override { return form_.environment_.os; }
    std::string WindowsFolder() override { return form_.environment_.windowsFolder; }
    std::string SystemTempPath() override { return form_.environment_.systemTempPath; }
    bool DetailLog() override { return form_.flags_.DetailLog; }
    core::LocaleFormat Locale() override { return form_.Locale; }
    bool CloseAfterJob() override { return form_.flags_.CloseAfterJob; }
    int HiddenWaitMinutes() override { return form_.creation_.infiniteWait; }
    job::DiscDrives Drives() override {
        job::DiscDrives drives;
        drives.TransportLoaded = form_.AspiLoaded;
        drives.PreferInternal = form_.creation_.useInternalASPI;
        drives.WriterLetters = form_.CDDriveList;
        drives.ReadonlyLetters = form_.ReadonlyDriveList;
        drives.WriterChoices = form_.WriterChoices;
        return drives;
    }
    std::string JobName() override { return form_.flags_.JobName; }
    void LoadJob(const std::string& name) override { form_.LoadJob(name); }
    void SaveJob(const std::string& name) override { form_.SaveJob(name); }
    void WriteLastJob(const std::string& name) override {
        form_.UserIni().WriteString(core::ini::Files, "LastJob", name);
    }
    void UncatalogueZip(const std::string& zipName) override {
        if (form_.CatalogTab) form_.CatalogTab->ZipNotWritten(zipName);
    }
    bool KeepResumeState() override { return form_.KeepResumeState; }
    void DiscardResumeState() override { form_.DiscardResumeState(); }
    void AbandonUnfinishedRun() override { form_.AbandonUnfinishedRun(); }
    job::RunStateValues ResumeValues() override {
        job::RunStateValues values;
        if (!job::LoadRunValues(form_.ResumeStatePath(""), values)) return {};
        return values;
    }
    bool VerifyWrites() override { return form_.flags_.VerifyWrittenZip; }

    // The window.
    void BeginReport() override { form_.LogViewStale = true; }
    void CloseStatusBox() override {
        if (form_.AppMsg1) form_.AppMsg1->ShowMsg("", "", false);
    }
    void ShowStatusBox(const std::string& text) override {
        if (form_.AppMsg1) form_.AppMsg1->ShowMsg("Tarnwick", text, true);
    }
    bool ShowWindowForPrompt() override {
        if (!form_.WindowMinimized) return false;
        form_.ShowMainWindow();
        return true;
    }
    void MinimizeAfterPrompt() override {
        form_.flags_.HideWindow = true;
        gui::Application().Minimize();
    }
    void ShowJobStarting() override {
        form_.Label1->SetCaption("");
        form_.Label2->SetCaption("");
        // Nothing of the previous run's progress shows during this one's selection.
        form_.ProgressBar1->SetPosition(0);
        form_.UpdateTrayTip(core::JobBaseName(form_.flags_.JobName));
        form_.ProgressBar3->SetMax(100);
        form_.Startbackup->SetEnabled(false);
        form_.DisableActions();
        for (int i = 0; i < 3; ++i)
            gui::ProcessMessages();
    }
    void ShowCancelAction() override {
        form_.Startbackup->SetCaption("&Cancel");
        form_.Startbackup->SetEnabled(true);
    }
    // The hide switches win over "show on job start": a hidden job is not shown for its start.
    // An application minimised already gets no minimise event to mark the run hidden, and a
    // box of an unmarked run would wait for someone who is not at the screen.
    bool ArrangeWindowForJob() override {
        if (form_.flags_.HideWindow) {
            gui::Application().Minimize();
            form_.flags_.Hidden = true;
            return false;
        }
        if (!form_.Showonjobstart || !form_.WindowMinimized) return false;
        form_.ShowMainWindow();
        return true;
    }
    void ClearCloseRequest() override { form_.CloseWhenCancelled = false; }
    std::vector<std::string>& ArchiveBitPending() override { return form_.Session.ArchiveBitPending; }
    void FlushAttributeList() override { form_.FlushAttributeList(); }
    bool MailConfigured() override { return job::MailConfigured(core::ReadEMail(form_.programIni_)); }
    void SendJobMail(const std::vector<std::string>& body, const std::string& suffix,
                     const std::string& attachment) override {
        const core::EMailSettings settings = core::ReadEMail(form_.programIni_);
        if (settings.passwordDamaged)
            form_.AddToLog("The stored mail password could not be read; it is taken as empty");
        job::SendMailReport(settings, body, suffix, attachment,
                            [this](const std::string& text) { form_.AddToLog(text); });
    }
    void JobEnded(bool cancelled) override { form_.ShowJobEnded(cancelled); }
    void CloseMainWindow() override { form_.Close(); }
    bool CloseWhenJobEnds() override { return form_.CloseWhenCancelled; }
    void ArrangeWindowAfterJob() override {
        if (form_.flags_.HideWindow || form_.CloseWhenCancelled) {
            if (form_.ListBox2->Items().Count() > 0)
                gui::Application().Minimize();
            else if (form_.CloseWhenCancelled)
                form_.Close();
        }
    }
    void MinimizeAfterJob() override {
        form_.flags_.Hidden = true;
        gui::Application().Minimize();
    }
    void ReminderJobEnded(bool succeeded, bool hadProblem) override {
        form_.ReminderJobEnded(succeeded, hadProblem);
    }

    // The restore, on the Restore tab.
    void AddToRestoreLog(const std::string& text, bool stamp) override { form_.AddToRestoreLog(text, stamp); }
    void SetRestoreStatus(const std::string& text) override {
        if (form_.RestoreTab) form_.RestoreTab->Label15->SetCaption(text);
    }
    void SetRestoreProgress(int position, int maximum) override {
        if (!form_.RestoreTab) return;
        form_.RestoreTab->ProgressBar2->SetMax(maximum > 0 ? maximum : 100);
        form_.RestoreTab->ProgressBar2->SetPosition(position);
    }
    void ShowRestoreRunning(bool running) override {
        if (form_.RestoreTab) form_.RestoreTab->ShowRunning(running);
    }
    bool RestoreCancelled() override {
        return form_.RestoreTab && form_.RestoreTab->Run().RestoreCancelRequested;
    }
    bool ConfirmRestore(const std::string& text) override { return form_.AskYesNo(text); }
    // The program's text-entry dialog, masked for the while.
    bool AskPassword(const std::string& prompt, std::string& text) override {
        if (!form_.ChgFile1) return false;
        TChgFile& entry = *form_.ChgFile1;
        entry.SetCaption(prompt);
        entry.Edit1->SetText("");
        entry.Edit1->SetPasswordChar('*');
        const int result = form_.RunModal([&entry] { return entry.Execute(); });
        entry.Edit1->SetPasswordChar(0);
        if (result != gui::mrOk) return false;
        text = entry.Edit1->Text();
        return true;
    }
    bool ChooseArchivePart(const std::string& filter, std::string& fileName) override {
        if (Hidden()) return false;
        gui::TFileDialogRequest request;
        request.Owner = form_.Handle();
        request.DefaultExt = "zip";
        request.Filter = filter;
        request.FileName = fileName;
        gui::TFileDialogAnswer answer;
        form_.RunModal([&] {
            answer = gui::Prompter().FileDialog(request);
            return answer.Accepted ? gui::mrOk : gui::mrCancel;
        });
        if (!answer.Accepted || answer.Files.empty()) return false;
        fileName = answer.Files.front();
        return true;
    }
    std::string LogFolder() override { return form_.LogFolder(); }
    void SetRestoreLogName(const std::string& file) override { form_.BeginRestoreLog(file); }
    void ClearRestoreVerify() override {
        if (form_.RestoreTab) form_.RestoreTab->Run().VerifyMode = false;
    }

    // The disc side, on the drives tab and its frame.
    disc::TDiscBurner* BeginBurnerUse() override {
        if (!form_.DiscTab) return nullptr;
        TDiscTab& tab = *form_.DiscTab;
        burnerUses_.push_back(std::make_unique<BurnerUse>(tab, tab.FrameCDB()));
        return &**burnerUses_.back();
    }
    void EndBurnerUse() override {
        if (!burnerUses_.empty()) burnerUses_.pop_back();
    }
    job::DiscWriteState* DiscState() override { return form_.DiscTab.get(); }
    std::string BurnErrorText() override {
        return form_.DiscTab ? form_.DiscTab->Reports()->BurnErrorText : std::string();
    }
    bool LoadDiscTransport() override { return form_.DiscTab && form_.DiscTab->InitTransport(); }
    void ReleaseDiscTransport() override {
        if (form_.DiscTab) form_.DiscTab->ReleaseTransport();
    }
    int ApplyPreferredWriteSpeed() override {
        return form_.DiscTab ? form_.DiscTab->ApplyPreferredWriteSpeed() : 0;
    }
    bool ImportSessionX() override { return !form_.DiscTab || form_.DiscTab->ImportSessionX(); }
    bool DiscSessionsUnread() override { return form_.DiscTab && form_.DiscTab->SessionsUnread; }
    bool DoNotOpenDisc() override { return form_.DiscTab && form_.DiscTab->cbDoNotOpenCD->Checked(); }
    bool LeaveDiscOpen() override { return form_.DiscTab && form_.DiscTab->CBLeaveCDopen->Checked(); }
    bool DiscArrived() override { return form_.flags_.DiscArrived; }
    bool DiscRemoved() override { return form_.flags_.DiscRemoved; }
    void ClearDiscNotices() override { form_.flags_.DiscArrived = form_.flags_.DiscRemoved = false; }

  private:
    // Per-entry pumps: often enough for a responsive window, rare enough to cost nothing.
    static constexpr int pumpIntervalMs = 20;
    TMF& form_;
    // The uses of the disc component open now, innermost last.
    std::vector<std::unique_ptr<BurnerUse>> burnerUses_;
};

std::unique_ptr<job::JobHost> TMF::MakeJobHost(TMF& form) {
    return std::make_unique<TMFJobHost>(form);
}

} // namespace ui
