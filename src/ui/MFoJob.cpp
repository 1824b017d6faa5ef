// The job file as the window sees it: thin calls into the job store, then the window shows
// the job's name and values.
#include "ui/MFo.h"

#include "job/JobFileSystemWin.h"

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
    if (!jobStore_->Load(name, Job, flags_.JobName)) return false;
    ShowJob();
    return true;
}

void TMF::SaveJob(const std::string& name) {
    if (!StartUpDone) return;
    UpdateJobLocation();
    jobStore_->Save(name, Job, flags_.JobName);
    ShowJob();
}

void TMF::ShowJob() {
    UpdateTrayTip(WithoutExtension(flags_.JobName));
    UpdateCaption();
    if (OnJobShown) OnJobShown();
}

} // namespace ui
