// The job as the window sees it: the job file through the job store, the start through the
// engine, and the window made idle again after the job's end.
#include "ui/MFo.h"

#include "core/PathText.h"
#include "core/ProgramBox.h"
#include "gui/Action.h"
#include "gui/Label.h"
#include "gui/Menu.h"
#include "gui/Prompter.h"
#include "job/JobDisc.h"
#include "job/JobFileSystemWin.h"
#include "job/JobStart.h"
#include "ui/Email1.h"
#include "ui/PreRun1.h"

namespace ui {

std::unique_ptr<job::JobStore> TMF::MakeJobStore(job::JobHost& host) {
    return std::make_unique<job::JobStore>(host, job::SystemJobFiles());
}

void TMF::UpdateJobLocation() {
    jobStore_->Location = job::JobLocation{environment_.ProgramFolder(), folders_.perUserDataOn,
                                           folders_.dataDir, folders_.userName};
    jobStore_->Locale = Locale;
}

bool TMF::LoadJob(const std::string& name) {
    if (!StartUpDone) return false;
    UpdateJobLocation();
    if (!jobStore_->Load(name, Session.Job, flags_.JobName)) return false;
    Session.LoadedJobName = flags_.JobName;
    ShowJob();
    return true;
}

void TMF::SaveJob(const std::string& name) {
    if (!StartUpDone) return;
    UpdateJobLocation();
    jobStore_->Save(name, Session.Job, flags_.JobName);
    Session.LoadedJobName = flags_.JobName;
    ShowJob();
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
    RunModal([this] {
        TPreRun form;
        const job::JobDefinition& job = Session.Job;
        form.OnSave = [this](const job::PrePostPrograms& values) {
            Session.Job.PreRunFile = values.PreRunFile;
            Session.Job.PreWait = values.PreWait;
            Session.Job.PostRunFile = values.PostRunFile;
            Session.Job.PostWait = values.PostWait;
            SaveJob(flags_.JobName);
        };
        form.FormShow(Handle(), flags_.JobName, {job.PreRunFile, job.PreWait, job.PostRunFile, job.PostWait});
        return form.ShowModal();
    });
}

void TMF::EndJob() {
    Starter().EndJob();
}

job::JobStarter& TMF::Starter() {
    if (!starter_) {
        jobDisc_ = job::MakeJobDisc(environment_.ProgramFolder());
        starter_ = std::make_unique<job::JobStarter>(Session, Host(), *jobDisc_);
        starter_->OnSelectAndHandOver = [this] {
            if (!SelectJobFiles()) return false;
            if (!OnHandOver) return false;
            OnHandOver();
            return true;
        };
    }
    return *starter_;
}

void TMF::StartBackupJob() {
    Starter().StartBackupJob();
}

void TMF::ShowJobEnded(bool cancelled) {
    Session.State = job::JobState::Idle;
    Session.JobAlive();
    EndJobLog();
    Startbackup->SetCaption("&Start");
    Startbackup->SetEnabled(true);
    if (cancelled && Session.Job.Uselasttime1) {
        Label1->SetCaption("Job cancelled by user");
        Label2->SetCaption("");
    }
    if (jobDisc_) jobDisc_->Release();
}

} // namespace ui
