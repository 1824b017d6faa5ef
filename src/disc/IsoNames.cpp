// Names of the image.
//
// Two trees describe the same files. The ISO tree uses short upper-case identifiers that every
// reader understands; the Joliet tree keeps the names as the user sees them, in UCS-2. Text in
// this program is ANSI (Windows-1252 here; the Win32 build agrees with it for that code page),
// so conversion is a table of the 32 code points of 0x80-0x9F that differ from Latin-1.
//
// Short names keep the extension and are made unique per folder by the caller with "~n", so
// that backup volumes named alike ("...001.zip", "...002.zip") stay distinct on discs read
// without Joliet.

#include "disc/IsoNames.h"

#include <algorithm>

namespace disc {

namespace {

// Windows-1252 0x80-0x9F; 0 marks bytes with no character.
constexpr char16_t kHighTable[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Characters that would break an identifier of either tree or a Windows path.
bool IsSeparatorLike(char c) {
    return c == ';' || c == '/' || c == '\\' || c == '*' || c == '?' || c == ':';
}

char ShortNameChar(char c) {
    c = UpperAscii(c);
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 33 || u > 122 || IsSeparatorLike(c) || c == '.') return '_';
    return c;
}

void SplitIsoName(std::string_view name, std::string_view& base, std::string_view& ext) {
    size_t dot = name.find('.');
    if (dot == std::string_view::npos) {
        base = name;
        ext = {};
    } else {
        base = name.substr(0, dot);
        ext = name.substr(dot + 1);
    }
}

int ComparePadded(std::string_view a, std::string_view b) {
    size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
        unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return 0;
}

} // namespace

char16_t AnsiToUcs2(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kHighTable[c - 0x80] ? kHighTable[c - 0x80] : u'_';
    return c;
}

char Ucs2ToAnsi(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
    for (int i = 0; i < 32; ++i)
        if (kHighTable[i] == unit) return static_cast<char>(0x80 + i);
    return '_';
}

std::u16string AnsiToUcs2(std::string_view text) {
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = AnsiToUcs2(static_cast<unsigned char>(text[i]));
    return out;
}

std::string Ucs2ToAnsi(std::u16string_view text) {
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = Ucs2ToAnsi(text[i]);
    return out;
}

std::string MakeShortName(std::string_view longName, bool isFile) {
    std::string_view base = longName, ext;
    if (isFile) {
        size_t dot = longName.rfind('.');
        if (dot != std::string_view::npos && dot > 0 && dot + 1 < longName.size()) {
            base = longName.substr(0, dot);
            ext = longName.substr(dot + 1);
        }
    }
    // The extension keeps up to four characters; the base gets what is left of the limit.
    if (ext.size() > 4) ext = ext.substr(0, 4);
    size_t baseRoom = ext.empty() ? kShortNameMax : kShortNameMax - 1 - ext.size();
    std::string out;
    for (size_t i = 0; i < base.size() && out.size() < baseRoom; ++i)
        out += ShortNameChar(base[i]);
    if (out.empty()) out = "_";
    if (!ext.empty()) {
        out += '.';
        for (char c : ext)
            out += ShortNameChar(c);
    }
    return out;
}

std::string NumberedShortName(std::string_view shortName, unsigned number, bool isFile) {
    std::string_view base = shortName, ext;
    if (isFile) SplitIsoName(shortName, base, ext);
    std::string suffix = "~" + std::to_string(number);
    size_t room = kShortNameMax - suffix.size() - (ext.empty() ? 0 : ext.size() + 1);
    std::string out(base.substr(0, std::min(base.size(), room)));
    out += suffix;
    if (!ext.empty()) {
        out += '.';
        out += ext;
    }
    return out;
}

std::string MakeLongName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (IsSeparatorLike(c) || static_cast<unsigned char>(c) < 32) c = '_';
    return out;
}

int CompareIsoNames(std::string_view a, std::string_view b) {
    std::string_view baseA, extA, baseB, extB;
    SplitIsoName(a, baseA, extA);
    SplitIsoName(b, baseB, extB);
    int result = ComparePadded(baseA, baseB);
    return result != 0 ? result : ComparePadded(extA, extB);
}

int CompareJolietNames(std::u16string_view a, std::u16string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace disc
