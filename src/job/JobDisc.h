#pragma once
// The job's disc writer: the transport the start loads, the writer it chooses (by the job's
// writer choice, else by the destination's letter) and the room on the disc, in bytes
// (blocks of 2,048), over the window's disc-writer component.
//
// The capacity routines below read the drive through the window's component, taken for each
// call and let go before any pumped wait.

#include "job/DiscSpeed.h"
#include "job/JobHost.h"
#include "job/JobStart.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace job {

std::unique_ptr<DiscWriter> MakeJobDisc(JobHost& host);

// One use of the window's disc-writer component. Never kept across a pumped wait: the frame
// holding the component is made anew after every write and erase.
class BurnerCall {
  public:
    explicit BurnerCall(JobHost& host) : host_(host), burner_(host.BeginBurnerUse()) {}
    ~BurnerCall() {
        if (burner_) host_.EndBurnerUse();
    }
    BurnerCall(const BurnerCall&) = delete;
    BurnerCall& operator=(const BurnerCall&) = delete;
    disc::TDiscBurner* operator->() const { return burner_; }
    disc::TDiscBurner& operator*() const { return *burner_; }
    explicit operator bool() const { return burner_ != nullptr; }

  private:
    JobHost& host_;
    disc::TDiscBurner* burner_;
};

// The image tree emptied, as every disc routine sizes it.
void ClearImageTree(JobHost& host);

// The job's writer on the component: the chosen writer (an entry of the device list) when
// one is named, else the drive of the letter. Loads the transport when it is not. Again:
// looked up even when the device in use seems to be the one.
bool SelectBurnerDevice(JobHost& host, const std::string& choice, char letter, bool again = false);

// What the selected writer says about its disc, for the room rules (not ready: nothing else).
DiscRoomFacts ReadDiscRoomFacts(disc::TDiscBurner& burner, int readyMs);
// Bytes that can still be written to the disc in the selected writer (0 when not ready).
int64_t DiscFreeBytes(JobHost& host);
// The disc can be erased before the job writes: the writer is ready and its disc erasable,
// or a DVD-RAM.
bool CanEraseFirst(const DiscRoomFacts& facts);
// The disc's volume label for a write now: "yymmddhhmm" of the clock.
std::string DiscVolumeLabelNow();
// The same after selecting the writer again when no disc is seen, loading the tray unless
// the disc is to be left open.
int64_t ReadDiscFreeBytes(JobHost& host, const std::string& choice, char letter);
// Bytes available after an erase; -1 for a disc that cannot be erased (neither rewritable nor
// a DVD-RAM) and when the drive is not ready.
int64_t ReadDiscCapacityBytes(JobHost& host, const std::string& choice, char letter);

// One of the job's files (name in destination, dated date) and the disc in the writer: there
// with that date, as a file-system file or in the disc's last session (a disc without a session
// counts as holding it), not there, or not known because the drive was not ready or the
// session could not be read.
enum class JobFileOnDisc { Held, Needed, Unread };
JobFileOnDisc CheckJobFile(JobHost& host, const std::string& destination, const std::string& name,
                           double date);
// Said when the disc's sessions could not be read and nothing is written over them.
inline constexpr char UnreadDiscText[] =
    "The disc in the CD/DVD writer could not be read; no session is added that would hide what is on it";
// The disc in the writer needs the file written: it is not known to be there.
bool FileNeedsBurning(JobHost& host, const std::string& destination, const std::string& name, double date);
// The disc holds none of the files this job wrote (names and their date texts), as far as it
// could be read: a disc that could not be read may hold them, and is no disc to erase.
bool DiscHoldsNoJobFile(JobHost& host, const std::string& destination, const std::vector<std::string>& names,
                        const std::vector<std::string>& dates);

// Names in the destination folder of the disc's last session (none without a session). A disc
// whose sessions read as no file system gets the box that it must be erased (a log line while
// hidden), and no names.
std::vector<std::string> DiscFolderNames(JobHost& host, const std::string& destination);

} // namespace job
