#include "job/VolumePrepStandIn.h"

#include "job/DriveSpace.h"
#include "job/VolumePrepRules.h"
#include "zip/Zipper.h"

#include <windows.h>

namespace job {

namespace {

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

void FolderVolumePrep::GetDestFreeSpace(bool) {
    JobRun& run = session_.Run;
    run.DestDrive = DriveOfPath(run.DestPath);
    run.DestFreeSpace = DriveFreeBytes(run.DestDrive);
}

void FolderVolumePrep::ChooseDestination(bool) {
    GetDestFreeSpace(true);
}

void FolderVolumePrep::HandleSpaceShortage() {
    GetDestFreeSpace(true);
    JobRun& run = session_.Run;
    const SpaceFigures figures{run.MaxZipSize, run.SpaceReserve, run.TempSpaceMargin, run.TotalMB};
    if (host_.Cancelled() || !DestinationShort(run.DestFreeSpace, figures)) return;
    host_.AddToLog("Not enough free disk space for the next files in  " + run.DestPath);
    host_.AddToLog("Not enough free disk space");
    host_.SetCancelled(true);
}

std::string FolderVolumePrep::PrepareVolume(bool nameOnly) {
    JobRun& run = session_.Run;
    const JobDefinition& job = session_.Job;
    run.CurrentZipBytes = 0;
    run.SpaceReserve = 0;
    if (!run.ZipFileName.empty())
        for (const std::string& file : VolumeWorkFiles(host_.TempPath(), run.ZipFileName))
            DeleteFileA(file.c_str());
    runner_.SaveRunState();
    ZipNameOptions options{job.ZipName, run.ZipDate, job.ChangedOnly, job.ClearArchiveBit,
                           job.OverwriteExistingZipFile1};
    std::string name = MakeZipName(options, run.ZipNameNr, false);
    GetDestFreeSpace(true);
    const std::string folder = run.DestPath + "\\";
    VolumeNameProbe probe;
    probe.Exists = [&](const std::string& candidate) { return Exists(folder + candidate); };
    probe.InCatalog = [](const std::string&) { return false; };
    if (job.OverwriteExistingZipFile1)
        probe.Delete = [&](const std::string& candidate) {
            DeleteFileA((folder + candidate).c_str());
            const bool gone = !Exists(folder + candidate);
            if (gone) host_.AddToLog("File deleted: " + folder + candidate);
            return gone;
        };
    name = FreeVolumeName(name, options, run.ZipNameNr, probe);
    run.ZipFileName = name;
    runner_.Zipper1().ClearZip();
    HandleSpaceShortage();
    if (session_.State != JobState::Running) return name;
    session_.Run.JobZipNames.push_back(name);
    if (nameOnly) return name;
    runner_.Zipper1().SetZipName(folder + name);
    run.CopyPending = false;
    run.VolumePath = folder + name;
    const VolumeStart start = VolumeStartOf(run.MaxZipSize, run.SpaceReserve, false, 0, 0);
    run.ZipBudget = start.ZipBudget;
    run.ZipEntryCount = start.ZipEntryCount;
    run.CurrentZipBytes = start.StartBytes;
    run.LastFreeSpaceCheck = 0;
    // The resume state names the volume now being built.
    runner_.SaveRunState();
    return name;
}

void FolderVolumePrep::NextVolume() {
    if (!host_.Cancelled()) PrepareVolume(false);
}

} // namespace job
