#pragma once
// Drive numbers of destination paths, the free and total bytes of their drives, and the
// file-date test and repair the planner applies to every file it zips.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace job {

// 1 to 26 for "A:" to "Z:" at the start of the path; -1 for a path without a drive letter (a
// network path), -2 for an empty path, 0 for a path of one character.
int DriveOfPath(std::string_view path);

// What a network path is taken to have free: it never asks for room.
inline constexpr int64_t NetworkFreeBytes = 2'100'000'000'000'000;

// Free bytes of the drive; 0 when the drive cannot be asked (a removable drive without a
// medium is not ready), NetworkFreeBytes for -1, 0 below -1. Drive 0 is the current drive.
int64_t DriveFreeBytes(int drive);
// Total bytes, by the same rules.
int64_t DriveSizeBytes(int drive);

// The destination as the job start and the space checks see it.
struct DestinationState {
    std::string DestPath;
    int DestDrive = -2;
    int64_t DestFreeSpace = 0;
    bool DiscWriterMode = false;
    bool EraseFirst = false;
};

// The write test: the destination takes a plain file ("io.tst", one "#", deleted again) on a
// drive with free bytes. Then it is no disc writer's; a CD formatted for direct access is not
// erased, which warn tells the user (hidden: the log). False with DestFreeSpace 0 otherwise.
// notice(text, boxed) reports; boxed is false while the window is hidden.
bool CheckDestination(DestinationState& state, bool warn, bool hidden,
                      const std::function<void(const std::string& text, bool boxed)>& notice);

// True when the file's date converts to a date and time. A date that does not is moved to
// the nearest one that does (a date before 1980 becomes now) and written to the file;
// message then tells what happened ("Bad datetime fixed for: " when repaired), and the
// result is false when the file could not be read or repaired.
bool CheckFileDate(const std::string& fileName, std::string& message);
// The same when the last-write time (UTC, 100 ns steps since 1601) is already known: only a
// date that does not convert is looked at again.
bool CheckFileDate(const std::string& fileName, uint64_t lastWriteTime, std::string& message);

} // namespace job
