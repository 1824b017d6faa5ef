#include "core/UserFolders.h"

#include "core/Settings.h"

namespace core {

namespace {

const std::string explorerKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const std::string shellFoldersKey = explorerKey + "Shell Folders\\";
const std::string profileListKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const std::string winLogonKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WinLogon\\";

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

size_t FindI(const std::string& text, const std::string& part, size_t from = 0) {
    if (part.empty()) return std::string::npos;
    for (size_t i = from; i + part.size() <= text.size(); ++i) {
        size_t j = 0;
        while (j < part.size() && UpperAscii(text[i + j]) == UpperAscii(part[j]))
            ++j;
        if (j == part.size()) return i;
    }
    return std::string::npos;
}

bool SameTextI(const std::string& a, const std::string& b) {
    return a.size() == b.size() && FindI(a, b) == 0;
}

std::string ReplaceAllI(const std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    std::string result;
    size_t start = 0;
    for (size_t hit; (hit = FindI(text, from, start)) != std::string::npos; start = hit + from.size()) {
        result.append(text, start, hit - start);
        result += to;
    }
    result.append(text, start);
    return result;
}

bool StartsWithI(const std::string& text, const std::string& prefix) {
    return !prefix.empty() && text.size() >= prefix.size() &&
           SameTextI(text.substr(0, prefix.size()), prefix);
}

bool InsideFolder(const std::string& path, const std::string& folder) {
    return !folder.empty() && StartsWithI(path, WithTrailingBackslash(folder));
}

std::string Value(RegistryLookup& registry, RegistryRoot root, const std::string& key,
                  const std::string& name) {
    return registry.ReadString(root, key, name).value_or(std::string());
}

std::string ParentFolder(const std::string& folder) {
    std::string trimmed = folder;
    if (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    const size_t slash = trimmed.find_last_of('\\');
    return slash == std::string::npos ? folder : trimmed.substr(0, slash + 1);
}

} // namespace

UserFolders FindUserFolders(RegistryLookup& registry, FolderOps& folders, const UserFolderInputs& inputs) {
    using enum RegistryRoot;
    UserFolders found;
    found.perUserDataOn = inputs.perUserDataOn;
    const std::string allUsers = Value(registry, LocalMachine, profileListKey, "AllUsersProfile");
    const std::string defaultUser = Value(registry, LocalMachine, profileListKey, "DefaultUserProfile");

    // 1. The user name: the first value found that is not a shared profile's name.
    const std::pair<RegistryRoot, std::pair<std::string, std::string>> nameSources[] = {
        {CurrentUser, {explorerKey, "Logon User Name"}},
        {LocalMachine, {"Network\\Logon\\", "UserName"}},
        {LocalMachine, {"System\\CurrentControlSet\\Control\\", "Current User"}},
        {LocalMachine, {winLogonKey, "DefaultUserName"}},
        {LocalMachine, {winLogonKey, "AltDefaultUserName"}},
    };
    for (const auto& [root, source] : nameSources) {
        const std::string name = Value(registry, root, source.first, source.second);
        if (name.empty()) continue;
        if (SameTextI(name, allUsers) || SameTextI(name, defaultUser)) continue;
        found.userName = name;
        break;
    }

    // 2.-4. The application-data folder, moved out of the Windows folder and into the user's profile.
    std::string dataDir = Value(registry, CurrentUser, shellFoldersKey, "AppData");
    if (InsideFolder(dataDir, inputs.windowsFolder)) {
        dataDir = ReplaceAllI(Value(registry, LocalMachine, shellFoldersKey, "Common AppData"), allUsers,
                              found.userName);
        const std::string serviceDesktop = ReplaceAllI(
            Value(registry, LocalMachine, shellFoldersKey, "Common Desktop"), allUsers, "LocalService");
        if (!serviceDesktop.empty() && !folders.DirectoryExists(serviceDesktop) &&
            !folders.ForceDirectories(serviceDesktop))
            found.failedFolders.push_back(serviceDesktop);
    }
    if (!found.userName.empty() && FindI(dataDir, found.userName) == std::string::npos)
        dataDir = ReplaceAllI(dataDir, defaultUser, found.userName);

    // 5. The program's own folder inside it.
    if (!dataDir.empty()) {
        dataDir = WithTrailingBackslash(dataDir) + "Tarnwick\\";
        // A folder that cannot be made is as good as none: the program folder serves instead.
        if (inputs.perUserDataOn && !folders.DirectoryExists(dataDir) && !folders.ForceDirectories(dataDir)) {
            found.failedFolders.push_back(dataDir);
            dataDir.clear();
        }
    }

    // 6. Where the profiles lie.
    std::string profiles = Value(registry, LocalMachine, profileListKey, "ProfilesDirectory");
    if (StartsWithI(profiles, "%SystemDrive%"))
        profiles = inputs.windowsFolder.substr(0, 2) + profiles.substr(std::string("%SystemDrive%").size());
    found.applicationDataPath = WithTrailingBackslash(profiles);

    // 7. The documents folder.
    std::string documents = WithTrailingBackslash(Value(registry, CurrentUser, shellFoldersKey, "Personal"));
    if (documents.empty() || InsideFolder(documents, inputs.windowsFolder)) {
        documents = ReplaceAllI(Value(registry, LocalMachine, shellFoldersKey, "Common Documents"), allUsers,
                                found.userName);
        if (documents.size() > 3) documents = ParentFolder(documents);
    }
    found.documentsFolder = documents;

    // 8. No application-data folder: a folder per user beside the program, seeded with the
    // program's settings and schedules.
    if (dataDir.empty() && !found.userName.empty() && inputs.perUserDataOn) {
        const std::string userFolder = inputs.programFolder + "Users\\" + found.userName + "\\";
        if (!folders.DirectoryExists(userFolder) && !folders.ForceDirectories(userFolder)) {
            found.failedFolders.push_back(userFolder);
        } else {
            for (const char* extension : {".ini", ".sch"}) {
                const std::string name = inputs.programBaseName + extension;
                if (!folders.FileExists(userFolder + name) && folders.FileExists(inputs.programFolder + name))
                    folders.CopyOneFile(inputs.programFolder + name, userFolder + name);
            }
            dataDir = userFolder;
        }
    }

    // 9. Per-user data needs a folder: without a name there is none, and one that could not
    // be made leaves the program folder's files in use.
    if (dataDir.empty()) found.perUserDataOn = false;
    if (found.perUserDataOn) {
        found.dataDir = dataDir;
    } else {
        found.dataDir.clear();
        found.userName.clear();
    }
    return found;
}

std::string UserFileFolder(bool perUserDataOn, const std::string& dataDir, const std::string& userName,
                           const std::string& programFolder) {
    if (!perUserDataOn) return programFolder;
    if (!dataDir.empty()) return dataDir;
    if (!userName.empty()) return programFolder + "Users\\" + userName + "\\";
    return programFolder;
}

} // namespace core
