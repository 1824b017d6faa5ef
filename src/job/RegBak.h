#pragma once
// Registry backup and restore in the program's own text format. The writer walks each root
// depth-first (an iterative pending list, so deep trees cost no stack) and writes every value
// the format can hold; the reader writes back every value that differs from the registry and
// can remove values added since the backup. Both run on the GUI thread over TRegistry with the
// ANSI registry functions, and reach the window only through TRegBakHost.

#include "core/MvRegistry.h"
#include "core/Settings.h"

#include <string>
#include <vector>

namespace job {

// What the backup and restore need from the program.
class TRegBakHost {
  public:
    virtual ~TRegBakHost() = default;
    virtual void ProgramLog(const std::string& text) = 0;
    // While saving for a job.
    virtual void JobLog(const std::string& text) = 0;
    // While restoring; the unstamped form holds the hex lines of detailed logging.
    virtual void RestoreLog(const std::string& text) = 0;
    virtual void RestoreLogUnstamped(const std::string& text) { RestoreLog(text); }
    virtual void Status(const std::string& text) = 0;
    // The lines written so far (every 97 lines) while saving.
    virtual void LinesSaved(uint64_t lines) {}
    virtual void Progress(int position, int maximum) {}
    // Called per value; the host pumps on a time budget.
    virtual void ProcessMessages() {}
    // A Yes/No question with No as the default; false without asking while the window is hidden.
    virtual bool AskYesNo(const std::string& text) = 0;
    // The job's cancel flag (saving) and the restore's (restoring).
    virtual bool Cancelled() { return false; }
    virtual bool RestoreCancelled() { return false; }
    // The restore action's caption while the restore runs and after it.
    virtual void RestoreCaption(const std::string& caption) {}
    virtual void RefreshLogView() {}
    // Switch /L: the values written back are described in full.
    virtual bool DetailLog() { return false; }
    virtual core::OsVersion Os() { return {}; }
    // Waits while the window stays alive.
    virtual void Wait(int milliseconds);
};

class JobHost;

// One value of the registry as collect mode lists it.
struct TRegValueId {
    std::string root, path, name; // path "" for the root's own values, else "\..."
    // Root name + path + "\" + name, upper-cased: how the backup and the registry are compared.
    std::string Key() const;
};

// The five roots in the order written, and the two the reader also knows.
struct TRegRoot {
    const char* name;
    HKEY key;
};
const std::vector<TRegRoot>& RegBakRoots();
HKEY RegRootByName(const std::string& name); // nullptr when unknown

// Writes `fileName` (truncated first), or, with collectOnly, lists every value the writer would
// write into `list`. With `roots` set, only those roots are walked. False when the file could
// not be written.
bool BackupRegistry(TRegBakHost& host, const std::string& fileName, std::vector<TRegValueId>* list,
                    bool collectOnly, bool currentUserOnly, const std::vector<std::string>* roots = nullptr);

// All roots into "_$zreg_$._$r" in the program folder, then waits (at most 60 s of the clock)
// until the file can be opened for reading. Answers the file's path; empty when it could not
// be made ready.
std::string SaveRegistryForJob(TRegBakHost& host, const std::string& programFolder);
// The same for the running job: its logs, status line, line count (Label2) and cancel flag.
std::string SaveRegistryForJob(JobHost& host, const std::string& programFolder);

// Writes back the file's values after two confirmations, then offers to remove the values
// added since the backup under the roots the file holds.
void RestoreRegistry(TRegBakHost& host, const std::string& fileName);

} // namespace job
