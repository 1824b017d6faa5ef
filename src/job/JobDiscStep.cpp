#include "job/JobDiscStep.h"

#include "core/DateText.h"
#include "core/FuncMin.h"
#include "core/WinFolders.h"
#include "disc/dwBurner.h"
#include "disc/dwDrvLib.h"
#include "gui/Clock.h"
#include "gui/CompareText.h"
#include "job/DiscWriteState.h"
#include "job/DriveSpace.h"
#include "job/JobDisc.h"
#include "job/JobRunner.h"
#include "job/VolumePrep.h"
#include "zip/Zipper.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace job {

namespace {

constexpr int maxAttempts = 5;
constexpr int trayWaitSteps = 20;
// A volume that comes back to the burn-later list after a failed compare or mount comes back
// this often at most.
constexpr int maxRequeues = 2;
// After an abort the writer ends within this many 200 ms steps, or is left to itself.
constexpr int abortWaitSteps = 600;

constexpr char notReady[] =
    "The CD writer is not ready. Try to solve the problem and then press OK to retry, "
    "pressing cancel will cancel the backup job";
constexpr char newDisc[] =
    "Insert a new disc in the CD/DVD writer. Press cancell to continue and erase the curent disc";
constexpr char burnError[] = "Error burning to disc";
constexpr char waitingForDrive[] = "Disc created, waiting for drive";
constexpr char compareFailed[] = "Error written disc file different from source file";
constexpr char writeError[] =
    "Write error. Insert a new disc in the CD/DVD writer. The disc in the writer may be "
    "defective. Press cancell to continue and skip the curent file";
constexpr char eraseError[] =
    "Erasse error. Insert a new disc in the CD/DVD writer. The disc in the writer is "
    "defective. Press cancell to continue and skip the curent file";

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DestinationWithoutSlash(std::string path) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

char LetterOf(const std::string& path) {
    return path.size() >= 2 && path[1] == ':'
               ? static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))
               : '\0';
}

std::string FormatNoRoom(const std::string& argument, bool skipped) {
    return skipped ? "The CD/DVD do not have enough free space for: " + argument +
                         ". File not burned to CD/DVD, skipped by user"
                   : "The CD/DVD do not have enough free space for: " + argument +
                         " Insert a new disc in the CD/DVD writer. Press cancell to continue and skip the "
                         "curent file";
}

std::string TwoDigitPart(const std::string& name, int number) {
    char extension[16];
    std::snprintf(extension, sizeof extension, ".z%02d", number);
    const size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of("\\/");
    const std::string base =
        dot != std::string::npos && (slash == std::string::npos || dot > slash) ? name.substr(0, dot) : name;
    return base + extension;
}

} // namespace

JobDiscStep::JobDiscStep(JobSession& session, JobHost& host, JobRunner& runner, VolumePrep* prep)
    : session_(session), run_(session.Run), host_(host), runner_(runner), prep_(prep), noticeWait_(host) {}

void JobDiscStep::DiscStep(bool mustBurnNow) {
    state_ = host_.DiscState();
    if (state_ && state_->BurnActive) {
        // Never nested: it runs when the step under way has ended.
        stepPutOff_ = true;
        putOffNow_ = putOffNow_ || mustBurnNow;
        return;
    }
    bool requeued = false;
    if (!Cancelled()) {
        // A step of the job: the timer's end after a cancel leaves the job to the runner's next
        // step, whose end phase sets the archive bits again.
        JobStepMark mark(session_.EndGuard);
        requeued = BurnZipToDisc(mustBurnNow, std::string(), false);
    }
    // The same volume comes back through its own step, which answers the runner.
    if (!requeued) host_.PostContinueJob();
}

bool JobDiscStep::BurnZipToDisc(bool mustBurnNow, const std::string& fileName, bool isSpanPart) {
    state_ = host_.DiscState();
    if (!state_ || !BurnerCall(host_)) {
        host_.AddToLog("Job cancelled, no disc writer is available; the volumes stay in " + host_.TempPath());
        Cancel();
        return false;
    }
    if (OnWriteStarted) OnWriteStarted(true);
    Ending ending = Ending::Done;
    try {
        ending = Burn(mustBurnNow, fileName, isSpanPart);
    } catch (const std::exception& error) {
        StepFailed(fileName, error.what());
    } catch (...) {
        StepFailed(fileName, "unknown error");
    }
    // Also after a failure: the watchdog watches the job again, and the runner goes on.
    if (OnWriteStarted) OnWriteStarted(false);
    if (stepPutOff_) {
        stepPutOff_ = false;
        host_.PostDiscStep(putOffNow_);
        putOffNow_ = false;
    }
    return ending == Ending::Requeued;
}

