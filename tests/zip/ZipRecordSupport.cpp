#include "ZipRecordSupport.h"

namespace ziprec {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void Add16(std::string& out, uint16_t value) {
    out += char(value & 0xFF);
    out += char(value >> 8);
}

void Add32(std::string& out, uint32_t value) {
    Add16(out, uint16_t(value));
    Add16(out, uint16_t(value >> 16));
}

namespace {
// (cp1252, cp437) pairs of the accented letters the tests use.
const unsigned char Pairs[][2] = {{0xE9, 0x82}, {0xC9, 0x90}, {0xFC, 0x81}, {0xDC, 0x9A},
                                  {0xE4, 0x84}, {0xC4, 0x8E}, {0xF1, 0xA4}, {0xE7, 0x87}};

std::string Map(std::string_view name, int from, int to) {
    std::string out;
    for (unsigned char c : name) {
        if (c < 128) {
            out += char(c);
            continue;
        }
        char mapped = '_';
        for (const auto& pair : Pairs)
            if (pair[from] == c) mapped = char(pair[to]);
        out += mapped;
    }
    return out;
}
} // namespace

std::string Cp1252ToCp437(std::string_view name) {
    return Map(name, 0, 1);
}
std::string Cp437ToCp1252(std::string_view name) {
    return Map(name, 1, 0);
}

} // namespace ziprec
