#include "core/Messages.h"

#include <windows.h>

namespace core {

std::string LoadMessage(unsigned id) {
    // The longest message is well under this; a string table entry holds at most 4,095.
    char buffer[4096];
    const int copied = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    return copied > 0 ? std::string(buffer, static_cast<size_t>(copied)) : std::string();
}

} // namespace core
