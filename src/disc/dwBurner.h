#pragma once
// The disc-writer component: the image tree it will write, the write itself (BurnCD starts the
// cache reader and the writer thread, which reports through OnWriteDone), erasing rewritable
// media (EraseDisc and its follower thread, reporting through OnEraseDone), the import of an
// earlier session into the tree and the comparison of a written file with its source.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disc/IsoImage.h"
#include "disc/IsoImport.h"
#include "disc/dwDrvLib.h"

namespace disc {

class TCacheThread;

using TWriteDoneEvent = std::function<void(void* Sender, const std::string& Error)>;
using TEraseDoneEvent = std::function<void(void* Sender, bool WithError)>;

// Erase kinds.
enum TEraseKind : uint8_t { ekFull = 0, ekQuick = 1 };

class TDiscBurner : public TSCSIDevice {
  public:
    TDiscBurner();
    // Waits for a running write or erase to end first (a write is aborted).
    ~TDiscBurner() override;

    // The image of the next session (tree, layout, head).
    TIsoImage Image;
    // Entries brought in by imports since the tree was last cleared.
    int ImportedCount = 0;
    // The last ImportSession failed because the disc could not be read, not because its
    // session holds no file system.
    bool ImportReadFailed = false;
    // Progress of the running operation: bytes written, or percent while verifying.
    std::atomic<int64_t> Progress{0};

    bool TestWrite = false;
    bool FinalizeTrack = true;
    bool PerformOPC = false;
    // Non-empty: BurnCD writes an ISO file of this name instead of the disc.
    std::string ISOFileName;
    uint32_t CacheSize() const { return cacheSize_; }
    // At least 2 MiB, rounded down to whole blocks.
    void SetCacheSize(uint32_t Bytes);
    // The component's version; it cannot be changed.
    std::string Version() const { return "1.20.1"; }
    void SetVersion(const std::string&) {}
    // A transport is loaded.
    bool ASPIInitialized() const;

    TWriteDoneEvent OnWriteDone;
    TEraseDoneEvent OnEraseDone;
    std::function<void(void* Sender)> OnFinalizingTrack;

    // Starts a write; true when the writer runs (the outcome comes through OnWriteDone).
    // A failure before that reports through OnWriteDone at once and returns false.
    bool BurnCD();
    bool Writing() const { return writing_.load(); }
    std::string LastWriteError;
    int GetCacheFillPercent();
    // Asks a running write to stop, also while BurnCD still prepares it; it ends with
    // "OPERATION ABORTED BY USER".
    void AbortWrite();

    // Starts erasing (Kind: TEraseKind). False when the drive never became ready (no event)
    // or the command failed (OnEraseDone(true) has then been called).
    bool EraseDisc(uint8_t Kind);
    int GetEraseProgress() const { return Erasing ? eraseProgress_.load() : 0; }

    // Track-at-once defaults, speeds back to normal, tray unlocked and loaded: the drive as a
    // write or erase leaves it.
    void ResetDrive();
    // The session start the last Prepare laid out from.
    uint32_t MultisessionStart() const { return Image.SessionStart(); }

    // Lays the image out. Unless SkipSessionImport, the medium is detected (150 or 600 blocks
    // before data) and, with LookUpStart (a write is about to begin), a disc with sessions is
    // continued at its next writable address, or at the end of the existing volume on
    // overwritable media; a session an earlier failed write left open is closed first. A
    // start that cannot be read falls back to 0 with a message (and a write on sequential
    // media then fails instead of starting).
    void Prepare(bool SkipSessionImport, bool LookUpStart);

    // Reads session Session (-1 or beyond the last: the last) into Folder (nullptr: the root).
    // For the last, a session that a failed write left incomplete is passed over for the one
    // before it. Session 0 and a disc without sessions do nothing. Problems are debug
    // messages (mType 4).
    bool ImportSession(int8_t Session, TDEntry* Folder);
    // True when the disc data of Entry equals SourcePath. Throws EIsoSourceMissing when the
    // source cannot be opened; an unreadable block counts as a difference.
    bool VerifyFile(const TFEntry* Entry, const std::string& SourcePath);

  private:
    friend class TThWrite;
    friend class TEraseThread;
    uint32_t cacheSize_ = 4194304;
    std::shared_ptr<TCacheThread> cache_;
    bool abortRequested_ = false;
    std::atomic<bool> writing_{false};
    std::atomic<int> eraseProgress_{0};
    // Workers alive that still touch this object.
    std::atomic<int> workers_{0};
    // Copies of the workers' thread handles: the destructor also waits until their threads
    // have ended, so none of them runs on while the test or program that owns us ends.
    std::vector<void*> workerThreads_;
    void KeepWorker(void* threadHandle);
    // Leaves the session's first data track (else its first track) in TrackInfo.
    bool FindSessionTrack(uint32_t Session);
    // The session found by FindSessionTrack holds a volume that ends within its recorded blocks.
    bool SessionIsWhole(IsoBlockReader& reader);
    void CloseUnfinishedSession(int type);
    // The last Prepare could not tell where the new session goes on a disc that needs it.
    bool startUnknown_ = false;
};

// Sleeps on the clock in 1 ms steps without pumping messages: for the writer and erase
// threads, which own no window (an empty pump costs more than the sleep under Wine).
void WorkerPause(int milliseconds);

// Timer-resolution requests that running writes hold (one per write, none when idle).
int HeldTimerPeriods();

// ">>> " and a start message (id) naming the medium and the speed, as a factor of the DVD or
// the CD base speed.
std::string StartLine(int id, int media, bool dvdFactor, uint16_t speed);

// Blocks of the selected drive's disc.
class DeviceBlockReader : public IsoBlockReader {
  public:
    explicit DeviceBlockReader(TSCSIDevice& device) : device_(device) {}
    bool ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override;
    // A read failed since the reader was made; the first read failed.
    bool Failed() const { return failed_; }
    bool FirstFailed() const { return firstFailed_; }

  private:
    TSCSIDevice& device_;
    bool failed_ = false, firstFailed_ = false, readBefore_ = false;
};

} // namespace disc
