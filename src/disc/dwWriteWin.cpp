// The write: BurnCD on the GUI thread lays the session out and starts the cache reader; once
// the cache is primed, TThWrite sends the blocks to the drive (or to an ISO file), flushes,
// closes track and session as the medium needs, resets the drive and reports through
// OnWriteDone on the GUI thread.
//
// Every error, the reader's or the writer's, ends up as the cache's error text (the first one
// wins), so the one place that reports is the finish step and there is exactly one report.
// The drive's answers are never trusted to end a loop: busy retries, time-outs and the flush
// countdown are all bounded.

#include <windows.h>

#include <mmsystem.h>

#include "disc/dwBurner.h"

#include "disc/IsoRecords.h"
#include "disc/dwCache.h"
#include "disc/dwConst.h"
#include "disc/dwSPTI.h"
#include "disc/dwSrb.h"
#include "gui/Clock.h"
#include "gui/Thread.h"
#include "gui/Wait.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace disc {

namespace {

constexpr int kBusyTries = 10000;
constexpr int kTimeoutTries = 3;
constexpr int kCloseTries = 1000;
constexpr int kFlushPolls = 1800;
// A format in progress is followed for up to 900 polls (half an hour at 2 s).
constexpr int kFormatPolls = 900;
// A fresh medium's disc information comes within 360 polls of 5 s (half an hour).
constexpr int kReadyPolls = 360;
constexpr int kReadyPollMs = 5000;
// Once its drive commands are cut short a worker ends within seconds; one still there after
// this long is stuck inside the transport.
constexpr DWORD kWorkerExitMs = 60000;

// FORMAT UNIT parameter lists (header and one format descriptor).
// Blank sequential DVD-RW: quick format to restricted overwrite.
constexpr uint8_t kRwQuickFormat[12] = {0x00, 0xA2, 0x00, 0x08, 0x00, 0x00,
                                        0x03, 0xE8, 0x54, 0x00, 0x00, 0x10};
// Empty restricted-overwrite DVD-RW: grow the format, or format the whole medium again.
constexpr uint8_t kRwGrowFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                       0x00, 0x00, 0x4C, 0x00, 0x00, 0x10};
constexpr uint8_t kRwFullFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                       0x00, 0x00, 0x54, 0x00, 0x00, 0x10};

// "1,234" for the progress lines.
std::string Thousands(unsigned value) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

bool IsOverwritable(int media) {
    return media == mtDVDPLUSRW || media == mtDVDRAM || media == mtDVDRWRestricted;
}

bool IsDvdRw(int media) {
    return media == mtDVDRW || media == mtDVDRWRestricted || media == mtDVDRWSequential;
}

// The drive is only busy for now: same write again later.
bool BusyAnswer(const TSCSIDevice& device) {
    return device.Busy || device.LastSense[12] == 0x04 || device.LastSense[12] == 0;
}

bool TimedOut(const TSCSIDevice& device) {
    return device.LastError == DiscMessage(AdapterStatusMessage(HASTAT_TIMEOUT));
}

std::string WriterError(const TSCSIDevice& device) {
    return std::string(DiscMessage(msgWriterError)) + " [" + device.LastError + "]";
}

// The reader steps down as the queue fills, so disk reads never starve the writer.
void SetReaderPriority(TCacheThread::Priority priority) {
    static const int levels[] = {THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_LOWEST,
                                 THREAD_PRIORITY_IDLE};
    SetThreadPriority(GetCurrentThread(), levels[static_cast<int>(priority)]);
}

std::atomic<int> timerPeriodsHeld{0};

// The writer's pauses are 1 ms sleeps; the system's default tick of 10-16 ms would stretch
// each one and starve the drive, so a write asks for 1 ms timer resolution while it runs.
class TimerPeriod {
  public:
    TimerPeriod() : held_(timeBeginPeriod(1) == TIMERR_NOERROR) {
        if (held_) ++timerPeriodsHeld;
    }
    ~TimerPeriod() {
        if (!held_) return;
        timeEndPeriod(1);
        --timerPeriodsHeld;
    }
    TimerPeriod(const TimerPeriod&) = delete;
    TimerPeriod& operator=(const TimerPeriod&) = delete;

