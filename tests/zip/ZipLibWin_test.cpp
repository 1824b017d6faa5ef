#include <windows.h>
#include <winioctl.h>

#include "gui/ScriptedPrompter.h"
#include "zip/ZipLib.h"
#include "zip/ZipLibWin.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <vector>

using namespace zip;

namespace {

// A fresh folder in the temp folder, removed afterwards (ANSI path ending with "\").
class TempFolder {
  public:
    TempFolder() {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        path_ = std::string(base) + "zipfound" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(GetTickCount()) + "\\";
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path_); }
    const std::string& Path() const { return path_; }

    void File(const std::string& relative, const std::string& bytes = "x") const {
        std::string full = path_ + relative;
        ForceDirs(full.substr(0, full.find_last_of('\\')));
        std::ofstream(full, std::ios::binary) << bytes;
    }

  private:
    static void RemoveTree(const std::string& folder) {
        WIN32_FIND_DATAA data;
        HANDLE h = FindFirstFileA((folder + "*").c_str(), &data);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = data.cFileName;
                if (name == "." || name == "..") continue;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(folder + name + "\\");
                else
                    DeleteFileA((folder + name).c_str());
            } while (FindNextFileA(h, &data));
            FindClose(h);
        }
        RemoveDirectoryA(folder.c_str());
    }
    std::string path_;
};

std::vector<std::string> Search(const std::string& start, bool recurse, const std::string& mask,
                                const std::string& cut) {
    TDirSearch search(start, recurse, mask);
    std::vector<std::string> found;
    int64_t size;
    for (std::string name = search.NextFile(size); !name.empty(); name = search.NextFile(size))
        found.push_back(name.substr(cut.size()));
    return found;
}

std::set<std::string> AsSet(const std::vector<std::string>& names) {
    return {names.begin(), names.end()};
}

TEST(ZipLibWin, WildcardFolderPartsLeadToTheMaskedFiles) {
    TempFolder t;
    for (const char* file : {"Data\\A\\Logs\\x.log", "Data\\A\\Logs\\x.txt", "Data\\B\\Logs\\y.LOG",
                             "Data\\B\\Other\\n.log", "Data\\top.log", "Data\\.hidden\\Logs\\h.log"})
        t.File(file);
    EXPECT_EQ(AsSet(Search(t.Path() + "Data\\*\\Logs", false, "*.log", t.Path())),
              (std::set<std::string>{"Data\\A\\Logs\\x.log", "Data\\B\\Logs\\y.LOG",
                                     "Data\\.hidden\\Logs\\h.log"}));
    EXPECT_EQ(
        AsSet(Search(t.Path() + "Data\\<a-b>\\*", false, "*.log", t.Path())),
        (std::set<std::string>{"Data\\A\\Logs\\x.log", "Data\\B\\Logs\\y.LOG", "Data\\B\\Other\\n.log"}));
}

TEST(ZipLibWin, RecursiveSearchAnswersEachFolderBeforeItsContents) {
    TempFolder t;
    t.File("README");
    t.File("a.txt");
    t.File("sub\\b.txt");
    t.File(".cfg\\settings.ini"); // a dot folder is an ordinary folder
    t.File("sub\\deeper\\c.txt");
    const std::vector<std::string> found = Search(t.Path(), true, "*.*", t.Path());
    EXPECT_EQ(AsSet(found), (std::set<std::string>{"README", "a.txt", "sub\\", "sub\\b.txt", "sub\\deeper\\",
                                                   "sub\\deeper\\c.txt", ".cfg\\", ".cfg\\settings.ini"}));
    auto at = [&](const std::string& name) {
        return std::find(found.begin(), found.end(), name) - found.begin();
    };
    EXPECT_LT(at("sub\\"), at("sub\\b.txt"));
    EXPECT_LT(at("sub\\deeper\\"), at("sub\\deeper\\c.txt"));
    EXPECT_LT(at(".cfg\\"), at(".cfg\\settings.ini"));
    // Without recurse only the start folder's files.
    EXPECT_EQ(AsSet(Search(t.Path(), false, "*.*", t.Path())), (std::set<std::string>{"README", "a.txt"}));
}

