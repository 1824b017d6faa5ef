// The job runner on the window: the hand-over after the start, the runner's next step on
// WM_USER+112, and the close request's and cancel action's stop of a running zip run.
#include "ui/MFo.h"

#include "gui/FileAttributes.h"
#include "job/JobRunner.h"
#include "job/JobStart.h"
#include "job/VolumePrep.h"
#include "ui/CatalogTab.h"
#include "zip/Zipper.h"

#include <windows.h>

namespace ui {

void TMF::ConnectRunner() {
    OnHandOver = [this] { return HandOverToRunner(); };
    OnContinueJob = [this] {
        if (runner_) runner_->RunBackupJob();
    };
    OnCancelRunningJob = [this] {
        if (runner_) runner_->CancelRunningJob();
    };
}

bool TMF::HandOverToRunner() {
    if (!starter_) return false;
    if (!runner_) {
        runner_ = std::make_unique<job::JobRunner>(
            Session, Host(), *starter_, JobAttributes ? *JobAttributes : gui::SystemFileAttributes());
        volumePrep_ = std::make_unique<job::VolumePrep>(Session, Host(), jobDisc_.get());
        volumePrep_->CloseArchive = [this] { runner_->Zipper1().ClearZip(); };
        runner_->Prep = volumePrep_.get();
        runner_->WindowsFolder = environment_.windowsFolder;
        runner_->AddZipToCatalog = [this](const std::string& zipName) {
            if (CatalogTab) CatalogTab->AddZipToCatalog(zipName);
        };
        runner_->ReadPriority = [] { return static_cast<int>(GetPriorityClass(GetCurrentProcess())); };
        runner_->SetPriority = [](int priority) {
            SetPriorityClass(GetCurrentProcess(), priority < 0    ? IDLE_PRIORITY_CLASS
                                                  : priority == 0 ? NORMAL_PRIORITY_CLASS
                                                                  : static_cast<DWORD>(priority));
        };
    }
    if (starter_->Resumed) runner_->LoadResumedRun();
    return runner_->HandOver();
}

} // namespace ui
