// Erasing rewritable media. EraseDisc sends the one long command with the immediate bit on the
// GUI thread; TEraseThread then polls the drive until it is done, keeps a percentage for the
// progress display, resets the drive and reports through OnEraseDone on the GUI thread.
//
// Drives report "in progress" for as long as they like, so every poll loop is bounded by the
// expected duration of the medium; and the follower checks the result instead of assuming
// it: a drive that never comes back, or a blanked disc that is not empty, is an error.

#include "disc/dwBurner.h"

#include "disc/dwASPI.h"
#include "disc/dwConst.h"
#include "gui/Thread.h"
#include "gui/Wait.h"

#include <cmath>
#include <vector>

namespace disc {

namespace {

uint16_t ExpectedSeconds(int media, uint8_t kind) {
    if (IsCDMedia(media)) return kind == ekQuick ? 150 : 4500;
    if (kind == ekFull) return 4440;
    // Detection gives a DVD-RW as restricted overwrite or sequential, never the plain type.
    if (kind == ekQuick) return media == mtDVDRWRestricted || media == mtDVDRWSequential ? 180 : 600;
    return 8880;
}

const uint8_t kRamFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22, 0x21, 0x20, 0x00, 0x00, 0x08, 0x00};
constexpr uint32_t kZeroBytes = 32 * 2048;

bool IsBlanked(int media) {
    return media == mtCDRW || media == mtDVDRW || media == mtDVDRWRestricted || media == mtDVDRWSequential;
}

} // namespace

class TEraseThread : public gui::TThread {
  public:
    TEraseThread(TDiscBurner& burner, int media, uint8_t kind)
        : TThread(true), burner_(burner), media_(media), kind_(kind),
          expected_(ExpectedSeconds(media, kind)) {
        FreeOnTerminate = true;
        ++burner_.workers_;
    }

  protected:
    void Execute() override {
        try {
            Follow();
        } catch (const std::exception& error) {
            burner_.DoDebugMessage(error.what(), kMsgError);
            withError_ = true;
        }
        TDiscBurner& d = burner_;
        d.Erasing = false;
        TDiscBurner* self = &d;
        const bool error = withError_;
        gui::TThread::Synchronize([self, error] {
            if (self->OnEraseDone) self->OnEraseDone(self, error);
        });
        --d.workers_;
    }

  private:
    void Follow() {
        TDiscBurner& d = burner_;
        if (media_ == mtDVDRWRestricted || media_ == mtDVDRWSequential) {
            PollUnitReady(2, 1);
            WorkerPause(5000);
            PollUnitReady(2, 1);
        } else if (media_ == mtDVDPLUSRW) {
            do {
                WorkerPause(2000);
                elapsed_ += 2;
                d.ReadDiscInformation(DiscInformationBuffer, DiscInformationLength);
                Percent(1);
            } while (InProgress() && elapsed_ <= expected_);
            if (kind_ == ekQuick)
                OverwriteStart(65, [this] { Percent(3); });
            else
                OverwriteStart(71001, [this] { FullOverwritePercent(); });
            d.SyncCache(30000, false);
            d.CloseTrackSession(false, 3, 0xFF);
        } else if (media_ == mtDVDRAM && kind_ == ekQuick) {
            OverwriteStart(65, [this] { Percent(3); });
            d.SyncCache(30000, false);
        }
        if (d.QuirkSlowReady) {
            PollUnitReady(1, 2);
            d.ReadDiscInformation(DiscInformationBuffer, DiscInformationLength);
            WorkerPause(5000);
        }
        if (!(d.TestUnitReady(5000) && d.ReadDiscInformation(DiscInformationBuffer, DiscInformationLength)))
            SettleSlowDrive();
        WorkerPause(12000);
        // A blank or format can leave the emulation's open drive handle on a device the
        // system has since replaced, so its table is built anew; the transport is loaded and
        // unloaded on the GUI thread only.
        if (Transport().Name == InternalAspiName) gui::TThread::Synchronize([] { ReloadASPI(); });
        d.eraseProgress_ = 100;
        const bool ready = d.TestUnitReady(5000);
        withError_ = withError_ || !ready || (IsBlanked(media_) && d.GetDiscStatus() != 0);
        d.ResetDrive();
    }
    void Percent(int factor) { SetPercent(elapsed_ * factor / expected_ * 100); }
    // The full overwrite is 71,001 writes against 4,440 expected seconds: one second a write
    // would reach 99 % after a hundredth of them, so the loop's share is six per cent of the
    // elapsed/expected ratio and the bar moves over the whole loop.
    void FullOverwritePercent() { SetPercent(elapsed_ / expected_ * 6); }
    void SetPercent(double value) {
        const int percent = static_cast<int>(std::lround(value));
        burner_.eraseProgress_ = percent > 99 ? 99 : percent;
    }