  private:
    const bool held_;
};

} // namespace

int HeldTimerPeriods() {
    return timerPeriodsHeld.load();
}

void WorkerPause(int milliseconds) {
    gui::Clock& clock = gui::CurrentClock();
    for (int spent = 0; spent < milliseconds; ++spent)
        clock.Sleep(1, false);
}

std::string StartLine(int id, int media, bool dvdFactor, uint16_t speed) {
    char factor[64];
    if (dvdFactor)
        std::snprintf(factor, sizeof factor, "%.1fX (%s KB/s)", speed / 1385.0, Thousands(speed).c_str());
    else
        std::snprintf(factor, sizeof factor, "%.0fX (%s KB/s)", speed / 176.4, Thousands(speed).c_str());
    char line[256];
    std::snprintf(line, sizeof line, DiscMessage(id), MediaTypeName(media), factor);
    return std::string(">>> ") + line;
}

class TThWrite : public gui::TThread {
  public:
    TThWrite(TDiscBurner& burner, std::shared_ptr<TCacheThread> cache, bool fileMode)
        : TThread(true), burner_(burner), cache_(std::move(cache)), fileMode_(fileMode) {
        FreeOnTerminate = true;
        ++burner_.workers_;
    }

  protected:
    void Execute() override {
        {
            TimerPeriod period;
            burner_.writing_ = true;
            burner_.Progress = 0;
            try {
                buffer_.resize(cache_->Payload());
                if (fileMode_)
                    WriteFile();
                else
                    WriteDisc();
            } catch (const std::exception& error) {
                // Still one report, and the component is free again.
                Fail(std::string(DiscMessage(msgWriterError)) + " [" + error.what() + "]");
            }
            // The reader reads the component's image: it must be gone before the component
            // may be freed, which the report below allows.
            cache_->Join();
        }
        Finish();
    }

  private:
    void Fail(const std::string& text) { cache_->Abort(text); }
    bool Failed() const { return !cache_->Error().empty(); }

