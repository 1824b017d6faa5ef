#include "gui/Shell.h"

#include <windows.h>

#include <shellapi.h>

namespace gui {

namespace {

bool Execute(const std::string& target, const std::string& parameters, const std::string& folder, int show) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", target.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                      folder.empty() ? nullptr : folder.c_str(), show));
    return result > 32; // the documented success threshold
}

class TSystemShell : public TShell {
  public:
    bool Open(const std::string& target, const std::string& parameters, const std::string& folder) override {
        return Execute(target, parameters, folder, SW_SHOWNORMAL);
    }
    bool StartHidden(const std::string& program, const std::string& parameters,
                     const std::string& folder) override {
        return Execute(program, parameters, folder, SW_HIDE);
    }
    bool Help(void* owner, const std::string& helpFile, unsigned command, uintptr_t data) override {
        return WinHelpA(static_cast<HWND>(owner), helpFile.c_str(), command, data) != FALSE;
    }
};

} // namespace

// Installed as the default when the application object is made.
TShell& SystemShell() {
    static TSystemShell shell;
    return shell;
}

} // namespace gui
