// Burning one chosen zip (or one part of a spanned zip) to the disc in the chosen writer as a
// new session, outside any job; the status line of a running write; the import of the disc's
// earlier sessions so that a new session continues the disc; the room on the disc.
//
// A failed write is tried again at the next speed the drive takes, from its lowest upwards;
// when no other speed is left, or the user cancels, the burn gives up. Success is said only
// after a write that succeeded and a comparison that found the disc equal to the file. Earlier
// sessions that could not be read are never hidden under a new one: nothing is written.
#include "core/DateText.h"
#include "core/FuncMin.h"
#include "core/WinFolders.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/Clock.h"
#include "gui/ComboBox.h"
#include "gui/Label.h"
#include "gui/PageControl.h"
#include "gui/ProgressBar.h"
#include "gui/Prompter.h"
#include "gui/Wait.h"
#include "job/DiscSpeed.h"
#include "job/JobDisc.h"
#include "job/JobEditRules.h"
#include "job/JobStartRules.h"
#include "ui/JobTab.h"
#include "ui/MFo.h"
#include "ui/MFoDiscs.h"
#include "ui/SmallDialogs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace ui {

namespace {
constexpr int maxFiles = 65535, maxFolders = 8191;
constexpr int blockBytes = 2048;
constexpr char notReady[] = "The CD writer is not ready. Try to solve the problem and then press OK to retry";
constexpr char noRoom[] = "The CD/DVD do not have enough free space. Insert a new disc in the CD/DVD writer.";
constexpr char burnError[] = "Error burning to disc";
constexpr char waitingForDrive[] = "Disc created, waiting for drive";
constexpr char compareFailed[] = "Error written disc file different from source file";

} // namespace

int64_t TDiscTab::DiscFreeBytes() {
    BurnerUse burner = Burner1();
    return job::DiscFreeBytes(job::ReadDiscRoomFacts(*burner, 5000));
}

bool TDiscTab::ImportSessionX() {
    SessionsUnread = false;
    for (int attempt = 0; attempt < 3 && !Burner1()->TestUnitReady(15000); ++attempt) {
    }
    // A drive that is not ready has told nothing: that is no empty disc.
    if (!Burner1()->TestUnitReady(15000)) {
        SessionsUnread = true;
        return false;
    }
    if (Burner1()->GetLastSession() <= 0) return true;
    Burner1()->DoDebug = false;
    Burner1()->TestUnitReady(15000);
    bool imported = Burner1()->ImportSession(-1, nullptr);
    for (int retry = 0; !imported && retry < 3; ++retry) {
        gui::Wait(5000, false);
        Burner1()->TestUnitReady(15000);
        Burner1()->Image.ClearAll(maxFiles, maxFolders);
        imported = Burner1()->ImportSession(-1, nullptr);
    }
    Burner1()->DoDebug = true;
    const int media = Burner1()->GetMediaType();
    if (!imported && media != disc::mtDVDPLUSRW && media != disc::mtDVDRAM) {
        Burner1()->TestUnitReady(15000);
        Burner1()->Image.ClearAll(maxFiles, maxFolders);
        imported = Burner1()->ImportSession(-1, nullptr);
    }
    SessionsUnread = !imported && Burner1()->ImportReadFailed;
    // A last session that cannot be read would hide every earlier file under the new one:
    // the sessions before it are taken in turn instead, the later over the earlier.
    const int last = Burner1()->GetLastSession();
    if (!imported && last > 1) {
        Burner1()->Image.ClearAll(maxFiles, maxFolders);
        for (int session = 1; session <= std::min(last, 127); ++session)
            Burner1()->ImportSession(static_cast<int8_t>(session), nullptr);
    }
    return imported;
}

