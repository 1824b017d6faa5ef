#include "job/JobFile.h"

#include "core/Scramble.h"
#include "gui/CompareText.h"
#include "job/VolumeSizes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace job {

namespace {

constexpr char passwordPrefix[] = "#####";
constexpr int64_t megabyte = Mebibyte;
constexpr int64_t largestVolume = LargestVolumeSize;
constexpr int64_t defaultVolumeMb = CdVolumeSize / Mebibyte;
constexpr int defaultCompression = 6;
constexpr int lowestCompression = 2;

// Lines end in CR LF, LF or CR; a line end at the very end adds no line, and reading past
// the end gives empty lines, as an old file missing its last lines needs.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool AtEnd() const { return position_ >= text_.size(); }
    std::string_view Next() {
        if (AtEnd()) return {};
        const size_t end = text_.find_first_of("\r\n", position_);
        if (end == std::string_view::npos) {
            const std::string_view line = text_.substr(position_);
            position_ = text_.size();
            return line;
        }
        const std::string_view line = text_.substr(position_, end - position_);
        position_ = end + 1;
        if (text_[end] == '\r' && position_ < text_.size() && text_[position_] == '\n') ++position_;
        return line;
    }

  private:
    std::string_view text_;
    size_t position_ = 0;
};

// A decimal integer with optional blanks around it and an optional sign; nothing when the
// text is no number or lies outside the range.
std::optional<int64_t> ParseInteger(std::string_view text, int64_t lowest, int64_t highest) {
    size_t first = 0, last = text.size();
    while (first < last && (text[first] == ' ' || text[first] == '\t'))
        ++first;
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
        --last;
    text = text.substr(first, last - first);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulated as a negative number so the lowest int64 fits.
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<int64_t>::min()) return std::nullopt;
        value = -value;
    }
    if (value < lowest || value > highest) return std::nullopt;
    return value;
}

