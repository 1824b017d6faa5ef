#include "job/JobFile.h"

#include "core/Scramble.h"
#include "gui/CompareText.h"
#include "job/VolumeSizes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
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

void SortItems(JobDefinition& job) {
    const auto before = [](const std::string& a, const std::string& b) {
        return gui::CompareTextI(a, b) < 0;
    };
    std::stable_sort(job.IncludeList.begin(), job.IncludeList.end(), before);
    std::stable_sort(job.ExcludeList.begin(), job.ExcludeList.end(), before);
}

enum class Kind {
    Text,
    Number,
    Flag,
    Choice,     // two flags on one line: "1" for the first, "2" for the second, which wins
    VolumeSize, // the size text, with the byte size and the loaded text taken from it
    Password,
    Date,
};

using Text = std::string JobDefinition::*;
using Flag = bool JobDefinition::*;
using Number = int JobDefinition::*;

// One value line. A field with a start value takes it before a load reads any line; one
// without keeps what the job held until its line is read, and for good when the option
// lines stop before it. A number line that is no number keeps the value the field holds.
struct Field {
    int line = 0;
    Kind kind = Kind::Text;
    Text text = nullptr;
    Flag flag = nullptr;
    Flag secondFlag = nullptr;
    Number number = nullptr;
    bool starts = false;
    int startValue = 0; // texts start empty
    int lowest = std::numeric_limits<int>::min();
    Number highest = nullptr;
    const char* emptyAs = nullptr;
};

constexpr Field TextField(int line, Text text, bool startsEmpty = false, const char* emptyAs = nullptr) {
    return {.line = line, .kind = Kind::Text, .text = text, .starts = startsEmpty, .emptyAs = emptyAs};
}

constexpr Field FlagField(int line, Flag flag, std::optional<bool> start = std::nullopt) {
    return {.line = line,
            .kind = Kind::Flag,
            .flag = flag,
            .starts = start.has_value(),
            .startValue = start.value_or(false)};
}

constexpr Field NumberField(int line, Number number, std::optional<int> start = std::nullopt,
                            int lowest = std::numeric_limits<int>::min(), Number highest = nullptr) {
    return {.line = line,
            .kind = Kind::Number,
            .number = number,
            .starts = start.has_value(),
            .startValue = start.value_or(0),
            .lowest = lowest,
            .highest = highest};
}

using J = JobDefinition;
constexpr int passwordLine = 11;
constexpr int firstProgramLine = 26;

constexpr Field fields[] = {
    TextField(1, &J::Destination, false, "  "),
    FlagField(2, &J::ClearArchiveBit),
    FlagField(3, &J::ChangedOnly),
    {.line = 4, .kind = Kind::Date, .text = &J::AfterDateText},
    FlagField(5, &J::UseAfterDate),
    TextField(6, &J::ZipName),
    NumberField(7, &J::CompressionLevel, defaultCompression, lowestCompression, &J::CompressionMax),
    {.line = 8, .kind = Kind::VolumeSize, .text = &J::ZipSizeText},
    FlagField(9, &J::Uselasttime1),
    {.line = 10, .kind = Kind::Choice, .flag = &J::IncludeFulldriveInfo, .secondFlag = &J::Includedriveinfo},
    {.line = passwordLine, .kind = Kind::Password, .text = &J::ZipPassword},
    FlagField(12, &J::Testarchiveafterbackup1, false),
    FlagField(13, &J::OverwriteExistingZipFile1, false),
    FlagField(14, &J::Allfilenames1, false),
    FlagField(15, &J::IncludeDateTime1, false),
    FlagField(16, &J::MakeCatalog, false),
    FlagField(17, &J::Includefolderinformation, true),
    FlagField(18, &J::Optimizeusedspace, true),
    FlagField(19, &J::Splitlargefiles, false),
    FlagField(20, &J::EraseCD),
    FlagField(21, &J::FullEraseCD),
    FlagField(22, &J::CBCatalog, false),
    TextField(23, &J::CatalogNames),
    FlagField(24, &J::OEMConvert, false),
    NumberField(25, &J::WriterIndex),
    NumberField(firstProgramLine, &J::PreWait, 10),
    TextField(27, &J::PreRunFile, true),
    NumberField(28, &J::PostWait, 1),
    TextField(29, &J::PostRunFile, true),
};

