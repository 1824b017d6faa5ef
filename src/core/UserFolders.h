#pragma once
// Finds the logged-on user's name and folders and chooses the per-user data folder. The
// registry and the file system come in through two small interfaces, so every Windows
// layout (9x, NT 4, 2000/XP, profiles on other drives) is tested with a fake registry.

#include <optional>
#include <string>
#include <vector>

namespace core {

enum class RegistryRoot { CurrentUser, LocalMachine };

class RegistryLookup {
  public:
    virtual ~RegistryLookup() = default;
    // A string value, or nothing when the key or value does not exist.
    virtual std::optional<std::string> ReadString(RegistryRoot root, const std::string& key,
                                                  const std::string& name) = 0;
};

class FolderOps {
  public:
    virtual ~FolderOps() = default;
    virtual bool DirectoryExists(const std::string& folder) = 0;
    // Creates the folder and any missing parents.
    virtual bool ForceDirectories(const std::string& folder) = 0;
    virtual bool FileExists(const std::string& file) = 0;
    virtual bool CopyOneFile(const std::string& from, const std::string& to) = 0;
};

struct UserFolderInputs {
    std::string windowsFolder;   // without a trailing "\"
    std::string programFolder;   // with a trailing "\"
    std::string programBaseName; // the program file's name without extension
    bool perUserDataOn = false;  // [Settings] UseUserData2kXP or UseUserData
};

struct UserFolders {
    std::string userName;
    std::string dataDir;             // ends with "\"; empty when per-user data is off
    std::string applicationDataPath; // ends with "\"
    std::string documentsFolder;     // ends with "\"
    bool perUserDataOn = false;
    // Folders that could not be created, for "Failed to create dir: " log lines.
    std::vector<std::string> failedFolders;
};

UserFolders FindUserFolders(RegistryLookup& registry, FolderOps& folders, const UserFolderInputs& inputs);

// Where the user's own files go (job files, saved logs, catalogues): the program folder while
// per-user data is off; else the data folder when there is one; else
// "<program folder>Users\<user name>\" when the user is known; else the program folder.
std::string UserFileFolder(bool perUserDataOn, const std::string& dataDir, const std::string& userName,
                           const std::string& programFolder);

} // namespace core
