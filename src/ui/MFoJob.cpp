// The job as the window sees it: the job file through the job store, the start through the
// engine, and the window made idle again after the job's end.
#include "ui/MFo.h"

#include "gui/Action.h"
#include "gui/Label.h"
#include "job/JobDisc.h"
#include "job/JobFileSystemWin.h"
#include "job/JobStart.h"

namespace ui {

namespace {

std::string WithoutExtension(const std::string& name) {
    return name.size() > 4 ? name.substr(0, name.size() - 4) : std::string();
}

} // namespace

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
    UpdateTrayTip(WithoutExtension(flags_.JobName));
    UpdateCaption();
    if (OnJobShown) OnJobShown();
}

void TMF::StartBackupJob() {
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
    starter_->StartBackupJob();
}

void TMF::ShowJobEnded(bool cancelled) {
    Session.State = job::JobState::Idle;
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
