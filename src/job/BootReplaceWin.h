#pragma once
// Replacing files in use at the next boot: each file of the reboot list is extracted alone
// into a staging folder of its own and handed to the system, which puts it in place when
// Windows starts next: delayed moves on the NT family, WININIT.INI or the DOS batch chain on
// Windows 95, 98 and ME (see BootReplace.h for the plan). The extraction and every question
// go through the host, so the restore tab drives it with its unzip component and tests with
// plain copies.

#include "job/BootReplace.h"

#include <string>
#include <vector>

namespace job {

struct TRebootEntry {
    std::string target;
    int index = -1; // the entry in the archive
};

class TBootReplaceHost {
  public:
    virtual ~TBootReplaceHost() = default;
    virtual void Status(const std::string& text) = 0;
    virtual void Log(const std::string& text) = 0;
    // A Yes/No question (warning icon, No the default); false when hidden.
    virtual bool Ask(const std::string& text) = 0;
    // An information box; none while hidden.
    virtual void Inform(const std::string& text) = 0;
    // The entry alone into the folder, without its stored folders.
    virtual void ExtractEntry(int index, const std::string& folder) = 0;
    // Windows ME: the entries into the folder, each keeping its path after "\_RESTORE".
    virtual void ExtractRestoreData(const std::vector<TRebootEntry>& entries, const std::string& folder) = 0;
    virtual bool CancelPending() { return false; }
    // NT family: the staged copy replaces the target when Windows starts next.
    virtual bool MoveAtNextBoot(const std::string& from, const std::string& to);
};

struct TBootReplaceSetup {
    TBootOs os = TBootOs::NT;
    std::string windowsFolder;  // without a trailing "\"
    std::string userProfile;    // with a trailing "\"
    std::string tempPath;       // the program's temporary folder, "\" ended; may be replaced
    std::string systemTempPath; // "\" ended
    bool meHiveRestored = false;
};

// Stages and schedules every entry (last first), then empties the list. Answers the number
// scheduled.
int ReplaceAtNextBoot(TBootReplaceHost& host, std::vector<TRebootEntry>& list, TBootReplaceSetup& setup);

} // namespace job
