#pragma once
// The sizes a job cuts its volumes by and the room it keeps back, in one place, each with the
// reason for its value. The start chooses the volume size and the reserve; the planner fills
// each volume within them.

#include <cstdint>

namespace job {

inline constexpr int64_t Mebibyte = 1'048'576;

// --- Volume sizes ---
// The default volume fills a 650 MB CD-R.
inline constexpr int64_t CdVolumeSize = 650 * Mebibyte;
// A zip without 64-bit records cannot hold offsets past 4 GiB - 1.
inline constexpr int64_t LargestVolumeSize = 4'294'967'295;
// Smaller volumes would hold little more than their own headers and directory.
inline constexpr int64_t SmallestVolumeSize = 4 * Mebibyte;
// A drive whose whole size lies in this window (644 to 656 MiB) is a CD-R formatted for packet
// writing: its file system takes a good part of the disc, so volumes are cut to
// PacketCdVolumeSize (530 MiB) instead of the disc's nominal size.
inline constexpr int64_t PacketCdSizeLow = 644 * Mebibyte;
inline constexpr int64_t PacketCdSizeHigh = 656 * Mebibyte;
inline constexpr int64_t PacketCdVolumeSize = 530 * Mebibyte;

// --- Room kept back ---
// A disc or CD-R written through a temporary file needs room for the volume's directory and
// the session's own records: 2 MiB. The planner also lowers a larger reserve to this once when
// the reserve alone would leave a volume empty.
inline constexpr int64_t DirectoryReserve = 2 * Mebibyte;
// Less free room than this on the destination is none: the job needs another medium. Above it,
// a partly used removable medium reserves what is already taken.
inline constexpr int64_t MinimumDestFreeSpace = 8'000'000;
// Below this a disc's capacity or free space is no measure of a usable medium.
inline constexpr int64_t UsableMediumFloor = 2'000'000;
// Windows XP writes a CD through a staging copy on the system drive: the temporary folder must
// hold that copy as well.
inline constexpr int64_t XpCdStagingMargin = 50'000'000;
// A volume built in the temporary folder needs room beside it for the zip component's work
// files (the directory copy, a staged entry) and the system's own.
inline constexpr int64_t TempFolderSlack = 30'000'000;

// --- The planner's limits within a volume ---
// A volume with less room than this is closed: the next entry would hardly fit.
inline constexpr int64_t CloseVolumeBelow = 1'200'000;
// An estimate must leave this much room for the entry's headers and its directory record.
inline constexpr int64_t EstimateMargin = 200'000;
// Space optimisation looks for deferred files only once this much of the volume is used, so a
// fresh volume starts with the main list in order.
inline constexpr int64_t OptimiseAfterUsed = 12'000'000;
// The destination's free space is read again after each this many bytes written.
inline constexpr int64_t FreeSpaceRecheckBytes = 10'000'000;
// The zip directory counts entries in 16 bits (65,535); the last volume still needs room for
// the catalogue list, the job log and up to ten trailing files.
inline constexpr int EntryLimit = 65'499;

// --- The size estimate ---
// Files up to this size are compressed whole; larger ones are sampled, so no estimate reads
// more than this.
inline constexpr int64_t EstimateWholeFileUpTo = 9'000'000;
// One block of the estimate, compressed on its own as a stored entry would be.
inline constexpr int64_t EstimateBlockSize = 1'000'000;
// A sampled estimate that falls and still leaves this much room is good enough.
inline constexpr int64_t EstimateRoomToSpare = 10'000'000;

} // namespace job