void TDiscTab::UpdateBurnStatus() {
    if (statusTickRunning_) return;
    statusTickRunning_ = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{statusTickRunning_};
    gui::TProgressBar& bar = *form_.ProgressBar3;
    // Only what the component keeps in memory while it writes: no drive command from here.
    disc::TDiscBurner& burner = frame_->Burner1;
    try {
        if (Writing) {
            const double now = gui::CurrentClock().Now();
            const int64_t elapsed = static_cast<int64_t>((now - LastSampleTime) * 86400000.0 + 0.5);
            LastSampleTime = now;
            const int64_t written = burner.Progress.load();
            const int speed = Speed.Sample(written, elapsed);
            const int64_t track = burner.Image.GetTrackSize();
            Status(ZipFileName + ". Writing to disc: " + job::MegabytesText(written) + " of " +
                   job::MegabytesText(track * blockBytes) + " MB,  Speed: " + std::to_string(speed) +
                   " KB/s,  Buffer: " + std::to_string(burner.GetCacheFillPercent()) + "%");
            bar.SetMax(static_cast<int>(track));
            bar.SetPosition(static_cast<int>(written / blockBytes));
            if (track > 0 && track * blockBytes <= written) {
                Writing = false;
                bar.SetMax(140);
                bar.SetPosition(0);
                Finalizing = true;
            }
        } else if (DiscBusy) {
            Status(ZipFileName + ". Finalizing session ");
            const uint32_t size = burner.DeviceBufferSize, free = burner.DeviceFreeBufferSize;
            // A drained (or unknown) buffer counts down to the end of the wait for the write's
            // end, so a write-done that never comes cannot hold the writing routine for ever.
            if (free < size && free > 0) {
                bar.SetMax(static_cast<int>(size));
                bar.SetPosition(static_cast<int>(size - free));
            } else {
                bar.SetMax(140);
                if (bar.Position() == 120) WaitWriteDone = false;
                bar.StepIt();
            }
        } else if (Finalizing) {
            bar.SetMax(140);
            if (bar.Position() == 120) WaitWriteDone = false;
            Status(waitingForDrive);
            bar.StepIt();
        } else if (burner.Erasing) {
            Status("Erasing disc, speed: " + CurSpeedText);
            const int percent = burner.GetEraseProgress();
            if (percent > 0 && percent < 100) {
                bar.SetMax(100);
                bar.SetPosition(percent);
            } else if (percent >= 100) {
                bar.SetPosition(percent);
            }
            if (bar.Position() == 0) {
                bar.SetMax(1000);
                bar.StepIt();
            } else if (bar.Max() == 1000) {
                bar.StepIt();
            } else if (bar.Position() > 100) {
                bar.SetMax(1000);
            }
        } else if (BurnActive) {
            bar.SetMax(100);
            const int64_t written = burner.Progress.load();
            if (written <= 99)
                bar.SetPosition(static_cast<int>(written));
            else if (form_.Label1->Caption().find("Finalizing") != std::string::npos ||
                     form_.Label1->Caption().find("waiting") != std::string::npos)
                bar.StepIt();
        } else {
            MediaChangeTick();
        }
    } catch (const std::exception&) {
        // A failed tick shows nothing new; the next tick tries again.
    }
}

// A disc that came or went changes the destination's room: once the drive has settled (from
// the 15th tick after the notice, every third tick), the room is read again, or is none when
// the destination's drive has no disc now.
void TDiscTab::MediaChangeTick() {
    core::ProgramFlags& flags = form_.Flags();
    if (!flags.DiscArrived && !flags.DiscRemoved) return;
    const int ticks = flags.MediaChangeTicks;
    if (ticks >= 15 && ticks <= 44 && ticks % 3 == 0 && form_.AspiLoaded) {
        const bool loadedHere = !frame_->Burner1.ASPIInitialized();
        if (!loadedHere || InitTransport()) {
            // No drive chosen yet: the one the tab shows.
            if (Burner1()->DeviceId.empty() && cbDrives->ItemIndex() >= 0)
                Burner1()->SetDeviceID(cbDrives->Items().Strings(cbDrives->ItemIndex()));
            const bool ready = Burner1()->TestUnitReady(5000);
            if (flags.DiscArrived && ready) {
                if (form_.OnShowFreeSpace) form_.OnShowFreeSpace();
                flags.MediaChangeTicks = 45;
            } else if (flags.DiscRemoved && !ready) {
                std::string field = form_.Session.Job.Destination;
                const std::vector<std::string> destinations = job::ParseDestinations(field);
                const std::string destination = destinations.empty() ? std::string() : destinations.front();
                const char letter =
                    static_cast<char>(std::toupper(static_cast<unsigned char>(Burner1()->GetDriveLetter())));
                if (!destination.empty() &&
                    letter == std::toupper(static_cast<unsigned char>(destination[0]))) {
                    form_.JobTab->Destination.DestFreeSpace = 0;
                    form_.JobTab->Label3->SetCaption(job::FreeSpaceText(0));
                }
                flags.MediaChangeTicks = 45;
            }
            if (loadedHere) ReleaseTransport();
        }
    }
    if (++flags.MediaChangeTicks > 200) flags.DiscArrived = flags.DiscRemoved = false;
}

