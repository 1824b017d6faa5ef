// Entry names of any bytes: with a destination folder the output name must stay below it,
// hold no dots-only component and no control or reserved character.
#include "zip/ExtractPath.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('|');
    const std::string folder = split == std::string::npos ? std::string() : input.substr(0, split);
    const std::string file = split == std::string::npos ? input : input.substr(split + 1);
    const zip::TOutputNameRule rule{"D:\\Out", "", true};
    const std::string name = zip::OutputName(rule, folder, file);
    if (name.rfind("D:\\Out\\", 0) != 0) __builtin_trap();
    size_t start = 7;
    while (start <= name.size()) {
        size_t end = name.find('\\', start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        if (part.empty() || part.find_first_not_of('.') == std::string::npos) __builtin_trap();
        for (const char c : part)
            if (static_cast<unsigned char>(c) < 0x20 || std::string("<>:\"|?*/").find(c) != std::string::npos)
                __builtin_trap();
        start = end + 1;
    }
    return 0;
}
