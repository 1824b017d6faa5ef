#pragma once
// A runner loop for planner tests: volumes are started as the runner starts them and every
// planned name is "zipped" by a component that calls back as the real one does (a normal
// call per entry it adds, and the "-:-" call when its list runs out).

#include "job/VolumePlanner.h"
#include "job/WindowlessHost.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace plannertest {

// Records what the planner tells the window and the logs. Files exist unless listed as
// missing; folder lines pass.
class RecordingHost : public job::WindowlessHost, public job::PlannerFiles {
  public:
    std::vector<std::string> zipList; // the component's list of the volume being built
    std::vector<std::string> jobLog, programLog, runLog, csv;
    std::set<std::string> missing;
    int64_t freeSpace = 0;
    int waitedMs = 0;

    // The entries added ("+" path) and the files named for reading ahead ("?" path), in turn.
    std::vector<std::string> order;

    void AddToZipFiles(const std::string& path) override {
        zipList.push_back(path);
        order.push_back("+" + path);
    }
    bool ReadAhead(const std::string& path, int64_t) override {
        order.push_back("?" + path);
        return true;
    }
    bool CanZipFile(const std::string& path, job::ZipFileFacts& facts) override;
    int64_t EstimateCompressed(const std::string& path, int64_t) override;
    bool FileExists(const std::string& path) override { return !missing.count(path); }
    bool FolderExists(const std::string&) override { return false; }
    int64_t MeasureDestFreeSpace() override { return freeSpace; }
    void AppendCsvLine(const std::string& line) override { csv.push_back(line); }
    void AddToRunLog(const std::string& text) override { runLog.push_back(text); }
    void AddToLog(const std::string& text) override { programLog.push_back(text); }
    void AddToJobLog(const std::string& text, bool) override { jobLog.push_back(text); }
    void Wait(int milliseconds) override { waitedMs += milliseconds; }

    // Sizes by path, and estimates where they differ from the size.
    std::function<int64_t(const std::string&)> sizeOf;
    std::function<int64_t(const std::string&)> estimateOf;
    // Names the component skips (cannot open).
    std::set<std::string> unreadable;
};

// Plays the runner over the plan until the lists are done; the entries of each volume.
std::vector<std::vector<std::string>> RunVolumes(job::VolumePlan& plan, RecordingHost& host,
                                                 int maxVolumes = 20);

} // namespace plannertest