void TDiscTab::btBurnFileToCDClick() {
    if (Busy() || JobBusy()) return;
    SetJobBusy(true);
    struct CleanUp {
        TDiscTab& tab;
        ~CleanUp() {
            if (tab.frame_->Burner1.ASPIInitialized()) tab.Burner1()->LockMedium(true);
            tab.DiscBusy = false;
            tab.BurnRetry = 0;
            tab.BurnActive = false;
            tab.ReleaseTransport();
            tab.SetActionsEnabled(true);
            tab.form_.ProgressBar3->SetPosition(0);
            tab.SetJobBusy(false);
        }
    } cleanUp{*this};
    cbDrivesChange();
    InitTransport();

    gui::TFileDialogRequest request;
    request.Owner = form_.Handle();
    request.DefaultExt = "zip";
    request.Filter = "zip files|*.zip;*.z*;*.0*";
    const std::string temp = form_.Flags().TempPath;
    const DWORD tempAttributes = GetFileAttributesA(temp.c_str());
    if (!temp.empty() && tempAttributes != INVALID_FILE_ATTRIBUTES &&
        (tempAttributes & FILE_ATTRIBUTE_DIRECTORY))
        request.InitialDir = temp;
    gui::TFileDialogAnswer answer;
    form_.RunModal([&] {
        answer = gui::Prompter().FileDialog(request);
        return answer.Accepted ? gui::mrOk : gui::mrCancel;
    });
    if (!answer.Accepted || answer.Files.empty()) return;

    SetActionsEnabled(false);
    form_.PageControl1->SetActivePage(form_.TabSheet1);
    BurnActive = true;
    CompareOK = false;
    if (!core::FileExists(answer.Files.front())) {
        BurnRetry = 0;
        return;
    }
    BurnFile(answer.Files.front());
}

// One run of the burn, step by step: a ready drive, room on its disc, the write speed, the
// image with the file in the destination's folder, then writes until one succeeds or no other
// speed is left, each success compared with the source.
class FileBurn {
  public:
    FileBurn(TDiscTab& tab, const std::string& file)
        : tab_(tab), flags_(tab.form_.Flags()), file_(file), name_(file.substr(file.find_last_of("\\/") + 1)),
          device_(tab.cbDrives->ItemIndex() >= 0 ? tab.cbDrives->Items().Strings(tab.cbDrives->ItemIndex())
                                                 : tab.Burner1()->DeviceId) {}

    void Run() {
        PlanPlaceOnDisc();
        if (!WaitForReadyDrive() || !WaitForRoom()) {
            if (Cancelled()) GiveUpOnCancel();
            return;
        }
        ChooseSpeed();
        if (!ReadEarlierSessions() || !BuildImage()) return;
        bool failed = true, giveUp = false;
        while (failed && !giveUp) {
            if (Cancelled()) return GiveUpOnCancel();
            const Attempt attempt = WriteOnce();
            if (attempt == Attempt::NotStarted) return GiveUpOnCancel();
            failed = attempt == Attempt::Failed;
            if (failed)
                giveUp = !RecoverForNextSpeed();
            else
                CompareWithSource();
        }
        Conclude(failed);
    }

  private:
    enum class Attempt { NotStarted, Failed, Written };

    bool Cancelled() const { return tab_.form_.Session.Cancelled; }
    void Log(const std::string& line) { tab_.form_.AddToLog(line); }