// What the step had is not known to be on the disc: it stays where it is.
void JobDiscStep::StepFailed(const std::string& fileName, const std::string& what) {
    const std::string source = host_.TempPath() + (fileName.empty() ? run_.ZipFileName : NameOf(fileName));
    state_->BurnActive = state_->DiscBusy = false;
    host_.AddToLog("Disc step stopped by an error: " + what);
    if (core::FileExists(source)) LeftInTemporaryFolder(source);
    runner_.JobHadProblem = true;
}

// The timer's cancel minute may have ended the job inside one of the step's waits, clearing
// the flag: a job that no longer runs is as good as cancelled.
bool JobDiscStep::Cancelled() {
    return host_.Cancelled() || session_.State != JobState::Running;
}

void JobDiscStep::Cancel() {
    host_.SetCancelled(true);
}

bool JobDiscStep::HostReady(int ms) {
    BurnerCall burner(host_);
    return burner && burner->TestUnitReady(ms);
}

bool JobDiscStep::Select() {
    return SelectBurnerDevice(host_, run_.WriterChoice, LetterOf(run_.DestPath));
}

void JobDiscStep::Release() {
    {
        BurnerCall burner(host_);
        burner->DoDebug = false;
    }
    host_.ReleaseDiscTransport();
    BurnerCall(host_)->DoDebug = true;
}

void JobDiscStep::Reinitialise(bool select) {
    Release();
    host_.LoadDiscTransport();
    if (!select) return;
    // The device is looked up again, not taken from memory.
    SelectBurnerDevice(host_, run_.WriterChoice, LetterOf(run_.DestPath), true);
}

void JobDiscStep::Load() {
    if (!host_.LeaveDiscOpen()) BurnerCall(host_)->LoadEject(false);
}

void JobDiscStep::EjectUnlessTold() {
    if (!host_.DoNotOpenDisc()) BurnerCall(host_)->LoadEject(true);
}

void JobDiscStep::AllowRemoval() {
    BurnerCall burner(host_);
    if (burner->ASPIInitialized()) burner->LockMedium(true);
}

