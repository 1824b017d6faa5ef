#include "job/VolumePrepRules.h"

#include "zip/ZipLib.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace job {

namespace {

std::string Counter(int& zipNameNr) {
    if (zipNameNr == 0) zipNameNr = 1;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", zipNameNr);
    ++zipNameNr;
    return digits;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void ReplaceDate(std::string& name, const std::string& date) {
    static const std::string token = "%DATE%";
    for (size_t at = Upper(name).find(token); at != std::string::npos;
         at = Upper(name).find(token, at + date.size()))
        name.replace(at, token.size(), date);
}

// Names are tried by counting up; a destination that reports every name taken must still
// end the search.
constexpr int maximumNamesTried = 100'000;

} // namespace

std::string MakeZipName(const ZipNameOptions& options, int& zipNameNr, bool keepFixedName) {
    std::string name;
    if (options.ZipName.empty()) {
        name = options.ZipDate + Counter(zipNameNr);
        if (options.ChangedOnly) name += "A";
        if (!options.ClearArchiveBit) name += "C";
    } else {
        const bool fixedName = options.ZipName.compare(0, 2, "-#") == 0;
        if (fixedName && options.OverwriteExistingZipFile1 && !keepFixedName)
            name = options.ZipName.substr(2);
        else
            name = (fixedName ? options.ZipName.substr(2) : options.ZipName) + Counter(zipNameNr);
        ReplaceDate(name, options.ZipDate);
    }
    return name + ".zip";
}

std::string FreeVolumeName(std::string name, const ZipNameOptions& options, int& zipNameNr,
                           const VolumeNameProbe& probe) {
    const auto exists = [&](const std::string& file) { return probe.Exists && probe.Exists(file); };
    const auto held = [&](const std::string& file) { return probe.InCatalog && probe.InCatalog(file); };
    // A clash is resolved by deleting the file where that is allowed; false when the name
    // must be given up.
    const auto cleared = [&](const std::string& file) {
        return probe.Delete && (!exists(file) || probe.Delete(file));
    };
    for (int tries = 0; tries < maximumNamesTried; ++tries) {
        bool free = !(exists(name) || held(name)) || cleared(name);
        // Older split parts, ours (".z01") and the ".001" kind, would join the new set.
        for (int part = 1; free && part <= 99; ++part) {
            char extension[8];
            std::snprintf(extension, sizeof extension, ".%03d", part);
            for (const std::string& partName :
                 {zip::ChangeFileExt(name, extension), SplitPartName(name, part)})
                if (free && exists(partName)) free = cleared(partName);
        }
        if (free) return name;
        name = MakeZipName(options, zipNameNr, true);
    }
    return name;
}

std::string SplitPartName(const std::string& volume, int part) {
    char extension[16];
    std::snprintf(extension, sizeof extension, ".z%02d", part);
    return zip::ChangeFileExt(volume, extension);
}

std::vector<std::string> VolumeWorkFiles(const std::string& tempPath, const std::string& volumeName) {
    std::vector<std::string> files;
    for (const char* extension : {".zfi", ".tmp", ".~tm", ".~mz"})
        files.push_back(tempPath + zip::ChangeFileExt(volumeName, extension));
    return files;
}

bool TempDriveShort(bool useTempFileNow, const std::string& tempPath, int64_t tempFreeBytes,
                    const SpaceFigures& figures) {
    if (!useTempFileNow || tempPath.size() < 2 || tempPath[1] != ':') return false;
    const int64_t forVolume =
        figures.MaxZipSize - figures.SpaceReserve + figures.TempSpaceMargin + TempFolderSlack;
    const int64_t forJob = figures.TotalMB * 1'000'000 + TempFolderSlack;
    return tempFreeBytes <= forVolume && tempFreeBytes <= forJob;
}

bool DestinationShort(int64_t destFreeSpace, const SpaceFigures& figures) {
    if (destFreeSpace < MinimumDestFreeSpace) return true;
    return figures.MaxZipSize - figures.SpaceReserve > destFreeSpace &&
           figures.TotalMB * 1'000'000 > destFreeSpace;
}

int64_t DiscSpaceReserve(int64_t maxZipSize, int64_t room, int64_t reserve) {
    if (room < maxZipSize && room > UsableMediumFloor) return maxZipSize - room + DirectoryReserve;
    return reserve;
}

int64_t MediumSpaceReserve(int64_t maxZipSize, int64_t destFreeSpace, int64_t freeBytesNow,
                           const std::string& destDriveType, bool destHasLetter, bool useTempFileNow,
                           int64_t reserve) {
    const bool cd = destDriveType == "CDROM";
    // A disc in a writer has no file-system bytes: its own reserve stands.
    if (destFreeSpace < maxZipSize && destFreeSpace > MinimumDestFreeSpace && freeBytesNow > 0 &&
        (cd || destDriveType == "Removable"))
        reserve = maxZipSize - freeBytesNow;
    if (useTempFileNow && cd && destHasLetter) reserve += DirectoryReserve;
    return std::max<int64_t>(reserve, 0);
}

bool BuildInTempFolder(bool useTempFileNow, bool discWriterMode, const std::string& destDriveType,
                       bool destHasLetter) {
    if (!useTempFileNow) return false;
    if (discWriterMode) return true;
    return destHasLetter && destDriveType != "Fixed";
}

VolumeStart VolumeStartOf(int64_t maxZipSize, int64_t zipReserve, bool updatesExistingZip, int64_t zipBytes,
                          int zipEntries) {
    if (!updatesExistingZip) return {maxZipSize - zipReserve, 0, 0};
    return {maxZipSize - (zipBytes + zipReserve), zipEntries, zipBytes};
}

} // namespace job
