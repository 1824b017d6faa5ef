// The schedule evaluation at fixed times: the kinds' edge cases, the saved queue, the run being
// started, the files byte for byte in both decimal-separator locales, the older layout, and the
// hand-edited lines that must neither hang the evaluation nor shift Remove onto another line.
#include "job/Schedules.h"

#include <gtest/gtest.h>

namespace {

using job::EvaluateSchedules;
using job::ScheduleInput;
using job::ScheduleKind;
using job::ScheduleRequest;

core::LocaleFormat Iso() {
    core::LocaleFormat locale;
    locale.shortDateFormat = "yyyy-MM-dd";
    locale.dateSeparator = '-';
    locale.longTimeFormat = "HH:mm:ss";
    return locale;
}

core::LocaleFormat German() {
    core::LocaleFormat locale;
    locale.shortDateFormat = "dd.MM.yyyy";
    locale.dateSeparator = '.';
    locale.longTimeFormat = "HH:mm:ss";
    locale.decimalSeparator = ',';
    return locale;
}

double At(int year, int month, int day, int hour = 0, int minute = 0) {
    return core::EncodeDateTime({year, month, day, hour, minute});
}

std::string File(const std::vector<std::string>& lines) {
    return job::ScheduleFileText(lines);
}

job::ScheduleResult Evaluate(const std::string& file, double now, std::vector<std::string> saved = {},
                             const core::LocaleFormat& locale = Iso()) {
    ScheduleInput input;
    input.scheduleFile = file;
    input.savedRunQueue = std::move(saved);
    input.now = now;
    input.locale = locale;
    return EvaluateSchedules(input);
}

std::string Line(const std::string& kind, double value, const std::string& job = "C:\\Jobs\\a.dat") {
    return job::FormatScheduleLine(kind, value, job, '.');
}

std::vector<std::string> Rows(const job::ScheduleResult& result) {
    return result.runRows;
}

} // namespace

TEST(ScheduleEvaluation, PeriodicKindsAtTheirEdges) {
    const double nine = 9.0 / 24;
    // The first Monday of March 2025 has passed on the 10th.
    EXPECT_EQ(Rows(Evaluate(File({Line(job::MonthlyKindField(0), nine)}), At(2025, 3, 10, 12))),
              (std::vector<std::string>{"2025-04-07 09:00:00  -  C:\\Jobs\\a.dat",
                                        "2025-05-05 09:00:00  -  C:\\Jobs\\a.dat"}));
    // Months without a 31st are passed over.
    EXPECT_EQ(Rows(Evaluate(File({Line(job::MonthlyDayKindField(31), nine)}), At(2025, 3, 10, 12))),
              (std::vector<std::string>{"2025-03-31 09:00:00  -  C:\\Jobs\\a.dat",
                                        "2025-05-31 09:00:00  -  C:\\Jobs\\a.dat"}));
    EXPECT_EQ(Rows(Evaluate(File({Line(job::EveryKindField(), 1.0 / 24)}), At(2025, 3, 10, 10, 20))),
              (std::vector<std::string>{"2025-03-10 11:00:00  -  C:\\Jobs\\a.dat",
                                        "2025-03-10 12:00:00  -  C:\\Jobs\\a.dat",
                                        "2025-03-10 13:00:00  -  C:\\Jobs\\a.dat"}));
    const std::string daily = File({Line(job::DailyKindField(), 14.0 / 24)});
    EXPECT_EQ(Evaluate(daily, At(2025, 3, 10, 13, 59)).runRows.size(), 3u);
    EXPECT_EQ(Rows(Evaluate(daily, At(2025, 3, 10, 14, 1))),
              (std::vector<std::string>{"2025-03-11 14:00:00  -  C:\\Jobs\\a.dat",
                                        "2025-03-12 14:00:00  -  C:\\Jobs\\a.dat"}));
    // Weekly on Monday over the 15 days from a Monday after its time: two Mondays, each once.
    EXPECT_EQ(Evaluate(File({Line(job::WeeklyKindField(0), nine)}), At(2025, 3, 10, 12)).runRows.size(), 2u);
    // A Once in the past gives nothing; the schedule's row shows date and time.
    const job::ScheduleResult once =
        Evaluate(File({Line(job::OnceKindField(), At(2025, 3, 9, 8))}), At(2025, 3, 10));
    EXPECT_TRUE(once.runQueue.empty());
    EXPECT_EQ(once.scheduleRows,
              std::vector<std::string>{"Once     -    - 2025-03-09 08:00:00  -  C:\\Jobs\\a.dat"});
}

