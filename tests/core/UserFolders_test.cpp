#include "FakeRegistry.h"
#include "core/UserFolders.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using core::RegistryRoot;

namespace {

const std::string explorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const std::string shellFolders = explorer + "Shell Folders\\";
const std::string profileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

using testsupport::FakeRegistry;

class FakeFolders : public core::FolderOps {
  public:
    std::set<std::string> folders, files;
    std::set<std::string> unwritable;
    std::vector<std::pair<std::string, std::string>> copies;
    bool DirectoryExists(const std::string& folder) override { return folders.count(folder) > 0; }
    bool ForceDirectories(const std::string& folder) override {
        for (const auto& bad : unwritable)
            if (folder.rfind(bad, 0) == 0) return false;
        folders.insert(folder);
        return true;
    }
    bool FileExists(const std::string& file) override { return files.count(file) > 0; }
    bool CopyOneFile(const std::string& from, const std::string& to) override {
        copies.emplace_back(from, to);
        files.insert(to);
        return true;
    }
};

core::UserFolderInputs Inputs(bool perUser = true) {
    return {"C:\\WINDOWS", "C:\\Tarnwick\\", "tarnwick", perUser};
}

// A Windows XP machine: profiles under C:\Documents and Settings.
FakeRegistry WindowsXP(const std::string& user) {
    FakeRegistry registry;
    registry.Set(RegistryRoot::LocalMachine, profileList, "AllUsersProfile", "All Users");
    registry.Set(RegistryRoot::LocalMachine, profileList, "DefaultUserProfile", "Default User");
    registry.Set(RegistryRoot::LocalMachine, profileList, "ProfilesDirectory",
                 "%SystemDrive%\\Documents and Settings");
    registry.Set(RegistryRoot::CurrentUser, explorer, "Logon User Name", user);
    registry.Set(RegistryRoot::CurrentUser, shellFolders, "AppData",
                 "C:\\Documents and Settings\\" + user + "\\Application Data");
    registry.Set(RegistryRoot::CurrentUser, shellFolders, "Personal",
                 "C:\\Documents and Settings\\" + user + "\\My Documents");
    return registry;
}

} // namespace

TEST(UserFolders, WindowsXPUsesTheProfilesApplicationData) {
    FakeRegistry registry = WindowsXP("anna");
    FakeFolders folders;
    const auto found = core::FindUserFolders(registry, folders, Inputs());
    EXPECT_TRUE(found.perUserDataOn);
    EXPECT_EQ(found.userName, "anna");
    EXPECT_EQ(found.dataDir, "C:\\Documents and Settings\\anna\\Application Data\\Tarnwick\\");
    EXPECT_TRUE(folders.DirectoryExists(found.dataDir));
    EXPECT_EQ(found.applicationDataPath, "C:\\Documents and Settings\\");
    EXPECT_EQ(found.documentsFolder, "C:\\Documents and Settings\\anna\\My Documents\\");
}

TEST(UserFolders, SharedProfileNamesAreNotUserNames) {
    FakeRegistry registry = WindowsXP("All Users");
    registry.Set(RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WinLogon\\",
                 "DefaultUserName", "bert");
    registry.Set(RegistryRoot::CurrentUser, shellFolders, "AppData",
                 "C:\\Documents and Settings\\Default User\\Application Data");
    FakeFolders folders;
    const auto found = core::FindUserFolders(registry, folders, Inputs());
    EXPECT_EQ(found.userName, "bert");
    EXPECT_EQ(found.dataDir, "C:\\Documents and Settings\\bert\\Application Data\\Tarnwick\\")
        << "the default profile's folder is moved to the user's";
}

