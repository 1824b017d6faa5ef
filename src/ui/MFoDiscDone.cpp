// The end of a write or an erase: the frame's component is thrown away and made anew, so the
// next write starts with a fresh one, and the disc goes out and in so that the system sees
// what is on it now. A message that arrives while a call into the old component is still on
// the stack (it pumps while it waits for the drive) is put off until that call returns.
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/CheckBox.h"
#include "gui/Label.h"
#include "gui/ProgressBar.h"
#include "gui/Wait.h"
#include "ui/MFo.h"
#include "ui/MFoDiscs.h"
#include "ui/SmallDialogs.h"

#include <utility>

namespace ui {

namespace {
constexpr int maxFiles = 65535, maxFolders = 8191;
constexpr int trayWaits = 15;
constexpr int readyAttempts = 61;
} // namespace

BurnerUse::BurnerUse(TDiscTab& tab, TFrameCDB& frame) : tab_(tab), frame_(frame) {
    ++frame_.CallsInProgress;
}

BurnerUse::~BurnerUse() {
    if (--frame_.CallsInProgress == 0) tab_.EndUse();
}

BurnerUse TDiscTab::Burner1() {
    return BurnerUse(*this, *frame_);
}

std::unique_ptr<TFrameCDB> TDiscTab::MakeFrame(std::shared_ptr<FrameReports> reports) {
    return std::make_unique<TFrameCDB>(std::move(reports));
}

void TDiscTab::EndUse() {
    const HWND window = form_.Handle();
    if (deferredWriteDone_) PostMessageA(window, WM_WRITE_DONE, *deferredWriteDone_ ? 1 : 0, 0);
    if (deferredEraseDone_) PostMessageA(window, WM_ERASE_DONE, *deferredEraseDone_ ? 1 : 0, 0);
    deferredWriteDone_.reset();
    deferredEraseDone_.reset();
}

// The device selection survives through its id; the rest of the component starts afresh.
void TDiscTab::ReplaceFrame() {
    std::string device;
    {
        BurnerUse burner = Burner1();
        device = burner->DeviceId;
        burner->Image.ClearAll(maxFiles, maxFolders);
    }
    // No moment without a frame: the old one's end pumps messages while its writer settles,
    // and the timer's status line and busy test read the frame in those waits.
    std::unique_ptr<TFrameCDB> old = std::exchange(frame_, MakeFrame(reports_));
    old.reset();
    gui::Wait(500, false);
    gui::Wait(50, false);
    LastDeviceCode = 0;
    LastDeviceText.clear();
    if (!device.empty()) Burner1()->SetDeviceID(device);
    gui::Wait(5000, false);
}

bool TDiscTab::ReadyWithin(int attempts) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (Burner1()->TestUnitReady(5000)) return true;
        if (attempt + 1 < attempts) gui::Wait(1000, false);
    }
    return false;
}

void TDiscTab::EjectAndReload(bool eject) {
    core::ProgramFlags& flags = form_.Flags();
    Burner1()->LoadEject(eject);
    Burner1()->DoDebug = false;
    Burner1()->DoDebug = true;
    gui::Wait(10000, false);
    for (int step = 0; step < trayWaits && !flags.DiscRemoved; ++step)
        gui::Wait(1000, false);
    Burner1()->DoDebug = false;
    Burner1()->DoDebug = true;
    gui::Wait(5000, false);
    Burner1()->LoadEject(false);
    for (int step = 0; step < trayWaits && !flags.DiscArrived; ++step)
        gui::Wait(1000, false);
    gui::Wait(1000, false);
    ReadyWithin(readyAttempts);
}

void TDiscTab::WMWriteDone(bool) {
    if (frame_->CallsInProgress > 0) {
        deferredWriteDone_ = !reports_->BurnErrorText.empty();
        return;
    }
    // The write's wait ends however this ends (an error here goes on to the program's
    // handler, which logs it).
    struct EndsTheWait {
        TDiscTab& tab;
        ~EndsTheWait() { tab.WaitWriteDone = tab.Writing = tab.DiscBusy = false; }
    } endsTheWait{*this};
    WriteFailed = !reports_->BurnErrorText.empty();
    {
        BurnerUse burner = Burner1();
        burner->SyncCache(300000, false);
        burner->LockMedium(true);
    }
    Writing = false;
    DiscBusy = false;
    gui::Wait(1000, false);
    core::ProgramFlags& flags = form_.Flags();
    flags.DiscArrived = false;
    flags.DiscRemoved = false;
    ReplaceFrame();
    const bool open = !cbDoNotOpenCD->Checked();
    if (open && !flags.Hidden) form_.AppMsg1->ShowMsg("Tarnwick", "Wait! do not remove media", false);
    EjectAndReload(open);
    if (open && !flags.Hidden) form_.AppMsg1->ShowMsg("", "", false);
}

void TDiscTab::WMEraseDone(bool failed) {
    if (frame_->CallsInProgress > 0) {
        deferredEraseDone_ = failed;
        return;
    }
    form_.ProgressBar3->SetPosition(100);
    ReplaceFrame();
    const std::string speed = std::to_string(CurWriteSpeed);
    if (failed) {
        EraseDone = true;
        form_.AddToLog(MediaKindText + " erase process done with error" + " - " + speed);
        Status(MediaKindText + " erase process done with error");
    } else {
        form_.AddToLog(MediaKindText + " erase done" + " - " + speed + " KB/s");
        Status(MediaKindText + " erase done");
    }
    if (EjectAfterErase) EjectAndReload(true);
    EjectAfterErase = false;
    form_.Flags().DiscArrived = true;
    form_.ProgressBar3->SetPosition(0);
    // The erase's own starting mark may still stand while its wait runs; it is no job.
    if (!form_.Session.Running() || OnlyOwnMark()) SetActionsEnabled(true);
}

} // namespace ui