TEST(ScheduleEvaluation, SavedRunsMergeAndTheStartingRunLeaves) {
    const std::string file = File({Line(job::DailyKindField(), 14.0 / 24)});
    const double now = At(2025, 3, 10, 12);
    const std::string missed = job::FormatRunQueueEntry(At(2025, 3, 9, 14), "C:\\Jobs\\a.dat", '.');
    const std::string again = job::FormatRunQueueEntry(At(2025, 3, 11, 14), "C:\\Jobs\\a.dat", '.');
    const job::ScheduleResult result = Evaluate(file, now, {missed, again, "", "garbage"});
    // The missed run stays ahead of the computed ones, the one computed again appears once, and
    // lines that can never start are dropped.
    ASSERT_EQ(result.runQueue.size(), 4u);
    EXPECT_EQ(result.runQueue[0], missed);
    EXPECT_EQ(result.runQueueFile, "45725.583333        C:\\Jobs\\a.dat\r\n"
                                   "45726.583333        C:\\Jobs\\a.dat\r\n"
                                   "45727.583333        C:\\Jobs\\a.dat\r\n"
                                   "45728.583333        C:\\Jobs\\a.dat\r\n");

    // The timer has taken today's run and is starting it: it is not offered again.
    ScheduleInput input;
    input.scheduleFile = file;
    input.now = At(2025, 3, 10, 14, 0) + 1.0 / 86400;
    input.runQueue = result.runQueue;
    input.nextRunTime = At(2025, 3, 10, 14);
    input.nextRunJob = "C:\\Jobs\\a.dat";
    input.locale = Iso();
    const job::ScheduleResult starting = EvaluateSchedules(input);
    ASSERT_FALSE(starting.runQueue.empty());
    EXPECT_EQ(starting.runQueue.front(),
              job::FormatRunQueueEntry(At(2025, 3, 11, 14), "C:\\Jobs\\a.dat", '.'));

    // No schedule file: the queue stays as it was; a header alone: only the saved runs.
    input.scheduleFile.reset();
    EXPECT_EQ(EvaluateSchedules(input).runQueue, result.runQueue);
    EXPECT_EQ(Evaluate(File({}), now, {missed}).runQueue, std::vector<std::string>{missed});
}

