// The job runner on the window: the hand-over after the start, the runner's next step on
// WM_USER+112, the disc step on WM_USER+119 and the zip component's next split part, and the
// close request's and cancel action's stop of a running zip run.
#include "ui/MFo.h"

#include "gui/FileAttributes.h"
#include "job/JobDiscStep.h"
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
        discStep_ = std::make_unique<job::JobDiscStep>(Session, Host(), *runner_, volumePrep_.get());
        discStep_->OnWriteStarted = [this](bool started) { DiscWriteStarted = started; };
        runner_->Zipper1().OnGetNextDisk = [this](zip::TUnZipper&, int volumeNumber, std::string& fileName) {
            discStep_->Zipper1GetNextDisk(volumeNumber, fileName);
        };
        // A test may have put a stand-in here before the first hand-over.
        if (!OnDiscStep) OnDiscStep = [this](bool mustBurnNow) { discStep_->DiscStep(mustBurnNow); };
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
