#pragma once
// The resume state on disk and the archive-bit list, over the text rules of RunState.h.

#include "gui/FileAttributes.h"
#include "job/JobHost.h"
#include "job/RunState.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace job {

// The host's "<folder><program base name>" of RunStateBase; empty for a host without a program
// file, which keeps no resume state.
std::string ResumeStateBase(JobHost& host);

// Writes the seven lists, then the .run file, each replaced whole. False when a file could
// not be written; the .run file is then deleted, so no resume trusts an older state.
bool SaveRunState(const std::string& base, const RunStateLists& lists, const RunStateValues& values);

// False when there is no .run file. Every key present replaces the value in memory; a list
// file that is missing or cannot be read loads as an empty list.
bool LoadRunState(const std::string& base, RunStateLists& lists, RunStateValues& values);

// The keys alone, for a look at the state before the run reloads it: the lists of a big run
// are large and not read here. False when there is no .run file.
bool LoadRunValues(const std::string& base, RunStateValues& values);

// The job named in the .run file; empty when there is none.
std::string ResumeJobName(const std::string& base);

// Removes the .ftz, .tfl, .afl and .run files: nothing is left to resume. The other lists stay
// and are overwritten by the next job.
void DiscardRunState(const std::string& base);

// Adds the files of a volume that starts to wait for the disc to the .afl file; false with the
// reason when it cannot be written.
bool AppendVolumeBits(const std::string& base, const std::string& volume,
                      const std::vector<std::string>& paths, std::string& reason);
// The .afl file's pairs (volume, file); none when it is missing or cannot be read.
std::vector<std::pair<std::string, std::string>> LoadVolumeBits(const std::string& base);

// Sets the archive attribute again on every path of the archive-bit list, keeping the other
// attributes, then deletes the list. Paths that are gone are skipped. progress(n) runs after
// each path. Returns the number of paths handled. A list that is there but cannot be read is
// kept for a later try, and log gets the reason: deleting it would lose those bits for good.
// A path whose bit cannot be set is logged with the system's error.
int RestoreArchiveBits(const std::string& attributeList, gui::FileAttributes& attributes,
                       const std::function<void(int)>& progress,
                       const std::function<void(const std::string&)>& log = {});

// The same for a cancelled job, as the window shows it: the status line says to wait and
// counts the files, messages are pumped meanwhile, and the program log says when the bits are
// back, or how many could not be set; the status line is cleared at the end.
int RestoreArchiveBits(const std::string& attributeList, gui::FileAttributes& attributes, JobHost& host);

// A restore above is under way, its pumped waits running whatever the timer does: nothing may
// end the program before the bits are back.
bool ArchiveBitsBeingRestored();

} // namespace job
