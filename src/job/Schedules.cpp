#include "job/Schedules.h"

#include "core/ConvertError.h"
#include "gui/CivilDate.h"
#include "gui/CompareText.h"
#include "gui/TextTrim.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace job {

namespace {

constexpr double horizonMargin = 15.0 / 86'400; // 15 seconds
constexpr double startingWindow = 0.004;        // a run taken by the timer this long ago is starting
constexpr int monthlySteps = 56;
constexpr int weeklySteps = 15;
constexpr int dailySteps = 3;
// The first and last day of the years 1-9999, the range a date text can show.
constexpr double firstDate = -693'593.0;
constexpr double lastDateEnd = 2'958'466.0;

constexpr const char* weekdayCodes[7] = {"Su", "Mo", "Tu", "We", "Th", "Fr", "Sa"};

std::string_view Columns(std::string_view text, size_t first, size_t count) {
    return first >= text.size() ? std::string_view() : text.substr(first, count);
}

// Sunday 1 .. Saturday 7 of the day a date-time falls on.
int DayOfWeek(double value) {
    const int64_t day = static_cast<int64_t>(std::floor(value));
    return static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
}

int DayOfMonth(double value) {
    int year = 0, month = 0, day = 0;
    gui::CivilFromDays(static_cast<int64_t>(std::floor(value)) + gui::DateTimeEpochDays, year, month, day);
    return day;
}

double DateOf(double value) {
    return std::floor(value);
}

double Frac(double value) {
    return value - std::trunc(value);
}

bool InDateRange(double value) {
    return value >= firstDate && value < lastDateEnd;
}

// Sunday 1 .. Saturday 7 for a weekday code, 0 for none.
int WeekdayCode(std::string_view field) {
    for (int i = 0; i < 7; ++i)
        if (field == weekdayCodes[i]) return i + 1;
    return 0;
}

// Fixed notation of a value rounded once, half away from zero, to whichever is shorter:
// `precision` significant digits or `decimals` decimals; always `decimals` decimals shown.
std::string FixedText(double value, int precision, int decimals, char separator) {
    if (!std::isfinite(value)) return "0";
    const double magnitude = std::fabs(value);
    char buffer[128];
    if (magnitude >= 1e15) {
        const auto done = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                                        precision - 1);
        std::string text(buffer, done.ptr);
        for (char& c : text)
            if (c == '.')
                c = separator;
            else if (c == 'e')
                c = 'E';
        return text;
    }
    // Enough digits to hold the exact expansion of every double in this range.
    const auto done = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::fixed, 64);
    const std::string_view exact(buffer, static_cast<size_t>(done.ptr - buffer));
    const size_t point = exact.find('.');
    std::string digits(exact.substr(0, point));
    std::string fraction(exact.substr(point + 1));
    int kept = decimals;
    if (digits != "0") {
        kept = std::min(decimals, precision - static_cast<int>(digits.size()));
    } else {
        const size_t leading = fraction.find_first_not_of('0');
        if (leading != std::string::npos) kept = std::min(decimals, precision + static_cast<int>(leading));
    }
    kept = std::max(kept, 0);
    std::string all = digits + fraction.substr(0, static_cast<size_t>(kept));
    if (fraction[static_cast<size_t>(kept)] >= '5') {
        size_t i = all.size();
        while (i > 0 && all[i - 1] == '9')
            all[--i] = '0';
        if (i == 0)
            all.insert(all.begin(), '1');
        else
            ++all[i - 1];
    }
    const size_t integerDigits = all.size() - static_cast<size_t>(kept);
    std::string text = all.substr(0, integerDigits);
    if (decimals > 0) text += separator + all.substr(integerDigits) + std::string(decimals - kept, '0');
    const bool zero = all.find_first_not_of('0') == std::string::npos;
    return value < 0 && !zero ? "-" + text : text;
}

