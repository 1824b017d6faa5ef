// Schedule files and saved queues of any bytes: the evaluation ends, its queue is ordered by
// due and free of repeats, every row names a line, and the list it read is written and read back to
// itself. The input is the schedule file, a NUL, then the ".sac"; its first byte picks the
// locale and the hour of Now.
#include "gui/CompareText.h"
#include "job/Schedules.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

core::LocaleFormat LocaleOf(uint8_t choice) {
    core::LocaleFormat locale;
    if (choice & 1) {
        locale.shortDateFormat = "dd.MM.yyyy";
        locale.dateSeparator = '.';
        locale.longTimeFormat = "HH:mm:ss";
        locale.decimalSeparator = ',';
    }
    return locale;
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t split = text.find('\0');
    job::ScheduleInput input;
    input.locale = LocaleOf(data[0]);
    input.now = 45726.0 + (data[0] >> 1) / 128.0;
    const std::string schedule = text.substr(0, split);
    input.scheduleFile = schedule;
    if (split != std::string::npos)
        input.savedRunQueue = job::SplitTextLines(std::string_view(text).substr(split + 1));

    const job::ScheduleResult result = job::EvaluateSchedules(input);
    const auto& queue = result.runQueue;
    // Ordered by the due's value (one that does not convert goes last), then by job.
    const char separator = input.locale.decimalSeparator;
    const auto dueOf = [&](const std::string& entry) {
        return job::RunQueueDue(entry, separator).value_or(HUGE_VAL);
    };
    for (size_t i = 1; i < queue.size(); ++i) {
        const double before = dueOf(queue[i - 1]), after = dueOf(queue[i]);
        Check(before < after || (before == after && gui::CompareTextI(job::RunQueueJob(queue[i - 1]),
                                                                      job::RunQueueJob(queue[i])) < 0));
    }
    Check(result.runRows.size() <= queue.size());
    Check(result.scheduleRows.size() == result.scheduleRowLines.size());
    for (size_t i = 0; i < result.scheduleRowLines.size(); ++i) {
        Check(result.scheduleRowLines[i] >= 0 &&
              static_cast<size_t>(result.scheduleRowLines[i]) < result.scheduleList.size());
        Check(i == 0 || result.scheduleRowLines[i] > result.scheduleRowLines[i - 1]);
    }
    Check(result.runQueueFile == job::RunQueueFileText(queue));

    // What was read is written in the current layout and reads back the same.
    const std::string written = job::ScheduleFileText(result.scheduleList);
    input.scheduleFile = written;
    Check(job::EvaluateSchedules(input).scheduleList == result.scheduleList);

    // The text as the Add fields: whatever converts makes lines every reader takes apart again.
    job::ScheduleRequest request;
    const std::vector<std::string> fields = job::SplitTextLines(schedule);
    request.dateText = fields.empty() ? "" : fields[0];
    request.timeText = fields.size() < 2 ? "" : fields[1];
    request.job = "C:\\job.dat";
    request.weekdays = {true, false, true};
    for (job::ScheduleKind kind :
         {job::ScheduleKind::Once, job::ScheduleKind::Monthly, job::ScheduleKind::Weekly,
          job::ScheduleKind::Daily, job::ScheduleKind::Every}) {
        request.kind = kind;
        if (const auto lines = job::MakeScheduleLines(request, input.locale))
            for (const std::string& line : *lines) {
                Check(job::KindOf(line) == kind);
                Check(job::ScheduleValue(line, '.').has_value());
                Check(job::ScheduleJob(line) == request.job);
            }
    }
    return 0;
}
