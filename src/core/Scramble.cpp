#include "core/Scramble.h"

#include "gui/Clock.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace core {

std::string ScrambleText(std::string_view text, unsigned key) {
    std::array<unsigned char, 256> buffer{};
    const size_t length = std::min<size_t>(text.size(), 255);
    buffer[0] = static_cast<unsigned char>(length);
    for (size_t i = 0; i < length; ++i)
        buffer[1 + i] = static_cast<unsigned char>(text[i]);

    size_t groups = length + 1;
    if (groups % 2) ++groups;
    if (groups < 10) groups = 10;

    // Short texts are padded with copies of themselves; an empty one with the tick count.
    std::string filler;
    if (length == 0) {
        filler = std::to_string(static_cast<unsigned long long>(gui::CurrentClock().MonotonicMs()));
    } else if (length < 10) {
        std::string doubled(text.substr(0, length));
        while (doubled.size() < 10)
            doubled += doubled;
        filler = doubled;
    }
    for (size_t i = 0; i < filler.size() && 1 + i < buffer.size(); ++i)
        buffer[1 + i] = static_cast<unsigned char>(filler[i]);

    std::string scrambled;
    for (size_t k = 0; k < groups / 2; ++k) {
        const unsigned value = buffer[2 * k] + 256u * buffer[2 * k + 1] + key;
        char group[16];
        std::snprintf(group, sizeof group, "%5.5u", value);
        scrambled += group;
    }
    return scrambled;
}

std::string UnscrambleText(std::string_view scrambled, unsigned key) {
    // 35 blanks, the rest zero: what an empty or short input reads back as.
    std::array<unsigned char, 256> buffer{};
    std::fill_n(buffer.begin() + 1, 35, static_cast<unsigned char>(' '));
    buffer[0] = 35;
    for (size_t position = 0, k = 0; position < scrambled.size() && k < 128; position += 5, ++k) {
        const std::string_view group = scrambled.substr(position, 5);
        long long value = 0;
        bool negative = false;
        size_t i = 0;
        if (!group.empty() && (group[0] == '-' || group[0] == '+')) {
            negative = group[0] == '-';
            i = 1;
        }
        if (i >= group.size())
            throw EConvertError("'" + std::string(group) + "' is not a valid integer value");
        for (; i < group.size(); ++i) {
            if (group[i] < '0' || group[i] > '9')
                throw EConvertError("'" + std::string(group) + "' is not a valid integer value");
            value = value * 10 + (group[i] - '0');
        }
        if (negative) value = -value;
        const unsigned word = static_cast<unsigned>(value - static_cast<long long>(key)) & 0xFFFF;
        buffer[2 * k] = static_cast<unsigned char>(word & 0xFF);
        buffer[2 * k + 1] = static_cast<unsigned char>(word >> 8);
    }
    return std::string(reinterpret_cast<const char*>(buffer.data()) + 1, buffer[0]);
}

} // namespace core