std::string PadTo(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string KindField(std::string_view kind, std::string_view day) {
    // "Kind     - dd - ": the kind padded to 9, "-" in column 10 and column 15.
    return PadTo(std::string(kind), 9) + "- " + std::string(day) + " - ";
}

void AddEntry(std::vector<std::string>& queue, double due, std::string_view line, char separator) {
    queue.push_back(PadTo(DueText(due, separator), 20) + std::string(ScheduleJob(line)));
}

bool LessI(const std::string& a, const std::string& b) {
    return gui::CompareTextI(a, b) < 0;
}

bool JobIsEmpty(std::string_view line) {
    return gui::TrimView(ScheduleJob(line)).empty();
}

// Runs in the order of their due values, then of their jobs. The text would put a due of six
// integer digits (a Once two centuries ahead) before every due of five, so that run would head
// the queue and block every other. Two entries are one run when their dues have the same value
// and their jobs the same name, whichever decimal separator wrote them.
void SortUniqueRuns(std::vector<std::string>& queue, char separator) {
    struct Run {
        double due;
        std::string job;
        std::string entry;
    };
    std::vector<Run> runs;
    runs.reserve(queue.size());
    for (std::string& entry : queue) {
        const std::optional<double> due = RunQueueDue(entry, separator);
        runs.push_back({due ? *due : HUGE_VAL, RunQueueJob(entry), std::move(entry)});
    }
    std::stable_sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
        if (a.due != b.due) return a.due < b.due;
        return gui::CompareTextI(a.job, b.job) < 0;
    });
    runs.erase(std::unique(
                   runs.begin(), runs.end(),
                   [](const Run& a, const Run& b) { return a.due == b.due && gui::SameTextI(a.job, b.job); }),
               runs.end());
    queue.clear();
    for (Run& run : runs)
        queue.push_back(std::move(run.entry));
}

// The runs of one schedule line later than the horizon and than `after`. False when the line is to
// leave the list.
bool AddRuns(const std::string& line, double horizon, double after, double now, char separator,
             std::vector<std::string>& queue) {
    const ScheduleKind kind = KindOf(line);
    if (kind == ScheduleKind::Other) return true;
    // A run without a job could never start, and would stay at the queue's head for good.
    if (JobIsEmpty(line)) return false;
    const std::optional<double> value = ScheduleValue(line, separator);
    if (!value) return true;
    const double timeOfDay = Frac(*value);
    switch (kind) {
    case ScheduleKind::Once:
        // A value no date text can show could not be listed or started.
        if (*value > after && InDateRange(*value)) AddEntry(queue, *value, line, separator);
        break;
    case ScheduleKind::Monthly: {
        const std::string_view dayField = Columns(line, 11, 2);
        const int code = WeekdayCode(dayField);
        int dayNumber = 0;
        if (code == 0) {
            std::string digits;
            for (char c : dayField)
                if (c >= '0' && c <= '9') digits += c;
            if (digits.empty()) return false;
            dayNumber = std::stoi(digits);
            if (dayNumber < 1 || dayNumber > 31) break;
        }
        // A later start that does not pass the day found last finds that day again.
        double found = -HUGE_VAL;
        for (int k = 0; k < monthlySteps; ++k) {
            double t = horizon + k;
            if (t <= found) continue;
            if (code != 0)
                while (DayOfWeek(t) != code || DayOfMonth(t) > 7)
                    t += 1;
            else
                while (DayOfMonth(t) != dayNumber)
                    t += 1;
            found = t;
            const double due = DateOf(t) + timeOfDay;
            if (due > after) AddEntry(queue, due, line, separator);
        }
        break;
    }
    case ScheduleKind::Weekly: {
        int code = WeekdayCode(Columns(line, 11, 2));
        if (code == 0) code = 1;
        double found = -HUGE_VAL;
        for (int k = 0; k < weeklySteps; ++k) {
            double t = horizon + k;
            if (t <= found) continue;
            while (DayOfWeek(t) != code)
                t += 1;
            found = t;
            const double due = DateOf(t) + timeOfDay;
            if (due > after) AddEntry(queue, due, line, separator);
        }
        break;
    }
    case ScheduleKind::Daily:
        for (int k = 0; k < dailySteps; ++k) {
            const double due = DateOf(horizon + k) + timeOfDay;
            if (due > after) AddEntry(queue, due, line, separator);
        }
        break;
    case ScheduleKind::Every: {
        const double interval = timeOfDay;
        if (!(interval > 0)) break;
        // The first step not before Now, counted rather than added up step by step.
        const double start = DateOf(horizon) + interval;
        double steps = now > start ? std::ceil((now - start) / interval) : 0;
        for (int fix = 0; fix < 4 && now > start + steps * interval; ++fix)
            steps += 1;
        for (int fix = 0; fix < 4 && steps > 0 && !(now > start + (steps - 1) * interval); ++fix)
            steps -= 1;
        for (int k = 0; k < 3; ++k) {
            const double due = start + (steps + k) * interval;
            if (due > after && InDateRange(due)) AddEntry(queue, due, line, separator);
        }
        break;
    }
    case ScheduleKind::Other:
        break;
    }
    return true;
}