TEST(ScheduleFiles, AddWritesEveryKindByteForByteInEitherLocale) {
    ScheduleRequest request;
    request.job = "C:\\Jobs\\a.dat";
    request.kind = ScheduleKind::Weekly;
    request.weekdays = {true, false, false, false, false, false, true};
    request.timeText = "09:30:00";
    std::vector<std::string> list;
    auto add = [&] {
        const auto lines = job::MakeScheduleLines(request, German());
        ASSERT_TRUE(lines);
        for (const std::string& line : *lines)
            job::InsertScheduleLine(list, line);
    };
    add();
    request.kind = ScheduleKind::Once;
    request.dateText = "10.03.2025 14:30:00";
    add();
    request.kind = ScheduleKind::Monthly;
    request.weekdays = {};
    add();
    request.kind = ScheduleKind::Every;
    request.timeText = "01:30:00";
    add();
    EXPECT_EQ(job::ScheduleFileText(list), "version 2.11\r\n"
                                           "Every    -    - 0,0625000000           C:\\Jobs\\a.dat\r\n"
                                           "Monthly  - 10 - 0,6041666667           C:\\Jobs\\a.dat\r\n"
                                           "Once     -    - 45726,6041666667       C:\\Jobs\\a.dat\r\n"
                                           "Weekly   - Mo - 0,3958333333           C:\\Jobs\\a.dat\r\n"
                                           "Weekly   - Su - 0,3958333333           C:\\Jobs\\a.dat\r\n");
    // Written with "," and read with ".": the same runs.
    EXPECT_EQ(Evaluate(job::ScheduleFileText(list), At(2025, 3, 10), {}, German()).runQueue.size(),
              Evaluate(job::ScheduleFileText(list), At(2025, 3, 10), {}, Iso()).runQueue.size());
    EXPECT_EQ(job::DueText(0.0078125, '.'), "0.007813"); // halves round away from zero

    // A field that does not convert adds nothing at all.
    request.kind = ScheduleKind::Weekly;
    request.weekdays = {true, true};
    request.timeText = "9:7x";
    EXPECT_FALSE(job::MakeScheduleLines(request, German()));
    request.kind = ScheduleKind::Daily;
    request.dateText = "31.02.2025";
    EXPECT_FALSE(job::MakeScheduleLines(request, German()));
}

TEST(ScheduleFiles, OlderLayoutIsConvertedLineByLine) {
    const std::string older = "Once 03/10/2025 14:30:00 - C:\\Jobs\\a.dat\r\n"
                              "Weekly   - Fr - 09:15:00 - C:\\Jobs\\b.dat\r\n"
                              "Daily    -    - 25:99:00 - C:\\Jobs\\c.dat\r\n"
                              "Something else\r\n";
    core::LocaleFormat us = Iso();
    us.shortDateFormat = "M/d/yyyy";
    us.dateSeparator = '/';
    const job::ScheduleResult result = Evaluate(older, At(2025, 3, 10), {}, us);
    EXPECT_TRUE(result.olderLayout);
    EXPECT_EQ(result.scheduleList,
              (std::vector<std::string>{"Once          - 45726.6041666667       C:\\Jobs\\a.dat",
                                        "Weekly   - Fr - 0.3854166667           C:\\Jobs\\b.dat"}));
}

TEST(ScheduleFiles, HandEditedLinesNeitherHangNorShiftRemove) {
    const std::vector<std::string> lines = {
        Line(job::EveryKindField(), 0),                 // no interval
        Line(job::EveryKindField(), 3),                 // a whole number of days
        "Every    -    - 0.0000000001           C:\\x", // a tenth of a nanoday
        "Monthly  - 45 - 0.5                    C:\\y",
        "Monthly  - 00 - 0.5                    C:\\y",
        "Monthly  - Xy - 0.5                    C:\\z", // neither weekday nor number: leaves the list
        "Weekly   - Mo - not a number           C:\\w",
        "Once     -    - 1e300                  C:\\v",
    };
    const job::ScheduleResult result = Evaluate(File(lines), At(2025, 3, 10));
    // None of them runs: a whole number of days is no interval, a tenth of a nanoday passes
    // the horizon's 15 seconds within its three steps, and neither takes a step per interval.
    EXPECT_TRUE(result.runQueue.empty());
    EXPECT_EQ(result.scheduleList.size(), lines.size() - 1);

    // Three rows around a line without one: removing the first and last row removes their lines.
    std::vector<std::string> list = {
        Line(job::DailyKindField(), 0.25, "a"), "Daily    -    - 0.6x                   b",
        Line(job::DailyKindField(), 0.5, "c"), Line(job::DailyKindField(), 0.75, "d")};
    const job::ScheduleResult rows = Evaluate(File(list), At(2025, 3, 10));
    ASSERT_EQ(rows.scheduleRows.size(), 3u);
    list = rows.scheduleList;
    job::RemoveScheduleRows(list, rows.scheduleRowLines, {0, 2});
    EXPECT_EQ(list, (std::vector<std::string>{Line(job::DailyKindField(), 0.5, "c"),
                                              "Daily    -    - 0.6x                   b"}));
}

