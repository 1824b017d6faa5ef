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
    EXPECT_LE(result.runQueue.size(), 3u);
    EXPECT_EQ(result.scheduleList.size(), lines.size() - 1);

    // Three rows around a line without one: removing the first and last row removes their lines.
    std::vector<std::string> list = {Line(job::DailyKindField(), 0.25, "a"), "Daily    -    - 0.6x b",
                                     Line(job::DailyKindField(), 0.5, "c"),
                                     Line(job::DailyKindField(), 0.75, "d")};
    const job::ScheduleResult rows = Evaluate(File(list), At(2025, 3, 10));
    ASSERT_EQ(rows.scheduleRows.size(), 3u);
    list = rows.scheduleList;
    job::RemoveScheduleRows(list, rows.scheduleRowLines, {0, 2});
    EXPECT_EQ(list,
              (std::vector<std::string>{Line(job::DailyKindField(), 0.5, "c"), "Daily    -    - 0.6x b"}));
}