// The older layout held the texts the list showed: Once with its date and time in columns
// 6-24, the periodic kinds with the time in columns 17-24, the job from column 28.
std::vector<std::string> ConvertOlderLayout(const std::vector<std::string>& lines,
                                            const core::LocaleFormat& locale) {
    std::vector<std::string> converted;
    for (const std::string& line : lines) {
        const std::string_view start = Columns(line, 0, 4);
        const std::string_view job = Columns(line, 27, std::string_view::npos);
        if (start == "Once") {
            try {
                const double value = core::StrToDateFixed(gui::TrimView(Columns(line, 5, 19)), locale);
                InsertScheduleLine(
                    converted, FormatScheduleLine("Once          - ", value, job, locale.decimalSeparator));
            } catch (const core::EConvertError&) {
            }
        } else if (start == "Mont" || start == "Week" || start == "Dail") {
            const std::optional<double> value = ParseTimeText(Columns(line, 16, 8), locale);
            if (value)
                InsertScheduleLine(converted, FormatScheduleLine(Columns(line, 0, 16), *value, job,
                                                                 locale.decimalSeparator));
        }
    }
    return converted;
}

bool IsHeader(std::string_view line) {
    // A byte order mark or trailing blanks from an editor do not make the file an older one.
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (line.substr(0, byteOrderMark.size()) == byteOrderMark) line.remove_prefix(byteOrderMark.size());
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line == ScheduleHeader;
}

} // namespace

bool SameRun(std::string_view a, std::string_view b, char decimalSeparator) {
    const std::optional<double> dueA = RunQueueDue(a, decimalSeparator),
                                dueB = RunQueueDue(b, decimalSeparator);
    return dueA && dueB && *dueA == *dueB && gui::SameTextI(RunQueueJob(a), RunQueueJob(b));
}

ScheduleKind KindOf(std::string_view line) {
    const std::string_view start = Columns(line, 0, 4);
    if (start == "Once") return ScheduleKind::Once;
    if (start == "Mont") return ScheduleKind::Monthly;
    if (start == "Week") return ScheduleKind::Weekly;
    if (start == "Dail") return ScheduleKind::Daily;
    if (start == "Ever") return ScheduleKind::Every;
    return ScheduleKind::Other;
}

std::string OnceKindField() {
    return KindField("Once", "  ");
}
std::string MonthlyKindField(int weekday) {
    return KindField("Monthly", weekdayCodes[(weekday + 1) % 7]);
}
std::string MonthlyDayKindField(int dayOfMonth) {
    const std::string day = std::to_string(dayOfMonth);
    return KindField("Monthly", day.size() < 2 ? "0" + day : day.substr(0, 2));
}
std::string WeeklyKindField(int weekday) {
    return KindField("Weekly", weekdayCodes[(weekday + 1) % 7]);
}
std::string DailyKindField() {
    return KindField("Daily", "  ");
}
std::string EveryKindField() {
    return KindField("Every", "  ");
}

std::string FormatScheduleLine(std::string_view kindField, double value, std::string_view job,
                               char decimalSeparator) {
    std::string line =
        std::string(kindField) + FixedText(value, 20, 10, decimalSeparator) + std::string(30, ' ');
    line.resize(39);
    return line + std::string(job);
}

std::optional<double> ScheduleValue(std::string_view line, char decimalSeparator) {
    try {
        return core::StrToFloatAnySep(Columns(line, 16, 20), decimalSeparator);
    } catch (const core::EConvertError&) {
        return std::nullopt;
    }
}

std::string_view ScheduleJob(std::string_view line) {
    return Columns(line, 39, 254);
}

std::string DueText(double due, char decimalSeparator) {
    return FixedText(due, 15, 6, decimalSeparator);
}

std::string FormatRunQueueEntry(double due, std::string_view job, char decimalSeparator) {
    return PadTo(DueText(due, decimalSeparator), 20) + std::string(job);
}

std::optional<double> RunQueueDue(std::string_view entry, char decimalSeparator) {
    try {
        return core::StrToFloatAnySep(Columns(entry, 0, 20), decimalSeparator);
    } catch (const core::EConvertError&) {
        return std::nullopt;
    }
}

