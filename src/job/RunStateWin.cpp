#include "job/RunStateWin.h"

#include "core/FuncMin.h"
#include "core/LogFile.h"
#include "gui/FileText.h"

#include <windows.h>

#include <string>

namespace job {

std::string ResumeStateBase(JobHost& host) {
    const std::string programFile = host.ProgramFile();
    return programFile.empty() ? std::string() : RunStateBase(programFile, host.DataBase());
}

bool SaveRunState(const std::string& base, const RunStateLists& lists, const RunStateValues& values) {
    bool saved = true;
    for (size_t i = 0; saved && i < RunStateListExtensions.size(); ++i)
        saved =
            gui::ReplaceFileContents(base + RunStateListExtensions[i], ListFileText(RunStateList(lists, i)));
    if (saved) saved = gui::ReplaceFileContents(base + ".run", RunSectionText(values));
    // An older .run would be trusted by a resume: its lists and its volume are no longer the run's.
    if (!saved) DeleteFileA((base + ".run").c_str());
    return saved;
}

bool LoadRunValues(const std::string& base, RunStateValues& values) {
    std::string text;
    if (!gui::ReadWholeFile(base + ".run", text)) return false;
    ReadRunSection(text, values);
    return true;
}

bool LoadRunState(const std::string& base, RunStateLists& lists, RunStateValues& values) {
    if (!LoadRunValues(base, values)) return false;
    for (size_t i = 0; i < RunStateListExtensions.size(); ++i) {
        std::string listText;
        RunStateList(lists, i) = gui::ReadWholeFile(base + RunStateListExtensions[i], listText)
                                     ? ParseListFile(listText)
                                     : std::vector<std::string>();
    }
    return true;
}

std::string ResumeJobName(const std::string& base) {
    RunStateValues values;
    LoadRunValues(base, values);
    return values.JobName;
}

void DiscardRunState(const std::string& base) {
    for (const char* extension : {".ftz", ".tfl", RunStateBitsExtension, ".run"})
        DeleteFileA((base + extension).c_str());
}

bool AppendVolumeBits(const std::string& base, const std::string& volume,
                      const std::vector<std::string>& paths, std::string& reason) {
    try {
        core::AppendLines(base + RunStateBitsExtension, VolumeBitsLines(volume, paths), "");
        return true;
    } catch (const core::ELogWriteError& error) {
        reason = error.what();
        return false;
    }
}

std::vector<std::pair<std::string, std::string>> LoadVolumeBits(const std::string& base) {
    std::string text;
    if (!gui::ReadWholeFile(base + RunStateBitsExtension, text)) return {};
    return ParseVolumeBits(text);
}

namespace {

int restoresUnderWay = 0;

// Paths whose bit could not be set are logged one by one up to this many, then counted.
constexpr int failedPathLines = 20;

struct PlayBack {
    int handled = 0;
    int failed = 0;
    bool found = false; // the list was there and was read (one that cannot be read is kept)
};

PlayBack PlayBackArchiveBits(const std::string& attributeList, gui::FileAttributes& attributes,
                             const std::function<void(int)>& progress,
                             const std::function<void(const std::string&)>& log) {
    PlayBack result;
    ++restoresUnderWay;
    struct UnderWay {
        ~UnderWay() { --restoresUnderWay; }
    } underWay;
    std::string text;
    if (!gui::ReadWholeFile(attributeList, text)) {
        const DWORD error = GetLastError();
        if (GetFileAttributesA(attributeList.c_str()) == INVALID_FILE_ATTRIBUTES) return result;
        if (log)
            log("Archive bits not restored, the list cannot be read (system error " + std::to_string(error) +
                "): " + attributeList);
        return result;
    }
    result.found = true;
    for (const std::string& path : ParseListFile(text)) {
        if (path.empty()) continue;
        if (attributes.Get(path) != gui::InvalidFileAttributes) {
            const uint32_t error = core::SetFileAttributesTri(path, -1, 1, -1, -1, attributes);
            if (error != 0 && ++result.failed <= failedPathLines && log)
                log("Archive bit not set again (system error " + std::to_string(error) + "): " + path);
        }
        ++result.handled;
        if (progress) progress(result.handled);
    }
    if (result.failed > failedPathLines && log)
        log("Archive bit not set again for " + std::to_string(result.failed - failedPathLines) +
            " more files");
    DeleteFileA(attributeList.c_str());
    return result;
}

} // namespace

bool ArchiveBitsBeingRestored() {
    return restoresUnderWay > 0;
}

int RestoreArchiveBits(const std::string& attributeList, gui::FileAttributes& attributes,
                       const std::function<void(int)>& progress,
                       const std::function<void(const std::string&)>& log) {
    return PlayBackArchiveBits(attributeList, attributes, progress, log).handled;
}

int RestoreArchiveBits(const std::string& attributeList, gui::FileAttributes& attributes, JobHost& host) {
    host.SetStatusText("Wait! restoring archivebits");
    const PlayBack result = PlayBackArchiveBits(
        attributeList, attributes,
        [&](int files) {
            host.SetStatusText("Wait! restoring archivebits in file " + std::to_string(files));
            host.PumpIfDue();
        },
        [&](const std::string& text) { host.AddToLog(text); });
    if (result.found && result.failed == 0) host.AddToLog("Archivebits reset");
    if (result.failed > 0)
        host.AddToLog("Archivebits reset, except for " + std::to_string(result.failed) +
                      " files whose archive bit could not be set");
    host.SetStatusText("");
    return result.handled;
}

} // namespace job