void JobDiscStep::DiscSwap(int firstPause, int secondPause, bool allowRemovalFirst) {
    if (allowRemovalFirst) {
        AllowRemoval();
        host_.Wait(1'000);
    }
    host_.ClearDiscNotices();
    EjectUnlessTold();
    Release();
    host_.Wait(firstPause);
    TrayWait(true);
    Reinitialise(true);
    host_.Wait(1'000);
    BurnerCall(host_)->LoadEject(false);
    host_.Wait(secondPause);
    TrayWait(false);
    HostReady(5'000);
}

// The notices of a tray that was opened: a removal that the reloaded disc's arrival already
// followed counts as seen. A tray left closed sends none to wait for.
void JobDiscStep::TrayWait(bool removal) {
    if (host_.DoNotOpenDisc()) return;
    for (int step = 0; step < trayWaitSteps; ++step) {
        if (host_.DiscArrived() || (removal && host_.DiscRemoved())) return;
        host_.Wait(1'000);
    }
}

bool JobDiscStep::Notice(const std::string& logged, const std::string& mailed, const std::string& suffix,
                         bool& sent) {
    if (!host_.MailConfigured()) {
        host_.AddToLog(logged);
        Cancel();
        return false;
    }
    if (!sent) {
        host_.AddToLog(logged);
        host_.SendJobMail({mailed}, suffix + host_.JobName(), session_.JobLogName);
        sent = true;
        noticeWait_.Start();
    }
    return noticeWait_.Retry();
}

// Read before the window comes up: a window brought up would make a hidden run shown, and
// its prompt a box nobody answers.
bool JobDiscStep::HiddenElseShown() {
    if (host_.Hidden()) return true;
    host_.ShowWindowForPrompt();
    return false;
}

bool JobDiscStep::AskOk(const std::string& text) {
    host_.ShowWindowForPrompt();
    return host_.AskOkCancel(text, gui::TMsgIcon::Stop);
}

void JobDiscStep::Status(const std::string& text) {
    host_.SetStatusText(text);
}

int64_t JobDiscStep::FreeBytes() {
    return ReadDiscFreeBytes(host_, run_.WriterChoice, LetterOf(run_.DestPath));
}

bool JobDiscStep::HoldsNoJobFile() {
    return DiscHoldsNoJobFile(host_, run_.DestPath, run_.FflList, run_.DflList);
}

bool JobDiscStep::HasSession() {
    BurnerCall burner(host_);
    return burner->GetLastSession() > 0;
}

void JobDiscStep::MediaFacts(bool& dvd, int& media) {
    BurnerCall burner(host_);
    media = burner->GetMediaType();
    dvd = media >= 4;
}

void JobDiscStep::ClearZipName(bool isSpanPart) {
    if (!isSpanPart) runner_.Zipper1().ClearZip();
}

void JobDiscStep::LeftInTemporaryFolder(const std::string& path) {
    host_.AddToLog("File not written to disc, left in the temporary folder: " + path);
    runner_.VolumeNotWritten(path);
}

void JobDiscStep::Requeue(const std::string& path) {
    if (++run_.DiscRequeues[path] > maxRequeues) {
        LeftInTemporaryFolder(path);
        return;
    }
    runner_.WaitForDisc(path);
}

bool JobDiscStep::BuildTree(const std::string& label, const std::string& source, const std::string& name,
                            bool record) {
    const std::string destination = DestinationWithoutSlash(run_.DestPath);
    state_->DiscFileName = destination + "\\" + name;
    const bool inFolder = destination.find('\\') != std::string::npos && destination.size() > 3;
    const std::string folder = inFolder ? destination.substr(2) : std::string("\\");
    disc::TFEntry* entry = nullptr;
    {
        BurnerCall burner(host_);
        burner->Image.IdVolume = label;
        burner->FinalizeTrack = true;
        if (inFolder) burner->Image.CreateDir("\\", folder);
        entry = burner->Image.InsertFile(source, folder);
    }
    if (!entry) return false;
    // Every destination, the root and a folder alike: the erase option must know this job's
    // files on the disc wherever they went.
    if (record) {
        char date[40];
        std::snprintf(date, sizeof date, "%.8f", entry->DateTime);
        const auto known =
            std::find_if(run_.FflList.begin(), run_.FflList.end(),
                         [&](const std::string& held) { return gui::CompareTextI(held, name) == 0; });
        if (known == run_.FflList.end()) {
            run_.FflList.push_back(name);
            run_.DflList.push_back(date);
        } else {
            const size_t at = static_cast<size_t>(known - run_.FflList.begin());
            if (at < run_.DflList.size()) run_.DflList[at] = date;
        }
    }
    return true;
}

bool JobDiscStep::EraseAndWait(uint8_t kind) {
    state_->EraseDone = false;
    Select();
    host_.ApplyPreferredWriteSpeed();
    bool started = false;
    {
        BurnerCall burner(host_);
        started = burner->EraseDisc(kind);
    }
    if (!started) {
        // No erase ran: nothing to wait for; the erase-done may already have said so.
        state_->EraseDone = true;
        return false;
    }
    host_.Wait(5'000);
    const auto erasing = [this] {
        BurnerCall burner(host_);
        return burner && burner->Erasing.load();
    };
    // A cancel waits for the erase's end too, for a while from the cancel on: the drive is
    // never let go under it.
    for (int stepsAfterCancel = 0; erasing() && stepsAfterCancel < abortWaitSteps * 10;) {
        if (Cancelled()) ++stepsAfterCancel;
        host_.Wait(200);
    }
    host_.Wait(2'000);
    AllowRemoval();
    return !state_->EraseDone;
}

bool JobDiscStep::WriteOnce(bool dvd) {
    DiscWriteState& s = *state_;
    s.WaitWriteDone = s.Writing = s.DiscBusy = true;
    s.Speed.Reset();
    s.LastSampleTime = gui::CurrentClock().Now();
    BurnerCall(host_)->BurnCD();
    bool abortAsked = false;
    int stepsAfterAbort = 0;
    while (s.WaitWriteDone) {
        if (Cancelled()) {
            // The writer is stopped and its end awaited: the drive is never let go under it.
            if (!abortAsked) {
                abortAsked = true;
                BurnerCall(host_)->AbortWrite();
            }
            if (++stepsAfterAbort > abortWaitSteps) break;
        }
        host_.Wait(200);
    }
    s.Writing = false;
    // The session closes at the drive's pace: a cancel now still waits for the write's end, so
    // nothing uses the drive or the image under the writer, and the volume counts as not
    // written. A writer that outlived the wait after its abort is left to itself.
    const bool writerLeft = abortAsked && s.WaitWriteDone;
    int stepsLeft = dvd ? 30'000 : 3'000;
    for (; s.DiscBusy && !writerLeft && stepsLeft > 0; --stepsLeft)
        host_.Wait(100);
    const bool timedOut = stepsLeft < 10;
    if (timedOut && !abortAsked) StopStuckWriter();
    writeErrorText_ = host_.BurnErrorText();
    if (timedOut) writeErrorText_ = "Finalization " + writeErrorText_;
    return !(s.WriteFailed || abortAsked || timedOut || Cancelled());
}

// A session that does not close in time: the writer is stopped and its end awaited (bounded)
// before the next attempt or the clean-up uses the drive.
void JobDiscStep::StopStuckWriter() {
    DiscWriteState& s = *state_;
    BurnerCall(host_)->AbortWrite();
    for (int step = 0; s.DiscBusy && step < abortWaitSteps; ++step)
        host_.Wait(200);
}

void JobDiscStep::CleanUpAfter(bool requeued) {
    DiscWriteState& s = *state_;
    ClearImageTree(host_);
    host_.LoadDiscTransport();
    Select();
    AllowRemoval();
    if (host_.LeaveDiscOpen()) EjectUnlessTold();
    HostReady(5'000);
    Release();
    s.DiscBusy = false;
    s.BurnActive = false;
    if (!requeued) s.BurnRetry = 0;
}

void JobDiscStep::CleanUpFailed(const std::string& what) noexcept {
    try {
        host_.AddToLog("Disc step clean-up failed: " + what);
        runner_.JobHadProblem = true;
    } catch (...) {
        OutputDebugStringA("Disc step clean-up failed, not logged: ");
        OutputDebugStringA(what.c_str());
    }
    // The flags the clean-up did not reach: no routine runs any more.
    state_->DiscBusy = false;
    state_->BurnActive = false;
}

JobDiscStep::Ending JobDiscStep::Burn(bool mustBurnNow, const std::string& fileName, bool isSpanPart) {
    DiscWriteState& s = *state_;
    host_.CloseStatusBox();
    eraseNow_ = run_.EraseFirst;
    if (s.BurnRetry < 0 || s.BurnRetry > 10) s.BurnRetry = 0;
    s.BurnActive = true;
    s.CompareOK = false;
    const std::string name = fileName.empty() ? run_.ZipFileName : NameOf(fileName);
    const std::string source = host_.TempPath() + name;
    if (!core::FileExists(fileName) && !core::FileExists(source)) {
        s.BurnRetry = 0;
        s.BurnActive = false;
        runner_.VolumeGone(fileName.empty() ? source : fileName);
        return Ending::Done;
    }
    bool requeued = false;
    struct CleanUp {
        JobDiscStep& step;
        const bool& requeued;
        ~CleanUp() {
            // Never thrown on: this may run while an error of the step unwinds.
            try {
                step.CleanUpAfter(requeued);
            } catch (const std::exception& error) {
                step.CleanUpFailed(error.what());
            } catch (...) {
                step.CleanUpFailed("unknown error");
            }
        }
    } cleanUp{*this, requeued};
    requeued = BurnSteps(mustBurnNow, name, source, isSpanPart);
    return requeued ? Ending::Requeued : Ending::Done;
}

bool JobDiscStep::BurnSteps(bool mustBurnNow, const std::string& name, const std::string& source,
                            bool isSpanPart) {
    Volume volume;
    volume.name = name;
    volume.source = source;
    volume.size = std::max<int64_t>(core::GetFileSizeByName(source), 0);
    volume.isSpanPart = isSpanPart;

    if (!DriveWithDisc()) return false;
    if (LeftForLater(mustBurnNow, volume) || Cancelled()) return false;
    if (!ReadyLoop() || !NewDiscLoop(volume)) return false;
    volume.label = DiscVolumeLabelNow();
    if (!SetupLoop(volume)) return false;

    const bool written = WriteAttempts(volume);
    state_->DiscBusy = false;
    AllowRemoval();
    if (!written) {
        NotWritten(volume);
        return false;
    }
    if (!Written()) return false;
    if (!session_.Job.Testarchiveafterbackup1) {
        DeleteFileA(source.c_str());
        return false;
    }
    return Verify(name, source, isSpanPart);
}

bool JobDiscStep::Erasable() {
    BurnerCall burner(host_);
    return burner->IsErasable() || media_ == disc::mtDVDRAM;
}

bool JobDiscStep::DriveWithDisc() {
    ClearImageTree(host_);
    host_.LoadDiscTransport();
    Select();
    Load();
    if (!HostReady(15'000)) Reinitialise(false);
    host_.Pump();
    host_.Pump();
    MediaFacts(dvd_, media_);
    return !Cancelled();
}

bool JobDiscStep::LeftForLater(bool mustBurnNow, const Volume& volume) {
    const bool later = !mustBurnNow && HasSession() &&
                       (volume.size > FreeBytes() || !HostReady(15'000) || !HoldsNoJobFile());
    if (later) runner_.WaitForDisc(volume.source);
    ClearZipName(volume.isSpanPart);
    return later;
}

bool JobDiscStep::ReadyLoop() {
    if (!HostReady(15'000)) Reinitialise(true);
    bool sent = false;
    while (!HostReady(5'000) && !Cancelled()) {
        if (host_.Hidden()) {
            if (!Notice(notReady, notReady, "Problem ", sent)) return false;
        } else if (!AskOk(notReady)) {
            Cancel();
            return false;
        }
        Reinitialise(true);
    }
    return true;
}

bool JobDiscStep::NewDiscLoop(const Volume& volume) {
    if (!run_.EraseFirst || !Erasable()) return true;
    bool sent = false;
    while ((!HostReady(15'000) || !HoldsNoJobFile()) && !Cancelled()) {
        const std::string before = run_.DestPath;
        if (prep_) prep_->ChooseDestination(true);
        if (run_.DestPath != before) host_.ApplyPreferredWriteSpeed();
        if (!HasSession() || volume.size <= FreeBytes()) {
            eraseNow_ = false;
            break;
        }
        const bool hidden = HiddenElseShown();
        Release();
        bool again = true;
        if (hidden) {
            if (!Notice(notReady, newDisc, "Problem ", sent)) return false;
        } else {
            again = AskOk(newDisc);
        }
        Reinitialise(true);
        Load();
        HostReady(15'000);
        host_.Pump();
        host_.Pump();
        // Cancel: the disc in the drive is erased after all.
        if (!again) break;
    }
    return true;
}

bool JobDiscStep::SetupLoop(const Volume& volume) {
    bool sent = false;
    for (;;) {
        Pass pass = SetupPass(volume, sent);
        if (pass == Pass::Stop) return false;
        if (pass == Pass::Again) continue;
        if (RoomFor(volume.size)) return !Cancelled();
        SwapForRoom();
        // The tree holds the sessions of the disc that went: the disc now in the drive gets a
        // pass of its own.
        pass = SetupPass(volume, sent);
        if (pass == Pass::Stop) return false;
        if (pass == Pass::Again) continue;
        if (RoomFor(volume.size)) return !Cancelled();
        if (!AskForRoom(volume, sent)) return false;
    }
}

JobDiscStep::Pass JobDiscStep::SetupPass(const Volume& volume, bool& sent) {
    ClearImageTree(host_);
    MediaFacts(dvd_, media_);
    Load();
    Select();
    if (!HostReady(5'000)) return NotReadyPass(sent, false);
    host_.ApplyPreferredWriteSpeed();
    if (Cancelled()) return Pass::Stop;
    const bool erasable = Erasable();
    if (eraseNow_ && run_.EraseFirst && erasable) {
        EraseForWrite();
    } else {
        state_->EraseDone = false;
        host_.Pump();
        host_.Pump();
        HostReady(5'000);
        // Sessions that could not be read are no empty disc: a session written now would hide
        // them.
        if (!host_.ImportSessionX() && host_.DiscSessionsUnread()) return NotReadyPass(sent, true);
    }
    if (Cancelled()) return Pass::Stop;
    if (erasable && HasSession()) {
        // Overwritable media (DVD-RAM, restricted overwrite, DVD+RW) are erased only while
        // nothing was written past their start.
        const bool overwritable =
            media_ == disc::mtDVDRAM || media_ == disc::mtDVDRWRestricted || media_ == disc::mtDVDPLUSRW;
        if (!overwritable || BurnerCall(host_)->GetNextWritableAddress() > 0) eraseNow_ = false;
    }
    host_.SetPassProgress(0, 100);
    run_.VflList.push_back(volume.label);
    if (!BuildTree(volume.label, volume.source, volume.name, true)) {
        LeftInTemporaryFolder(volume.source);
        return Pass::Stop;
    }
    return Pass::Ready;
}

// While hidden the drive that is not ready is a notice like the ready loop's: without a
// recipient nobody would ever answer it, and the job is cancelled. A disc that could not be read
// is asked about while shown: it does not become readable by waiting.
JobDiscStep::Pass JobDiscStep::NotReadyPass(bool& sent, bool unread) {
    if (unread && !sent) host_.AddToLog(UnreadDiscText);
    if (host_.Hidden()) {
        if (!Notice(notReady, notReady, "Problem ", sent)) return Pass::Stop;
    } else if (!unread) {
        host_.Wait(5'000);
    } else if (!AskOk(notReady)) {
        Cancel();
        return Pass::Stop;
    }
    return Cancelled() ? Pass::Stop : Pass::Again;
}

void JobDiscStep::EraseForWrite() {
    const bool full =
        media_ == disc::mtDVDPLUSRW ? !HasSession() : session_.Job.FullEraseCD || media_ == disc::mtDVDRAM;
    if (!EraseAndWait(full ? disc::ekFull : disc::ekQuick)) {
        host_.AddToLog("Disc erase failed");
        return;
    }
    BurnerCall(host_)->LoadEject(false);
    host_.Wait(5'000);
    HostReady(5'000);
}

void JobDiscStep::SwapForRoom() {
    if (host_.DoNotOpenDisc()) {
        BurnerCall(host_)->LoadEject(false);
    } else {
        DiscSwap(15'000, 0, false);
        host_.Wait(4'000);
    }
    HostReady(5'000);
    NewDiscInDrive();
}

// Whether the erase option may erase it is decided for each disc that comes: one holding this
// job's files (or one that could not be read) is never erased.
void JobDiscStep::NewDiscInDrive() {
    eraseNow_ = run_.EraseFirst && HoldsNoJobFile();
}

bool JobDiscStep::AskForRoom(const Volume& volume, bool& sent) {
    Release();
    const bool hidden = HiddenElseShown();
    const std::string argument = " " + volume.source + " ";
    const std::string ask = FormatNoRoom(argument, false), skipped = FormatNoRoom(argument, true);
    if (hidden) {
        if (!host_.MailConfigured()) {
            host_.AddToLog(skipped);
            Cancel();
            return false;
        }
        Notice(ask, ask, "Problem ", sent);
    } else if (!AskOk(FormatNoRoom("\r" + volume.source + "\r", false))) {
        host_.AddToLog(skipped);
        runner_.VolumeNotWritten(volume.source);
        ClearZipName(volume.isSpanPart);
        return false;
    }
    Reinitialise(true);
    host_.Wait(5'000);
    NewDiscInDrive();
    return !Cancelled();
}

bool JobDiscStep::WriteAttempts(const Volume& volume) {
    bool written = false;
    for (int attempt = 1; attempt <= maxAttempts && !written && !Cancelled(); ++attempt) {
        state_->WriteFailed = false;
        if (!PrepareAttempt(volume, attempt)) break;
        written = WriteOnce(dvd_);
        if (written) {
            AllowRemoval();
            host_.Wait(1'000);
        } else if (!AttemptFailed()) {
            break;
        }
    }
    return written;
}

bool JobDiscStep::PrepareAttempt(const Volume& volume, int attempt) {
    DiscWriteState& s = *state_;
    if (attempt > 1) {
        ClearImageTree(host_);
        Select();
    }
    {
        BurnerCall burner(host_);
        burner->ReadBufferCapacity(burner->DeviceBufferSize, burner->DeviceFreeBufferSize);
        burner->FinalizeDisc = false;
        burner->FinalizeTrack = true;
        burner->SetWriteSpeed(static_cast<uint16_t>(std::clamp(s.CurWriteSpeed, 0, 65535)));
        burner->LockMedium(false);
    }
    for (int i = 0; i < 200 && !HostReady(5'000); ++i)
        host_.Wait(200);
    if (attempt > 1) {
        // The disc was taken out and in: its sessions are read again, and not hidden under
        // the new one when they cannot be.
        if (!host_.ImportSessionX() && host_.DiscSessionsUnread()) {
            host_.AddToLog(UnreadDiscText);
            return false;
        }
        BuildTree(volume.label, volume.source, volume.name, false);
    }
    int64_t trackBlocks = 0;
    {
        BurnerCall burner(host_);
        burner->Prepare(false, false);
        trackBlocks = burner->Image.GetTrackSize();
    }
    host_.Wait(1'000);
    s.ZipFileName = volume.name;
    Status(volume.name + ". Writing to disc: " + MegabytesText(0) + " of " +
           MegabytesText(trackBlocks * 2'048) + " MB,  Speed: " + s.CurSpeedText + " KB/s,  Buffer: 0%");
    return true;
}

bool JobDiscStep::AttemptFailed() {
    DiscWriteState& s = *state_;
    // A cancel that ended a write the drive did not fail is no error to report or try again.
    if (Cancelled() && !s.WriteFailed) return false;
    const std::string line = s.DiscFileName + " " + burnError + " - " + writeErrorText_;
    Status(burnError);
    host_.AddToLog(line);
    // Each failed attempt is told at once; the job does not wait for an answer.
    if (host_.MailConfigured()) host_.SendJobMail({line}, "ERROR " + host_.JobName(), session_.JobLogName);
    AllowRemoval();
    host_.Wait(1'000);
    if (Cancelled()) return false;
    host_.ClearDiscNotices();
    EjectUnlessTold();
    Release();
    Reinitialise(true);
    Load();
    HostReady(15'000);
    TrayWait(true);
    Reinitialise(true);
    host_.Wait(1'000);
    Load();
    TrayWait(false);
    HostReady(5'000);
    host_.ApplyPreferredWriteSpeed();
    return true;
}

void JobDiscStep::NotWritten(const Volume& volume) {
    DiscWriteState& s = *state_;
    s.Finalizing = false;
    host_.SetPassProgress(0, 100);
    if (Cancelled()) {
        host_.AddToLog(s.DiscFileName + " " + burnError +
                       ", cancelled; left in the temporary folder: " + volume.source);
        return;
    }
    // Given up: nothing of it, nor of the volumes waiting, is on a disc.
    LeftInTemporaryFolder(volume.source);
    for (const std::string& waiting : run_.BflList)
        if (gui::CompareTextI(waiting, volume.source) != 0) LeftInTemporaryFolder(waiting);
    run_.BflList.clear();
    run_.CflList.clear();
}

bool JobDiscStep::Written() {
    DiscWriteState& s = *state_;
    s.LastGoodSpeed = s.CurWriteSpeed;
    host_.Wait(1'000);
    host_.AddToLog(s.DiscFileName + " burned to disc - Avg. " + std::to_string(s.Speed.SpeedSum) +
                   " KB/s, Max " + std::to_string(s.Speed.MaxSpeedSeen) + " KB/s");
    Status(waitingForDrive);
    host_.Wait(5'000);
    s.Finalizing = false;
    host_.SetPassProgress(0, 100);
    for (int i = 0; i < 100 && !HostReady(5'000); ++i) {
        if (Cancelled()) return false;
        host_.Wait(2'000);
        host_.SetPassProgress(i + 1, 100);
    }
    return !Cancelled();
}

bool JobDiscStep::RoomFor(int64_t size) {
    int sessions = 0;
    {
        BurnerCall burner(host_);
        sessions = burner->GetLastSession();
    }
    const bool manySessions = sessions >= 99 && media_ != disc::mtDVDRWRestricted &&
                              media_ != disc::mtDVDRWSequential && media_ != disc::mtDVDPLUSRW &&
                              media_ != disc::mtDVDRAM;
    const int64_t free = DiscFreeBytes(host_);
    return !manySessions && free > 0 && size <= free;
}

bool JobDiscStep::Verify(const std::string& name, const std::string& source, bool isSpanPart) {
    DiscWriteState& s = *state_;
    const std::string destination = DestinationWithoutSlash(run_.DestPath);
    const bool inFolder = destination.find('\\') != std::string::npos && destination.size() > 3;
    const std::string folder = inFolder ? destination.substr(2) : std::string("\\");
    const auto findOnDisc = [&] {
        BurnerCall burner(host_);
        disc::TDEntry* dir = inFolder ? burner->Image.FindDir(folder) : burner->Image.Root();
        return dir ? burner->Image.FindFile(dir, name) != nullptr : false;
    };
    int mountAttempts = 0;
    for (;;) {
        bool found = false;
        try {
            s.DiscBusy = false;
            Status(waitingForDrive);
            for (int i = 0; i < 3; ++i)
                host_.Pump();
            HostReady(5'000);
            ClearImageTree(host_);
            host_.ImportSessionX();
            found = findOnDisc();
            for (int i = 0; i < 3 && !found && !Cancelled(); ++i) {
                ClearImageTree(host_);
                Select();
                DiscSwap(5'000, 5'000, true);
                host_.ImportSessionX();
                found = findOnDisc();
            }
            if (Cancelled()) return false;
            bool readable = false;
            if (core::FileExists(source)) {
                for (int i = 0; i < 60 && !(readable = core::OpensForSharedReading(source)); ++i)
                    host_.Wait(2'000);
                host_.Wait(2'000);
            }
            if (!readable) {
                const std::string text =
                    "Source file " + source + " is not readable more!, disc compare skipped";
                host_.AddToLog(text);
                Status(text);
                return false;
            }
            if (!found) throw std::runtime_error("not found on the disc");
            Status("Comparing disc with " + name);
            host_.Wait(200);
            {
                BurnerCall burner(host_);
                disc::TDEntry* dir = inFolder ? burner->Image.FindDir(folder) : burner->Image.Root();
                disc::TFEntry* entry = dir ? burner->Image.FindFile(dir, name) : nullptr;
                if (!entry) throw std::runtime_error("not found on the disc");
                s.CompareOK = burner->VerifyFile(entry, source);
            }
            if (s.CompareOK && host_.LeaveDiscOpen()) EjectUnlessTold();
            if (s.CompareOK) {
                const std::string ok = name + " - Burned and compared with source, OK";
                host_.AddToLog(ok);
                Status(ok);
                s.BurnRetry = 0;
                host_.Wait(2'000);
                DeleteFileA(source.c_str());
                if (!host_.Hidden() && !isSpanPart && runner_.LastVolumeAtDiscStep())
                    host_.ShowStatusBox(
                        "Disc created and compared with source, it is now safe to remove the media");
                return false;
            }
            host_.AddToLog(compareFailed);
            Status(compareFailed);
            return CompareFailed(source, isSpanPart);
        } catch (const std::exception&) {
            AllowRemoval();
            Status("Waiting for drive");
            DiscSwap(0, 0, false);
            ++mountAttempts;
            if (mountAttempts > 2 || !found) {
                const std::string text = "Could not mount the disc with " + name +
                                         ", test the file manually when the job is finished";
                host_.AddToLog(text);
                Status(text);
                Requeue(source);
                return false;
            }
        }
    }
}

bool JobDiscStep::CompareFailed(const std::string& source, bool isSpanPart) {
    DiscWriteState& s = *state_;
    const bool erasable = Erasable();
    bool sent = false;
    // A part of a split volume cannot be handed to a step of its own: it waits for the end.
    if (isSpanPart) {
        s.BurnActive = false;
        host_.AddToLog(writeError);
        Requeue(source);
        return false;
    }
    // A round of erase and write again goes on as such, though the disc it found was blank
    // and so needed no erase of its own.
    if ((eraseNow_ || s.BurnRetry > 0) && run_.EraseFirst && erasable) {
        if (s.BurnRetry == 2) {
            s.BurnActive = false;
            if (host_.Hidden()) {
                if (!Notice(writeError, writeError, "ERROR ", sent)) return false;
            } else if (!AskOk(writeError)) {
                return false;
            }
        }
        if (s.BurnRetry >= 3) {
            host_.AddToLog(std::string(compareFailed) + ", after 3. retry, continuing with the next file");
            LeftInTemporaryFolder(source);
            return false;
        }
        ++s.BurnRetry;
        host_.ApplyPreferredWriteSpeed();
        if (!EraseAndWait(disc::ekFull)) {
            s.BurnActive = false;
            if (host_.Hidden()) {
                Notice(eraseError, eraseError, "ERROR ", sent);
                return false;
            }
            if (!AskOk(eraseError)) return false;
        } else {
            if (host_.DoNotOpenDisc())
                BurnerCall(host_)->LoadEject(false);
            else
                DiscSwap(15'000, 15'000, true);
            host_.Wait(5'000);
            HostReady(5'000);
        }
        while (!HostReady(5'000) && !Cancelled()) {
            s.BurnActive = false;
            if (host_.Hidden()) {
                Notice(eraseError, eraseError, "ERROR ", sent);
                return false;
            }
            if (!AskOk(eraseError)) return false;
            host_.Pump();
            host_.Wait(2'000);
        }
        if (Cancelled()) return false;
        host_.PostDiscStep(true);
        return true;
    }
    s.BurnActive = false;
    if (host_.Hidden()) {
        // Nobody to tell: the job stops rather than go on past a disc that does not hold
        // what was written.
        if (!Notice(writeError, writeError, "ERROR ", sent)) {
            LeftInTemporaryFolder(source);
            return false;
        }
        Requeue(source);
        return false;
    }
    if (!AskOk(writeError)) {
        Requeue(source);
        return false;
    }
    s.BurnRetry = 0;
    // Cancelled at the box: no step is handed on, the runner's next one ends the job.
    if (Cancelled()) return false;
    host_.PostDiscStep(true);
    return true;
}

void JobDiscStep::Zipper1GetNextDisk(int volumeNumber, std::string& fileName) {
    if (runner_.TestingZip) {
        if (volumeNumber > 0) fileName = SplitPartToTest(fileName, volumeNumber, run_.DestList);
        return;
    }
    // Zero only tells which part holds an entry.
    if (volumeNumber <= 0) return;
    const bool toDisc = run_.DiscWriterMode;
    if (prep_) prep_->ChooseDestination(false);
    if (toDisc && !run_.DiscWriterMode) return;
    // Our component hands over the finished part's own name.
    const std::string finished = fileName;
    host_.AddToLog("File created: " + finished);
    runner_.SpanPartNumber = volumeNumber - 1;
    if (!toDisc) {
        // A destination that filled: the next parts, and the last one's name, go to the one
        // chosen now.
        if (!run_.DiscWriterMode && MovedToDestination(fileName) != fileName) {
            core::ForceDirectories(DestinationWithoutSlash(run_.DestPath));
            fileName = MovedToDestination(fileName);
            run_.VolumePath = MovedToDestination(run_.VolumePath);
        }
        return;
    }
    const std::string temp = host_.TempPath();
    const int64_t free = DriveFreeBytes(DriveOfPath(temp));
    const bool mustBurnNow =
        free < 3 * run_.MaxZipSize && free < 3 * static_cast<int64_t>(run_.TotalMB) * 1'000'000 + 30'000'000;
    BurnZipToDisc(mustBurnNow, finished, true);
}

// A path below the destination left behind is placed below the one in use; others stay.
std::string JobDiscStep::MovedToDestination(const std::string& path) const {
    const std::string before = DestinationWithoutSlash(run_.PreviousDestPath);
    const std::string now = DestinationWithoutSlash(run_.DestPath);
    if (before.empty() || gui::CompareTextI(before, now) == 0 || path.size() <= before.size() ||
        path[before.size()] != '\\' || gui::CompareTextI(path.substr(0, before.size()), before) != 0)
        return path;
    return now + path.substr(before.size());
}

// The part a test of a split volume reads next, where the set put it: beside the one read,
// or in another of the job's destinations (one that filled sent the later parts on); the
// last part carries the volume's name.
std::string SplitPartToTest(const std::string& current, int volumeNumber,
                            const std::vector<std::string>& destinations) {
    const std::string part = TwoDigitPart(current, volumeNumber);
    const std::string last = part.substr(0, part.find_last_of('.')) + ".zip";
    for (const std::string& wanted : {part, last}) {
        const std::string found = FindSplitPart(wanted, destinations);
        if (!found.empty()) return found;
    }
    return part;
}

} // namespace job
