#pragma once
// The one trim of the program: blanks and control characters (everything up to the blank)
// come off both ends, as every text read from a file, a control or a drive is trimmed.

#include <string>
#include <string_view>

namespace gui {

constexpr std::string_view TrimView(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

inline std::string Trim(std::string_view text) {
    return std::string(TrimView(text));
}

} // namespace gui