// The horizon starts at the queue's head while that fell due within the last day, so a run
// passed over while the head waited is still offered; older or future heads start at Now.
TEST(ScheduleEvaluation, AHeadDueWithinTheLastDayKeepsTheHorizon) {
    ScheduleInput input;
    const std::string file = File({Line(job::DailyKindField(), 6.0 / 24)});
    input.scheduleFile = file;
    input.now = At(2025, 3, 10, 10, 20);
    input.locale = Iso();
    auto rowsWithHead = [&](double head) {
        input.runQueue = {job::FormatRunQueueEntry(head, "C:\\Jobs\\b.dat", '.')};
        return EvaluateSchedules(input).runRows;
    };
    EXPECT_EQ(rowsWithHead(At(2025, 3, 10, 2)),
              (std::vector<std::string>{"2025-03-10 06:00:00  -  C:\\Jobs\\a.dat",
                                        "2025-03-11 06:00:00  -  C:\\Jobs\\a.dat",
                                        "2025-03-12 06:00:00  -  C:\\Jobs\\a.dat"}));
    const std::vector<std::string> fromNow = {"2025-03-11 06:00:00  -  C:\\Jobs\\a.dat",
                                              "2025-03-12 06:00:00  -  C:\\Jobs\\a.dat"};
    EXPECT_EQ(rowsWithHead(At(2025, 3, 9, 10)), fromNow);  // more than a day ago
    EXPECT_EQ(rowsWithHead(At(2025, 3, 10, 11)), fromNow); // not due yet
}

TEST(ScheduleEvaluation, MonthsAndWeeksAcrossFebruaryAndTheYearEnd) {
    const double nine = 9.0 / 24;
    auto rows = [&](const std::string& kind, double now) {
        return Rows(Evaluate(File({Line(kind, nine)}), now));
    };
    auto row = [](const char* date) { return std::string(date) + " 09:00:00  -  C:\\Jobs\\a.dat"; };
    // Days 29-31 from the end of January: February has a 29th only in a leap year.
    EXPECT_EQ(rows(job::MonthlyDayKindField(29), At(2024, 1, 30, 12)),
              (std::vector<std::string>{row("2024-02-29"), row("2024-03-29")}));
    EXPECT_EQ(rows(job::MonthlyDayKindField(29), At(2025, 1, 30, 12)),
              std::vector<std::string>{row("2025-03-29")});
    EXPECT_EQ(rows(job::MonthlyDayKindField(30), At(2024, 1, 30, 12)),
              std::vector<std::string>{row("2024-03-30")});
    EXPECT_EQ(rows(job::MonthlyDayKindField(31), At(2024, 1, 30, 12)),
              (std::vector<std::string>{row("2024-01-31"), row("2024-03-31")}));
    // The first Monday of December has passed: January's and February's of the next year.
    EXPECT_EQ(rows(job::MonthlyKindField(0), At(2025, 12, 10, 12)),
              (std::vector<std::string>{row("2026-01-05"), row("2026-02-02"), row("2026-03-02")}));
    // A Monday before its time: three Mondays in the 15 days, each once.
    EXPECT_EQ(rows(job::WeeklyKindField(0), At(2025, 3, 10, 8)),
              (std::vector<std::string>{row("2025-03-10"), row("2025-03-17"), row("2025-03-24")}));
}

