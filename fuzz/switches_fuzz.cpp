// Command lines of any bytes: splitting and switch lookup must never misbehave.
#include "core/Switches.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto params = core::SplitCommandLine(text);
    std::string jobName;
    for (char letter : {'H', '=', 'A', 'D', 'L', 'C', 'I', 'V'})
        core::FindSwitch(params, letter, jobName);
    if (jobName.size() > 253) __builtin_trap();
    const std::string name = core::InstanceName(text);
    for (char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '_')) __builtin_trap();
    return 0;
}