std::string RunQueueJob(std::string_view entry) {
    return std::string(gui::TrimView(Columns(entry, 20, 254)));
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines.emplace_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

std::string ScheduleFileText(const std::vector<std::string>& scheduleList) {
    std::string text = std::string(ScheduleHeader) + "\r\n";
    for (const std::string& line : scheduleList)
        text += line + "\r\n";
    return text;
}

std::string RunQueueFileText(const std::vector<std::string>& entries) {
    size_t size = 0;
    for (const std::string& entry : entries)
        size += entry.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& entry : entries) {
        text += entry;
        text += "\r\n";
    }
    return text;
}

void InsertScheduleLine(std::vector<std::string>& scheduleList, std::string line) {
    const auto at = std::upper_bound(scheduleList.begin(), scheduleList.end(), line, LessI);
    scheduleList.insert(at, std::move(line));
}

std::optional<double> ParseTimeText(std::string_view text, const core::LocaleFormat& locale) {
    const std::string_view time = gui::TrimView(text);
    if (time.empty()) return std::nullopt;
    const std::string dayZero = core::DateToStrFixed(0, locale);
    try {
        return core::StrToDateFixed(dayZero.substr(0, dayZero.find(' ')) + " " + std::string(time), locale);
    } catch (const core::EConvertError&) {
        return std::nullopt;
    }
}

std::string TimeText(gui::DateTime value, const core::LocaleFormat& locale) {
    const std::string text = core::DateToStrFixed(std::fabs(Frac(value)), locale);
    return text.substr(text.find(' ') + 1);
}

std::optional<std::string> DateTimeText(gui::DateTime value, const core::LocaleFormat& locale) {
    if (!InDateRange(value)) return std::nullopt;
    return core::DateToStrFixed(value, locale);
}

