#pragma once
// The job file's text: 29 value lines, then "*-Include-*", the include items, "*-Exclude-*"
// and the exclude items. Written with CR LF in one piece; read with CR LF, LF or CR ends.
//
// Reading is tolerant by design, since job files of every age are around: lines missing at
// the end read as empty, numbers that do not parse fall back to fixed values, a file whose
// option lines stop early keeps the defaults of the rest, lines after line 29 of a newer
// layout are skipped, and the oldest layout (ten lines, then the include items, no password
// line) still loads. Only a password line that is not scrambled text stops a load, since
// guessing a password would make zips nobody can open.
//
// The "After:" date is stored as a day number and shown as fixed date text, so the locale
// and the current time (for a line that is no number) come in as values.

#include "core/DateText.h"
#include "gui/Clock.h"
#include "job/JobDefinition.h"

#include <string>
#include <string_view>

namespace job {

inline constexpr char IncludeMarker[] = "*-Include-*";
inline constexpr char ExcludeMarker[] = "*-Exclude-*";

struct JobTextContext {
    core::LocaleFormat locale;
    gui::DateTime now = 0; // the "After:" date of a line 4 that is no number
};

// The values a load resets even when the file is missing: the programs around the job.
void ResetRunPrograms(JobDefinition& job);

// Reads the text over job, in place: defaults first, then the values in file order, so
// what was read before an error stays. Throws core::EConvertError when the password line
// holds anything but five-digit groups.
void ReadJobText(std::string_view text, JobDefinition& job, const JobTextContext& context);

// The whole file. An empty destination is written as two blanks (a file line cannot be
// empty and mean "nothing"); items and texts that would end a section on reading, and line
// ends inside values, are left out.
std::string WriteJobText(const JobDefinition& job, const JobTextContext& context);

// Line 4: the fixed date text as a day number with ten decimals and the locale's separator;
// "40.1" when the text is no date.
std::string AfterDateLine(const std::string& afterDateText, const core::LocaleFormat& locale);

} // namespace job
