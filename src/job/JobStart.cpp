#include "job/JobStart.h"

#include "core/ConvertError.h"
#include "core/FuncMin.h"
#include "core/WinFolders.h"
#include "gui/CivilDate.h"
#include "gui/Clock.h"
#include "gui/CompareText.h"
#include "gui/DriveType.h"
#include "job/JobPump.h"
#include "job/JobStartRules.h"
#include "job/ProgramLine.h"
#include "job/VolumePrepRules.h"
#include "job/VolumeSizes.h"

#include <windows.h>

#include <cctype>
#include <cstdio>

namespace job {

namespace {

std::string WithBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

std::string Formatted(const char* pattern, const std::string& value) {
    std::string text = pattern;
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, value);
    return text;
}

std::string TodayText() {
    int year = 0, month = 0, day = 0;
    gui::CivilFromDays(static_cast<int64_t>(gui::CurrentClock().Now()) + gui::DateTimeEpochDays, year, month,
                       day);
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
    return text;
}

} // namespace

bool PutBackAfterDate(JobRun& run, JobDefinition& job) {
    if (!run.AfterDateTextBeforeStart) return false;
    job.AfterDateText = *run.AfterDateTextBeforeStart;
    run.AfterDateTextBeforeStart.reset();
    return true;
}

void JobStarter::EndJob() {
    // Every cancelled way out ends here: the selection's, the cancel tail's, the timer's.
    if ((host_.Cancelled() || run_.FilesLeftUncopied) && PutBackAfterDate(run_, job_))
        host_.SaveJob(host_.JobName());
    JobEndInput input;
    input.MailBody = &session_.MailBody;
    input.JobName = host_.JobName();
    input.JobLogName = session_.JobLogName;
    input.PostRunFile = job_.PostRunFile;
    input.PostWait = job_.PostWait;
    input.Cancelled = host_.Cancelled();
    input.CloseAfterJob = host_.CloseAfterJob();
    if (JobEnd(session_.EndGuard, host_, input)) session_.State = JobState::Idle;
}

void JobStarter::StartBackupJob() {
    if (session_.State == JobState::Running || session_.State == JobState::Ending) return;
    if (session_.State == JobState::Starting) {
        // A schedule, the command line or a click inside one of the start's pumped waits.
        host_.AddToLog("Job start refused, a job is starting: " + host_.JobName());
        return;
    }
    session_.State = JobState::Starting;
    JobEndGuard& guard = session_.EndGuard;
    guard.StepBegins();
    bool handedOver = false;
    try {
        handedOver = Steps();
    } catch (const std::exception& error) {
        host_.AddToLog("Backup terminated unexpected: " + host_.JobName());
        host_.AddToLog(std::string("Backup error: ") + error.what());
        if (!host_.Hidden()) host_.ShowMessage(error.what(), gui::TMsgIcon::Stop);
    } catch (...) {
        host_.AddToLog("Backup terminated unexpected: " + host_.JobName());
    }
    guard.StepEnds();
    if (!handedOver) run_.FilesLeftUncopied = true;
    if (!handedOver || host_.Cancelled() || session_.State != JobState::Running) EndJob();
}

