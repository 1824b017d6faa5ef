// The registry-backup reader over arbitrary text: every item it hands out stays within the
// reader's buffer, and reading always ends.
#include "job/RegBakFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    job::TRegBakReader reader([&](std::string& line) {
        if (at >= text.size()) return false;
        const size_t end = text.find('\n', at);
        line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        return true;
    });
    job::TRegBakItem item;
    size_t items = 0;
    while (reader.Next(item)) {
        if (item.data.size() > job::kRegBakBufferSize) std::abort();
        if (item.kind == job::TRegBakItemKind::Value && !item.damaged &&
            item.lengthField != 2 * item.data.size() + 2 * (item.data.size() / 1000))
            std::abort();
        if (++items > size + 1) std::abort();
    }
    return 0;
}
