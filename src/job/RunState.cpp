#include "job/RunState.h"

#include "core/PathText.h"
#include "gui/IniDocument.h"

#include <type_traits>

namespace job {

std::string RunStateBase(const std::string& programFile, const std::string& dataDir) {
    const std::string folder = core::FolderOf(programFile);
    std::string name = programFile.substr(folder.size());
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    if (dataDir.empty()) return folder + name;
    return dataDir + (dataDir.back() == '\\' ? "" : "\\") + name;
}

namespace {

template <typename Visit> void VisitKeys(RunStateValues& v, Visit&& visit) {
    visit("JobName", v.JobName);
    visit("ZipDate", v.ZipDate);
    visit("JobLogName", v.JobLogName);
    visit("CatalogName", v.CatalogName);
    visit("CatName", v.CatName);
    visit("EditCatNameText", v.EditCatNameText);
    visit("FileCount", v.FileCount);
    visit("FilesCopyed", v.FilesCopyed);
    visit("ZipNameNr", v.ZipNameNr);
    visit("ProgressBar1", v.ProgressBar1);
    visit("ProgressBar3", v.ProgressBar3);
    visit("FilesToBak", v.FilesToBak);
    visit("DirToBak", v.DirToBak);
    visit("FilestoZipListNr", v.FilestoZipListNr);
    visit("iZip", v.iZip);
    visit("Only83", v.Only83);
    visit("DoIncludeReg", v.DoIncludeReg);
    visit("DoIncludeSysState", v.DoIncludeSysState);
    visit("DoCatalog", v.DoCatalog);
    visit("CatSaved", v.CatSaved);
    visit("VolumePath", v.VolumePath);
    visit("AfterDateTextBeforeStart", v.AfterDateTextBeforeStart);
}

std::string ValueText(const std::string& value) {
    return value;
}
std::string ValueText(int value) {
    return std::to_string(value);
}
std::string ValueText(bool value) {
    return value ? "1" : "0";
}

void ReadValue(const std::string& text, std::string& value) {
    value = text;
}
void ReadValue(const std::string& text, std::optional<std::string>& value) {
    value = text;
}
void ReadValue(const std::string& text, int& value) {
    value = gui::ParseIniInteger(text, value);
}
void ReadValue(const std::string& text, bool& value) {
    value = gui::ParseIniInteger(text, value ? 1 : 0) != 0;
}

} // namespace

std::string RunSectionText(const RunStateValues& values) {
    std::string text = std::string("[") + RunSection + "]\r\n";
    const auto line = [&](const char* key, const std::string& value) {
        text += key;
        text += '=';
        text += value;
        text += "\r\n";
    };
    VisitKeys(const_cast<RunStateValues&>(values), [&](const char* key, const auto& value) {
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::optional<std::string>>) {
            if (value) line(key, *value);
        } else {
            line(key, ValueText(value));
        }
    });
    return text;
}

void ReadRunSection(std::string_view text, RunStateValues& values) {
    const gui::IniDocument document = gui::IniDocument::Parse(text);
    VisitKeys(values, [&](const char* key, auto& value) {
        std::string found;
        if (document.Find(RunSection, key, found)) ReadValue(found, value);
    });
}

std::vector<std::string>& RunStateList(RunStateLists& lists, size_t index) {
    std::vector<std::string>* all[] = {&lists.Ftz, &lists.Tfl, &lists.Bfl, &lists.Cfl,
                                       &lists.Vfl, &lists.Ffl, &lists.Dfl};
    return *all[index];
}

const std::vector<std::string>& RunStateList(const RunStateLists& lists, size_t index) {
    return RunStateList(const_cast<RunStateLists&>(lists), index);
}

std::string ListFileText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text.append(line).append("\r\n");
    return text;
}

std::vector<std::string> ParseListFile(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> VolumeBitsLines(const std::string& volume, const std::vector<std::string>& paths) {
    std::vector<std::string> lines;
    lines.reserve(paths.size());
    for (const std::string& path : paths)
        lines.push_back(volume + '\t' + path);
    return lines;
}

std::vector<std::pair<std::string, std::string>> ParseVolumeBits(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string& line : ParseListFile(text)) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) pairs.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return pairs;
}

} // namespace job
