// Burning one chosen zip (or one part of a spanned zip) to the disc in the chosen writer as a
// new session, outside any job; the status line of a running write; the import of the disc's
// earlier sessions so that a new session continues the disc; the room on the disc.
//
// A failed write is tried again at the next speed the drive takes, from its lowest upwards;
// when no other speed is left, or the user cancels, the burn gives up. Success is said only
// after a write that succeeded and a comparison that found the disc equal to the file.
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
    for (int attempt = 0; attempt < 3 && !Burner1()->TestUnitReady(15000); ++attempt) {
    }
    if (!Burner1()->TestUnitReady(15000) || Burner1()->GetLastSession() <= 0) return true;
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
            if (free <= size && free > 0) {
                bar.SetMax(static_cast<int>(size));
                bar.SetPosition(static_cast<int>(size - free));
                if (bar.Position() == bar.Max()) WaitWriteDone = false;
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

void TDiscTab::BurnFile(const std::string& file) {
    const std::string name = file.substr(file.find_last_of("\\/") + 1);
    core::ProgramFlags& flags = form_.Flags();
    const auto cancelled = [this] { return form_.Session.Cancelled; };
    const std::string device =
        cbDrives->ItemIndex() >= 0 ? cbDrives->Items().Strings(cbDrives->ItemIndex()) : Burner1()->DeviceId;

    Burner1()->Image.ClearAll(maxFiles, maxFolders);
    Burner1()->LoadEject(false);
    Burner1()->TestUnitReady(15000);
    while (!Burner1()->TestUnitReady(5000) && !cancelled()) {
        form_.ShowMainWindow();
        if (Box(notReady, true) != gui::mrOk) return;
        ReleaseTransport();
        InitTransport();
        if (!device.empty()) Burner1()->SetDeviceID(device);
    }
    Burner1()->Image.ClearAll(maxFiles, maxFolders);
    const int64_t size = core::GetFileSizeByName(file);
    for (int64_t free = DiscFreeBytes(); size > free; free = DiscFreeBytes())
        if (Box(noRoom, true) != gui::mrOk) return;

    const bool dvd = Burner1()->GetMediaType() >= 4;
    ApplyChosenSpeed(dvd);
    CurWriteSpeed = Burner1()->GetCurrentWriteSpeed();
    const core::SpeedTextResult speedText =
        core::SpeedText(CurWriteSpeed, disc::LastMediaType, form_.Locale.decimalSeparator);
    CurSpeedText = speedText.text;
    MediaKindText = speedText.mediaKind;
    gui::ProcessMessages();
    gui::ProcessMessages();
    Burner1()->TestUnitReady(5000);
    ImportSessionX();
    form_.ProgressBar3->SetPosition(0);

    std::string destination;
    {
        std::string field = form_.Session.Job.Destination;
        const std::vector<std::string> destinations = job::ParseDestinations(field);
        if (!destinations.empty()) destination = destinations.front();
    }
    while (!destination.empty() && destination.back() == '\\')
        destination.pop_back();
    const std::string label = job::DiscVolumeLabelNow();
    DiscFileName = destination + "\\" + name;
    const bool inFolder = destination.find('\\') != std::string::npos && destination.size() > 3;
    const std::string folder = inFolder ? destination.substr(2) : std::string("\\");
    auto buildTree = [&] {
        BurnerUse burner = Burner1();
        burner->Image.IdVolume = label;
        burner->FinalizeTrack = true;
        if (inFolder) burner->Image.CreateDir("\\", folder);
        burner->Image.InsertFile(file, folder);
        burner->Prepare(false, false);
    };
    buildTree();
    ZipFileName = name;

    bool failed = true, giveUp = false;
    int lastSpeedTried = 1;
    while (failed && !giveUp) {
        WaitWriteDone = Writing = DiscBusy = true;
        WriteFailed = false;
        {
            BurnerUse burner = Burner1();
            burner->ReadBufferCapacity(burner->DeviceBufferSize, burner->DeviceFreeBufferSize);
            burner->FinalizeDisc = false;
            burner->FinalizeTrack = true;
            burner->LockMedium(false);
        }
        for (int attempt = 0; attempt < 200 && !Burner1()->TestUnitReady(5000); ++attempt)
            gui::Wait(200, false);
        Speed.Reset();
        LastSampleTime = gui::CurrentClock().Now();
        reports_->BurnErrorText.clear();
        Burner1()->BurnCD();
        bool abortAsked = false;
        while (WaitWriteDone) {
            // A cancel stops the write; its end still comes as a write done.
            if (cancelled() && !abortAsked) {
                abortAsked = true;
                frame_->Burner1.AbortWrite();
            }
            gui::Wait(200, false);
        }
        Writing = false;
        int stepsLeft = dvd ? 30000 : 3000;
        for (; DiscBusy && !cancelled() && stepsLeft > 0; --stepsLeft)
            gui::Wait(100, false);
        failed = WriteFailed || abortAsked;
        if (stepsLeft < 10) {
            failed = true;
            reports_->BurnErrorText = "Finalization " + reports_->BurnErrorText;
        }
        DiscBusy = false;
        Burner1()->LockMedium(true);
        if (!failed) LastGoodSpeed = CurWriteSpeed;
        // "Created" only for a write that succeeded, from the status tick too.
        if (failed) Finalizing = false;
        Status(failed ? std::string(burnError) : std::string(waitingForDrive));
        gui::Wait(5000, false);
        Finalizing = false;
        form_.ProgressBar3->SetPosition(0);

        if (failed) {
            const std::string line = DiscFileName + " " + burnError + " - " + reports_->BurnErrorText;
            form_.AddToLog(line);
            Burner1()->LockMedium(true);
            gui::Wait(1000, false);
            if (!cbDoNotOpenCD->Checked()) Burner1()->LoadEject(true);
            ReleaseTransport();
            gui::Wait(15000, false);
            for (int step = 0; step < 20 && !flags.DiscRemoved; ++step)
                gui::Wait(1000, false);
            InitTransport();
            if (!device.empty()) Burner1()->SetDeviceID(device);
            gui::Wait(1000, false);
            Burner1()->LoadEject(false);
            gui::Wait(15000, false);
            for (int step = 0; step < 20 && !flags.DiscArrived; ++step)
                gui::Wait(1000, false);
            Burner1()->TestUnitReady(5000);
            Status(line);
            if (cancelled()) break;
            // The next speed the drive takes above the last one tried, from its lowest up.
            const int current = Burner1()->GetCurrentWriteSpeed();
            const int max = Burner1()->GetMaxWriteSpeed();
            bool found = false;
            for (int speed = 1; speed <= max && !found; speed += dvd ? 700 : 176) {
                Burner1()->SetWriteSpeed(static_cast<uint16_t>(speed));
                const int taken = Burner1()->GetCurrentWriteSpeed();
                if (taken != current && taken > lastSpeedTried) {
                    found = true;
                    lastSpeedTried = CurWriteSpeed = taken;
                    CurSpeedText =
                        core::SpeedText(taken, disc::LastMediaType, form_.Locale.decimalSeparator).text;
                    Burner1()->Image.ClearAll(maxFiles, maxFolders);
                    ImportSessionX();
                    buildTree();
                    form_.AddToLog("Error burning to disc, now trying with: " + std::to_string(taken) +
                                   " KB/s");
                }
            }
            giveUp = !found;
            continue;
        }

        form_.AddToLog(DiscFileName + " burned to disc - Avg. " + std::to_string(Speed.SpeedSum) +
                       " KB/s, Max " + std::to_string(Speed.MaxSpeedSeen) + " KB/s");
        Burner1()->LockMedium(true);
        gui::Wait(1000, false);
        bool readable = false;
        if (core::FileExists(file)) {
            for (int attempt = 0; attempt < 60 && !(readable = core::OpensForSharedReading(file)); ++attempt)
                gui::Wait(2000, false);
            gui::Wait(2000, false);
        }
        if (readable) {
            Burner1()->Image.ClearAll(maxFiles, maxFolders);
            ImportSessionX();
            disc::TFEntry* entry = nullptr;
            {
                BurnerUse burner = Burner1();
                disc::TDEntry* dir = inFolder ? burner->Image.FindDir(folder) : burner->Image.Root();
                if (dir) entry = burner->Image.FindFile(dir, name);
            }
            if (entry) {
                Status("Comparing disc with " + name);
                gui::Wait(200, false);
                try {
                    CompareOK = Burner1()->VerifyFile(entry, file);
                } catch (const std::exception&) {
                    CompareOK = false;
                }
                if (CompareOK && CBLeaveCDopen->Checked() && !cbDoNotOpenCD->Checked())
                    Burner1()->LoadEject(true);
                if (CompareOK) {
                    const std::string ok = name + " - Burned and compared with source, OK";
                    form_.AddToLog(ok);
                    Status(ok);
                    BurnRetry = 0;
                    gui::Wait(2000, false);
                    if (!flags.Hidden)
                        form_.AppMsg1->ShowMsg(
                            "Tarnwick",
                            "Disc created and compared with source, it is now safe to remove the media",
                            true);
                } else {
                    form_.AddToLog(compareFailed);
                    Status(compareFailed);
                }
            } else {
                const std::string missing = "Could not find " + name + " on the disc, test the file manually";
                form_.AddToLog(missing);
                Status(missing);
            }
        }
        Burner1()->TestUnitReady(5000);
    }
    Writing = false;
    DiscBusy = false;
    if (!failed && CompareOK) {
        Status("Disc with " + name + " created");
        if (!flags.Hidden)
            form_.AppMsg1->ShowMsg("Tarnwick", "Disc created, it is now safe to remove the media", true);
    } else if (failed) {
        form_.AddToLog(DiscFileName + " " + burnError + ", given up");
    }
}

} // namespace ui
