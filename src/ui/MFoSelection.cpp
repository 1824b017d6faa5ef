// The selection of a fresh run: the job's lists turned into the run's file list by the job
// engine, with this window as its host.
#include "ui/MFo.h"

#include "job/DirectoryListerWin.h"
#include "job/DriveSpace.h"
#include "job/JobItems.h"
#include "job/JobStart.h"

namespace ui {

bool TMF::SelectJobFiles() {
    job::SystemDirectoryLister lister;
    // The destination the start chose, by the start's own guarded measure: an empty
    // removable drive must not stop an unattended job at the system's "no disk" box.
    const std::string destination = starter_ ? starter_->Destination.DestPath : FirstDestination();
    job::JobItems items(Session.Run, Host(), lister, Session.Job,
                        {environment_.ProgramFolder(), environment_.windowsFolder, environment_.os,
                         [destination] { return job::DriveFreeBytes(job::DriveOfPath(destination)); }});
    items.ZipName = Session.Job.ZipName;
    items.ReadCatalogs = ReadCatalogs;
    items.SaveJob = [this] { SaveJob(flags_.JobName); };
    items.EndCancelledStart = OnSelectionCancelled;
    return !items.Run().Cancelled;
}

} // namespace ui