// A run at midnight within the 15 seconds of the horizon is not computed again, but the queue
// saved a minute earlier still holds it: it is offered once, before the day after next's. A first evaluation
// that close to it (a start at 23:59:50) does not offer it.
TEST(ScheduleEvaluation, AMidnightRunWithinTheHorizonStaysFromTheSavedQueue) {
    const std::string file = File({Line(job::DailyKindField(), 0)});
    auto row = [](const char* date) { return std::string(date) + " 00:00:00  -  C:\\Jobs\\a.dat"; };
    const job::ScheduleResult before = Evaluate(file, At(2025, 3, 10, 23, 59));
    ASSERT_EQ(Rows(before), (std::vector<std::string>{row("2025-03-11"), row("2025-03-12")}));
    ScheduleInput input;
    input.scheduleFile = file;
    input.runQueue = before.runQueue;
    input.savedRunQueue = before.runQueue;
    input.now = At(2025, 3, 10, 23, 59) + 50.0 / 86400;
    input.locale = Iso();
    EXPECT_EQ(EvaluateSchedules(input).runRows,
              (std::vector<std::string>{row("2025-03-11"), row("2025-03-12"), row("2025-03-13")}));
    EXPECT_EQ(Rows(Evaluate(file, input.now)),
              (std::vector<std::string>{row("2025-03-12"), row("2025-03-13")}));
}

// Dues are ordered by value: a Once two centuries ahead (six integer digits) comes after a
// Daily, which heads the queue; a saved run written with the other decimal separator is the
// same run as the one computed again.
TEST(ScheduleEvaluation, QueueOrderedByDueValueAndOneRunWhateverItsSeparator) {
    const std::string file =
        File({Line(job::OnceKindField(), At(2205, 1, 1, 9)), Line(job::DailyKindField(), 0.5)});
    const std::string savedComma = job::FormatRunQueueEntry(At(2025, 3, 11, 12), "c:\\jobs\\A.DAT", ',');
    const job::ScheduleResult result = Evaluate(file, At(2025, 3, 10, 10), {savedComma});
    EXPECT_EQ(Rows(result), (std::vector<std::string>{"2025-03-10 12:00:00  -  C:\\Jobs\\a.dat",
                                                      "2025-03-11 12:00:00  -  C:\\Jobs\\a.dat",
                                                      "2025-03-12 12:00:00  -  C:\\Jobs\\a.dat",
                                                      "2205-01-01 09:00:00  -  C:\\Jobs\\a.dat"}));
    // The written text stays the due's text.
    EXPECT_EQ(result.runQueue.back(), job::FormatRunQueueEntry(At(2205, 1, 1, 9), "C:\\Jobs\\a.dat", '.'));
    EXPECT_EQ(result.runQueue.back().substr(0, 14), "111401.375000 ");
    EXPECT_TRUE(job::SameRun(savedComma, result.runQueue[1], '.'));
}

// A schedule line without a job is left out and reported; a saved run without one is dropped.
// A header with a byte order mark or trailing blanks is the current layout.
TEST(ScheduleFiles, LinesWithoutAJobLeaveAndAnEditorsHeaderStaysCurrent) {
    const std::string noJob = "Daily    -    - 0.5000000000           ";
    const std::string text = "\xEF\xBB\xBF"
                             "version 2.11  \r\n" +
                             noJob + "\r\n" + Line(job::DailyKindField(), 0.75) + "\r\n";
    const std::string savedNoJob = job::FormatRunQueueEntry(At(2025, 3, 9, 12), "   ", '.');
    const job::ScheduleResult result = Evaluate(text, At(2025, 3, 10, 10), {savedNoJob});
    EXPECT_FALSE(result.olderLayout);
    EXPECT_EQ(result.scheduleList, std::vector<std::string>{Line(job::DailyKindField(), 0.75)});
    EXPECT_EQ(result.linesWithoutJob, std::vector<std::string>{noJob});
    ASSERT_EQ(result.runQueue.size(), 3u);
    for (const std::string& entry : result.runQueue)
        EXPECT_EQ(job::RunQueueJob(entry), "C:\\Jobs\\a.dat");
}
