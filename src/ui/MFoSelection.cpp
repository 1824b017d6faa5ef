// The selection of a fresh run: the job's lists turned into the run's file list by the job
// engine, with this window as its host.
#include "ui/MFo.h"

#include "job/DirectoryListerWin.h"
#include "job/JobItems.h"

namespace ui {

namespace {

int64_t FreeSpaceOf(const std::string& destination) {
    const std::string first = destination.substr(0, destination.find('|'));
    ULARGE_INTEGER available{};
    if (first.empty() || !GetDiskFreeSpaceExA(first.c_str(), &available, nullptr, nullptr)) return 0;
    return static_cast<int64_t>(available.QuadPart);
}

} // namespace

bool TMF::SelectJobFiles() {
    job::SystemDirectoryLister lister;
    job::JobItems items(Session.Run, Host(), lister, Session.Job,
                        {environment_.ProgramFolder(), environment_.windowsFolder, environment_.os,
                         FreeSpaceOf(Session.Job.Destination)});
    items.ZipName = Session.Job.ZipName;
    items.SaveRegistryForJob = SaveRegistryForJob;
    items.ReadCatalogs = ReadCatalogs;
    items.SaveJob = [this] { SaveJob(flags_.JobName); };
    items.EndCancelledStart = OnSelectionCancelled;
    return !items.Run().Cancelled;
}

} // namespace ui
