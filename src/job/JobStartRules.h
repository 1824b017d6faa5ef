#pragma once
// The text rules of the job start that need no drive: the destination field's alternatives,
// the volume size from the size box and the destination's capacity, and the names of the
// job's log, catalogue list and catalogue.

#include "core/PathText.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace job {

// The destination field taken apart at "|": each part trimmed, a drive root "E:\" cut to
// "E:", a trailing "\" dropped, empty parts left out. text becomes the field as rewritten
// (every item followed by "|" when there was a "|").
std::vector<std::string> ParseDestinations(std::string& text);

struct VolumeSizeInput {
    std::string Text; // the size box: megabytes as typed
    bool DiscWriterMode = false;
    int64_t DiscCapacity = 0; // free capacity of the disc in the writer
    int64_t DestSize = 0;     // total bytes of the destination drive (0: unknown)
    int64_t DestFree = 0;     // free bytes of the destination drive
    bool Hidden = false;
};

struct VolumeSize {
    int64_t MaxZipSize = 0;
    std::string Shown;         // what the size box shows afterwards
    int64_t SpaceReserve = -1; // -1: unchanged
};

// askCdSize is asked (not while hidden) whether a volume too big for a CD-sized drive is to
// be made smaller; true means yes.
VolumeSize ApplyVolumeSizeRules(const VolumeSizeInput& input, const std::function<bool()>& askCdSize);

// The job's name as logs show it: the file name less its last four characters.
using core::JobBaseName;

// "<base>Log\<job>_<n>.txt" with the first n from 100 up whose file does not exist.
std::string NextJobLogName(const std::string& base, const std::string& jobName,
                           const std::function<bool(const std::string&)>& exists);

// "<base>Catalogs\<job> <yyyymmddhhmm>.csv".
std::string CsvFileNameFor(const std::string& base, const std::string& jobName, double now);

// The catalogue of the job from the catalogue-name field; shown is what the field shows.
std::string CatalogNamesFor(const std::string& base, const std::string& jobName, const std::string& field,
                            std::string& shown);

// A date-time (days since 1899-12-30) as a DOS date-time, rounded to the nearest second as
// the zip library does (a cut would make 14:30:00 read back as 14:29:58), clamped to
// 1980-2107. The selection's "After:" date uses the same conversion.
uint32_t DosDateTimeOf(double dateTime);

// The zip name without "\", ":" and "*".
std::string CleanZipName(const std::string& zipName);

} // namespace job
