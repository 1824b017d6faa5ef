#pragma once
// The log files on disk: one line per entry, a first line when a file is new, one retry after
// a second when the file is busy, and the archiving of the program log. The main form's log
// routine decides which files a line goes to; this unit only writes them.

#include <stdexcept>
#include <string>
#include <vector>

namespace core {

// A log line that could not be written after its retry.
class ELogWriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// stampText is the date and time in the fixed format, empty when it could not be formatted.
std::string LogLine(const std::string& stampText, const std::string& text, bool stamp);
// The first line of a new program, job or restore log.
std::string LogCreatedLine(const std::string& stampText);

// Appends one line (CR LF). A missing file is created with firstLine before it. A file that
// cannot be opened is tried once more after 1000 ms of pumped waiting; then ELogWriteError.
void AppendLogLine(const std::string& path, const std::string& line, const std::string& firstLine);
// The same for several lines in one opening (lists such as the archive-bit list).
void AppendLines(const std::string& path, const std::vector<std::string>& lines,
                 const std::string& firstLine);

// "<Log folder><program base name>_Log_NNN.txt"
std::string ProgramLogArchiveName(const std::string& logFolder, const std::string& programBaseName,
                                  int number);

// Copies the program log to the next archive name (creating the Log folder) and empties it,
// only after a good copy. Returns the archive's path. Throws ELogWriteError when the copy
// or the emptying fails; the program log is then left as it was.
std::string ArchiveProgramLog(const std::string& programLog, const std::string& logFolder,
                              const std::string& programBaseName);

} // namespace core