std::optional<int> ParseInt(std::string_view text) {
    const auto value = ParseInteger(text, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

bool Flag(std::string_view line) {
    return line == "1";
}

const char* FlagText(bool value) {
    return value ? "1" : "0";
}

// A day number that a date text can show: years 1 to 9999 after rounding to milliseconds.
bool ShowableDay(double days) {
    if (!std::isfinite(days) || days < -700'000 || days > 3'000'000) return false;
    const int year = core::DecodeDateTime(days).year;
    return year >= 1 && year <= 9999;
}

std::string AfterDateFromLine(std::string_view line, const JobTextContext& context) {
    try {
        const double days = core::StrToFloatAnySep(line, context.locale.decimalSeparator);
        if (ShowableDay(days)) return core::DateToStrFixed(days, context.locale);
    } catch (const core::EConvertError&) {
    }
    return core::DateToStrFixed(context.now, context.locale);
}

void ReadCompression(std::string_view line, JobDefinition& job) {
    int level = ParseInt(line).value_or(defaultCompression);
    if (level <= lowestCompression) level = lowestCompression;
    if (level > job.CompressionMax) level = job.CompressionMax;
    job.CompressionLevel = level;
}

void ReadZipSize(std::string_view line, JobDefinition& job) {
    const auto megabytes =
        ParseInteger(line, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
    if (!megabytes) {
        job.ZipSizeText = std::to_string(defaultVolumeMb);
        job.MaxZipSize = defaultVolumeMb * megabyte;
    } else if (*megabytes > largestVolume / megabyte) {
        job.ZipSizeText = std::to_string(largestVolume / megabyte);
        job.MaxZipSize = largestVolume;
    } else {
        job.ZipSizeText = std::string(line);
        // Negative sizes are raised to the smallest volume at job start; only keep them in range.
        job.MaxZipSize = std::max(*megabytes, std::numeric_limits<int64_t>::min() / megabyte) * megabyte;
    }
    job.JobMaxZipText = job.ZipSizeText;
}

void ReadOptionLine(int number, std::string_view line, JobDefinition& job) {
    switch (number) {
    case 12:
        job.Testarchiveafterbackup1 = Flag(line);
        break;
    case 13:
        job.OverwriteExistingZipFile1 = Flag(line);
        break;
    case 14:
        job.Allfilenames1 = Flag(line);
        break;
    case 15:
        job.IncludeDateTime1 = Flag(line);
        break;
    case 16:
        job.MakeCatalog = Flag(line);
        break;
    case 17:
        job.Includefolderinformation = Flag(line);
        break;
    case 18:
        job.Optimizeusedspace = Flag(line);
        break;
    case 19:
        job.Splitlargefiles = Flag(line);
        break;
    case 20:
        job.EraseCD = Flag(line);
        break;
    case 21:
        job.FullEraseCD = Flag(line);
        break;
    case 22:
        job.CBCatalog = Flag(line);
        break;
    case 23:
        job.CatalogNames = std::string(line);
        break;
    case 24:
        job.OEMConvert = Flag(line);
        break;
    case 25:
        job.WriterIndex = ParseInt(line).value_or(job.WriterIndex);
        break;
    case 26:
        job.PreWait = ParseInt(line).value_or(job.PreWait);
        break;
    case 27:
        job.PreRunFile = std::string(line);
        break;
    case 28:
        job.PostWait = ParseInt(line).value_or(job.PostWait);
        break;
    case 29:
        job.PostRunFile = std::string(line);
        break;
    default:
        break;
    }
}

void SortItems(JobDefinition& job) {
    const auto before = [](const std::string& a, const std::string& b) {
        return gui::CompareTextI(a, b) < 0;
    };
    std::stable_sort(job.IncludeList.begin(), job.IncludeList.end(), before);
    std::stable_sort(job.ExcludeList.begin(), job.ExcludeList.end(), before);
}

void SetReadDefaults(JobDefinition& job) {
    job.Testarchiveafterbackup1 = false;
    job.OverwriteExistingZipFile1 = false;
    job.Allfilenames1 = false;
    job.IncludeDateTime1 = false;
    job.MakeCatalog = false;
    job.Includefolderinformation = true;
    job.Optimizeusedspace = true;
    job.Splitlargefiles = false;
    job.CBCatalog = false;
    job.OEMConvert = false;
    ResetRunPrograms(job);
}

// One file line: a line end inside a value would split it into two lines.
void AppendLine(std::string& out, std::string_view value) {
    for (char c : value)
        if (c != '\r' && c != '\n') out += c;
    out += "\r\n";
}

// A text on lines 12 to 29 that reads as the include marker would end the option lines.
std::string_view OptionText(const std::string& value) {
    return value == IncludeMarker ? std::string_view() : std::string_view(value);
}

} // namespace

void ResetRunPrograms(JobDefinition& job) {
    job.PreWait = 10;
    job.PreRunFile.clear();
    job.PostWait = 1;
    job.PostRunFile.clear();
}

void ReadJobText(std::string_view text, JobDefinition& job, const JobTextContext& context) {
    SetReadDefaults(job);
    LineReader lines(text);
    job.Destination = std::string(lines.Next());
    job.ClearArchiveBit = Flag(lines.Next());
    job.ChangedOnly = Flag(lines.Next());
    job.AfterDateText = AfterDateFromLine(lines.Next(), context);
    job.UseAfterDate = Flag(lines.Next());
    job.ZipName = std::string(lines.Next());
    ReadCompression(lines.Next(), job);
    ReadZipSize(lines.Next(), job);
    job.Uselasttime1 = Flag(lines.Next());
    const std::string_view driveInfo = lines.Next();
    job.IncludeFulldriveInfo = driveInfo == "1";
    job.Includedriveinfo = driveInfo == "2";
    job.IncludeList.clear();
    job.ExcludeList.clear();

    // The oldest layout has its include items here and ends without a password line.
    std::string_view line;
    bool passwordLine = false;
    while (!lines.AtEnd()) {
        line = lines.Next();
        if (line.starts_with(passwordPrefix)) {
            passwordLine = true;
            break;
        }
        job.IncludeList.emplace_back(line);
    }
    if (!passwordLine) {
        job.ZipPassword.clear();
        SortItems(job);
        return;
    }
    // The whole line: a long password spans more groups than a fixed cut would keep. The
    // prefix alone stands for no password.
    try {
        line.remove_prefix(sizeof passwordPrefix - 1);
        job.ZipPassword = line.empty() ? std::string() : core::UnscrambleText(line, core::ScrambleKey);
    } catch (...) {
        SortItems(job);
        throw;
    }

    bool atIncludes = false;
    for (int number = 12; number <= 29; ++number) {
        line = lines.Next();
        if (line == IncludeMarker) {
            atIncludes = true;
            break;
        }
        ReadOptionLine(number, line, job);
    }
    // A newer layout's extra lines stand before the marker.
    while (!atIncludes && !lines.AtEnd())
        atIncludes = lines.Next() == IncludeMarker;
    std::vector<std::string>* items = &job.IncludeList;
    while (!lines.AtEnd()) {
        line = lines.Next();
        if (items == &job.IncludeList && line == ExcludeMarker)
            items = &job.ExcludeList;
        else
            items->emplace_back(line);
    }
    SortItems(job);
}

std::string AfterDateLine(const std::string& afterDateText, const core::LocaleFormat& locale) {
    double days = 0;
    try {
        days = core::StrToDateFixed(afterDateText, locale);
    } catch (const core::EConvertError&) {
        return "40.1";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.10f", days);
    std::string line = text;
    std::replace(line.begin(), line.end(), '.', locale.decimalSeparator);
    return line;
}

std::string WriteJobText(const JobDefinition& job, const JobTextContext& context) {
    std::string out;
    out.reserve(1024 + 64 * (job.IncludeList.size() + job.ExcludeList.size()));
    AppendLine(out, job.Destination.empty() ? std::string_view("  ") : std::string_view(job.Destination));
    AppendLine(out, FlagText(job.ClearArchiveBit));
    AppendLine(out, FlagText(job.ChangedOnly));
    AppendLine(out, AfterDateLine(job.AfterDateText, context.locale));
    AppendLine(out, FlagText(job.UseAfterDate));
    AppendLine(out, job.ZipName);
    AppendLine(out, std::to_string(job.CompressionLevel));
    AppendLine(out, job.ZipSizeText);
    AppendLine(out, FlagText(job.Uselasttime1));
    AppendLine(out, job.Includedriveinfo ? "2" : job.IncludeFulldriveInfo ? "1" : "0");
    AppendLine(out, job.ZipPassword.empty()
                        ? std::string(passwordPrefix)
                        : passwordPrefix + core::ScrambleText(job.ZipPassword, core::ScrambleKey));
    AppendLine(out, FlagText(job.Testarchiveafterbackup1));
    AppendLine(out, FlagText(job.OverwriteExistingZipFile1));
    AppendLine(out, FlagText(job.Allfilenames1));
    AppendLine(out, FlagText(job.IncludeDateTime1));
    AppendLine(out, FlagText(job.MakeCatalog));
    AppendLine(out, FlagText(job.Includefolderinformation));
    AppendLine(out, FlagText(job.Optimizeusedspace));
    AppendLine(out, FlagText(job.Splitlargefiles));
    AppendLine(out, FlagText(job.EraseCD));
    AppendLine(out, FlagText(job.FullEraseCD));
    AppendLine(out, FlagText(job.CBCatalog));
    AppendLine(out, OptionText(job.CatalogNames));
    AppendLine(out, FlagText(job.OEMConvert));
    AppendLine(out, std::to_string(job.WriterIndex));
    AppendLine(out, std::to_string(job.PreWait));
    AppendLine(out, OptionText(job.PreRunFile));
    AppendLine(out, std::to_string(job.PostWait));
    AppendLine(out, OptionText(job.PostRunFile));
    AppendLine(out, IncludeMarker);
    // An include item equal to the exclude marker would turn the items after it into excludes.
    for (const std::string& item : job.IncludeList)
        if (item != ExcludeMarker) AppendLine(out, item);
    AppendLine(out, ExcludeMarker);
    for (const std::string& item : job.ExcludeList)
        AppendLine(out, item);
    return out;
}

} // namespace job
