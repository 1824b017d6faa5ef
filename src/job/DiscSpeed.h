#pragma once
// The disc side's numbers that need no drive to be worked out: which write speed to ask for
// and how to walk the drive to one it accepts, the speed list's entries, a speed typed as a
// multiple ("8x") in KB/s, the measured speed of a running write, and the room left on a disc.
//
// Drives answer a speed request with the nearest speed they support, rounding up or down as
// they please, so every rule here asks, reads back, and decides on what the drive reports.
// The drive's answers are untrusted: a count that cannot be true gives no room, never more.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace job {

// One CD multiple is 176.4 KB/s; a DVD multiple 1,400 KB/s for the first request and
// 1,385 KB/s for the cap and the texts.
constexpr double CdMultiple = 176.4;
constexpr int DvdRequestMultiple = 1400;
constexpr int DvdMultiple = 1385;

// The drive as the speed rules use it. Speeds in KB/s as the drive reports them.
class SpeedDrive {
  public:
    virtual ~SpeedDrive() = default;
    virtual int MaxWriteSpeed() = 0;
    // Asks the drive for this speed; the component keeps it as its WriteSpeed.
    virtual void SetWriteSpeed(int kilobytesPerSecond) = 0;
    virtual int WriteSpeed() = 0;
    // The speed the drive took, read back from it.
    virtual int CurrentWriteSpeed() = 0;
};

// Sets the drive's speed from the preferred multiple (0: none, the first speed above 706 KB/s
// that the drive really takes) and answers the speed in use.
int ApplyPreferredWriteSpeed(SpeedDrive& drive, int preferredMultiple, bool cd);

// A speed text of the speed list or typed by the user ("8x", "2.4x (3,324 KB/s)", "4,0x"):
// the multiple before the first "x" in KB/s, plus one so that the drive rounds to the
// multiple and not below it. Nothing for an empty or unreadable text.
std::optional<int> SpeedTextToKBs(std::string_view text, bool dvd);

// The speed list's entries: from the drive's maximum down in steps, each speed the drive
// takes once, as "10x (1,764 KB/s)" (CD) or "4.0x (5,540 KB/s)" (DVD).
std::vector<std::string> ProbeSpeedEntries(SpeedDrive& drive, bool dvd, int step, char decimalSeparator = '.',
                                           char thousandSeparator = ',');

// The measured speed of a write, sampled once a second from the bytes written so far.
struct BurnSpeedMeter {
    int64_t LastSampleBytes = 0;
    int SpeedSum = 0; // the running mean of the samples
    int SpeedSamples = 0;
    int MaxSpeedSeen = 0;
    int LastSpeed = 0;

    void Reset() { *this = BurnSpeedMeter{}; }
    // The speed to show for this tick. A tick with no time passed since the last one takes
    // no sample (its speed would be a division by zero) and shows the last speed again.
    int Sample(int64_t bytesWritten, int64_t elapsedMs);
};

// What the drive said about its disc, as the room rules read it.
struct DiscRoomFacts {
    bool Ready = false;
    int MediaType = 0;
    bool Erasable = false;
    int DiscStatus = 0; // 2: complete
    uint32_t FreeBlocks = 0;
    uint32_t NextWritableAddress = 0;
    uint32_t Capacity = 0;
};

// Discs with less than this are full.
constexpr int64_t LeastDiscFreeBytes = 15'000'000;

// Bytes that can still be written to the disc.
int64_t DiscFreeBytes(const DiscRoomFacts& facts);

// Bytes as megabytes of 1,048,576 in the write status line: "#,##0.00".
std::string MegabytesText(int64_t bytes);

} // namespace job