    bool InProgress() const { return burner_.LastSense[12] == 0x04 || burner_.Busy; }

    // Test-unit-ready polls while busy; elapsed counts `step` seconds per poll.
    void PollUnitReady(int factor, int step) {
        for (;;) {
            Percent(factor);
            elapsed_ += step;
            if (!burner_.TestUnitReady(5000)) {
                WorkerPause(2000);
                if (InProgress() && elapsed_ <= expected_) continue;
            }
            return;
        }
    }

    template <typename Progress> void OverwriteStart(int writes, Progress progress) {
        std::vector<uint8_t> zeros(kZeroBytes);
        for (int i = 0; i < writes; ++i) {
            if (!burner_.Write10(static_cast<uint32_t>(i) * 32, 32, 0x50, kZeroBytes, zeros.data())) {
                // The first write covers the volume descriptors: without it the disc still
                // shows everything it held, and the erase has failed.
                if (i == 0) withError_ = true;
                break;
            }
            elapsed_ += 1;
            progress();
            if (writes < 100) WorkerPause(1);
        }
    }

    void SettleSlowDrive() {
        TDiscBurner& d = burner_;
        if (media_ != mtDVDRAM) {
            do {
                Percent(1);
                d.ReadDiscInformation(DiscInformationBuffer, DiscInformationLength);
                elapsed_ += 5;
                if (!InProgress()) break;
                WorkerPause(5000);
            } while (elapsed_ <= expected_);
        }
        PollUnitReady(1, 2);
        for (;;) {
            uint8_t sense[40] = {};
            d.RequestSense(sense, sizeof sense);
            // Only "no sense" ends the wait: a drive settling after a blank may answer
            // anything else (not ready, unit attention) for a while.
            const uint8_t asc = sense[0] == 0xF0 ? 0x04 : sense[12];
            if (asc == 0 || elapsed_ > expected_) return;
            elapsed_ += 2;
            Percent(1);
            WorkerPause(2000);
        }
    }

    TDiscBurner& burner_;
    const int media_;
    const uint8_t kind_;
    const double expected_;
    double elapsed_ = 0;
    bool withError_ = false;
};

bool TDiscBurner::EraseDisc(uint8_t Kind) {
    if (Erasing || Writing()) return false;
    if (!TestUnitReady(5000)) {
        LoadEject(false);
        if (!WaitReady(30000, 5000)) return false;
    }
    const int media = GetMediaType();
    if (media != mtDVDRAM) {
        SetCDSpeed(ReadSpeed, WriteSpeed());
        SetWriteParameters(false, UnderrunProtection, media);
    }
    const uint16_t speed = GetCurrentWriteSpeed();
    if (!TestUnitReady(5000) && !WaitReady(30000, 5000)) return false;
    DoDebugMessage(StartLine(msgStartingErase, media, media >= mtDVDRAM && media <= mtDVDPLUSRW, speed),
                   kMsgProgress);
    bool started;
    if (media == mtDVDPLUSRW) {
        started = FormatUnit(kFormatWithList, kPlusRwFullFormat, sizeof kPlusRwFullFormat);
        if (!started) {
            Rezero();
            gui::Wait(1000, false);
            started = FormatUnit(kFormatWithList, kPlusRwFullFormat, sizeof kPlusRwFullFormat);
        }
    } else if (media == mtDVDRAM && Kind == ekFull) {
        started = FormatUnit(kFormatWithList, kRamFormat, sizeof kRamFormat);
    } else if (media == mtDVDRAM) {
        std::vector<uint8_t> zeros(kZeroBytes);
        for (uint32_t i = 0; i < 11; ++i)
            Write10(i * 32, 32, 0x50, kZeroBytes, zeros.data());
        SyncCache(30000, false);
        started = true;
    } else {
        started = Blank(Kind);
    }
    if (!started) {
        Erasing = false;
        if (OnEraseDone) OnEraseDone(this, true);
        return false;
    }
    eraseProgress_ = 0;
    Erasing = true;
    auto* follower = new TEraseThread(*this, media, Kind);
    KeepWorker(follower->Handle());
    follower->Resume();
    return true;
}

} // namespace disc
