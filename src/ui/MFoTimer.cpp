// The main form's one-second timer. Until the start-up sequence has run it only asks for it;
// afterwards it refreshes the burn status line every tick and once a minute re-adds the tray
// icon, watches the disc layer, starts due scheduled jobs, lowers the priority while out of
// sight, ends an idle hidden program, and acts on a stop request file.
#include "ui/MFo.h"

#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/TextTrim.h"
#include "job/RunStateWin.h"
#include "job/Schedules.h"

#include <algorithm>

namespace ui {

namespace {
constexpr char idleCaption[] = "&Start";
constexpr int ticksPerMinute = 60;
constexpr int discWatchdogMinutes = 180;
constexpr int cancelGraceMinutes = 30;
constexpr int scheduleRefreshMinutes = 30;

// A run-queue entry: the due time in characters 1-20, the job file after them.
std::string DueField(const std::string& entry) {
    return gui::Trim(entry.substr(0, 20));
}
std::string JobField(const std::string& entry) {
    return entry.size() > 20 ? gui::Trim(entry.substr(20)) : std::string();
}
} // namespace

void TMF::Timer1Timer() {
    if (!StartUpDone) {
        Label1->SetCaption("Waiting for system drivers to load.");
        ++StartUpTicks;
        if (StartUpTicks > (flags_.ExtraStartTick ? 2 : 1)) PostMessageA(Handle(), WM_START_UP, 0, 0);
        return;
    }
    if (OnBurnStatusTick) OnBurnStatusTick();
    ++MinuteTicks;
    if (MinuteTicks > 0 && MinuteTicks < ticksPerMinute) return;
    MinuteWork();
}

void TMF::MinuteWork() {
    // The shell may have lost the icon (a restarted taskbar); adding it again is harmless.
    const std::string tip = flags_.Hidden ? gui::Application().Title() : Tray.Tip();
    if (!IconHidden) Tray.Add(Handle(), LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1)), tip);
    ++ScheduleMinutes;
    MinuteTicks = 0;

    if (Session.DiscBusyMinutes > discWatchdogMinutes && !DiscWriteStarted) {
        Session.State = job::JobState::Idle;
        Startbackup->SetEnabled(true);
        Startbackup->SetCaption(idleCaption);
    }
    const bool discBusy = OnDiscBusy && OnDiscBusy();
    // Only a job's disc minutes count: a tab's erase or burn may take an hour and is no job.
    if (discBusy) {
        if (Session.State == job::JobState::Running) ++Session.DiscBusyMinutes;
    } else if (!Session.Running() && Startbackup->Enabled())
        CheckSchedules();

    if (WindowMinimized && GetPriorityClass(GetCurrentProcess()) != IDLE_PRIORITY_CLASS)
        SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    if (!flags_.Hidden && !discBusy && Session.Job.WriterIndex == 0 && OnShowFreeSpace) {
        const std::string destination = FirstDestination();
        const char letter = destination.size() >= 2 && destination[1] == ':'
                                ? static_cast<char>(toupper(static_cast<unsigned char>(destination[0])))
                                : '\0';
        if (!letter || CDDriveList.find(letter) == std::string::npos) OnShowFreeSpace();
    }
    if (flags_.Hidden) SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);

    if (ListBox2->Items().Count() > 0) ++Session.IdleListMinutes;
    if (flags_.Hidden && Session.IdleListMinutes > creation_.infiniteWait) gui::Application().Halt(0);

    // The job end runs once per cancellation, not once a minute while it lasts. The job end
    // clears the flag and a lasting stop request sets it again within the same minute, so
    // only a flag seen clear the minute before, or a count reset by a job start, begins a
    // new cancellation.
    if (Session.Cancelled && (!cancelSeen_ || Session.CancelMinutes == 0)) cancelJobEndDone_ = false;
    cancelSeen_ = Session.Cancelled;
    if (Session.Cancelled) ++Session.CancelMinutes;
    if (Session.CancelMinutes > 0) {
        Label1->SetCaption("Job cancelled");
        if (!cancelJobEndDone_) {
            cancelJobEndDone_ = true;
            if (OnJobEnd) OnJobEnd();
        }
    }
    const std::string stopRequest = environment_.ProgramFolder() + "Stop.req";
    // A long restore of archive bits after the cancel is let finish; the next minute halts.
    if (Session.CancelMinutes > cancelGraceMinutes && !job::ArchiveBitsBeingRestored()) {
        DeleteFileA(stopRequest.c_str());
        gui::Application().Halt(0);
    }
    if (GetFileAttributesA(stopRequest.c_str()) != INVALID_FILE_ATTRIBUTES) Session.Cancelled = true;
}

void TMF::TakeFirstRun() {
    if (RunQueue.empty()) return;
    const std::string& entry = RunQueue.front();
    try {
        NextRunTime = core::StrToFloatAnySep(DueField(entry), Locale.decimalSeparator);
        NextRunJob = JobField(entry);
    } catch (const core::EConvertError&) {
        // A damaged entry starts nothing; the next evaluation rebuilds the queue.
        NextRunJob.clear();
    }
}

void TMF::CheckSchedules() {
    const int64_t age = OnScheduleFileAge ? OnScheduleFileAge() : -1;
    if (age > ScheduleFileAge) {
        ScheduleFileAge = age;
        EvaluateSchedules();
    }
    if (!RunQueue.empty() && NextRunJob.empty()) TakeFirstRun();

    if (gui::CurrentClock().Now() > NextRunTime) {
        if (NextRunJob.empty()) {
            Startbackup->SetEnabled(false);
            TakeFirstRun();
            EvaluateSchedules();
            Startbackup->SetEnabled(true);
            return;
        }
        // The run leaves both queues before it starts, so it cannot start twice.
        if (!RunQueue.empty()) {
            const std::string entry = RunQueue.front();
            try {
                const std::string fixedText = job::DueText(NextRunTime, Locale.decimalSeparator);
                const std::string due = DueField(entry);
                if (JobField(entry) == NextRunJob &&
                    (due == fixedText ||
                     core::StrToFloatAnySep(due, Locale.decimalSeparator) == NextRunTime)) {
                    std::erase_if(SavedRunQueue, [&](const std::string& saved) {
                        return job::SameRun(saved, entry, Locale.decimalSeparator);
                    });
                    RunQueue.erase(RunQueue.begin());
                }
            } catch (const core::EConvertError&) {
                if (!SavedRunQueue.empty() && SavedRunQueue.front() == entry)
                    SavedRunQueue.erase(SavedRunQueue.begin());
                RunQueue.erase(RunQueue.begin());
            }
        }
        Startbackup->SetEnabled(false);
        StartedRunDue = std::max(StartedRunDue, NextRunTime);
        flags_.JobName = NextRunJob;
        NextRunJob.clear();
        AbandonUnfinishedRun();
        TakeFirstRun();
        EvaluateSchedules();
        Startbackup->SetEnabled(true);
        PostMessageA(Handle(), WM_START_JOB, 0, 0);
    } else if (ScheduleMinutes > scheduleRefreshMinutes && Startbackup->Enabled()) {
        ScheduleMinutes = 1;
        Startbackup->SetEnabled(false);
        EvaluateSchedules();
        TakeFirstRun();
        Startbackup->SetEnabled(true);
    }
}

} // namespace ui