    bool WaitForReadyDrive() {
        tab_.Burner1()->Image.ClearAll(maxFiles, maxFolders);
        tab_.Burner1()->LoadEject(false);
        tab_.Burner1()->TestUnitReady(15000);
        while (!tab_.Burner1()->TestUnitReady(5000) && !Cancelled()) {
            tab_.form_.ShowMainWindow();
            if (tab_.Box(notReady, true) != gui::mrOk) return false;
            Reconnect();
        }
        return !Cancelled();
    }

    // The transport loaded afresh, on the drive the burn began with.
    void Reconnect() {
        tab_.ReleaseTransport();
        tab_.InitTransport();
        if (!device_.empty()) tab_.Burner1()->SetDeviceID(device_);
    }

    bool WaitForRoom() {
        tab_.Burner1()->Image.ClearAll(maxFiles, maxFolders);
        const int64_t size = core::GetFileSizeByName(file_);
        for (int64_t free = tab_.DiscFreeBytes(); size > free; free = tab_.DiscFreeBytes())
            if (tab_.Box(noRoom, true) != gui::mrOk || Cancelled()) return false;
        return true;
    }

    void ChooseSpeed() {
        dvd_ = tab_.Burner1()->GetMediaType() >= 4;
        tab_.ApplyChosenSpeed(dvd_);
        tab_.CurWriteSpeed = tab_.Burner1()->GetCurrentWriteSpeed();
        const core::SpeedTextResult speedText =
            core::SpeedText(tab_.CurWriteSpeed, disc::LastMediaType, tab_.form_.Locale.decimalSeparator);
        tab_.CurSpeedText = speedText.text;
        tab_.MediaKindText = speedText.mediaKind;
        gui::ProcessMessages();
        gui::ProcessMessages();
        tab_.Burner1()->TestUnitReady(5000);
    }

    // The disc's earlier files into the tree, for the new session to keep. Sessions that could
    // not be read (as against holding no file system) would be hidden under it: the burn stops
    // here, before anything is written.
    bool ReadEarlierSessions() {
        const bool unread = !tab_.ImportSessionX() && tab_.SessionsUnread;
        tab_.form_.ProgressBar3->SetPosition(0);
        if (unread) Refuse(job::UnreadDiscText);
        return !unread;
    }

    // The destination's folder on the disc (its part after the drive), else the root.
    void PlanPlaceOnDisc() {
        std::string destination;
        std::string field = tab_.form_.Session.Job.Destination;
        const std::vector<std::string> destinations = job::ParseDestinations(field);
        if (!destinations.empty()) destination = destinations.front();
        while (!destination.empty() && destination.back() == '\\')
            destination.pop_back();
        label_ = job::DiscVolumeLabelNow();
        tab_.DiscFileName = destination + "\\" + name_;
        inFolder_ = destination.find('\\') != std::string::npos && destination.size() > 3;
        folder_ = inFolder_ ? destination.substr(2) : std::string("\\");
    }

    // The tree holds the disc's earlier files already; the file joins them. An image that
    // refuses the file (too large, a name too long, a source gone) stops the burn here, before
    // anything is written, with the image's reason.
    bool BuildImage() {
        std::string refusal;
        {
            BurnerUse burner = tab_.Burner1();
            disc::TIsoImage& image = burner->Image;
            image.IdVolume = label_;
            burner->FinalizeTrack = true;
            if (inFolder_) image.CreateDir("\\", folder_);
            const disc::TIsoImage::DebugEvent forward = image.OnDebugMessage;
            image.OnDebugMessage = [&refusal, &forward](const std::string& message, int type) {
                if (type == disc::kMsgError) refusal = message;
                if (forward) forward(message, type);
            };
            const disc::TFEntry* entry = image.InsertFile(file_, folder_);
            image.OnDebugMessage = forward;
            if (entry) {
                burner->Prepare(false, false);
                tab_.ZipFileName = name_;
                return true;
            }
        }
        Refuse(refusal.empty() ? std::string("the disc image did not take the file") : refusal);
        return false;
    }

    // The burn stopped before a write, said with its reason.
    void Refuse(const std::string& reason) {
        const std::string line = tab_.DiscFileName + " " + burnError + " - " + reason;
        Log(line);
        tab_.Status(line);
    }

