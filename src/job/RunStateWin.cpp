#include "job/RunStateWin.h"

#include "core/FuncMin.h"
#include "gui/FileText.h"

#include <windows.h>

#include <string>

namespace job {

bool SaveRunState(const std::string& base, const RunStateLists& lists, const RunStateValues& values) {
    for (size_t i = 0; i < RunStateListExtensions.size(); ++i)
        if (!gui::ReplaceFileContents(base + RunStateListExtensions[i], ListFileText(RunStateList(lists, i))))
            return false;
    return gui::ReplaceFileContents(base + ".run", RunSectionText(values));
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
    for (const char* extension : {".ftz", ".tfl", ".run"})
        DeleteFileA((base + extension).c_str());
}

namespace {

int restoresUnderWay = 0;

// False when the list is there but cannot be read; it is then kept.
bool PlayBackArchiveBits(const std::string& attributeList, gui::FileAttributes& attributes,
                         const std::function<void(int)>& progress,
                         const std::function<void(const std::string&)>& log, int& count) {
    count = 0;
    ++restoresUnderWay;
    struct UnderWay {
        ~UnderWay() { --restoresUnderWay; }
    } underWay;
    std::string text;
    if (!gui::ReadWholeFile(attributeList, text)) {
        const DWORD error = GetLastError();
        if (GetFileAttributesA(attributeList.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
        if (log)
            log("Archive bits not restored, the list cannot be read (system error " + std::to_string(error) +
                "): " + attributeList);
        return false;
    }
    for (const std::string& path : ParseListFile(text)) {
        if (path.empty()) continue;
        if (attributes.Get(path) != gui::InvalidFileAttributes)
            core::SetFileAttributesTri(path, -1, 1, -1, -1, attributes);
        ++count;
        if (progress) progress(count);
    }
    DeleteFileA(attributeList.c_str());
    return true;
}

} // namespace

bool ArchiveBitsBeingRestored() {
    return restoresUnderWay > 0;
}

int RestoreArchiveBits(const std::string& attributeList, gui::FileAttributes& attributes,
                       const std::function<void(int)>& progress,
                       const std::function<void(const std::string&)>& log) {
    int count = 0;
    PlayBackArchiveBits(attributeList, attributes, progress, log, count);
    return count;
}

int RestoreArchiveBits(const std::string& attributeList, gui::FileAttributes& attributes, JobHost& host) {
    host.SetStatusText("Wait! restoring archivebits");
    int count = 0;
    const bool read = PlayBackArchiveBits(
        attributeList, attributes,
        [&](int files) {
            host.SetStatusText("Wait! restoring archivebits in file " + std::to_string(files));
            host.PumpIfDue();
        },
        [&](const std::string& text) { host.AddToLog(text); }, count);
    if (read) host.AddToLog("Archivebits reset");
    host.SetStatusText("");
    return count;
}

} // namespace job