// Six decimals hold a due time to a tenth of a second: shown to the nearest second, so 11:00
// does not read 10:59:59.
std::optional<std::string> RunQueueDueText(std::string_view entry, const core::LocaleFormat& locale) {
    const std::optional<double> due = RunQueueDue(entry, locale.decimalSeparator);
    if (!due) return std::nullopt;
    return DateTimeText(std::round(*due * 86'400) / 86'400, locale);
}

ScheduleResult EvaluateSchedules(const ScheduleInput& input) {
    ScheduleResult result;
    if (!input.scheduleFile) {
        result.runQueue = input.runQueue;
        return result;
    }
    result.scheduleFileFound = true;
    const char separator = input.locale.decimalSeparator;

    std::vector<std::string> lines = SplitTextLines(*input.scheduleFile);
    if (!lines.empty() && IsHeader(lines.front())) {
        result.scheduleList.reserve(lines.size() - 1);
        for (size_t i = 1; i < lines.size(); ++i)
            result.scheduleList.push_back(std::move(lines[i]));
        std::stable_sort(result.scheduleList.begin(), result.scheduleList.end(), LessI);
    } else {
        result.olderLayout = true;
        result.scheduleList = ConvertOlderLayout(lines, input.locale);
    }

    // A head of the queue that fell due within the last day keeps its place.
    double horizon = input.now + horizonMargin;
    if (!input.runQueue.empty()) {
        if (const std::optional<double> head = RunQueueDue(input.runQueue.front(), separator))
            horizon = *head + horizonMargin;
        if (input.now < horizon || input.now - 1 > horizon) horizon = input.now + horizonMargin;
    }

    std::vector<std::string>& queue = result.runQueue;
    std::vector<std::string> kept;
    kept.reserve(result.scheduleList.size());
    for (std::string& line : result.scheduleList) {
        if (AddRuns(line, horizon, std::max(horizon, input.startedRunDue), input.now, separator, queue))
            kept.push_back(std::move(line));
        else if (JobIsEmpty(line))
            result.linesWithoutJob.push_back(std::move(line));
    }
    result.scheduleList = std::move(kept);
    SortUniqueRuns(queue, separator);

    // The run the timer is starting now is not offered again.
    if (!queue.empty() && !input.nextRunJob.empty() && RunQueueJob(queue.front()) == input.nextRunJob &&
        gui::TrimView(Columns(queue.front(), 0, 20)) == DueText(input.nextRunTime, separator) &&
        input.now + startingWindow > input.nextRunTime)
        queue.erase(queue.begin());

    // Runs saved earlier and not computed again: due before the horizon and not started yet.
    // An entry without a readable due time or without a job could never start and would block
    // the queue's head. A computed run goes first, so of two equal runs its text is kept.
    for (const std::string& entry : input.savedRunQueue)
        if (RunQueueDue(entry, separator) && !RunQueueJob(entry).empty()) queue.push_back(entry);
    SortUniqueRuns(queue, separator);

    result.runRows.reserve(queue.size());
    for (const std::string& entry : queue) {
        const std::optional<std::string> text = RunQueueDueText(entry, input.locale);
        if (text)
            result.runRows.push_back(*text + "  -  " +
                                     std::string(gui::TrimView(Columns(entry, 19, std::string::npos))));
    }
    result.runQueueFile = RunQueueFileText(queue);

    for (size_t i = 0; i < result.scheduleList.size(); ++i) {
        const std::string& line = result.scheduleList[i];
        const std::optional<double> value = ScheduleValue(line, separator);
        if (!value) continue;
        const ScheduleKind kind = KindOf(line);
        std::string shown;
        if (kind == ScheduleKind::Monthly || kind == ScheduleKind::Weekly || kind == ScheduleKind::Daily ||
            kind == ScheduleKind::Every) {
            shown = TimeText(*value, input.locale);
        } else {
            const std::optional<std::string> text = DateTimeText(*value, input.locale);
            if (!text) continue;
            shown = *text;
        }
        result.scheduleRows.push_back(std::string(Columns(line, 0, 16)) + shown + "  -  " +
                                      std::string(gui::TrimView(ScheduleJob(line))));
        result.scheduleRowLines.push_back(static_cast<int>(i));
    }
    return result;
}

std::optional<std::vector<std::string>> MakeScheduleLines(const ScheduleRequest& request,
                                                          const core::LocaleFormat& locale) {
    const char separator = locale.decimalSeparator;
    auto date = [&]() -> std::optional<double> {
        try {
            return core::StrToDateFixed(request.dateText, locale);
        } catch (const core::EConvertError&) {
            return std::nullopt;
        }
    };
    const bool anyDay =
        std::find(request.weekdays.begin(), request.weekdays.end(), true) != request.weekdays.end();
    std::vector<std::string> lines;
    auto perDay = [&](std::string (*field)(int)) -> bool {
        if (!anyDay) return true;
        const std::optional<double> time = ParseTimeText(request.timeText, locale);
        if (!time) return false;
        for (int day = 0; day < 7; ++day)
            if (request.weekdays[static_cast<size_t>(day)])
                lines.push_back(FormatScheduleLine(field(day), *time, request.job, separator));
        return true;
    };
    switch (request.kind) {
    case ScheduleKind::Once: {
        const std::optional<double> value = date();
        if (!value) return std::nullopt;
        lines.push_back(FormatScheduleLine(OnceKindField(), *value, request.job, separator));
        break;
    }
    case ScheduleKind::Monthly:
        if (anyDay) {
            if (!perDay(MonthlyKindField)) return std::nullopt;
        } else {
            const std::optional<double> value = date();
            if (!value) return std::nullopt;
            lines.push_back(FormatScheduleLine(MonthlyDayKindField(DayOfMonth(*value)), Frac(*value),
                                               request.job, separator));
        }
        break;
    case ScheduleKind::Weekly:
        if (!perDay(WeeklyKindField)) return std::nullopt;
        break;
    case ScheduleKind::Daily: {
        std::optional<double> value = ParseTimeText(request.timeText, locale);
        if (!value) value = date();
        if (!value) return std::nullopt;
        lines.push_back(FormatScheduleLine(DailyKindField(), *value, request.job, separator));
        break;
    }
    case ScheduleKind::Every: {
        const std::optional<double> value = ParseTimeText(request.timeText, locale);
        if (!value) return std::nullopt;
        lines.push_back(FormatScheduleLine(EveryKindField(), *value, request.job, separator));
        break;
    }
    case ScheduleKind::Other:
        return std::nullopt;
    }
    return lines;
}

void RemoveScheduleRows(std::vector<std::string>& scheduleList, const std::vector<int>& scheduleRowLines,
                        std::vector<int> selectedRows) {
    std::sort(selectedRows.begin(), selectedRows.end(), std::greater<>());
    selectedRows.erase(std::unique(selectedRows.begin(), selectedRows.end()), selectedRows.end());
    for (const int row : selectedRows) {
        if (row < 0 || row >= static_cast<int>(scheduleRowLines.size())) continue;
        const int line = scheduleRowLines[static_cast<size_t>(row)];
        if (line >= 0 && line < static_cast<int>(scheduleList.size()))
            scheduleList.erase(scheduleList.begin() + line);
    }
}

} // namespace job
