#pragma once
// The log files on disk: one line per entry, a first line when a file is new, one retry after
// a second when the file is busy, and the archiving of the program log. The main form's log
// routine decides which files a line goes to; this unit only writes them.

#include <functional>
#include <map>
#include <set>
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
// An empty text is an empty line, stamped or not.
std::string LogLine(const std::string& stampText, const std::string& text, bool stamp);
// The first line of a new program, job or restore log.
std::string LogCreatedLine(const std::string& stampText);

// Appends one line (CR LF). A file this call creates gets firstLine before it; an existing
// one, even empty, does not. A file that cannot be opened is tried once more after 1000 ms of
// pumped waiting; then ELogWriteError.
void AppendLogLine(const std::string& path, const std::string& line, const std::string& firstLine);
// The same for several lines in one opening (lists such as the archive-bit list).
void AppendLines(const std::string& path, const std::vector<std::string>& lines,
                 const std::string& firstLine);

// Where log lines went.
enum class LogWritten { Own, Fallback, Dropped };

// The log files of the program as one writer that never throws: a log line must not stop
// the program. A file that cannot be written sends its lines to the fallback log (the program
// folder's), with the reason written there once; when that fails too they are dropped. While
// held (a job or restore runs) files stay open between lines, each line written at once and
// readable by others meanwhile; otherwise every line opens and closes its file.
class TLogFiles {
  public:
    // stamp gives the date and time in the fixed format (empty when it cannot be formatted).
    TLogFiles(std::string fallbackLog, std::function<std::string()> stamp);
    ~TLogFiles();
    TLogFiles(const TLogFiles&) = delete;
    TLogFiles& operator=(const TLogFiles&) = delete;

    // Writes lines to path; a file this creates gets firstLine first. fallBack false: the
    // lines are already in the fallback log, so a failure only notes its reason there.
    LogWritten Write(const std::string& path, const std::vector<std::string>& lines,
                     const std::string& firstLine, bool fallBack = true);
    // A job and a restore may hold at once: files stay open until both have released.
    void Hold();
    // The last release closes every file and forgets earlier failures.
    void Release();
    bool Held() const { return holds_ > 0; }
    // Before a file is emptied, replaced or copied.
    void Close(const std::string& path);
    const std::string& FallbackLog() const { return fallbackLog_; }

  private:
    // nullptr with reason set when the file cannot be opened.
    void* Open(const std::string& path, const std::string& firstLine, std::string& reason);
    bool WriteOwn(const std::string& path, const std::vector<std::string>& lines,
                  const std::string& firstLine, std::string& reason);
    void CloseAll();

    std::string fallbackLog_;
    std::function<std::string()> stamp_;
    int holds_ = 0;
    std::map<std::string, void*> open_;
    // Files whose failure has been noted: no second note and no second wait for them.
    std::set<std::string> failed_;
};

// "<Log folder><program base name>_Log_NNN.txt"
std::string ProgramLogArchiveName(const std::string& logFolder, const std::string& programBaseName,
                                  int number);

// Copies the program log to the next archive name (creating the Log folder) and empties it,
// only after a good copy. Returns the archive's path. Throws ELogWriteError when the copy
// or the emptying fails; the program log is then left as it was.
std::string ArchiveProgramLog(const std::string& programLog, const std::string& logFolder,
                              const std::string& programBaseName);

} // namespace core
