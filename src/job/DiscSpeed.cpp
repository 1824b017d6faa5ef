#include "job/DiscSpeed.h"

#include "core/DateText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace job {

namespace {
constexpr int cdStep = 177;
constexpr int dvdStep = 700;
constexpr int noPreferenceStart = 706;
// A drive that reports within this of the target has taken it.
constexpr int closeEnough = 100;
constexpr int blockBytes = 2048;
constexpr int maxSpeedField = 65535;

// A preference of many digits asks for more than any drive's 16-bit speed field holds: that
// field's top, never an overflow.
int Multiple(int multiple, bool cd, int dvdUnit) {
    const double speed = multiple * (cd ? CdMultiple : static_cast<double>(dvdUnit));
    return speed >= maxSpeedField ? maxSpeedField : static_cast<int>(std::lround(speed));
}

// The component keeps the speed the drive took, not the one asked for.
void KeepReadBack(SpeedDrive& drive, int readBack) {
    if (readBack != drive.WriteSpeed()) drive.SetWriteSpeed(readBack);
}

std::string Grouped(int value, char thousandSeparator) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), 1, thousandSeparator);
    return (value < 0 ? "-" : "") + digits;
}
} // namespace

int ApplyPreferredWriteSpeed(SpeedDrive& drive, int preferredMultiple, bool cd) {
    const int step = cd ? cdStep : dvdStep;
    const int max = drive.MaxWriteSpeed();
    int current = 0;
    if (preferredMultiple > 0) {
        const int target = std::min(Multiple(preferredMultiple, cd, DvdRequestMultiple), max);
        drive.SetWriteSpeed(target);
        current = drive.CurrentWriteSpeed();
        // Walk down until the drive reports about the target; never ask for 0 or less,
        // which drives read as "the maximum".
        for (int speed = current; target + closeEnough < current && speed - step >= 1;) {
            speed -= step;
            drive.SetWriteSpeed(speed);
            current = drive.CurrentWriteSpeed();
        }
        KeepReadBack(drive, current);
        const int cap = std::min(Multiple(preferredMultiple, cd, DvdMultiple), max);
        if (current > cap) {
            drive.SetWriteSpeed(cap);
            current = drive.CurrentWriteSpeed();
        }
        return current;
    }
    drive.SetWriteSpeed(noPreferenceStart);
    const int base = drive.CurrentWriteSpeed();
    current = base;
    for (int speed = base; speed <= max + closeEnough;) {
        speed += step;
        drive.SetWriteSpeed(speed);
        const int readBack = drive.CurrentWriteSpeed();
        KeepReadBack(drive, readBack);
        current = readBack;
        if (readBack > base) break;
    }
    if (current > max) {
        drive.SetWriteSpeed(max);
        current = drive.CurrentWriteSpeed();
    }
    return current;
}

std::optional<int> SpeedTextToKBs(std::string_view text, bool dvd) {
    const std::string_view number = text.substr(0, text.find_first_of("xX"));
    if (number.find_first_not_of(" \t") == std::string_view::npos) return std::nullopt;
    double multiple = 0;
    try {
        multiple = core::StrToFloatAnySep(number, '.');
    } catch (const core::EConvertError&) {
        try {
            multiple = core::StrToFloatAnySep(number, ',');
        } catch (const core::EConvertError&) {
            return std::nullopt;
        }
    }
    const double speed = std::round(multiple * (dvd ? DvdMultiple : CdMultiple) + 1);
    // A speed the drive's 16-bit field cannot hold is no speed.
    if (!(speed >= 1 && speed <= 65535)) return std::nullopt;
    return static_cast<int>(speed);
}

std::vector<std::string> ProbeSpeedEntries(SpeedDrive& drive, bool dvd, int step, char decimalSeparator,
                                           char thousandSeparator) {
    std::vector<std::string> entries;
    if (step <= 0) return entries;
    for (int speed = drive.MaxWriteSpeed(); speed > 0; speed -= step) {
        drive.SetWriteSpeed(speed);
        const int readBack = drive.CurrentWriteSpeed();
        const std::string entry = core::SpeedText(readBack, dvd ? 4 : 0, decimalSeparator).text + " (" +
                                  Grouped(readBack, thousandSeparator) + " KB/s)";
        if (std::find(entries.begin(), entries.end(), entry) == entries.end()) entries.push_back(entry);
    }
    return entries;
}

int BurnSpeedMeter::Sample(int64_t bytesWritten, int64_t elapsedMs) {
    if (bytesWritten == 0) LastSampleBytes = 0;
    if (bytesWritten <= 1000) return LastSpeed = 0;
    if (elapsedMs <= 0) return LastSpeed;
    const int64_t delta = bytesWritten - LastSampleBytes;
    LastSampleBytes = bytesWritten;
    const int speed = static_cast<int>(std::max<int64_t>(0, delta * 1000 / 1024 / elapsedMs));
    if (delta > 0 && speed > MaxSpeedSeen) MaxSpeedSeen = speed;
    if (speed != 0 || SpeedSum != 0) {
        SpeedSum = static_cast<int>((int64_t{SpeedSum} * SpeedSamples + speed) / (SpeedSamples + 1));
        ++SpeedSamples;
    }
    return LastSpeed = speed;
}

int64_t DiscFreeBytes(const DiscRoomFacts& facts) {
    // A capacity with the top bit set is no disc anyone makes (0xFFFFFFFF: the drive's
    // "unknown"): no room.
    if (!facts.Ready || facts.Capacity >= 0x80000000u) return 0;
    // A count with the top bit set is a drive's "unknown" (or garbage): no room, not 8 TB.
    const int64_t free = facts.FreeBlocks >= 0x80000000u ? 0 : int64_t{facts.FreeBlocks};
    const int64_t behindLastWrite =
        std::max<int64_t>(0, int64_t{facts.Capacity} - int64_t{facts.NextWritableAddress});
    constexpr int dvdR = 5, dvdRam = 6, complete = 2;
    int64_t blocks = 0;
    if (facts.MediaType < dvdR || facts.MediaType == dvdRam)
        blocks = facts.DiscStatus == complete ? 0 : std::max(free, behindLastWrite);
    else if (facts.Erasable)
        blocks = facts.Capacity == 0 ? 0 : std::max(free, behindLastWrite);
    else
        blocks = facts.DiscStatus == complete ? 0 : free;
    const int64_t bytes = blocks * blockBytes;
    return bytes < LeastDiscFreeBytes ? 0 : bytes;
}

std::string MegabytesText(int64_t bytes) {
    const int64_t hundredths = (bytes * 100 + 524'288) / 1'048'576;
    const std::string whole = std::to_string(hundredths / 100);
    std::string grouped;
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
        grouped += whole[i];
    }
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%02d", static_cast<int>(hundredths % 100));
    return grouped + fraction;
}

} // namespace job