// Steps 1 to 34 of a start; false when the run ends here.
bool JobStarter::Steps() {
    while (!host_.StartUpDone())
        host_.Wait(1000);
    session_.MailBody.clear();
    // An early end must neither write to nor mail the previous run's log.
    session_.JobLogName.clear();
    host_.BeginReport();
    run_.JobStartTime = gui::CurrentClock().Now();
    host_.Pump();
    host_.SetCancelled(false);
    ResetRunRecord();
    if (!host_.Hidden()) host_.CloseStatusBox();
    TemporaryFolder();
    run_.TempPath = host_.TempPath();
    run_.UserFolders = host_.UserFolders();
    core::DeleteFilesByMask(host_.TempPath() + "~zip*.*");
    host_.ShowJobStarting();
    host_.ClearRestoreVerify();
    session_.State = JobState::Running;
    session_.RunBegins();
    session_.EndGuard.JobStarted();
    std::string programBase = host_.ProgramFile();
    programBase = programBase.substr(0, programBase.find_last_of('.'));
    DeleteFileA((programBase + ".zfi").c_str());
    if (!run_.ZipFileName.empty()) {
        const std::vector<std::string> work = VolumeWorkFiles(run_.TempPath, run_.ZipFileName);
        DeleteFileA(work[0].c_str());
        DeleteFileA(work[1].c_str());
    }
    ZipDate = TodayText();
    session_.WasMinimizedAtStart = host_.ArrangeWindowForJob();
    if (!host_.KeepResumeState()) host_.AbandonUnfinishedRun();

    std::string jobName = host_.JobName();
    Resumed = false;
    if (!host_.Hidden()) {
        const RunStateValues resume = host_.ResumeValues();
        if (!resume.JobName.empty()) {
            if (host_.AskYesNo(
                    Formatted("Your last job: %s was not finished would you like to continue the job. "
                              "The job will start at the begin of that disk or file which was cancelled",
                              resume.JobName))) {
                Resumed = true;
                jobName = resume.JobName;
                // The start that moved the "After:" text is the unfinished run's.
                run_.AfterDateTextBeforeStart = resume.AfterDateTextBeforeStart;
                if (!resume.ZipDate.empty()) ZipDate = resume.ZipDate;
                session_.JobLogName = resume.JobLogName;
            } else {
                host_.AbandonUnfinishedRun();
            }
        }
    }
    // The definition the program holds is the job's unless another job was asked for.
    if (session_.LoadedJobName.empty() || gui::CompareTextI(session_.LoadedJobName, jobName) != 0)
        host_.LoadJob(jobName);
    PumpAfterLoad(host_);
    jobName = host_.JobName();
    host_.AddToLog("");
    host_.AddToLog("Backup started: " + jobName);

    Destination = DestinationState{};
    Destination.EraseFirst = job_.EraseCD || job_.FullEraseCD;
    DestList = ParseDestinations(job_.Destination);
    Destination.DestPath = DestList.empty() ? std::string() : DestList.front();
    MaxZipSize = job_.MaxZipSize;
    SpaceReserve = 0;
    if (!ChooseDestination()) return false;
    run_.DestFreeSpace = Destination.DestFreeSpace;
    if (!Destination.DiscWriterMode && !core::DirectoryExists(Destination.DestPath))
        core::ForceDirectories(Destination.DestPath);
    const std::string driveType =
        Destination.DestPath.size() >= 2 ? gui::DriveTypeText(Destination.DestPath.substr(0, 1) + ":\\") : "";
    if (Destination.DestFreeSpace < MaxZipSize && Destination.DestFreeSpace > MinimumDestFreeSpace &&
        (driveType == "Removable" || driveType == "CDROM"))
        SpaceReserve = MaxZipSize - DriveFreeBytes(Destination.DestDrive);
    if (host_.UseTempFile() && Destination.DestPath.size() >= 2 && Destination.DestPath[1] == ':' &&
        driveType == "CDROM")
        SpaceReserve += DirectoryReserve;
    if (!CheckMissingDestination()) return false;
    if (job_.ZipName.find_first_of("\\:*") != std::string::npos) job_.ZipName = CleanZipName(job_.ZipName);
    if (!Resumed && !FreshRunJobFile()) return false;
    ZipPackLevel = job_.CompressionLevel < 3 ? 0 : job_.CompressionLevel;
    // A cancel or a close asked for inside the start's waits stays: the start ends the run.
    if (!host_.Cancelled()) host_.ClearCloseRequest();
    if (!Resumed) NamesAndFolders();

    DiscCapacity = 0;
    if (Destination.DiscWriterMode) {
        if (Destination.EraseFirst) {
            DiscCapacity = writer_.CapacityAfterErase();
            if (DiscCapacity < 0) {
                Destination.EraseFirst = false;
                host_.ShowStatusAndLog("Disc is not Erasable");
            }
        }
        if (!Destination.EraseFirst) DiscCapacity = writer_.FreeBytes();
        host_.ShowDestFreeSpace(DiscCapacity);
    }
    run_.Options.ChangedOnly = job_.ChangedOnly;
    run_.Options.ClearArchiveBit = job_.ClearArchiveBit;
    run_.Options.UseAfterDate = job_.UseAfterDate;
    run_.Options.AfterDate = AfterDate;
    run_.EntryLimitReached = false;
    run_.EarlierVolumeBytes = 0;
    VolumeSizeRules();
    host_.ShowCancelAction();
    TempSpaceMargin = host_.WindowsXP() ? XpCdStagingMargin : 0;
    run_.ZipVolumeList.clear();
    run_.FilestoZipList.clear();
    run_.FilestoZipListNr = 0;
    run_.ScanQueue.clear();
    run_.ItemMissing = false;
    run_.FilesSkipped = false;

    TakeOverDestination();

    // The program before the job: program and parameters, in its own folder.
    if (!job_.PreRunFile.empty()) {
        if (!StartProgramLine(job_.PreRunFile))
            host_.AddToLog("Program before the job not started: " + job_.PreRunFile);
        host_.Wait(ProgramWaitMs(job_.PreWait));
    }
    return OnSelectAndHandOver && OnSelectAndHandOver();
}

