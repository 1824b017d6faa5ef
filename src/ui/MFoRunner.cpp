// The job runner on the window: the hand-over after the start, the runner's next step on
// WM_USER+112, the disc step on WM_USER+119 and the zip component's next split part, and the
// close request's and cancel action's stop of a running zip run.
#include "ui/MFo.h"

#include "core/Settings.h"
#include "gui/CompareText.h"
#include "gui/FileAttributes.h"
#include "gui/Wait.h"
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
        volumePrep_->VerifyCopy = [this](const std::string& landedZip, int files) {
            return runner_->VerifyLandedVolume(landedZip, files);
        };
        volumePrep_->VolumeLanded = [this](const std::string& builtZip, const std::string& landedZip) {
            runner_->VolumeLanded(builtZip, landedZip);
            if (CatalogTab) CatalogTab->ZipLanded(builtZip, landedZip);
        };
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

// A cancelled run is no backup: the reminder goes on counting and does not call it a success.
// An unattended run (the window kept hidden, or a run that is hidden: minimised, or started by
// the /A switch) gets no box that would wait for a click and hold up the rest of the job's end;
// its log already tells how it went. Showing the window would make the run shown, so the hidden
// flag is read before.
void TMF::ReminderJobEnded(bool succeeded, bool hadProblem) {
    const std::string job = flags_.JobName.substr(flags_.JobName.find_last_of('\\') + 1);
    if (!ReminderJob.empty() && succeeded && gui::SameTextI(job, ReminderJob))
        UserIni().WriteInteger(core::ini::JobOnStart, "DaysCount", 0);
    if (!ReminderJob.empty() && job == ReminderJob && !flags_.HideWindow) {
        const bool done = succeeded && !hadProblem;
        if (!flags_.Hidden) {
            ShowMainWindow();
            gui::ProcessMessages();
            if (done)
                ShowBox("The backup job " + ReminderJob + " is completed successfully", gui::TMsgButtons::OK,
                        gui::TMsgIcon::Information, 1);
            else
                ShowBox("There was a problem with the backup job " + ReminderJob +
                            ", look in the log for detailed information",
                        gui::TMsgButtons::OK, gui::TMsgIcon::Exclamation, 1);
        }
        if (done && CloseAfterReminderJob && RunQueue.empty()) flags_.CloseAfterJob = true;
    }
    if (ExecuteAfterPending) {
        ExecuteAfterPending = false;
        RunAfterStartPrograms();
    }
}

} // namespace ui
