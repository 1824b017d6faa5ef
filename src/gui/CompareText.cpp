#include "gui/CompareText.h"

#include <cstring>

namespace gui {

int CompareTextI(std::string_view a, std::string_view b) {
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    const auto* left = reinterpret_cast<const uint8_t*>(a.data());
    const auto* right = reinterpret_cast<const uint8_t*>(b.data());
    for (size_t i = 0; i < common; ++i) {
        const int difference = detail::upperFold1252[left[i]] - detail::upperFold1252[right[i]];
        if (difference) return difference;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int CompareStrOrdinal(std::string_view a, std::string_view b) {
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    if (const int difference = common ? std::memcmp(a.data(), b.data(), common) : 0) return difference;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string UpperCaseI(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(detail::upperFold1252[static_cast<uint8_t>(c)]);
    return result;
}

} // namespace gui
