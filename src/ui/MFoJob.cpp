// The job as the window sees it: the job file through the job store, the start through the
// engine, and the window made idle again after the job's end.
#include "ui/MFo.h"

#include "core/PathText.h"
#include "core/ProgramBox.h"
#include "core/Settings.h"
#include "core/WinFolders.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/DriveType.h"
#include "gui/Label.h"
#include "gui/Menu.h"
#include "gui/Prompter.h"
#include "gui/Shell.h"
#include "gui/Wait.h"
#include "job/JobDisc.h"
#include "job/JobEditRules.h"
#include "job/JobFileSystemWin.h"
#include "job/JobStart.h"
#include "ui/Email1.h"
#include "ui/JobTab.h"
#include "ui/MFoDiscs.h"
#include "ui/PreRun1.h"

namespace ui {

std::unique_ptr<job::JobStore> TMF::MakeJobStore(job::JobHost& host) {
    return std::make_unique<job::JobStore>(host, job::SystemJobFiles());
}

void TMF::UpdateJobLocation() {
    jobStore_->Location = job::JobLocation{environment_.ProgramFolder(), folders_.perUserDataOn,
                                           folders_.dataDir, folders_.userName};
    jobStore_->Locale = Locale;
    jobStore_->CompressionMax = job::CompressionMaximum(creation_.maxZipFactor);
}

bool TMF::LoadJob(const std::string& name) {
    if (!StartUpDone) return false;
    UpdateJobLocation();
    if (!jobStore_->Load(name, Session.Job, flags_.JobName)) return false;
    Session.LoadedJobName = flags_.JobName;
    ShowJob();
    return true;
}

bool TMF::SaveJob(const std::string& name) {
    if (!StartUpDone) return false;
    UpdateJobLocation();
    const bool saved = jobStore_->Save(name, Session.Job, flags_.JobName);
    Session.LoadedJobName = flags_.JobName;
    ShowJob();
    return saved;
}

void TMF::ShowJob() {
    UpdateTrayTip(core::JobBaseName(flags_.JobName));
    UpdateCaption();
    if (OnJobShown) OnJobShown();
}

void TMF::ConnectJob() {
    OnStartJob = [this] { StartBackupJob(); };
    OnJobEnd = [this] { EndJob(); };
    // The start ends a cancelled selection itself, right after it: the window is idle again.
    OnSelectionCancelled = [this] {
        Startbackup->SetCaption("&Start");
        Startbackup->SetEnabled(true);
        EnableActions();
    };
    Startbackup->OnExecute = [this] { StartbackupExecute(); };
    EmailSetup = &Create<gui::TAction>(*this, "EmailSetup", "&E-mail...");
    EmailSetup->OnExecute = [this] { EmailSetupExecute(); };
    PrePostRun = &Create<gui::TAction>(*this, "PrePostRun", "&Run before and after...");
    PrePostRun->OnExecute = [this] { PrePostRunExecute(); };
    gui::TMenuItem& files = Find<gui::TMenuItem>("Files");
    files.Add("EmailSetup1", "&E-mail...").SetAction(EmailSetup);
    files.Add("PrePostRun1", "&Run before and after...").SetAction(PrePostRun);
}

void TMF::StartbackupExecute() {
    flags_.HideWindow = false;
    if (Session.Running()) {
        if (core::ProgramBox(Handle(), "The running job will be cancelled, continue?",
                             gui::TMsgButtons::YesNo, gui::TMsgIcon::Warning, 2) != gui::mrYes)
            return;
        Session.Cancelled = true;
        Label1->SetCaption("Shutdown in progress wait");
        if (OnCancelRunningJob) OnCancelRunningJob();
        return;
    }
    // As the job tab saves: an unsaved new job is first given a name.
    if (JobTab)
        JobTab->SaveJobExecute();
    else
        SaveJob(flags_.JobName);
    KeepResumeState = true;
    StartBackupJob();
}

void TMF::EmailSetupExecute() {
    RunModal([this] {
        TEmail form(programIni_);
        form.OnLog = [this](const std::string& text) { AddToLog(text); };
        form.FormShow(Handle());
        return form.ShowModal();
    });
}

void TMF::PrePostRunExecute() {
    if (!JobTab->Editable()) return;
    RunModal([this] {
        TPreRun form;
        const job::JobDefinition& job = Session.Job;
        form.OnSave = [this](const job::PrePostPrograms& values) {
            Session.Job.PreRunFile = values.PreRunFile;
            Session.Job.PreWait = values.PreWait;
            Session.Job.PostRunFile = values.PostRunFile;
            Session.Job.PostWait = values.PostWait;
            // As the Save command: a job not yet named goes through Save As.
            JobTab->SaveJobExecute();
        };
        form.FormShow(Handle(), flags_.JobName, {job.PreRunFile, job.PreWait, job.PostRunFile, job.PostWait});
        return form.ShowModal();
    });
}

void TMF::EndJob() {
    Starter().EndJob();
}

job::DiscWriter& TMF::JobDiscWriter() {
    if (!jobDisc_) jobDisc_ = OnMakeDiscWriter ? OnMakeDiscWriter() : job::MakeJobDisc(Host());
    return *jobDisc_;
}

job::JobStarter& TMF::Starter() {
    if (!starter_) {
        starter_ = std::make_unique<job::JobStarter>(Session, Host(), JobDiscWriter());
        starter_->OnSelectAndHandOver = [this] {
            // A resumed run takes its saved lists instead of a selection.
            if (!starter_->Resumed && !SelectJobFiles()) return false;
            return OnHandOver && OnHandOver();
        };
    }
    return *starter_;
}

void TMF::StartBackupJob() {
    Starter().StartBackupJob();
}

void TMF::ShowJobEnded(bool cancelled) {
    // A second end of the same job, or the end of a start that failed before it marked the job
    // running, only makes the window idle again.
    const bool ending = Session.State == job::JobState::Running || Session.State == job::JobState::Ending;
    Session.State = job::JobState::Idle;
    Session.JobAlive();
    EndJobLog();
    Startbackup->SetCaption("&Start");
    Startbackup->SetEnabled(true);
    EnableActions();
    if (cancelled && Session.Job.Uselasttime1) {
        Label1->SetCaption("Job cancelled by user");
        Label2->SetCaption("");
    }
    if (jobDisc_) jobDisc_->Release();
    // The tray tells what comes next, not the last progress the job showed.
    if (!ShowNextRunTip()) UpdateTrayTip(core::JobBaseName(flags_.JobName));
    if (!ending) return;

    // The window state as the job leaves it; the close path then keeps it.
    if (DiscTab) creation_.lastGoodSpeed = DiscTab->LastGoodSpeed;
    programIni_.WriteInteger(core::ini::Settings, "LastGoodSpeed", creation_.lastGoodSpeed);
    programIni_.WriteBool(core::ini::LastState, "default", false);
    programIni_.WriteBool(core::ini::LastState, "Minimized", WindowMinimized);
    programIni_.WriteBool(core::ini::LastState, "Hidden", flags_.Hidden);
    programIni_.WriteInteger(core::ini::LastState, "Top", Top());
    programIni_.WriteInteger(core::ini::LastState, "Left", Left());
    programIni_.WriteInteger(core::ini::LastState, "Height", Height());
    programIni_.WriteInteger(core::ini::LastState, "Width", Width());
    JobEndedThisSession = true;
    for (int i = 0; i < 4; ++i)
        gui::ProcessMessages();

    // After a job to a CD drive the program makes way for a fresh start of itself, which finds
    // the drive as the system sees it now.
    if (creation_.doNotRestarte || ExitRequested || CloseWhenCancelled) return;
    Tray.Remove();
    const std::string destination = starter_ ? starter_->Destination.DestPath : std::string();
    const bool cdDestination = destination.size() >= 2 && destination[1] == ':' &&
                               gui::DriveTypeText(destination.substr(0, 1) + ":\\") == "CDROM";
    if (!cdDestination) return;
    const std::string rerun = environment_.ProgramFolder() + "TarnwickReRun.exe";
    if (!RunningAsService) {
        if (flags_.CloseAfterJob || !core::FileExists(rerun)) return;
        if (!gui::Shell().StartHidden(rerun, "", environment_.ProgramFolder())) {
            AddToLog("Could not start " + rerun);
            return;
        }
    }
    gui::Application().Terminate();
    for (int i = 0; i < 5; ++i)
        gui::ProcessMessages();
}

} // namespace ui
