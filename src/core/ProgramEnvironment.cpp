#include "core/ProgramEnvironment.h"

#include "core/Switches.h"

#include <windows.h>

namespace core {

std::string ProgramEnvironment::ProgramFolder() const {
    const size_t slash = programPath.find_last_of("\\/:");
    return slash == std::string::npos ? std::string() : programPath.substr(0, slash + 1);
}

std::string ProgramEnvironment::ProgramBaseName() const {
    std::string name = programPath.substr(ProgramFolder().size());
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ProgramEnvironment::ProgramIniPath() const {
    return ProgramFolder() + ProgramBaseName() + ".ini";
}

ProgramEnvironment ProgramEnvironment::FromProcess() {
    ProgramEnvironment environment;
    char buffer[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    environment.programPath.assign(buffer, length);
    const UINT windowsLength = GetWindowsDirectoryA(buffer, sizeof buffer);
    environment.windowsFolder.assign(buffer, windowsLength < sizeof buffer ? windowsLength : 0);
    if (!environment.windowsFolder.empty() && environment.windowsFolder.back() == '\\')
        environment.windowsFolder.pop_back();
    const DWORD tempLength = GetTempPathA(sizeof buffer, buffer);
    environment.systemTempPath =
        WithTrailingBackslash(std::string(buffer, tempLength < sizeof buffer ? tempLength : 0));

    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(&version)) {
#pragma GCC diagnostic pop
        environment.os.ntFamily = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
        environment.os.major = static_cast<int>(version.dwMajorVersion);
        environment.os.minor = static_cast<int>(version.dwMinorVersion);
    }

    std::vector<std::string> words = SplitCommandLine(GetCommandLineA());
    if (!words.empty()) words.erase(words.begin());
    environment.params = std::move(words);
    return environment;
}

} // namespace core
