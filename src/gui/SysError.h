#pragma once
// The system's text for a Win32 error code, as messages show it to the user.

#include <cstdint>
#include <string>

namespace gui {

// One line, without the trailing line end; "System error <n>" when the system has no text.
std::string SysErrorMessage(uint32_t errorCode);

} // namespace gui
