#include "job/VolumePrep.h"

namespace job {

VolumePrep::VolumePrep(JobSession& session, JobHost& host, DiscWriter* writer)
    : session_(session), run_(session.Run), host_(host), writer_(writer) {}

void VolumePrep::GetDestFreeSpace(bool) {}
void VolumePrep::ChooseDestination(bool) {}
bool VolumePrep::CheckTempDrive() {
    return false;
}
void VolumePrep::HandleSpaceShortage() {}
std::string VolumePrep::PrepareVolume(bool) {
    return {};
}
void VolumePrep::NextVolume(bool) {}
bool VolumePrep::CopyZipToDrive() {
    return false;
}
bool VolumePrep::NothingFits(const std::string&) {
    return false;
}
bool VolumePrep::RollBackVolume() {
    return false;
}
bool VolumePrep::SaveJobRunState() {
    return false;
}

} // namespace job
