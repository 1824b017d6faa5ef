#pragma once
// The programs run before and after a job are stored as one line, program and parameters.
// A line that begins with a double quote names the program between the quotes and its
// parameters after the closing quote; any other line is the program alone. Both halves are
// trimmed. The program starts in its own folder.

#include <string>
#include <string_view>

namespace job {

// A job's programs before and after its run, and the two waits.
struct PrePostPrograms {
    std::string PreRunFile;  // program and parameters
    int PreWait = 10;        // seconds after starting it
    std::string PostRunFile; // program and parameters
    int PostWait = 1;        // seconds before starting it

    bool operator==(const PrePostPrograms&) const = default;
};

// A wait as typed: one that is no number keeps its old value, a negative one becomes 0.
int WaitSecondsOf(const std::string& text, int old);

struct ProgramCall {
    std::string Program;
    std::string Parameters;
    std::string Folder; // the program's folder, empty when it names none
};

ProgramCall SplitProgramLine(std::string_view line);

// A wait in seconds as the job file holds it, in milliseconds: a negative one is no wait, and
// one too long for the clock's milliseconds is the longest that fits (about 24 days).
int ProgramWaitMs(int seconds);

// Starts the line's program through the shell seam, shown normally; false when the line is
// empty or the start failed.
bool StartProgramLine(std::string_view line);

} // namespace job
