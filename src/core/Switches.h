#pragma once
// Command-line switches and the instance name, both plain text work.

#include <string>
#include <string_view>
#include <vector>

namespace core {

// Splits a command line as the program's parameters are counted: blanks separate, double
// quotes group and are dropped. The first element is the program as it was started.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// True when one of params (the arguments after the program name) is "/" + letter; only the
// first two characters count and case is ignored, so /Hidden is /H. For "=" the rest of the
// argument, at most 253 characters, is stored in jobName.
bool FindSwitch(const std::vector<std::string>& params, char letter, std::string& jobName);

// The name of the single-instance mutex and message: the program's full path with every
// character outside 0-9, A-Z and a-z replaced by "_", in lower case.
std::string InstanceName(std::string_view programPath);

} // namespace core
