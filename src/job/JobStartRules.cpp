#include "job/JobStartRules.h"

#include "job/VolumeSizes.h"

#include "gui/CivilDate.h"
#include "gui/TextTrim.h"
#include "zip/ZipLib.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace job {

namespace {

// Blanks around a part are typing, not part of the path: trimmed first.
std::string DestinationPart(std::string part) {
    part = gui::Trim(part);
    if (part.size() == 3 && part.find(":\\") != std::string::npos) part.resize(2);
    if (!part.empty() && part.back() == '\\') part.pop_back();
    return part;
}

// The size box as a whole number of megabytes; false when it is none.
bool ParseMegabytes(const std::string& text, int64_t& value) {
    const std::string trimmed = gui::Trim(text);
    size_t at = 0;
    bool negative = false;
    if (at < trimmed.size() && (trimmed[at] == '-' || trimmed[at] == '+')) negative = trimmed[at++] == '-';
    if (at == trimmed.size()) return false;
    value = 0;
    for (; at < trimmed.size(); ++at) {
        if (!std::isdigit(static_cast<unsigned char>(trimmed[at]))) return false;
        // Any number past the largest volume is as good as the largest: no overflow.
        if (value <= LargestVolumeSize) value = value * 10 + (trimmed[at] - '0');
    }
    if (negative) value = -value;
    return true;
}

} // namespace

std::vector<std::string> ParseDestinations(std::string& text) {
    std::vector<std::string> items;
    if (text.find('|') == std::string::npos) {
        text = DestinationPart(text);
        if (!text.empty()) items.push_back(text);
        return items;
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('|', start);
        if (end == std::string::npos) end = text.size();
        const std::string part = DestinationPart(text.substr(start, end - start));
        if (!part.empty()) items.push_back(part);
        start = end + 1;
    }
    text.clear();
    for (const std::string& item : items)
        text += item + "|";
    return items;
}

VolumeSize ApplyVolumeSizeRules(const VolumeSizeInput& input, const std::function<bool()>& askCdSize) {
    VolumeSize size;
    int64_t megabytes = 0;
    if (!ParseMegabytes(input.Text, megabytes)) {
        size.MaxZipSize = CdVolumeSize;
        size.Shown = "650";
    } else {
        size.Shown = gui::Trim(input.Text);
        if (megabytes > LargestVolumeSize / Mebibyte) {
            size.MaxZipSize = LargestVolumeSize;
            size.Shown = std::to_string(LargestVolumeSize / Mebibyte);
        } else if (megabytes * Mebibyte < SmallestVolumeSize) {
            size.MaxZipSize = SmallestVolumeSize;
            size.Shown = std::to_string(SmallestVolumeSize / Mebibyte);
        } else {
            size.MaxZipSize = megabytes * Mebibyte;
        }
    }
    if (input.DiscWriterMode) {
        if (input.DiscCapacity < size.MaxZipSize && input.DiscCapacity > UsableMediumFloor)
            size.SpaceReserve = size.MaxZipSize - input.DiscCapacity + DirectoryReserve;
        return size;
    }
    if (input.DestSize > 0 && input.DestSize < size.MaxZipSize && input.DestSize > SmallestVolumeSize) {
        size.MaxZipSize = input.DestSize;
        size.Shown = std::to_string(size.MaxZipSize / Mebibyte);
    }
    if (input.DestSize > PacketCdSizeLow && input.DestSize < PacketCdSizeHigh &&
        size.MaxZipSize > PacketCdSizeLow) {
        if (input.Hidden || (askCdSize && askCdSize())) size.MaxZipSize = PacketCdVolumeSize;
        size.Shown = std::to_string(size.MaxZipSize / Mebibyte);
        if (input.DestFree < size.MaxZipSize && input.DestFree > UsableMediumFloor)
            size.SpaceReserve = size.MaxZipSize - input.DestFree;
    }
    return size;
}

std::string NextJobLogName(const std::string& base, const std::string& jobName,
                           const std::function<bool(const std::string&)>& exists) {
    return core::NextFreeNumberedName(base + "Log\\" + JobBaseName(jobName) + "_", 100, ".txt", exists);
}

std::string CsvFileNameFor(const std::string& base, const std::string& jobName, double now) {
    const double whole = std::floor(now);
    int year = 0, month = 0, day = 0;
    gui::CivilFromDays(static_cast<int64_t>(whole) + gui::DateTimeEpochDays, year, month, day);
    const int minutes = static_cast<int>((now - whole) * 1440.0 + 1e-6);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d", year, month, day, minutes / 60, minutes % 60);
    return base + "Catalogs\\" + JobBaseName(jobName) + " " + stamp + ".csv";
}

std::string CatalogNamesFor(const std::string& base, const std::string& jobName, const std::string& field,
                            std::string& shown) {
    shown = field;
    if (field.empty()) {
        shown = JobBaseName(jobName) + ".cat";
        return base + "Catalogs\\" + shown;
    }
    if (field.find('\\') != std::string::npos) return field;
    std::string name = field;
    const size_t dot = name.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".cat") name += ".cat";
    return base + "Catalogs\\" + name;
}

uint32_t DosDateTimeOf(double dateTime) {
    return zip::DateTimeToDosDateTime(dateTime);
}

std::string CleanZipName(const std::string& zipName) {
    std::string clean;
    for (char c : zipName)
        if (c != '\\' && c != ':' && c != '*') clean += c;
    return clean;
}

} // namespace job