constexpr bool InFileOrder() {
    for (size_t i = 0; i < std::size(fields); ++i)
        if (fields[i].line != static_cast<int>(i) + 1) return false;
    return fields[passwordLine - 1].kind == Kind::Password;
}
static_assert(std::size(fields) == 29 && InFileOrder());

void Start(const Field& field, JobDefinition& job) {
    if (!field.starts) return;
    switch (field.kind) {
    case Kind::Text:
        (job.*field.text).clear();
        break;
    case Kind::Flag:
        job.*field.flag = field.startValue != 0;
        break;
    case Kind::Number:
        job.*field.number = field.startValue;
        break;
    default:
        break;
    }
}

void ReadField(const Field& field, std::string_view line, JobDefinition& job, const JobTextContext& context) {
    switch (field.kind) {
    case Kind::Text:
        job.*field.text = std::string(line);
        break;
    case Kind::Flag:
        job.*field.flag = line == "1";
        break;
    case Kind::Choice:
        job.*field.flag = line == "1";
        job.*field.secondFlag = line == "2";
        break;
    case Kind::Number: {
        int value = ParseInt(line).value_or(job.*field.number);
        if (value <= field.lowest) value = field.lowest;
        if (field.highest && value > job.*field.highest) value = job.*field.highest;
        job.*field.number = value;
        break;
    }
    case Kind::VolumeSize:
        ReadZipSize(line, job);
        break;
    case Kind::Date:
        job.*field.text = AfterDateFromLine(line, context);
        break;
    case Kind::Password:
        // The whole line: a long password spans more groups than a fixed cut would keep.
        // The prefix alone stands for no password.
        line.remove_prefix(sizeof passwordPrefix - 1);
        job.*field.text = line.empty() ? std::string() : core::UnscrambleText(line, core::ScrambleKey);
        break;
    }
}

// One file line: a line end inside a value would split it into two lines.
void AppendLine(std::string& out, std::string_view value) {
    for (char c : value)
        if (c != '\r' && c != '\n') out += c;
    out += "\r\n";
}

void WriteField(const Field& field, const JobDefinition& job, const JobTextContext& context,
                std::string& out) {
    switch (field.kind) {
    case Kind::Text: {
        const std::string& value = job.*field.text;
        if (value.empty() && field.emptyAs)
            AppendLine(out, field.emptyAs);
        else if (field.line > passwordLine && value == IncludeMarker)
            // It would end the option lines on reading.
            AppendLine(out, {});
        else
            AppendLine(out, value);
        break;
    }
    case Kind::Flag:
        AppendLine(out, job.*field.flag ? "1" : "0");
        break;
    case Kind::Choice:
        AppendLine(out, job.*field.secondFlag ? "2" : job.*field.flag ? "1" : "0");
        break;
    case Kind::Number:
        AppendLine(out, std::to_string(job.*field.number));
        break;
    case Kind::VolumeSize:
        AppendLine(out, job.*field.text);
        break;
    case Kind::Date:
        AppendLine(out, AfterDateLine(job.*field.text, context.locale));
        break;
    case Kind::Password: {
        const std::string& password = job.*field.text;
        AppendLine(out, password.empty() ? std::string(passwordPrefix)
                                         : passwordPrefix + core::ScrambleText(password, core::ScrambleKey));
        break;
    }
    }
}

} // namespace

void ResetRunPrograms(JobDefinition& job) {
    for (const Field& field : fields)
        if (field.line >= firstProgramLine) Start(field, job);
}

void ReadJobText(std::string_view text, JobDefinition& job, const JobTextContext& context) {
    for (const Field& field : fields)
        Start(field, job);
    LineReader lines(text);
    bool atIncludes = false;
    for (const Field& field : fields) {
        if (field.kind == Kind::Password) {
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
                (job.*field.text).clear();
                SortItems(job);
                return;
            }
            try {
                ReadField(field, line, job, context);
            } catch (...) {
                SortItems(job);
                throw;
            }
            continue;
        }
        const std::string_view line = lines.Next();
        if (field.line > passwordLine && line == IncludeMarker) {
            atIncludes = true;
            break;
        }
        ReadField(field, line, job, context);
    }
    // A newer layout's extra lines stand before the marker.
    while (!atIncludes && !lines.AtEnd())
        atIncludes = lines.Next() == IncludeMarker;
    std::vector<std::string>* items = &job.IncludeList;
    while (!lines.AtEnd()) {
        const std::string_view line = lines.Next();
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
    for (const Field& field : fields)
        WriteField(field, job, context, out);
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
