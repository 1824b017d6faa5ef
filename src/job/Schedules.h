#pragma once
// The schedule file, the saved queue of runs and the evaluation that turns one into the other.
//
// A schedule line is fixed-column text: a 16-character kind field, the value as a number with
// ten decimals (a date and time, a time of day or an interval, all in days), blanks to column
// 39, then the job file. The run queue holds concrete due times: the due time with six
// decimals padded to 20 characters, then the job. Both are written with the locale's decimal
// separator and read with either, so a file written under one locale reads under another.
// The queue is ordered by the due's value, never by its text.
//
// The evaluation is one function from the files' text, the queues in memory, the run the timer
// has taken, Now and the locale to the new queue and the rows of both lists. It touches no
// file and no window, so every edge case runs natively with a fixed Now, and the window only
// copies its result into the list boxes and writes the ".sac" it hands back.
//
// Periodic kinds are stepped from a horizon a few seconds after Now (or after the queue's head
// when that fell due within the last day, so a run being started keeps its place). Every
// steps by arithmetic, not by repeated addition: an interval of a fraction of a second costs
// what an hour costs, and an interval of zero, like a Monthly day outside 1-31, gives no run
// instead of stepping for ever.

#include "core/DateText.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace job {

inline constexpr std::string_view ScheduleHeader = "version 2.11";

enum class ScheduleKind { Once, Monthly, Weekly, Daily, Every, Other };

// By columns 1-4 only, as every reader decides.
ScheduleKind KindOf(std::string_view line);

// The kind fields, 16 characters each. Weekdays are counted Monday first (0) to Sunday (6).
std::string OnceKindField();
std::string MonthlyKindField(int weekday);
std::string MonthlyDayKindField(int dayOfMonth);
std::string WeeklyKindField(int weekday);
std::string DailyKindField();
std::string EveryKindField();

// kind field + value with ten decimals + blanks, cut to 39 characters, + job.
std::string FormatScheduleLine(std::string_view kindField, double value, std::string_view job,
                               char decimalSeparator);
// Columns 17-36 as a number; nothing when they do not convert.
std::optional<double> ScheduleValue(std::string_view line, char decimalSeparator);
// Columns 40-293.
std::string_view ScheduleJob(std::string_view line);

// The one text of a due time: fixed notation with six decimals of the value taken to 15
// significant digits. The ".sac", the run being started and the timer's check all use it.
std::string DueText(double due, char decimalSeparator);
// Due text padded to 20 characters + job.
std::string FormatRunQueueEntry(double due, std::string_view job, char decimalSeparator);
// Columns 1-20 as a number; nothing when they do not convert.
std::optional<double> RunQueueDue(std::string_view entry, char decimalSeparator);
// Columns 21-274, trimmed.
std::string RunQueueJob(std::string_view entry);
// The due as the lists and the tray tip show it: date and time to the nearest second; nothing
// when it does not convert or lies outside the dates shown.
std::optional<std::string> RunQueueDueText(std::string_view entry, const core::LocaleFormat& locale);
// One run: the same due value, whichever decimal separator wrote it, and the same job.
bool SameRun(std::string_view a, std::string_view b, char decimalSeparator);

// Lines split at CR LF, LF or CR; a last line end makes no empty line.
std::vector<std::string> SplitTextLines(std::string_view text);
// The header and the lines, each with CR LF.
std::string ScheduleFileText(const std::vector<std::string>& scheduleList);
// The entries, each with CR LF.
std::string RunQueueFileText(const std::vector<std::string>& entries);

// Sorted insert into the schedule list (one case-insensitive order for every list here).
void InsertScheduleLine(std::vector<std::string>& scheduleList, std::string line);

struct ScheduleInput {
    // The schedule file's text; nothing when the file does not exist.
    std::optional<std::string_view> scheduleFile;
    std::vector<std::string> runQueue;      // as the last evaluation left it
    std::vector<std::string> savedRunQueue; // as last saved or loaded from the ".sac"
    gui::DateTime nextRunTime = 0;
    std::string nextRunJob;
    // Due time of the last run the timer started. No run due at or before it is computed
    // again, so a clock set back (the repeated hour when summer time ends) runs nothing twice.
    gui::DateTime startedRunDue = 0;
    gui::DateTime now = 0;
    core::LocaleFormat locale;
};

struct ScheduleResult {
    // False: the schedule file is missing; the schedule list and its rows are empty and the
    // queues, the run rows and the ".sac" stay as they were.
    bool scheduleFileFound = false;
    bool olderLayout = false;
    std::vector<std::string> scheduleList;
    std::vector<std::string> runQueue; // also the new saved queue
    std::vector<std::string> runRows;  // "Jobs to run:"
    std::vector<std::string> scheduleRows;
    // The schedule line of each row: a line whose value does not convert has no row, so rows
    // and lines are tied by this map, not by position.
    std::vector<int> scheduleRowLines;
    std::string runQueueFile; // the ".sac" to write
    // Schedule lines dropped because they name no job: they could never start.
    std::vector<std::string> linesWithoutJob;
};

ScheduleResult EvaluateSchedules(const ScheduleInput& input);

// What the tab's controls describe for an Add.
struct ScheduleRequest {
    ScheduleKind kind = ScheduleKind::Weekly;
    std::array<bool, 7> weekdays{}; // Monday first
    std::string dateText;           // fixed date format
    std::string timeText;           // the locale's time format
    std::string job;
};

// The lines an Add makes, all or none: nothing when a field it needs does not convert.
std::optional<std::vector<std::string>> MakeScheduleLines(const ScheduleRequest& request,
                                                          const core::LocaleFormat& locale);

// A time of day in the locale's format as a fraction of a day; nothing when it does not convert.
std::optional<double> ParseTimeText(std::string_view text, const core::LocaleFormat& locale);
// The locale's long time text of a value's fraction.
std::string TimeText(gui::DateTime value, const core::LocaleFormat& locale);
// Date and time text in the fixed format; nothing outside the years 1-9999.
std::optional<std::string> DateTimeText(gui::DateTime value, const core::LocaleFormat& locale);

// Removes the lines of the selected rows (row numbers of the schedule rows) from the list.
void RemoveScheduleRows(std::vector<std::string>& scheduleList, const std::vector<int>& scheduleRowLines,
                        std::vector<int> selectedRows);

} // namespace job
