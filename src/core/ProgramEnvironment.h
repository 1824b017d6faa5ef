#pragma once
// Everything the program block takes from the process and the system, as values, so tests
// can host the program in any folder and as any Windows version.

#include "core/Settings.h"
#include "core/UserFolders.h"

#include <string>
#include <vector>

namespace core {

struct ProgramEnvironment {
    std::string programPath;    // full path of the program file
    std::string windowsFolder;  // without a trailing "\"
    std::string systemTempPath; // with a trailing "\"
    OsVersion os;
    std::vector<std::string> params; // the arguments after the program name
    // Where the user's folders are looked up; null: the system's registry.
    RegistryLookup* registry = nullptr;

    std::string ProgramFolder() const;   // with a trailing "\"
    std::string ProgramBaseName() const; // file name without extension
    // The program-folder settings file: the program path with the extension ".ini".
    std::string ProgramIniPath() const;

    // The running process: its path, its command line, the real Windows version.
    static ProgramEnvironment FromProcess();
};

} // namespace core
