#pragma once
// The flags and figures a disc write runs by, shared by the job's disc step, the single-file
// burn, the write-done and erase-done handling and the once-a-second status line. All of them
// live on the GUI thread; the pumped waits of one routine see the others' changes.

#include "job/DiscSpeed.h"

#include <string>

namespace job {

struct DiscWriteState {
    bool Writing = false;       // data are being written
    bool DiscBusy = false;      // the drive is busy with the write and its finalisation
    bool WaitWriteDone = false; // the write was started and its end is awaited
    bool BurnActive = false;    // a disc-writing routine is active
    bool Finalizing = false;    // all data written, the session being closed
    bool WriteFailed = false;   // the last write failed
    bool EraseDone = false;     // the last erase reported an error
    bool CompareOK = false;
    int BurnRetry = 0; // erase-and-retry rounds of one volume
    int CurWriteSpeed = 0;
    std::string CurSpeedText;
    int LastGoodSpeed = 0;
    BurnSpeedMeter Speed;
    double LastSampleTime = 0;
    std::string DiscFileName;
    std::string ZipFileName; // the name the status line shows
};

} // namespace job