void JobStarter::ResetRunRecord() {
    run_.BflList.clear();
    run_.CflList.clear();
    run_.VflList.clear();
    run_.FflList.clear();
    run_.DflList.clear();
    run_.DiscRequeues.clear();
    run_.CopyPending = false;
    run_.KeepArchiveBitsCleared = false;
    run_.AfterDateTextBeforeStart.reset();
    run_.FilesLeftUncopied = false;
}

void JobStarter::TakeOverDestination() {
    run_.DestPath = Destination.DestPath;
    run_.DestList = DestList;
    run_.PreviousDestPath = Destination.DestPath;
    run_.DestDrive = Destination.DestDrive;
    run_.DestFreeSpace = Destination.DestFreeSpace;
    run_.EraseFirst = Destination.EraseFirst;
    run_.DiscWriterMode = Destination.DiscWriterMode;
    const DiscDrives drives = host_.Drives();
    run_.WriterChoice =
        job_.WriterIndex > 0 && static_cast<size_t>(job_.WriterIndex) < drives.WriterChoices.size()
            ? drives.WriterChoices[job_.WriterIndex]
            : std::string();
    run_.SpaceReserve = SpaceReserve;
    run_.TempSpaceMargin = TempSpaceMargin;
    run_.UseTempFileNow = host_.UseTempFile();
    run_.TempPath = host_.TempPath();
    run_.ZipName = job_.ZipName;
    run_.ZipDate = ZipDate;
    run_.OverwriteExistingZipFile1 = job_.OverwriteExistingZipFile1;
    // The runner goes on with the run's names and level; a resumed run's reload replaces them.
    run_.ZipPackLevel = ZipPackLevel;
    run_.CsvFileName = run_.CatalogName = CsvFileName;
    run_.CatName = CatalogNames;
    run_.EditCatNameText = job_.CatalogNames;
    run_.Rollback = VolumeRollback{};
    run_.JobZipNames.clear();
    // A resumed run first deletes the volume the killed run was making.
    run_.VolumePath = Resumed ? host_.ResumeValues().VolumePath : std::string();
}

void JobStarter::TemporaryFolder() {
    std::string temp = host_.TempPath();
    if (core::DirectoryExists(temp)) return;
    core::ForceDirectories(temp);
    host_.Pump();
    host_.Pump();
    if (core::DirectoryExists(temp)) {
        host_.SetTempPath(WithBackslash(temp));
        return;
    }
    char system[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, system);
    temp = length > 0 && length < MAX_PATH ? WithBackslash(system) : std::string();
    if (!temp.empty()) core::ForceDirectories(temp);
    host_.Pump();
    host_.Pump();
    if (temp.empty() || !core::DirectoryExists(temp)) temp = host_.ProgramFolder();
    host_.SetFoundTempPath(WithBackslash(temp));
}

bool JobStarter::ChooseDestination() {
    try {
        const auto notice = [this](const std::string& text, bool boxed) {
            if (boxed)
                host_.ShowWarning(text);
            else
                host_.AddToLog(text);
        };
        const DiscDrives drives = host_.Drives();
        if (CheckDestination(Destination, true, host_.Hidden(), notice) || !drives.TransportLoaded) {
            Destination.EraseFirst = false;
            Destination.DiscWriterMode = false;
            return true;
        }
        writer_.Load(drives.PreferInternal);
        const std::string& path = Destination.DestPath;
        if (path.size() >= 2 && path[1] == ':') {
            const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
            if (drives.WriterLetters.find(letter) != std::string::npos || job_.WriterIndex > 0) {
                const bool chosen = job_.WriterIndex > 0 &&
                                    static_cast<size_t>(job_.WriterIndex) < drives.WriterChoices.size();
                writer_.Select(chosen ? drives.WriterChoices[job_.WriterIndex] : std::string(), letter);
                Destination.DiscWriterMode = true;
                return true;
            }
            if (drives.ReadonlyLetters.find(letter) != std::string::npos) {
                Destination.EraseFirst = false;
                Destination.DiscWriterMode = false;
                host_.ShowStatusAndLog("Job cancelled, can not write to " + path);
                return false;
            }
        }
    } catch (const std::exception& error) {
        host_.AddToLog("The destination is taken as a drive or folder after an error: " +
                       std::string(error.what()));
    } catch (...) {
        host_.AddToLog("The destination is taken as a drive or folder after an unknown error");
    }
    Destination.EraseFirst = false;
    Destination.DiscWriterMode = false;
    return true;
}