TEST(ZipLibWin, DeepTreesAndHugeFilesAreSearchedWhole) {
    TempFolder t;
    std::string deep;
    for (int level = 0; level < 30; ++level)
        deep += "d" + std::to_string(level) + "\\";
    t.File(deep + "bottom.txt");
    // A sparse file past 4 GiB: the size must not wrap.
    HANDLE big =
        CreateFileA((t.Path() + "big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(big, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = (int64_t(5) << 30) + 7;
    ASSERT_TRUE(SetFilePointerEx(big, end, nullptr, FILE_BEGIN) && SetEndOfFile(big));
    CloseHandle(big);

    TDirSearch search(t.Path(), true, "*.*");
    int64_t size = 0, bigSize = -1;
    bool bottom = false;
    for (std::string name = search.NextFile(size); !name.empty(); name = search.NextFile(size)) {
        if (name == t.Path() + deep + "bottom.txt") bottom = true;
        if (name == t.Path() + "big.bin") bigSize = size;
    }
    EXPECT_TRUE(bottom);
    EXPECT_EQ(bigSize, (int64_t(5) << 30) + 7);
}

void SetWriteTime(const std::string& file, WORD year, WORD month, WORD day, WORD hour, WORD minute,
                  WORD second) {
    SYSTEMTIME local{year, month, 0, day, hour, minute, second, 0};
    FILETIME localTime, utc;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime));
    ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
    HANDLE h = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &utc));
    CloseHandle(h);
}

TEST(ZipLibWin, FileDatesAreDosDatesClampedToTheirRange) {
    TempFolder t;
    const std::string file = t.Path() + "dated.txt";
    t.File("dated.txt");
    SetWriteTime(file, 2020, 6, 15, 10, 20, 31);
    EXPECT_EQ(FileDosDateTime(file), PackDosDateTime(2020, 6, 15, 10, 20, 30));
    EXPECT_EQ(FileDateTime(file), DosDateTimeToDateTime(PackDosDateTime(2020, 6, 15, 10, 20, 30)));
    SetWriteTime(file, 1975, 3, 1, 12, 0, 0);
    EXPECT_EQ(FileDosDateTime(file), PackDosDateTime(1980, 1, 1, 0, 0, 0));
    SetWriteTime(file, 2150, 3, 1, 12, 0, 0);
    EXPECT_EQ(FileDosDateTime(file), PackDosDateTime(2099, 12, 31, 23, 59, 58));
    EXPECT_FALSE(FileDosDateTime(t.Path() + "missing.txt").has_value());
}

TEST(ZipLibWin, FoldersAreMadeAndTested) {
    TempFolder t;
    const std::string deep = t.Path() + "one\\two\\three\\";
    EXPECT_FALSE(DirExists(deep));
    EXPECT_TRUE(ForceDirs(deep));
    EXPECT_TRUE(DirExists(deep));
    EXPECT_TRUE(DirExists(t.Path() + "one"));
    EXPECT_FALSE(FileExists(t.Path() + "one"));
    t.File("one\\f.txt");
    EXPECT_TRUE(FileExists(t.Path() + "one\\f.txt"));
    EXPECT_FALSE(ForceDirs(t.Path() + "one\\f.txt\\below")); // a file stands in the way
    EXPECT_TRUE(ForceDirs(""));
    SetCurrentDirectoryA(deep.c_str());
    EXPECT_EQ(CurrentDir() + "\\", deep);
    SetCurrentDirectoryA(t.Path().substr(0, 3).c_str());
}

TEST(ZipLibWin, CopyFileToSucceedsOnlyWhenEveryByteArrived) {
    TempFolder t;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope scope(prompter);
    std::string data(300000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 31 % 253);
    t.File("src.bin", data);
    t.File("empty.bin", "");
    EXPECT_TRUE(CopyFileTo(t.Path() + "src.bin", t.Path() + "copy.bin"));
    std::ifstream copy(t.Path() + "copy.bin", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), data);
    EXPECT_TRUE(CopyFileTo(t.Path() + "empty.bin", t.Path() + "empty2.bin")); // 0 bytes is a good copy
    EXPECT_TRUE(prompter.Requests().empty());

    prompter.AnswerMessage(gui::mrOk).AnswerMessage(gui::mrOk);
    EXPECT_FALSE(CopyFileTo(t.Path() + "missing.bin", t.Path() + "out.bin"));
    EXPECT_FALSE(FileExists(t.Path() + "out.bin"));
    EXPECT_FALSE(CopyFileTo(t.Path() + "src.bin", t.Path() + "no\\such\\folder\\out.bin"));
    const auto texts = prompter.MessageTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Could not copy from " + t.Path() + "missing.bin -> " + t.Path() + "out.bin");
    EXPECT_EQ(prompter.Requests()[0].Message.Caption, "Error");
}

TEST(ZipLibWin, ConvertPathMatchesTheSystemsShortAndLongNames) {
    TempFolder t;
    t.File("Long Folder Name\\Another long file name.text");
    const std::string longPath = t.Path() + "Long Folder Name\\Another long file name.text";
    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(longPath.c_str(), shortPath, MAX_PATH), 0u);
    char longBase[MAX_PATH];
    ASSERT_GT(GetLongPathNameA(t.Path().c_str(), longBase, MAX_PATH), 0u);
    const std::string fullLong = std::string(longBase) + "Long Folder Name\\Another long file name.text";

    EXPECT_EQ(ConvertPath(longPath, false), shortPath);
    EXPECT_EQ(ConvertPath(shortPath, true), fullLong);
    EXPECT_EQ(ConvertPath(t.Path() + "Long Folder Name\\", false).back(), '\\');
    // A part that is not on disk stays as it is, in both directions.
    EXPECT_EQ(ConvertPath(t.Path() + "Long Folder Name\\not here.txt", true),
              std::string(longBase) + "Long Folder Name\\not here.txt");
}

