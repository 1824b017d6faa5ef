#pragma once
// Volume preparation for a folder destination until the full preparation (removable media,
// copies, space prompts) takes its place: the volume named clear of older files, written
// straight to the destination, and a destination without room ends the job.

#include "job/JobRunner.h"

namespace job {

class FolderVolumePrep final : public VolumePreparation {
  public:
    FolderVolumePrep(JobSession& session, JobHost& host, JobStarter& starter, JobRunner& runner)
        : session_(session), host_(host), starter_(starter), runner_(runner) {}
    void GetDestFreeSpace(bool forWrite) override;
    void ChooseDestination(bool discOnly) override;
    void HandleSpaceShortage() override;
    std::string PrepareVolume(bool nameOnly) override;
    void NextVolume() override;
    void CopyZipToDrive() override {}

  private:
    JobSession& session_;
    JobHost& host_;
    JobStarter& starter_;
    JobRunner& runner_;
};

} // namespace job