    // One write and the wait for its session to close. Not started when a cancel came first.
    Attempt WriteOnce() {
        tab_.WaitWriteDone = tab_.Writing = tab_.DiscBusy = true;
        tab_.WriteFailed = false;
        {
            BurnerUse burner = tab_.Burner1();
            burner->ReadBufferCapacity(burner->DeviceBufferSize, burner->DeviceFreeBufferSize);
            burner->FinalizeDisc = false;
            burner->FinalizeTrack = true;
            burner->LockMedium(false);
        }
        for (int attempt = 0; attempt < 200 && !Cancelled() && !tab_.Burner1()->TestUnitReady(5000);
             ++attempt)
            gui::Wait(200, false);
        if (Cancelled()) {
            tab_.WaitWriteDone = tab_.Writing = tab_.DiscBusy = false;
            return Attempt::NotStarted;
        }
        tab_.Speed.Reset();
        tab_.LastSampleTime = gui::CurrentClock().Now();
        tab_.reports_->BurnErrorText.clear();
        tab_.Burner1()->BurnCD();
        bool abortAsked = false;
        while (tab_.WaitWriteDone) {
            // A cancel stops the write; its end still comes as a write done.
            if (Cancelled() && !abortAsked) {
                abortAsked = true;
                tab_.frame_->Burner1.AbortWrite();
            }
            gui::Wait(200, false);
        }
        tab_.Writing = false;
        int stepsLeft = dvd_ ? 30000 : 3000;
        for (; tab_.DiscBusy && !Cancelled() && stepsLeft > 0; --stepsLeft)
            gui::Wait(100, false);
        bool failed = tab_.WriteFailed || abortAsked;
        if (stepsLeft < 10) {
            failed = true;
            tab_.reports_->BurnErrorText = "Finalization " + tab_.reports_->BurnErrorText;
        }
        tab_.DiscBusy = false;
        tab_.Burner1()->LockMedium(true);
        if (!failed) tab_.LastGoodSpeed = tab_.CurWriteSpeed;
        // "Created" only for a write that succeeded, from the status tick too.
        if (failed) tab_.Finalizing = false;
        tab_.Status(failed ? std::string(burnError) : std::string(waitingForDrive));
        gui::Wait(5000, false);
        tab_.Finalizing = false;
        tab_.form_.ProgressBar3->SetPosition(0);
        return failed ? Attempt::Failed : Attempt::Written;
    }

    // After a failed write: the disc out and in again, then the next speed the drive takes
    // above the last one tried, from its lowest up. False when none is left or on a cancel.
    bool RecoverForNextSpeed() {
        const std::string line = tab_.DiscFileName + " " + burnError + " - " + tab_.reports_->BurnErrorText;
        Log(line);
        tab_.Burner1()->LockMedium(true);
        gui::Wait(1000, false);
        if (!tab_.cbDoNotOpenCD->Checked()) tab_.Burner1()->LoadEject(true);
        tab_.ReleaseTransport();
        gui::Wait(15000, false);
        for (int step = 0; step < 20 && !flags_.DiscRemoved; ++step)
            gui::Wait(1000, false);
        tab_.InitTransport();
        if (!device_.empty()) tab_.Burner1()->SetDeviceID(device_);
        gui::Wait(1000, false);
        tab_.Burner1()->LoadEject(false);
        gui::Wait(15000, false);
        for (int step = 0; step < 20 && !flags_.DiscArrived; ++step)
            gui::Wait(1000, false);
        tab_.Burner1()->TestUnitReady(5000);
        tab_.Status(line);
        if (Cancelled()) return false;
        const int current = tab_.Burner1()->GetCurrentWriteSpeed();
        const int max = tab_.Burner1()->GetMaxWriteSpeed();
        for (int speed = 1; speed <= max; speed += dvd_ ? 700 : 176) {
            tab_.Burner1()->SetWriteSpeed(static_cast<uint16_t>(speed));
            const int taken = tab_.Burner1()->GetCurrentWriteSpeed();
            if (taken == current || taken <= lastSpeedTried_) continue;
            lastSpeedTried_ = tab_.CurWriteSpeed = taken;
            tab_.CurSpeedText =
                core::SpeedText(taken, disc::LastMediaType, tab_.form_.Locale.decimalSeparator).text;
            tab_.Burner1()->Image.ClearAll(maxFiles, maxFolders);
            if (!ReadEarlierSessions() || !BuildImage()) return false;
            Log("Error burning to disc, now trying with: " + std::to_string(taken) + " KB/s");
            return true;
        }
        return false;
    }

