#pragma once
// The rules of volume preparation that need no drive: the volume's file name, the choice of a
// name that no older file or catalogued zip holds, the work files a volume's zip run leaves,
// where a volume is built, and the space arithmetic of the destination and the temporary
// drive. The runner applies them to what it reads of the drives.

#include "job/VolumeSizes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace job {

struct ZipNameOptions {
    std::string ZipName; // the job's base name: "-#" at its start asks for a fixed name; may hold "%DATE%"
    std::string ZipDate; // the job's start date, "yyyymmdd"
    bool ChangedOnly = false;
    bool ClearArchiveBit = false;
    bool OverwriteExistingZipFile1 = false;
};

// The volume's file name, ".zip" included. Without a base name: the date, the counter as three
// digits, "A" when only changed files are taken, "C" when archive bits stay set. With "-#" at
// the start of the base name and the overwrite option, unless keepFixedName asks otherwise:
// the same name every time. Else the base name and the counter. "%DATE%", in any case, becomes
// the date. zipNameNr is the counter (0 is taken as 1); a name that uses it raises it.
std::string MakeZipName(const ZipNameOptions& options, int& zipNameNr, bool keepFixedName);

// What the name test may ask about the destination, by file name.
struct VolumeNameProbe {
    std::function<bool(const std::string& name)> Exists;
    std::function<bool(const std::string& name)> InCatalog;
    // Deletes the file and answers whether it is gone. Empty where nothing may be deleted (a
    // disc, or the overwrite option unchecked).
    std::function<bool(const std::string& name)> Delete;
};

// From name on, the first volume name that clashes with nothing: no file of the destination
// has it, or an older split part of it (".001" to ".099", ".z01" to ".z99"), and the catalogue does not hold
// it. Where deleting is allowed a clashing file or part is deleted instead, and a name held
// only by the catalogue is kept; a file that will not go makes the next name be taken.
std::string FreeVolumeName(std::string name, const ZipNameOptions& options, int& zipNameNr,
                           const VolumeNameProbe& probe);

// The split part n (from 1) of a volume: "Set001.zip" → "Set001.z01", ".z100" from 100 on.
std::string SplitPartName(const std::string& volume, int part);

// The work files of a volume's zip run in the temporary folder (with its trailing "\"):
// ".zfi", ".tmp", ".~tm", ".~mz", in that order; the first two are also left by a finished run.
std::vector<std::string> VolumeWorkFiles(const std::string& tempPath, const std::string& volumeName);

struct SpaceFigures {
    int64_t MaxZipSize = 0;
    int64_t SpaceReserve = 0;
    int64_t TempSpaceMargin = 0;
    int64_t TotalMB = 0; // the job's size in units of 1,000,000 bytes
};

// The temporary drive (of a temporary folder on a drive letter, when volumes are built there)
// has room neither for a volume nor for the rest of the job.
bool TempDriveShort(bool useTempFileNow, const std::string& tempPath, int64_t tempFreeBytes,
                    const SpaceFigures& figures);

// The destination has room neither for a volume nor for the job, or less than the minimum.
// The space prompt is shown while this holds.
bool DestinationShort(int64_t destFreeSpace, const SpaceFigures& figures);

// The reserve for a disc with room bytes (capacity after an erase, or free bytes): a disc
// smaller than a volume keeps the volume that much smaller, and 2 MiB more for the disc's
// own structures; otherwise reserve is left as it is.
int64_t DiscSpaceReserve(int64_t maxZipSize, int64_t room, int64_t reserve);

// The reserve of the volume about to be made on a medium with destFreeSpace (as the
// destination was judged) and freeBytesNow (its drive read now), of the given drive type
// ("Removable", "CDROM", ...); a drive that reports no file-system bytes (a disc in a writer)
// keeps the reserve it has. A copy through the temporary folder to a CD letter keeps 2 MiB
// more. Never below 0.
int64_t MediumSpaceReserve(int64_t maxZipSize, int64_t destFreeSpace, int64_t freeBytesNow,
                           const std::string& destDriveType, bool destHasLetter, bool useTempFileNow,
                           int64_t reserve);

// A volume is built in the temporary folder (and copied afterwards unless a disc writer takes
// it) when that is on and the destination is a disc writer or not a fixed drive. A
// destination without a drive letter counts as not fixed only in disc-writer mode.
bool BuildInTempFolder(bool useTempFileNow, bool discWriterMode, const std::string& destDriveType,
                       bool destHasLetter);

// Where the planner starts a volume: over an existing zip that is updated, or from nothing.
struct VolumeStart {
    int64_t ZipBudget = 0;
    int ZipEntryCount = 0;
    int64_t StartBytes = 0;
};
VolumeStart VolumeStartOf(int64_t maxZipSize, int64_t zipReserve, bool updatesExistingZip, int64_t zipBytes,
                          int zipEntries);

} // namespace job