TEST(UserFolders, ApplicationDataInsideTheWindowsFolderMovesToTheCommonOne) {
    FakeRegistry registry;
    registry.Set(RegistryRoot::LocalMachine, profileList, "AllUsersProfile", "All Users");
    registry.Set(RegistryRoot::LocalMachine, "Network\\Logon\\", "UserName", "carl");
    registry.Set(RegistryRoot::CurrentUser, shellFolders, "AppData", "C:\\windows\\Application Data");
    registry.Set(RegistryRoot::LocalMachine, shellFolders, "Common AppData", "C:\\Data\\All Users\\AppData");
    registry.Set(RegistryRoot::LocalMachine, shellFolders, "Common Desktop", "C:\\Data\\All Users\\Desktop");
    registry.Set(RegistryRoot::CurrentUser, shellFolders, "Personal", "C:\\WINDOWS\\Personal");
    registry.Set(RegistryRoot::LocalMachine, shellFolders, "Common Documents",
                 "C:\\Data\\All Users\\Documents");
    FakeFolders folders;
    const auto found = core::FindUserFolders(registry, folders, Inputs());
    EXPECT_EQ(found.dataDir, "C:\\Data\\carl\\AppData\\Tarnwick\\");
    EXPECT_TRUE(folders.DirectoryExists("C:\\Data\\LocalService\\Desktop"));
    EXPECT_EQ(found.documentsFolder, "C:\\Data\\carl\\");
}

TEST(UserFolders, NoApplicationDataGivesAUserFolderBesideTheProgram) {
    FakeRegistry registry;
    registry.Set(RegistryRoot::LocalMachine, "System\\CurrentControlSet\\Control\\", "Current User", "dora");
    FakeFolders folders;
    folders.files = {"C:\\Tarnwick\\tarnwick.ini", "C:\\Tarnwick\\tarnwick.sch",
                     "C:\\Tarnwick\\Users\\dora\\tarnwick.sch"};
    const auto found = core::FindUserFolders(registry, folders, Inputs());
    EXPECT_EQ(found.dataDir, "C:\\Tarnwick\\Users\\dora\\");
    ASSERT_EQ(folders.copies.size(), 1u) << "a file already there is kept";
    EXPECT_EQ(folders.copies[0].second, "C:\\Tarnwick\\Users\\dora\\tarnwick.ini");
}

TEST(UserFolders, PerUserDataOffOrImpossibleEmptiesTheFolderAndName) {
    FakeRegistry registry = WindowsXP("anna");
    FakeFolders folders;
    auto found = core::FindUserFolders(registry, folders, Inputs(false));
    EXPECT_FALSE(found.perUserDataOn);
    EXPECT_EQ(found.dataDir, "");
    EXPECT_EQ(found.userName, "");
    EXPECT_TRUE(folders.folders.empty()) << "nothing is created while per-user data is off";

    FakeRegistry empty;
    found = core::FindUserFolders(empty, folders, Inputs());
    EXPECT_FALSE(found.perUserDataOn);
}

TEST(UserFolders, FoldersThatCannotBeCreatedAreReportedAndTheProgramFolderServes) {
    FakeRegistry registry = WindowsXP("anna");
    FakeFolders folders;
    folders.unwritable = {"C:\\Documents and Settings"};
    auto found = core::FindUserFolders(registry, folders, Inputs());
    ASSERT_EQ(found.failedFolders.size(), 1u);
    EXPECT_EQ(found.failedFolders[0], "C:\\Documents and Settings\\anna\\Application Data\\Tarnwick\\");
    EXPECT_TRUE(found.perUserDataOn);
    EXPECT_EQ(found.dataDir, "C:\\Tarnwick\\Users\\anna\\") << "as when no folder is found";

    FakeFolders neither;
    neither.unwritable = {"C:\\Documents and Settings", "C:\\Tarnwick"};
    found = core::FindUserFolders(registry, neither, Inputs());
    ASSERT_EQ(found.failedFolders.size(), 2u);
    EXPECT_EQ(found.failedFolders[1], "C:\\Tarnwick\\Users\\anna\\");
    EXPECT_FALSE(found.perUserDataOn) << "no folder at all: the program folder's files";
    EXPECT_EQ(found.dataDir, "");
}