// A drive letter on a folder of its own, defined through Wine's mount manager (the way a
// removable disk is swapped); removed at the end.
class WineDrive {
  public:
    WineDrive(char letter, const std::string& folder, UINT type) : letter_(letter) {
        using UnixName = char*(CDECL*)(LPCWSTR);
        auto toUnix = reinterpret_cast<UnixName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
        if (!toUnix) return;
        std::wstring wide(folder.begin(), folder.end());
        char* unixPath = toUnix(wide.c_str());
        if (!unixPath) return;
        unixPath_ = unixPath;
        HeapFree(GetProcessHeap(), 0, unixPath);
        defined_ = Define(type);
    }
    ~WineDrive() {
        if (defined_) Define(DRIVE_NO_ROOT_DIR);
    }
    bool Defined() const { return defined_; }
    // The drive is defined again: Wine reads the label anew.
    bool Redefine() { return Define(DRIVE_REMOVABLE); }

  private:
    struct UnixDrive {
        ULONG size, type, fsType;
        DWORD serial;
        ULONGLONG unixDevice;
        WCHAR letter;
        USHORT mountPointOffset, deviceOffset, labelOffset;
    };
    bool Define(UINT type) {
        std::vector<char> buffer(sizeof(UnixDrive) + unixPath_.size() + 1, '\0');
        auto* drive = reinterpret_cast<UnixDrive*>(buffer.data());
        drive->type = type;
        drive->letter = WCHAR(letter_ - 'A' + 'a');
        if (type != DRIVE_NO_ROOT_DIR) {
            drive->mountPointOffset = sizeof(UnixDrive);
            memcpy(buffer.data() + sizeof(UnixDrive), unixPath_.c_str(), unixPath_.size());
        } else
            buffer.resize(sizeof(UnixDrive));
        drive->size = ULONG(buffer.size());
        HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (manager == INVALID_HANDLE_VALUE) return false;
        DWORD returned;
        const DWORD defineUnixDrive =
            CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
        const BOOL ok = DeviceIoControl(manager, defineUnixDrive, buffer.data(), DWORD(buffer.size()),
                                        nullptr, 0, &returned, nullptr);
        CloseHandle(manager);
        return ok;
    }
    char letter_;
    std::string unixPath_;
    bool defined_ = false;
};

TEST(ZipLibWin, VolumeLabelIsWrittenAndReadBackOnARemovableDrive) {
    TempFolder t;
    WineDrive drive('Q', t.Path(), DRIVE_REMOVABLE);
    ASSERT_TRUE(drive.Defined()) << "no mount manager to define a drive letter";
    EXPECT_EQ(GetDriveTypeA("Q:\\"), UINT(DRIVE_REMOVABLE));
    EXPECT_TRUE(SetVolumeLabel("Q:\\", "PKBACK# 002"));
    ASSERT_TRUE(drive.Redefine());
    EXPECT_EQ(GetVolumeLabel("Q:\\"), "PKBACK# 002");

    // A label longer than a volume can hold is answered cut to 13 characters.
    std::ofstream(t.Path() + ".windows-label") << "ABCDEFGHIJKLMNOPQRSTUVWXYZ\n";
    ASSERT_TRUE(drive.Redefine());
    EXPECT_EQ(GetVolumeLabel("Q:\\"), "ABCDEFGHIJKLM");

    // The search works through the drive letter like any folder.
    t.File("Data\\X\\Logs\\q.log");
    EXPECT_EQ(Search("Q:\\Data\\*\\Logs", false, "*.log", ""),
              (std::vector<std::string>{"Q:\\Data\\X\\Logs\\q.log"}));
    EXPECT_EQ(GetVolumeLabel("R:\\no drive\\"), "");
}

} // namespace

namespace {

TEST(ZipLibWin, SystemConvertersTurnAnsiNamesIntoTheOemCodePageAndBack) {
    ASSERT_EQ(GetOEMCP(), 437u) << "the test prefix runs under an English locale";
    const NameConverters system = SystemNameConverters();
    ScopedNameConverters scope(system);
    EXPECT_EQ(AnsiToOemName("caf\xE9\\M\xFCller.txt"), "caf\x82\\M\x81ller.txt");
    EXPECT_EQ(OemToAnsiName("caf\x82\\M\x81ller.txt"), "caf\xE9\\M\xFCller.txt");
    EXPECT_EQ(AnsiToOemName(""), "");
}

} // namespace
