#include "core/Switches.h"

namespace core {

namespace {
constexpr size_t maxJobNameLength = 253;

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
} // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> params;
    size_t i = 0;
    for (;;) {
        while (i < commandLine.size() && static_cast<unsigned char>(commandLine[i]) <= ' ')
            ++i;
        if (i >= commandLine.size()) break;
        std::string param;
        bool quoted = false;
        while (i < commandLine.size() && (quoted || static_cast<unsigned char>(commandLine[i]) > ' ')) {
            if (commandLine[i] == '"')
                quoted = !quoted;
            else
                param += commandLine[i];
            ++i;
        }
        params.push_back(std::move(param));
    }
    return params;
}

bool FindSwitch(const std::vector<std::string>& params, char letter, std::string& jobName) {
    for (const std::string& param : params) {
        if (param.size() < 2 || param[0] != '/') continue;
        if (UpperAscii(param[1]) != UpperAscii(letter)) continue;
        if (letter == '=') jobName = param.substr(2, maxJobNameLength);
        return true;
    }
    return false;
}

std::string InstanceName(std::string_view programPath) {
    std::string name(programPath);
    for (char& c : name) {
        const unsigned char code = static_cast<unsigned char>(c);
        const bool digit = code >= '0' && code <= '9';
        const bool upper = code >= 'A' && code <= 'Z';
        const bool lower = code >= 'a' && code <= 'z';
        if (!digit && !upper && !lower)
            c = '_';
        else if (upper)
            c = static_cast<char>(code - 'A' + 'a');
    }
    return name;
}

} // namespace core
