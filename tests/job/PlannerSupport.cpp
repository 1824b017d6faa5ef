#include "PlannerSupport.h"

namespace plannertest {

bool RecordingHost::CanZipFile(const std::string& path, job::ZipFileFacts& facts) {
    if (missing.count(path)) {
        jobLog.push_back("File skipped, while in use: " + path);
        facts.Skipped = true;
        return false;
    }
    facts.Size = sizeOf ? sizeOf(path) : 0;
    facts.DateText = "07/12/2026 04:00:00";
    return true;
}

int64_t RecordingHost::EstimateCompressed(const std::string& path, int64_t) {
    if (estimateOf) return estimateOf(path);
    return sizeOf ? sizeOf(path) : 0;
}

std::vector<std::vector<std::string>> RunVolumes(job::VolumePlan& plan, RecordingHost& host, int maxVolumes) {
    job::VolumePlanner planner(plan, host, host);
    std::vector<std::vector<std::string>> volumes;
    while (static_cast<int>(volumes.size()) < maxVolumes &&
           (plan.FilestoZipListNr < static_cast<int>(plan.FilestoZipList.size()) ||
            !plan.ZipVolumeList.empty() || volumes.empty())) {
        plan.CurrentZipBytes = 0;
        plan.ZipEntryCount = 0;
        plan.ZipBudget = plan.MaxZipSize;
        plan.ZipFileName = "vol" + std::to_string(volumes.size() + 1) + ".zip";
        host.zipList.clear();
        planner.StartVolume();
        std::vector<std::string> entries;
        uint32_t archive = 22;
        for (size_t i = 0; i < host.zipList.size();) {
            const std::string name = host.zipList[i];
            if (!host.unreadable.count(name)) {
                const auto size = static_cast<uint32_t>(host.sizeOf ? host.sizeOf(name) : 0);
                archive += size + 76 + 2 * static_cast<uint32_t>(name.size());
                entries.push_back(name);
                planner.Zipper1EndZip(name, size, size, archive);
            }
            ++i;
            if (i == host.zipList.size()) planner.Zipper1EndZip(name + "-:-", 0, 0, 0);
        }
        if (entries.empty() && host.zipList.empty()) break;
        volumes.push_back(entries);
    }
    return volumes;
}

} // namespace plannertest
