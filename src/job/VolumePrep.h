#pragma once
// Volume preparation, destination space and the copy to drives: before each zip volume the
// runner has it named, decides whether it is built on the destination or in the temporary
// folder first, and makes sure the destination medium and the temporary drive have room;
// after the zip run a volume built in the temporary folder is copied to the destination.
//
// The destination may hold several alternatives; when one has no room the next is tried.
// When none has, the user is asked for room (a new medium, or files removed). While the
// window is hidden no box can be answered: the prompt becomes one notice mail and a new look
// every two minutes, until the wait's bound (HiddenWait.h), and without a recipient the job is
// cancelled.
//
// A volume that a killed run left half written is deleted with its split parts before the
// volume is made again, and the run's place at the volume's start is kept so that a volume
// that fails on a full medium can be built again from there.
//
// The rules that need no drive are in VolumePrepRules.h; the drives are measured through
// DriveSpace.h; the copy runs on the copy thread of FCopy2.h.

#include "job/HiddenWait.h"
#include "job/JobHost.h"
#include "job/JobSession.h"
#include "job/VolumePrepRules.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace job {

class DiscWriter;

class VolumePrep {
  public:
    // writer: the job's disc writer, or none where the disc layer is not loaded.
    VolumePrep(JobSession& session, JobHost& host, DiscWriter* writer = nullptr);

    // The zip component's archive is closed before the space checks (the runner's
    // component); may stay empty.
    std::function<void()> CloseArchive;
    // Tests a volume where its copy landed (the zip and its split parts before it); empty when
    // volumes are not verified. False when it is not sound.
    std::function<bool(const std::string& landedZip, int files)> VerifyCopy;
    // A volume copied under another name than it was built with (the destination held its
    // name): the catalogue follows; may stay empty.
    std::function<void(const std::string& builtZip, const std::string& landedZip)> VolumeLanded;

    // Sets DiscWriterMode, EraseFirst, DestFreeSpace and SpaceReserve of the run from the
    // destination in use.
    void GetDestFreeSpace(bool forWrite);
    // Walks the destination's alternatives until one has room for a volume. discOnly takes
    // only disc writers.
    void ChooseDestination(bool discOnly);
    // The temporary drive lacks room for a volume built there.
    bool CheckTempDrive();
    // Asks for room on the temporary drive and on the destination until there is room or the
    // job is cancelled.
    void HandleSpaceShortage();

    // Names the next volume, clears what a killed run left of it, checks the space for it and
    // keeps the run's place for a rollback; saves the resume state. Without nameOnly it also
    // sets VolumePath, CopyPending and the volume's budget. Returns the volume's file name;
    // empty when the job no longer runs.
    std::string PrepareVolume(bool nameOnly = false);
    // PrepareVolume, unless the job is cancelled or a disc writer is busy with the volume.
    void NextVolume(bool discStepActive = false);

    // Copies the volume and its split parts from the temporary folder to the destination,
    // under a name the destination does not hold, asking again after a failure until it works
    // or the job is cancelled; after a good copy of every part the temporary files are
    // deleted. True when copied.
    bool CopyZipToDrive();

    // A volume whose first entry does not fit even an empty volume: the first time it is a
    // space shortage (true: plan the volume again), the second time the job is cancelled
    // with a log line naming the file (false). No empty volume is ever made.
    bool NothingFits(const std::string& fileName);

    // A volume that failed (a full medium, a wrong file size): the volume is deleted with its
    // parts and the run goes back to where it began, so that PrepareVolume makes it again
    // under the same name, asking for room first. The caller sets the archive bits of its
    // entries again. The second failure of the same volume on the same medium with no more
    // room is logged naming the volume and the file being added, and the next room check
    // takes it as a shortage. False when no volume was prepared.
    bool RollBackVolume(const std::string& fileBeingAdded = {});

    // The resume state of the run, as PrepareVolume saves it before every volume.
    bool SaveJobRunState();

    // A volume a killed run left: the file, its split parts (.z01 on), its work files, and a
    // copy of it begun on the destination when it was built in the temporary folder (a file
    // there that holds the start of the volume).
    void DeleteVolumeAndParts(const std::string& volumePath);

  private:
    // Where a volume failed for want of room, and how much room its medium had then.
    struct RoomFailure {
        int ZipNameNr = -1;
        int FilestoZipListNr = -1;
        int iZip = -1;
        std::string Folder;
        uint32_t Serial = 0;
        int64_t Free = 0;
    };

    bool JobGoesOn();
    ZipNameOptions NameOptions() const;
    // The name test against the destination folder (and a disc's names).
    VolumeNameProbe DestinationNames(const std::vector<std::string>& onDisc);
    std::string CopySet(const std::string& source);
    void NoteRoomFailure(const std::string& volumePath, const std::string& fileBeingAdded);
    bool WriterChosen() const;
    bool WriterLetter(const std::string& path);
    // The disc in the writer holds one of the files this job wrote to disc.
    bool DiscHoldsJobFile();
    // Selects the writer for the letter; a failure is logged and taken as not ready.
    bool SelectWriter(char letter);
    SpaceFigures Figures() const;
    void CancelJob();
    void AskArchiveBits(bool hidden);
    void KeepVolumeStart(int zipNameNr);
    void MediumReserve();
    bool SaveJobRunState(const std::string& volumePath, int zipNameNr);

    JobSession& session_;
    JobRun& run_;
    JobHost& host_;
    DiscWriter* writer_;
    bool nothingFitsSeen_ = false; // this volume already asked for room once
    RoomFailure lastRoomFailure_;
    bool repeatedRoomFailure_ = false; // the next room check asks
    bool shortageMailed_ = false;      // the notice of a volume failing again went out
    // From the notice of a shortage on: a volume failing again and again goes on counting.
    HiddenWait roomWait_;
};

} // namespace job