    void WriteFile() {
        const std::string& path = burner_.ISOFileName;
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) {
            char text[512];
            std::snprintf(text, sizeof text, DiscMessage(msgCantCreateFile), path.c_str());
            return Fail(text);
        }
        for (int got; (got = cache_->GetBlock(buffer_.data(), true)) > 0;) {
            if (std::fwrite(buffer_.data(), 1, static_cast<size_t>(got), out) != static_cast<size_t>(got)) {
                Fail(std::string(DiscMessage(msgWriterError)) + " [" + path + "]");
                break;
            }
            burner_.Progress += got;
        }
        if (std::fclose(out) != 0 && !Failed())
            Fail(std::string(DiscMessage(msgWriterError)) + " [" + path + "]");
        CheckLength();
    }

    void CheckLength() {
        if (!Failed() && static_cast<uint64_t>(burner_.Progress.load()) != cache_->ImageBytes())
            Fail(DiscMessage(msgInternalError4));
    }

    void WriteDisc() {
        TDiscBurner& d = burner_;
        d.ReadBufferCapacity(d.DeviceBufferSize, d.DeviceFreeBufferSize);
        media_ = d.GetMediaType();
        d.LoadEject(false);
        if (media_ != mtDVDPLUSRW) d.Rezero();
        d.SetCDSpeed(d.ReadSpeed, d.WriteSpeed());
        d.WaitReady(10000, 1000);
        const uint16_t speed = d.GetCurrentWriteSpeed();
        // Queries set the write parameters of their own, so ask before ours are set.
        track_ = static_cast<uint16_t>(d.GetLastSession() + 1);
        // The queries above left the drive's page set to finish the disc: a write on it would
        // close the disc for good where a session was asked for.
        if (!d.SetWriteParameters(d.TestWrite, d.UnderrunProtection, media_)) return Fail(WriterError(d));
        const uint32_t blocks = static_cast<uint32_t>(cache_->ImageBytes() / kBlockSize);
        if (media_ == mtDVDR) {
            uint8_t performance[28] = {};
            const uint32_t fields[] = {0, 2298495, 43965, 1000, 1418, 1000};
            for (int i = 0; i < 6; ++i)
                for (int b = 0; b < 4; ++b)
                    performance[4 + i * 4 + b] = static_cast<uint8_t>(fields[i] >> (24 - 8 * b));
            d.SetStreaming(performance, sizeof performance);
            d.SendTimeStamp(gui::CurrentClock().Now());
            d.ReserveTrack((blocks + 31) / 32 * 32);
            d.WaitReady(10000, 1000);
        }
        if (media_ != mtDVDRAM && !d.TestWrite && d.PerformOPC) d.SendOPC();
        d.DoDebugMessage(StartLine(msgStartingWrite, media_, media_ >= mtDVDR && media_ <= mtDVDPLUSR, speed),
                         kMsgProgress);
        if (d.TestWrite) d.DoDebugMessage(std::string(">>> ") + DiscMessage(msgTestWrite), kMsgProgress);

        WriteData();
        if (!Failed()) CheckLength();
        Flush();
        // A failed or cancelled write leaves the drive as it is: resetting it would load a
        // tray the user has just opened.
        if (Failed()) return;
        if (!d.TestWrite && IsOverwritable(media_) && d.MultisessionStart() > 0) PublishDescriptors();
        if (!d.TestWrite && media_ != mtDVDRAM && d.FinalizeTrack) Close();
        d.WaitReady(240000, 5000);
        if (media_ != mtDVDRAM) d.ReadBufferCapacity(d.DeviceBufferSize, d.DeviceFreeBufferSize);
        d.ResetDrive();
    }

    // One WRITE(10), repeated while the drive is only busy. False when the write failed.
    bool WriteBlocks(uint32_t lba, const uint8_t* data, uint32_t bytes) {
        TDiscBurner& d = burner_;
        const uint16_t count = static_cast<uint16_t>(bytes / kBlockSize);
        int timeouts = 0;
        for (int tries = 0;; ++tries) {
            if (Failed()) return false;
            if (d.Write10(lba, count, 0x50, bytes, data)) return true;
            if (TimedOut(d)) {
                if (++timeouts > kTimeoutTries) break;
                continue;
            }
            if (!firstWriteDone_ && media_ == mtDVDPLUSRW && d.LastSense[12] == 0x30 && !formatTried_) {
                formatTried_ = true;
                if (!d.FormatUnit(kFormatWithList, kPlusRwFullFormat, sizeof kPlusRwFullFormat)) break;
                WhileInProgress(2000);
                continue;
            }
            if (!BusyAnswer(d)) break;
            if (tries + 1 >= kBusyTries) {
                Fail(DiscMessage(msgWriterBusy));
                return false;
            }
            WorkerPause(600);
        }
        Fail(WriterError(d));
        return false;
    }

    void WhileInProgress(int stepMs) {
        for (int polls = 0; polls < kFormatPolls && !Failed(); ++polls) {
            uint8_t sense[40] = {};
            burner_.RequestSense(sense, sizeof sense);
            if (sense[12] != 0x04) return;
            WorkerPause(stepMs);
        }
    }

    void WriteData() {
        TDiscBurner& d = burner_;
        for (;;) {
            const int got = cache_->GetBlock(buffer_.data(), true);
            if (got <= 0) return;
            if (got % kBlockSize != 0) return Fail(DiscMessage(msgInternalError4));
            const uint32_t lba =
                d.MultisessionStart() + static_cast<uint32_t>(d.Progress.load() / kBlockSize);
            if (!WriteBlocks(lba, buffer_.data(), static_cast<uint32_t>(got))) return;
            firstWriteDone_ = true;
            d.Progress += got;
        }
    }

    void Flush() {
        TDiscBurner& d = burner_;
        if (media_ != mtDVDRAM) d.ReadBufferCapacity(d.DeviceBufferSize, d.DeviceFreeBufferSize);
        if (d.OnFinalizingTrack) d.OnFinalizingTrack(&d);
        if (media_ == mtDVDR || IsDvdRw(media_)) {
            const bool started = d.SyncCache(1800000, true);
            int polls = 0;
            for (; polls < kFlushPolls && !Failed() &&
                   !d.ReadDiscInformation(DiscInformationBuffer, DiscInformationLength);
                 ++polls) {
                const uint32_t step = d.DeviceBufferSize / 960;
                d.DeviceFreeBufferSize = d.DeviceFreeBufferSize > step ? d.DeviceFreeBufferSize - step : 0;
                WorkerPause(1000);
            }
            if (!Failed() && (!started || polls == kFlushPolls)) Fail(WriterError(d));
        } else if (!d.SyncCache(120000, false) && !d.SyncCache(120000, true) && !Failed()) {
            Fail(WriterError(d));
        }
        d.DeviceBufferSize = 0;
        d.DeviceFreeBufferSize = 0;
    }

    // Overwritable media keep one volume from block 0: the new descriptors at block 16 make
    // the session the one readers and the next import see.
    void PublishDescriptors() {
        std::vector<uint8_t> set = burner_.Image.DescriptorSet();
        set.resize((set.size() + kBlockSize - 1) / kBlockSize * kBlockSize);
        if (!WriteBlocks(16, set.data(), static_cast<uint32_t>(set.size()))) return;
        if (!burner_.SyncCache(120000, false) && !Failed()) Fail(WriterError(burner_));
    }

    void Close() {
        TDiscBurner& d = burner_;
        if (media_ != mtDVDR && !d.SetWriteParameters(d.TestWrite, d.UnderrunProtection, media_))
            return Fail(WriterError(d));
        bool closed = true;
        if (media_ == mtDVDPLUSR) {
            closed = d.CloseTrackSession(false, 1, track_) && d.CloseTrackSession(false, 2, 0xFF);
        } else if (media_ == mtDVDR) {
            closed = d.CloseTrackSession(false, 1, track_) && d.CloseTrackSession(false, 1, track_ + 1) &&
                     d.CloseTrackSession(false, 2, track_ + 2);
        } else if (IsDvdRw(media_)) {
            closed = d.CloseTrackSession(true, 2, 0);
        } else if (media_ == mtDVDPLUSRW) {
            closed = d.CloseTrackSession(false, 3, 0xFF);
        } else {
            closed = false;
            for (int tries = 0; tries < kCloseTries && !closed; ++tries) {
                closed = d.CloseTrackSession(d.QuirkImmediateClose, 2, 0);
                if (closed) break;
                // A drive still writing out its buffer answers BUSY, often with no sense data.
                if (!d.Busy && d.LastSense[12] != 0x04) {
                    closed = d.CloseTrackSession(d.QuirkImmediateClose, 2, 0);
                    break;
                }
                WorkerPause(1000);
            }
        }
        if (!closed && !Failed()) Fail(WriterError(d));
    }

    void Finish() {
        TDiscBurner& d = burner_;
        const std::string error = cache_->Error();
        d.LastWriteError = error;
        d.writing_ = false;
        try {
            gui::TThread::Synchronize([&d, &error] {
                if (d.OnWriteDone) d.OnWriteDone(&d, error);
            });
        } catch (...) {
            --d.workers_;
            throw;
        }
        // A second for the drive to settle before it is handed back to the application.
        if (!fileMode_) WorkerPause(1000);
        CloseAfterCommand = true;
        --d.workers_;
    }

    TDiscBurner& burner_;
    std::shared_ptr<TCacheThread> cache_;
    const bool fileMode_;
    std::vector<uint8_t> buffer_;
    int media_ = mtUnknown;
    uint16_t track_ = 1;
    bool firstWriteDone_ = false, formatTried_ = false;
};

