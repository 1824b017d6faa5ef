#pragma once
// Small helpers shared by the Windows tests: scratch folders, whole-file reads and writes,
// and leaving the thread's queue clean between tests.

#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder() : path_(Make("tw")) {}
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // With a trailing backslash.
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

    // A fresh folder under the temporary folder, its name starting with `prefix`, ending in a backslash.
    // Throws when none can be made: a test never works in a folder that is not its own.
    static std::string Make(const std::string& prefix) {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        static unsigned counter = 0;
        for (;;) {
            const std::string path = std::string(base) + prefix + std::to_string(GetCurrentProcessId()) +
                                     "_" + std::to_string(++counter) + "\\";
            if (CreateDirectoryA(path.c_str(), nullptr)) return path;
            if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot make " + path);
        }
    }

    static void RemoveTree(const std::string& folder) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name == "." || name == "..") continue;
                const std::string full = folder + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(full + "\\");
                else {
                    SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(full.c_str());
                }
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
    }

  private:
    std::string path_;
};

inline void WriteWholeFile(const std::string& file, const std::string& contents) {
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (handle != INVALID_HANDLE_VALUE) {
        WriteFile(handle, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
        CloseHandle(handle);
    }
}

inline std::string ReadWholeFile(const std::string& file) {
    std::string contents;
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return contents;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0)
        contents.append(buffer, got);
    CloseHandle(handle);
    return contents;
}

inline bool FileExists(const std::string& file) {
    return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Line n (from 1) of a text with CR LF ends; empty past its end.
inline std::string LineOf(const std::string& text, int n) {
    size_t at = 0;
    for (int line = 1; line < n && at != std::string::npos; ++line) {
        at = text.find("\r\n", at);
        if (at != std::string::npos) at += 2;
    }
    if (at == std::string::npos) return {};
    return text.substr(at, text.find("\r\n", at) - at);
}

// Removes everything still queued for this thread, quit messages included; returns whether a
// quit message was among them.
inline bool DrainQueue() {
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            quit = true;
        else
            DispatchMessageA(&message);
    }
    return quit;
}

// The program's "Tarnwick" value under the machine's Run key, or "<none>".
inline constexpr char RunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char SessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";

inline std::string RunValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunKey, 0, KEY_READ, &key)) return "<none>";
    char value[1024] = {};
    DWORD size = sizeof value;
    const LONG result =
        RegQueryValueExA(key, "Tarnwick", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string(value) : "<none>";
}

// A registry value of the prefix that a test changes, put back as it was when the scope began
// (removed when there was none), so the tests after it, and the prefix, see the same value.
class KeptRegistryValue {
  public:
    KeptRegistryValue(HKEY root, std::string subKey, std::string name)
        : root_(root), subKey_(std::move(subKey)), name_(std::move(name)) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        DWORD size = 0;
        if (RegQueryValueExA(key, name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            data_.resize(size);
            existed_ = RegQueryValueExA(key, name_.c_str(), nullptr, &type_,
                                        reinterpret_cast<BYTE*>(data_.data()), &size) == ERROR_SUCCESS;
            data_.resize(size);
        }
        RegCloseKey(key);
    }
    ~KeptRegistryValue() {
        HKEY key = nullptr;
        if (RegCreateKeyExA(root_, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        if (existed_)
            RegSetValueExA(key, name_.c_str(), 0, type_, reinterpret_cast<const BYTE*>(data_.data()),
                           static_cast<DWORD>(data_.size()));
        else
            RegDeleteValueA(key, name_.c_str());
        RegCloseKey(key);
    }
    KeptRegistryValue(const KeptRegistryValue&) = delete;
    KeptRegistryValue& operator=(const KeptRegistryValue&) = delete;

  private:
    HKEY root_;
    std::string subKey_, name_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::string data_;
};

// The program's Run value, which every completed start-up writes or deletes.
struct KeptRunValue : KeptRegistryValue {
    KeptRunValue() : KeptRegistryValue(HKEY_LOCAL_MACHINE, RunKey, "Tarnwick") {}
};

// A named mutex of the prefix, held for the object's lifetime: test processes running side by
// side take turns at what the whole prefix shares. A holder that dies leaves it abandoned,
// which the next one takes over.
class PrefixLock {
  public:
    explicit PrefixLock(const std::string& name) : mutex_(CreateMutexA(nullptr, FALSE, name.c_str())) {
        if (mutex_ == nullptr) throw std::runtime_error("cannot make the lock " + name);
        // A generous bound: the holder is another test, which ends or is ended by ctest first.
        const DWORD waited = WaitForSingleObject(mutex_, 10 * 60 * 1000);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            CloseHandle(mutex_);
            throw std::runtime_error("the lock " + name + " was never free");
        }
    }
    ~PrefixLock() {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    PrefixLock(const PrefixLock&) = delete;
    PrefixLock& operator=(const PrefixLock&) = delete;

  private:
    HANDLE mutex_;
};

// The system's pending boot-time moves, emptied for the test and put back after it. Every test
// process of the prefix writes the same value, so one test owns it at a time.
class PendingRenames {
  public:
    PendingRenames() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            return;
        RegDeleteValueA(key, kValue);
        RegCloseKey(key);
    }
    // Source and target of each move, in turn ("!" before a target that is to be replaced).
    std::vector<std::string> Moves() const {
        std::vector<std::string> moves;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return moves;
        DWORD size = 0;
        std::vector<char> text;
        if (RegQueryValueExA(key, kValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
            text.assign(size + 2, '\0');
            RegQueryValueExA(key, kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size);
        }
        RegCloseKey(key);
        for (const char* at = text.data(); at && at < text.data() + size && *at; at += std::strlen(at) + 1)
            moves.push_back(at);
        return moves;
    }

  private:
    static constexpr const char* kValue = "PendingFileRenameOperations";
    PrefixLock lock_{"TarnwickTestPendingRenames"};
    KeptRegistryValue kept_{HKEY_LOCAL_MACHINE, SessionManagerKey, kValue};
};

} // namespace testsupport