    // Success is said for the write; the comparison of the disc's file with the source says
    // whether the disc may be taken out.
    void CompareWithSource() {
        Log(tab_.DiscFileName + " burned to disc - Avg. " + std::to_string(tab_.Speed.SpeedSum) +
            " KB/s, Max " + std::to_string(tab_.Speed.MaxSpeedSeen) + " KB/s");
        tab_.Burner1()->LockMedium(true);
        gui::Wait(1000, false);
        bool readable = false;
        if (core::FileExists(file_)) {
            for (int attempt = 0; attempt < 60 && !(readable = core::OpensForSharedReading(file_)); ++attempt)
                gui::Wait(2000, false);
            gui::Wait(2000, false);
        }
        if (readable) CompareFoundFile();
        tab_.Burner1()->TestUnitReady(5000);
    }

    void CompareFoundFile() {
        tab_.Burner1()->Image.ClearAll(maxFiles, maxFolders);
        // A failed import leaves at most the sessions before the new one in the tree: a file
        // of the same name there is an older one.
        const bool imported = tab_.ImportSessionX();
        disc::TFEntry* entry = nullptr;
        if (imported) {
            BurnerUse burner = tab_.Burner1();
            disc::TDEntry* dir = inFolder_ ? burner->Image.FindDir(folder_) : burner->Image.Root();
            if (dir) entry = burner->Image.FindFile(dir, name_);
        }
        if (!entry) {
            const std::string missing = "Could not find " + name_ + " on the disc, test the file manually";
            Log(missing);
            tab_.Status(missing);
            return;
        }
        tab_.Status("Comparing disc with " + name_);
        gui::Wait(200, false);
        try {
            tab_.CompareOK = tab_.Burner1()->VerifyFile(entry, file_);
        } catch (const std::exception& error) {
            Log(name_ + " could not be compared - " + error.what());
            tab_.CompareOK = false;
        }
        if (tab_.CompareOK && tab_.CBLeaveCDopen->Checked() && !tab_.cbDoNotOpenCD->Checked())
            tab_.Burner1()->LoadEject(true);
        if (!tab_.CompareOK) {
            Log(compareFailed);
            tab_.Status(compareFailed);
            return;
        }
        const std::string ok = name_ + " - Burned and compared with source, OK";
        Log(ok);
        tab_.Status(ok);
        tab_.BurnRetry = 0;
        gui::Wait(2000, false);
        if (!flags_.Hidden)
            tab_.form_.AppMsg1->ShowMsg(
                "Tarnwick", "Disc created and compared with source, it is now safe to remove the media",
                true);
    }

    void Conclude(bool failed) {
        tab_.Writing = false;
        tab_.DiscBusy = false;
        if (!failed && tab_.CompareOK) {
            tab_.Status("Disc with " + name_ + " created");
            if (!flags_.Hidden)
                tab_.form_.AppMsg1->ShowMsg("Tarnwick", "Disc created, it is now safe to remove the media",
                                            true);
        } else if (failed) {
            Log(tab_.DiscFileName + " " + burnError + ", given up");
        }
    }

    // A cancel before a write: nothing started, nothing to abort.
    void GiveUpOnCancel() {
        const std::string line = tab_.DiscFileName + " not burned, cancelled by user";
        Log(line);
        tab_.Status(line);
    }

    TDiscTab& tab_;
    core::ProgramFlags& flags_;
    const std::string file_, name_, device_;
    bool dvd_ = false, inFolder_ = false;
    std::string folder_, label_;
    int lastSpeedTried_ = 1;
};

void TDiscTab::BurnFile(const std::string& file) {
    FileBurn(*this, file).Run();
}

} // namespace ui