void TDiscBurner::SetCacheSize(uint32_t Bytes) {
    if (Bytes < 2097152) Bytes = 2097152;
    cacheSize_ = Bytes / kBlockSize * kBlockSize;
}

int TDiscBurner::GetCacheFillPercent() {
    return writing_ && cache_ ? cache_->FillPercent() : 0;
}

void TDiscBurner::AbortWrite() {
    // BurnCD pumps messages while it prepares, before its cache exists: the request waits
    // for the cache there.
    abortRequested_ = true;
    if (cache_) cache_->Abort();
}

void TDiscBurner::ResetDrive() {
    SetWriteParameters(false, UnderrunProtection, mtCDR);
    SetCDSpeed(0xFFFF, 2);
    Rezero();
    LockMedium(true);
    LoadEject(false);
    Rezero();
    TestUnitReady(5000);
}

bool TDiscBurner::BurnCD() {
    if (writing_) return false;
    const bool fileMode = !ISOFileName.empty();
    LastWriteError.clear();
    abortRequested_ = false;
    int media = mtUnknown;
    if (fileMode) {
        Image.PrepareImage(0);
    } else {
        media = GetMediaType();
        bool formatted = true;
        uint32_t volume = 0;
        // A disc whose volume cannot be read is not taken for an empty one: a format could
        // wipe what it holds.
        if (media == mtDVDRWSequential && GetDiscStatus() == 0) {
            formatted = FormatUnit(kFormatWithList, kRwQuickFormat, sizeof kRwQuickFormat);
        } else if (media == mtDVDRWRestricted && ReadISOVolumeSize(volume) && volume == 0) {
            formatted = FormatUnit(kFormatWithList, kRwGrowFormat, sizeof kRwGrowFormat) ||
                        FormatUnit(kFormatWithList, kRwFullFormat, sizeof kRwFullFormat);
        }
        if (!formatted) {
            // Writing to a medium that refused its format would only fail later and worse.
            LastWriteError = WriterError(*this);
            if (OnWriteDone) OnWriteDone(this, LastWriteError);
            return false;
        }
        for (int polls = 0;
             polls < kReadyPolls && !ReadDiscInformation(DiscInformationBuffer, DiscInformationLength) &&
             LastSense[12] == 0x04;
             ++polls)
            gui::Wait(kReadyPollMs, false);
        Prepare(false, true);
        media = GetMediaType();
        if (startUnknown_) {
            LastWriteError = DiscMessage(msgNextWritableAddress);
            if (OnWriteDone) OnWriteDone(this, LastWriteError);
            return false;
        }
    }
    Image.BuildImageHead();
    const uint32_t payload = !fileMode && IsCDMedia(media) ? kPayloadCd : kPayloadDefault;
    cache_ = std::make_shared<TCacheThread>(cacheSize_, payload, Image, &SetReaderPriority);
    cache_->Start();
    if (abortRequested_) cache_->Abort();
    while (!cache_->Primed())
        gui::Wait(100, false);
    const std::string error = cache_->Error();
    if (!error.empty()) {
        LastWriteError = error;
        if (OnWriteDone) OnWriteDone(this, error);
        return false;
    }
    writing_ = true;
    auto* writer = new TThWrite(*this, cache_, fileMode);
    writer->SetPriority(gui::TThreadPriority::tpTimeCritical);
    KeepWorker(writer->Handle());
    writer->Resume();
    return true;
}

void TDiscBurner::KeepWorker(void* threadHandle) {
    std::erase_if(workerThreads_, [](void* thread) {
        if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) return false;
        CloseHandle(thread);
        return true;
    });
    HANDLE copy = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), threadHandle, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
        workerThreads_.push_back(copy);
}

TDiscBurner::~TDiscBurner() {
    AbortWrite();
    AbortCommands();
    // Real time bounds the wait: a test clock may run ahead of the real threads.
    const DWORD start = GetTickCount();
    auto inTime = [start] { return GetTickCount() - start < kWorkerExitMs; };
    while (workers_.load() > 0 && inTime())
        gui::Wait(10, false);
    bool ended = workers_.load() == 0;
    for (void* thread : workerThreads_) {
        while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT && inTime())
            gui::Wait(1, false);
        if (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) ended = false;
        CloseHandle(thread);
    }
    if (!ended) DoDebugMessage("DISC WRITER THREAD DID NOT END: NO LONGER WAITING FOR IT", kMsgError);
}

} // namespace disc
