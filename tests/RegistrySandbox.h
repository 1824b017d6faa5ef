#pragma once
// Whole-registry work in a sandbox: the five roots of this process are mapped onto keys of
// their own under HKCU\Software\TarnwickTest, so a backup or restore of "all roots" touches
// nothing else of the prefix. Other processes (reg.exe) see the keys where they really are.

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// Runs a command line and waits for it; its exit code, or -1 when it could not start.
inline int RunAndWait(std::string command) {
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &start, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
}

class RegistrySandbox {
  public:
    struct Root {
        HKEY key;
        const char* name;
    };
    static const std::vector<Root>& Roots() {
        static const std::vector<Root> roots = {{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
                                                {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
                                                {HKEY_USERS, "HKEY_USERS"},
                                                {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
                                                {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"}};
        return roots;
    }

    explicit RegistrySandbox(const std::string& name) {
        base_ = "Software\\TarnwickTest\\" + name + std::to_string(GetCurrentProcessId());
        RemoveBase();
        // Every target is opened before HKCU itself is redirected. A root left unmapped would
        // let a restore with removal work on the prefix's real keys: no sandbox then, and the
        // test fails on the exception before it touches anything.
        for (const Root& root : Roots()) {
            HKEY key = nullptr;
            const LONG made = RegCreateKeyExA(HKEY_CURRENT_USER, (base_ + "\\" + root.name).c_str(), 0,
                                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
            if (made != ERROR_SUCCESS) Undo(std::string("cannot make the sandbox key of ") + root.name, made);
            keys_.push_back(key);
        }
        for (size_t i = 0; i < Roots().size(); ++i) {
            const LONG mapped = RegOverridePredefKey(Roots()[i].key, keys_[i]);
            if (mapped != ERROR_SUCCESS) Undo(std::string("cannot map ") + Roots()[i].name, mapped);
        }
    }
    ~RegistrySandbox() { Release(); }
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // The sandbox as another process names it.
    std::string OutsideName() const { return "HKEY_CURRENT_USER\\" + base_; }

  private:
    void Release() {
        for (const Root& root : Roots())
            RegOverridePredefKey(root.key, nullptr);
        for (HKEY key : keys_)
            RegCloseKey(key);
        keys_.clear();
        RemoveBase();
    }
    [[noreturn]] void Undo(const std::string& what, LONG error) {
        Release();
        throw std::runtime_error("registry sandbox: " + what + " (error " + std::to_string(error) + ")");
    }
    // Through reg.exe, which sees the real HKCU whatever this process maps.
    void RemoveBase() { RunAndWait("reg.exe delete \"HKCU\\" + base_ + "\" /f"); }
    std::string base_;
    std::vector<HKEY> keys_;
};

} // namespace testsupport