bool JobStarter::CheckMissingDestination() {
    const std::string& path = Destination.DestPath;
    if (Destination.DiscWriterMode || core::DirectoryExists(path) || job_.WriterIndex != 0) return true;
    if (path.size() >= 2 && path[1] == ':') {
        const std::string drive = path.substr(0, 2);
        const std::string type = gui::DriveTypeText(drive + "\\");
        if (type == "CDROM" || type == "Removable") {
            if (!host_.Hidden())
                host_.ShowWarning(Formatted(type == "CDROM"
                                                ? "Drive %s is not ready insert a media, and make sure it "
                                                  "is formatted for direct use (paket writing)."
                                                : "Drive %s is not ready insert a formatted media.",
                                            drive));
            else
                host_.AddToLog("Job cancelled, drive is not ready: " + path);
        } else {
            host_.ShowStatusAndLog("Job cancelled, destination is not ready: " + path);
        }
    } else {
        if (!host_.Hidden()) host_.ShowWarning(Formatted("Destination %s is not ready.", path));
        host_.ShowStatusAndLog("Job cancelled, destination is not ready: " + path);
    }
    return false;
}

bool JobStarter::FreshRunJobFile() {
    const core::LocaleFormat locale = host_.Locale();
    const double now = gui::CurrentClock().Now();
    if (!job_.AfterDateText.empty()) {
        try {
            AfterDate = DosDateTimeOf(core::StrToDateFixed(job_.AfterDateText, locale));
        } catch (const core::EConvertError&) {
            host_.AddToLog("Job cancelled, the After: date is no date: " + job_.AfterDateText);
            job_.AfterDateText = core::DateToStrFixed(now, locale);
            return false;
        }
    } else {
        AfterDate = DosDateTimeOf(now + 100);
    }
    if (!job_.UseAfterDate) AfterDate = DosDateTimeOf(now + 1000);
    // A run kept for a resume that a hidden start does not offer is given up here.
    host_.AbandonUnfinishedRun();
    DeleteFileA((host_.ProgramFolder() + "Att.Lst").c_str());
    if (job_.Uselasttime1) {
        // A cancelled run puts this text back.
        run_.AfterDateTextBeforeStart = job_.AfterDateText;
        job_.AfterDateText = core::DateToStrFixed(now, locale);
    }
    host_.SaveJob(host_.JobName());
    host_.WriteLastJob(host_.JobName());
    return true;
}

void JobStarter::NamesAndFolders() {
    const std::string base = host_.DataBase();
    const std::string jobName = host_.JobName();
    core::ForceDirectories(base + "Log\\");
    core::ForceDirectories(base + "Catalogs\\");
    session_.JobLogName = NextJobLogName(base, jobName, core::FileExists);
    host_.BeginJobLog(session_.JobLogName);
    CsvFileName = CsvFileNameFor(base, jobName, gui::CurrentClock().Now());
    std::string shown;
    CatalogNames = CatalogNamesFor(base, jobName, job_.CatalogNames, shown);
    job_.CatalogNames = shown;
    const size_t slash = CatalogNames.find_last_of('\\');
    if (slash != std::string::npos) core::ForceDirectories(CatalogNames.substr(0, slash + 1));
    DeleteFileA((host_.ProgramFolder() + JobBaseName(jobName) + ".log").c_str());
}

void JobStarter::VolumeSizeRules() {
    VolumeSizeInput input;
    input.Text = job_.ZipSizeText;
    input.DiscWriterMode = Destination.DiscWriterMode;
    input.DiscCapacity = DiscCapacity;
    input.DestSize = DriveSizeBytes(Destination.DestDrive);
    input.DestFree = DriveFreeBytes(Destination.DestDrive);
    input.Hidden = host_.Hidden();
    const VolumeSize size = ApplyVolumeSizeRules(input, [this] {
        return host_.AskYesNo(
            "The Zip file size might be to big, would you like Tarnwick to change the size?",
            gui::TMsgIcon::Stop);
    });
    MaxZipSize = size.MaxZipSize;
    job_.ZipSizeText = size.Shown;
    if (size.SpaceReserve >= 0) SpaceReserve = size.SpaceReserve;
    run_.MaxZipSize = MaxZipSize;
}

} // namespace job
