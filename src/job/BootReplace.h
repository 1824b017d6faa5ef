#pragma once
// What replacing files in use at the next boot writes, decided without touching the system:
// given the target, its staged copy and the platform, the plan holds the delayed moves (NT
// family), the lines of WININIT.INI's [Rename] section and of the DOS batch chain (Windows
// 95, 98 and ME). The executor (BootReplaceWin) stages the files and carries the plan out.
//
// The batch chain: AUTOEXEC.BAT is replaced by a call of C:\QRestore.bat, which copies the
// 8.3-named files over their targets, puts the old AUTOEXEC back (or removes ours when there
// was none) and hands over to C:\QClean.bat, which deletes QRestore.bat and runs the restored
// AUTOEXEC. WININIT.INI is merged, not replaced: other programs' pending renames stay.

#include <string>
#include <vector>

namespace job {

enum class TBootOs { NT, Win9x, WinMe };

constexpr int kMaxRenameLines = 990;

struct TStagedFile {
    std::string target, staged;
    // The short (8.3) forms the real-mode renamer needs; the long ones when there are none.
    std::string targetShort, stagedShort;
};

struct TBootPlan {
    struct Move {
        std::string from, to;
    };
    std::vector<Move> moves;           // NT family: delayed moves, replacing the target
    std::vector<std::string> iniLines; // "target=staged" for [Rename]
    std::vector<std::string> batchLines;
    bool batch = false;
    int longNames = 0;
    bool tooMany = false; // the 991st long name: the rest are skipped
};

// Adds one staged file; false when the plan takes no more (too many long names).
bool PlanFile(TBootPlan& plan, const TStagedFile& file, TBootOs os);

// A registry hive of the NT family (asked twice before it is scheduled). The profile folder
// ends in "\".
bool IsRegistryHive(const std::string& target, const std::string& windowsFolder,
                    const std::string& userProfile);

// The staging root for a target: the temporary folder when it lies on the target's drive (a
// boot-time rename stays on one volume), else a folder on the target's drive. Ends in "\".
std::string StagingRootFor(const std::string& target, const std::string& tempPath);

// Windows ME: the live restore-data folder is renamed to _REST<n> at boot, and the restored
// one (extracted into _REST<m>) takes its place.
std::vector<std::string> MeSwapLines(const std::string& drive, int n, int m);

struct TBatchTail {
    std::vector<std::string> autoexec; // the new AUTOEXEC.BAT
    std::vector<std::string> qrestore; // appended to QRestore.bat
    std::vector<std::string> qclean;   // QClean.bat, afresh
};
// p: the number of the saved copy C:\AutoExec.<p>; `hadAutoexec`: there was one to save.
TBatchTail PlanBatchTail(int p, bool hadAutoexec);

// WININIT.INI's text with our lines joined to its [Rename] section (made when missing).
std::string MergeRenameSection(const std::string& existing, const std::vector<std::string>& lines);

// The restart message after staging; empty when nothing was scheduled.
std::string RestartMessage(int scheduled, bool batch, TBootOs os);

} // namespace job
