#include "job/JobItems.h"

#include "gui/CompareText.h"
#include "job/DirectoryListerWin.h"
#include "job/JobPump.h"
#include "job/JobStart.h"
#include "job/RegBak.h"

#include <windows.h>

namespace job {

namespace {

constexpr char separatorLine[] = "------------------------------------------";
constexpr char userToken[] = "%USER%";
constexpr size_t userTokenLength = 6;

bool StartsWithI(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           gui::SameTextI(std::string_view(text).substr(0, prefix.size()), prefix);
}

} // namespace

JobItems::JobItems(JobRun& run, JobHost& host, DirectoryLister& lister, JobDefinition& job,
                   SelectionPlace place)
    : run_(run), host_(host), lister_(lister), job_(job), place_(std::move(place)), scan_(run, host, lister) {
}

void JobItems::UserFolderNotice() {
    if (!run_.UserFolderNoticePending) return;
    run_.UserFolderNoticePending = false;
    host_.AddToLog(run_.UserFolders.empty() ? "No user folder information found in registry"
                                            : "%USER% = " + run_.UserFolders);
}

// A "%USER%" item under the user folders. The character after the token is dropped, so
// "%USER%\Documents" and "%USER%*Documents" both name Documents there.
std::string JobItems::UserItem(const std::string& item, bool forInclude) {
    UserFolderNotice();
    const std::string rest =
        item.size() > userTokenLength + 1 ? item.substr(userTokenLength + 1) : std::string{};
    std::string result = run_.UserFolders + rest;
    // A whole folder: every file in it for an include; for an exclude the folder form (a
    // trailing "\", added with the other existing folders), which takes everything below.
    if (forInclude && !run_.UserFolders.empty() && item.find('*') == std::string::npos &&
        lister_.DirectoryExists(result)) {
        result += "\\*.*";
        RepairItemSeparators(result);
    }
    return result;
}

void JobItems::BuildExcludeTable() {
    host_.AddToJobLog(separatorLine);
    host_.AddToJobLog("Exclude:");
    run_.ExcludeList.clear();
    for (const std::string& entry : job_.ExcludeList) {
        host_.AddToJobLog(entry);
        std::string item = entry;
        if (StartsWithI(item, userToken)) {
            item = UserItem(item, false);
            host_.AddToLog(item);
        }
        if (!item.empty() && !IsFolderLine(item) && lister_.DirectoryExists(item)) item += '\\';
        run_.ExcludeList.push_back(item);
    }
    run_.Excludes = ExcludeRules(run_.ExcludeList);
}

void JobItems::ScanLogged(const std::string& item) {
    host_.AddToLog(item);
    scan_.ScanItem(item);
}

void JobItems::IncludeLoop() {
    for (const std::string& item : job_.IncludeList) {
        if (host_.Cancelled()) break;
        host_.ResetWatchdog();
        if (gui::SameTextI(item, "%REGISTRY%")) {
            DeleteFileA((place_.ProgramFolder + "_$zreg_$._$r").c_str());
            DeleteFileA((place_.ProgramFolder + "_$zureg_$._$r").c_str());
            run_.DoIncludeReg = true;
        } else if (gui::SameTextI(item, "%SYSTEMSTATE%")) {
            run_.DoIncludeSysState = true;
        } else if (gui::SameTextI(item, "%CATALOG%")) {
            run_.CatSaved = false;
        } else if (gui::SameTextI(item, "%8.3ONLY%")) {
            run_.Only83 = true;
        } else if (gui::SameTextI(item, "%SYSTEM%")) {
            run_.SystemItem = true;
            run_.Only83 = true;
            ScanLogged(place_.WindowsFolder + "\\*.*");
        } else if (StartsWithI(item, userToken)) {
            ScanLogged(UserItem(item, true));
        } else if (item.find('*') == std::string::npos && lister_.DirectoryExists(item)) {
            std::string all = item + "\\*.*";
            RepairItemSeparators(all);
            host_.AddToLog(item);
            scan_.ScanItem(all);
        } else if (const std::string folder(FolderPart(item));
                   !folder.empty() && lister_.DirectoryExists(folder)) {
            ScanLogged(item);
        } else {
            host_.AddToJobLog("WARNING item does not exists: " + item);
            run_.ItemMissing = true;
        }
        host_.Pump();
        scan_.DrainQueue();
    }
}

SelectionResult JobItems::Run() {
    run_.FileCount = run_.FilesCopyed = 0;
    run_.BytesToBak = 0;
    run_.ZipNameNr = run_.FilesToBak = run_.DirToBak = 0;
    host_.ResetWatchdog();
    host_.SetPassProgress(0, 100);
    run_.Only83 = false;
    run_.DoIncludeReg = run_.DoIncludeSysState = false;
    run_.DoCatalog = job_.MakeCatalog;
    run_.CatSaved = true;
    run_.SystemItem = run_.ItemMissing = run_.FilesSkipped = false;
    run_.UserFolderNoticePending = true;
    run_.Only83 = false;
    run_.Options.ClearArchiveBit = job_.ClearArchiveBit;
    run_.Options.ChangedOnly = job_.ChangedOnly;
    run_.Options.CBCatalog = job_.CBCatalog;
    run_.Options.IncludeFolderInformation = job_.Includefolderinformation;
    run_.Options.IncludeDriveInfo = job_.Includedriveinfo;
    run_.Options.IncludeFullDriveInfo = job_.IncludeFulldriveInfo;
    run_.Optimizeusedspace = job_.Optimizeusedspace;
    // A catalogue that cannot be read is no empty one: every file would count as changed
    // and the names of earlier volumes would no longer be kept from reuse.
    if (job_.CBCatalog && ReadCatalogs && !ReadCatalogs()) host_.SetCancelled(true);

    BuildExcludeTable();
    IncludeLoop();
    if (run_.DoIncludeReg) {
        if (place_.Version.ntFamily) {
            SystemStateBackup();
        } else if (!host_.Cancelled()) {
            SaveRegistryForJob(host_, place_.ProgramFolder);
            // The text copy is what a 9x job has of its registry: list it when it was written.
            const std::string copy = place_.ProgramFolder + "_$zreg_$._$r";
            std::vector<DirEntry> found;
            lister_.List(copy, found);
            if (found.size() == 1 && !(found[0].Attributes & EntryDirectory)) {
                run_.FilestoZipList.push_back({copy, found[0].Size});
                ++run_.FileCount;
                ++run_.FilesToBak;
                run_.BytesToBak += found[0].Size;
            }
        }
    }
    return AfterSelection();
}

SelectionResult JobItems::AfterSelection() {
    SelectionResult result;
    run_.TotalMB = run_.BytesToBak / 1'000'000;
    scan_.RemoveDuplicates();
    scan_.LogSelectionCounts();
    if (!host_.ArchiveBitPending().empty()) host_.FlushAttributeList();
    if (!host_.Hidden()) host_.SetStatusText("Sorting " + std::to_string(run_.FilesToBak) + " files wait ");
    const bool ordered = run_.Optimizeusedspace && place_.DestinationFreeSpace;
    scan_.OrderBySize(ordered ? place_.DestinationFreeSpace() : 0);
    PumpAfterLongStep(host_);
    result.BytesSelected = run_.BytesToBak;
    result.FilesTotal = run_.FileCount;
    if (host_.Cancelled()) {
        result.Cancelled = true;
        host_.AddToLog("Backup cancelled");
        host_.AddToLog("");
        // The start moved the "After:" date to now; a cancelled run must not move it.
        if (PutBackAfterDate(run_, job_) && SaveJob) SaveJob();
        host_.SetCancelled(false);
        if (!ZipName.empty()) {
            DeleteFileA((run_.TempPath + ZipName + ".zfi").c_str());
            DeleteFileA((run_.TempPath + ZipName + ".tmp").c_str());
        }
        host_.SetStatusText("Job cancelled by user");
        host_.SetTotalText("");
        if (EndCancelledStart) EndCancelledStart();
        return result;
    }
    host_.Pump();
    host_.AddToLog("Bytes to backup: " + std::to_string(run_.BytesToBak));
    host_.Pump();
    run_.BytesToBak = 0;
    run_.FileCount = 0;
    return result;
}

} // namespace job
