#include "job/BootReplaceWin.h"

#include <windows.h>

#include <cctype>

namespace job {

namespace {

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string NameOf(const std::string& path) {
    return path.substr(path.find_last_of('\\') + 1);
}

std::string ShortForm(const std::string& path) {
    char buffer[MAX_PATH];
    const DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : path;
}

std::string ReadText(const std::string& file) {
    std::string text;
    HANDLE handle =
        CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(handle);
    return text;
}

bool WriteText(const std::string& file, const std::string& text, bool append) {
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE handle = CreateFileA(file.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                                append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    CloseHandle(handle);
    return ok;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// The first number from `from` for which the name does not exist.
template <typename Name> int FirstFree(int from, Name name) {
    int n = from;
    while (Exists(name(n)))
        ++n;
    return n;
}

bool MakeFolder(const std::string& folder) {
    return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

} // namespace

bool TBootReplaceHost::MoveAtNextBoot(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
}

int ReplaceAtNextBoot(TBootReplaceHost& host, std::vector<TRebootEntry>& list, TBootReplaceSetup& setup) {
    if (list.empty()) return 0;
    const bool ntFamily = setup.os == TBootOs::NT;
    std::vector<TRebootEntry> restoreData;
    if (setup.os == TBootOs::WinMe) {
        for (size_t i = list.size(); i-- > 0;)
            if (Upper(list[i].target).find("\\_RESTORE") != std::string::npos) {
                restoreData.insert(restoreData.begin(), list[i]);
                list.erase(list.begin() + static_cast<long>(i));
            }
    }
    const std::string wininit = setup.windowsFolder + "\\WININIT.INI";
    const std::string qrestore = "C:\\QRestore.bat";
    if (!ntFamily) {
        SetFileAttributesA(qrestore.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(qrestore.c_str());
    }
    // The staging root: TempPath\0\, else the system's temporary folder.
    if (!Exists(setup.tempPath + "0") && !MakeFolder(setup.tempPath + "0")) {
        setup.tempPath = setup.systemTempPath;
        if (!setup.tempPath.empty() && setup.tempPath.back() != '\\') setup.tempPath += '\\';
        if (!MakeFolder(setup.tempPath + "0")) {
            for (const TRebootEntry& entry : list)
                host.Log("Not restored: " + entry.target);
            list.clear();
            return 0;
        }
    }

    TBootPlan plan;
    int scheduled = 0, count = 0, batchFiles = 0;
    for (size_t i = list.size(); i-- > 0 && !host.CancelPending();) {
        const TRebootEntry& entry = list[i];
        host.Status("Saving files to be restored after reboot " + std::to_string(++count));
        // The status pumps: a Cancel clicked meanwhile stops before this file.
        if (host.CancelPending()) break;
        const std::string root = StagingRootFor(entry.target, setup.tempPath);
        if (root != setup.tempPath) {
            MakeFolder(root);
            host.Log("Staged on the target's drive in: " + root);
        }
        const std::string name = NameOf(entry.target);
        const int k = FirstFree(0, [&](int n) { return root + std::to_string(n) + "\\" + name; });
        const std::string folder = root + std::to_string(k) + "\\";
        MakeFolder(folder.substr(0, folder.size() - 1));
        host.ExtractEntry(entry.index, folder);
        const std::string staged = folder + name;
        if (!Exists(staged)) {
            host.Log("Not restored: " + entry.target);
            continue;
        }
        if (ntFamily) {
            if (IsRegistryHive(entry.target, setup.windowsFolder, setup.userProfile)) {
                const std::string question = "You are about to restore the " + name +
                                             " part of the registry, you should only do it if you have a "
                                             "problem with your current settings "
                                             "and you are logged on as the user which performed the backup. "
                                             "Press NO if you are not sure";
                if (!host.Ask(question) || !host.Ask(question)) {
                    host.Log("Not restored: " + entry.target);
                    continue;
                }
            }
            if (host.MoveAtNextBoot(staged, entry.target))
                ++scheduled;
            else
                host.Log("Not restored: " + entry.target);
            continue;
        }
        const size_t batchBefore = plan.batchLines.size();
        if (!PlanFile(plan, {entry.target, staged, ShortForm(entry.target), ShortForm(staged)}, setup.os)) {
            host.Log("Not restored: " + entry.target);
            host.Inform("Too many files to restore after reboot rest of files skipped");
            break;
        }
        ++scheduled;
        if (plan.batchLines.size() != batchBefore) ++batchFiles;
    }

    // Windows ME: the system's restore data is swapped for the restored copy at boot.
    std::string meFolder;
    if (!restoreData.empty() && !host.CancelPending()) {
        const std::string drive = setup.windowsFolder.substr(0, 2);
        const int n = FirstFree(0, [&](int i) { return drive + "\\_REST" + std::to_string(i); });
        // Not the name the live folder gets at boot.
        const int m = FirstFree(n + 1, [&](int i) { return drive + "\\_REST" + std::to_string(i); });
        meFolder = drive + "\\_REST" + std::to_string(n);
        const std::string target = drive + "\\_REST" + std::to_string(m) + "\\";
        MakeFolder(target.substr(0, target.size() - 1));
        host.ExtractRestoreData(restoreData, target);
        const std::vector<std::string> swap = MeSwapLines(drive, n, m);
        plan.batchLines.insert(plan.batchLines.end(), swap.begin(), swap.end());
        plan.batch = true;
        scheduled += static_cast<int>(restoreData.size());
        batchFiles += static_cast<int>(restoreData.size());
    }

    if (!plan.iniLines.empty() &&
        !WriteText(wininit, MergeRenameSection(ReadText(wininit), plan.iniLines), false))
        host.Log("Not restored: WININIT.INI could not be written");
    if (plan.batch) {
        const int p = FirstFree(0, [](int i) { return "C:\\AutoExec." + std::to_string(i); });
        CopyFileA((setup.windowsFolder + "\\Command\\Attrib.exe").c_str(), "C:\\Attrib.exe", FALSE);
        const std::string autoexec = "C:\\AutoExec.bat";
        const std::string saved = "C:\\AutoExec." + std::to_string(p);
        const bool hadAutoexec = Exists(autoexec);
        bool savedOk = true;
        if (hadAutoexec) {
            SetFileAttributesA(autoexec.c_str(), FILE_ATTRIBUTE_NORMAL);
            savedOk = CopyFileA(autoexec.c_str(), saved.c_str(), FALSE) && Exists(saved);
        }
        if (!savedOk) {
            // Replacing an AUTOEXEC.BAT that could not be kept would lose it.
            host.Log("Not restored: C:\\AutoExec.bat could not be kept as " + saved);
            scheduled -= batchFiles;
        } else {
            const TBatchTail tail = PlanBatchTail(p, hadAutoexec);
            std::vector<std::string> batch = plan.batchLines;
            batch.insert(batch.end(), tail.qrestore.begin(), tail.qrestore.end());
            WriteText(qrestore, Lines(batch), false);
            WriteText("C:\\QClean.bat", Lines(tail.qclean), false);
            WriteText(autoexec, Lines(tail.autoexec), false);
        }
    }

    list.clear();
    if (setup.meHiveRestored && !meFolder.empty())
        host.Inform(
            "As you are using Windows ME the files which Windows ME uses to reset system changes \rwill be "
            "renamed to: " +
            meFolder + "\rWhen the system are restored you should delete: " + meFolder);
    const std::string message = RestartMessage(scheduled, plan.batch, setup.os);
    if (!message.empty()) host.Inform(message);
    return scheduled;
}

} // namespace job
