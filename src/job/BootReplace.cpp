#include "job/BootReplace.h"

#include "core/PathText.h"

#include <cctype>

namespace job {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string DriveOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':')
        return std::string(1, static_cast<char>(std::toupper(path[0]))) + ":";
    return {};
}

} // namespace

bool PlanFile(TBootPlan& plan, const TStagedFile& file, TBootOs os) {
    if (plan.tooMany) return false;
    if (os == TBootOs::NT) {
        plan.moves.push_back({file.staged, file.target});
        return true;
    }
    if (core::IsShortFileName(file.target)) {
        plan.batchLines.push_back("Attrib -H -S -R " + file.target);
        // DOS knows short names only.
        plan.batchLines.push_back("Copy " + file.stagedShort + " " + file.target);
        plan.batchLines.push_back("Del " + file.stagedShort);
        plan.batch = true;
        return true;
    }
    if (++plan.longNames > kMaxRenameLines) {
        plan.tooMany = true;
        return false;
    }
    plan.iniLines.push_back(file.targetShort + "=" + file.stagedShort);
    return true;
}

bool IsRegistryHive(const std::string& target, const std::string& windowsFolder,
                    const std::string& userProfile) {
    const std::string lower = Lower(target);
    const std::string config = Lower(windowsFolder) + "\\system32\\config\\";
    for (const char* hive : {"default", "sam", "security", "software", "system"})
        if (lower == config + hive) return true;
    return !userProfile.empty() && lower == Lower(userProfile) + "ntuser.dat";
}

std::string StagingRootFor(const std::string& target, const std::string& tempPath) {
    const std::string targetDrive = DriveOf(target);
    if (targetDrive.empty() || targetDrive == DriveOf(tempPath)) return tempPath;
    return targetDrive + "\\TarnwickBoot\\";
}

std::vector<std::string> MeSwapLines(const std::string& drive, int n, int m) {
    return {drive,
            "CD \\",
            "Attrib -H -S -R _RESTORE",
            "Rename _RESTORE _REST" + std::to_string(n),
            drive,
            "CD \\",
            "Rename _REST" + std::to_string(m) + " _RESTORE",
            "Attrib +H +S _RESTORE"};
}

TBatchTail PlanBatchTail(int p, bool hadAutoexec) {
    TBatchTail tail;
    const std::string saved = "C:\\AutoExec." + std::to_string(p);
    tail.autoexec = {"C:\\QRestore.bat"};
    if (hadAutoexec) {
        tail.qrestore = {"Copy " + saved + " C:\\AutoExec.bat", "Del " + saved, "C:\\QClean.bat"};
        tail.qclean = {"Del C:\\QRestore.Bat", "C:\\AutoExec.bat"};
    } else {
        // Nothing to bring back: ours goes, so later boots call no deleted batch.
        tail.qrestore = {"Del C:\\AutoExec.bat", "C:\\QClean.bat"};
        tail.qclean = {"Del C:\\QRestore.Bat"};
    }
    return tail;
}

std::string MergeRenameSection(const std::string& existing, const std::vector<std::string>& lines) {
    std::string ours;
    for (const std::string& line : lines)
        ours += line + "\r\n";
    // Find [Rename] and the start of the section after it.
    size_t at = 0, sectionEnd = std::string::npos;
    bool inRename = false;
    while (at < existing.size()) {
        size_t end = existing.find('\n', at);
        const size_t next = end == std::string::npos ? existing.size() : end + 1;
        std::string line = existing.substr(at, next - at);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '[') {
            if (inRename) {
                sectionEnd = at;
                break;
            }
            inRename = Lower(line.substr(first)) == "[rename]";
        }
        at = next;
    }
    if (!inRename) {
        std::string text = existing;
        if (!text.empty() && text.back() != '\n') text += "\r\n";
        return text + "[Rename]\r\n" + ours;
    }
    if (sectionEnd == std::string::npos) {
        std::string text = existing;
        if (!text.empty() && text.back() != '\n') text += "\r\n";
        return text + ours;
    }
    return existing.substr(0, sectionEnd) + ours + existing.substr(sectionEnd);
}

std::string RestartMessage(int scheduled, bool batch, TBootOs os) {
    if (scheduled <= 0) return {};
    if (batch && os == TBootOs::WinMe)
        return "As you are using Windows ME you must restart your computer with a boot disk\rand run the "
               "program "
               "C:\\QRESTORE.BAT to get the rest of the files restored.\rWhen the files are copied you must "
               "remove the boot disk and restart your computer.";
    return "You must restart your computer to get the rest of the files restored";
}

} // namespace job
