#include "gui/IniDocument.h"

#include <cstdint>

namespace gui {

namespace {

constexpr size_t npos = static_cast<size_t>(-1);

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

bool SameNameI(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

int ParseIniInteger(std::string_view text, int defaultValue) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty()) return defaultValue;
    uint64_t magnitude = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return defaultValue;
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFull) return defaultValue;
    }
    if (base == 16 && !negative) return static_cast<int>(static_cast<uint32_t>(magnitude));
    if (negative ? magnitude > 0x80000000ull : magnitude > 0x7FFFFFFFull) return defaultValue;
    return negative ? static_cast<int>(-static_cast<int64_t>(magnitude)) : static_cast<int>(magnitude);
}

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument document;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(start, end - start);
        start = end;
        if (start < text.size() && text[start] == '\r') ++start;
        if (start < text.size() && text[start] == '\n') ++start;

        Line line{Kind::Other, std::string(raw), {}, {}};
        std::string_view body = Trim(raw);
        if (!body.empty() && body.front() == '[') {
            size_t close = body.find(']');
            if (close != std::string_view::npos) {
                line.kind = Kind::Section;
                line.name = Trim(body.substr(1, close - 1));
            }
        } else if (!body.empty() && body.front() != ';') {
            size_t equals = body.find('=');
            if (equals != std::string_view::npos && equals > 0) {
                line.kind = Kind::Entry;
                line.name = Trim(body.substr(0, equals));
                std::string_view value = Trim(body.substr(equals + 1));
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                    value.back() == value.front())
                    value = value.substr(1, value.size() - 2);
                line.value = value;
            }
        }
        document.lines_.push_back(std::move(line));
    }
    return document;
}

std::string IniDocument::Serialize() const {
    std::string text;
    size_t total = 0;
    for (const Line& line : lines_)
        total += line.text.size() + 2;
    text.reserve(total);
    for (const Line& line : lines_) {
        text += line.text;
        text += "\r\n";
    }
    return text;
}

size_t IniDocument::FindSection(std::string_view section) const {
    section = Trim(section);
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Kind::Section && SameNameI(lines_[i].name, section)) return i;
    return npos;
}

size_t IniDocument::SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != Kind::Section)
        ++i;
    return i;
}

size_t IniDocument::FindEntry(size_t header, std::string_view key) const {
    key = Trim(key);
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i)
        if (lines_[i].kind == Kind::Entry && SameNameI(lines_[i].name, key)) return i;
    return npos;
}

bool IniDocument::Find(std::string_view section, std::string_view key, std::string& value) const {
    const size_t header = FindSection(section);
    if (header == npos) return false;
    const size_t entry = FindEntry(header, key);
    if (entry == npos) return false;
    value = lines_[entry].value;
    return true;
}

bool IniDocument::SectionExists(std::string_view section) const {
    return FindSection(section) != npos;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    const size_t header = FindSection(section);
    if (header == npos) return keys;
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i)
        if (lines_[i].kind == Kind::Entry) keys.push_back(lines_[i].name);
    return keys;
}

std::vector<std::string> IniDocument::KeyValues(std::string_view section) const {
    std::vector<std::string> pairs;
    const size_t header = FindSection(section);
    if (header == npos) return pairs;
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i)
        if (lines_[i].kind == Kind::Entry) pairs.push_back(lines_[i].name + "=" + lines_[i].value);
    return pairs;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (key.empty() || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
        key.front() == '[' || key.front() == ';')
        return false;

    Line entry{Kind::Entry, std::string(key) + "=" + std::string(value), std::string(key), {}};
    // What a reader gets back is the trimmed value, as the profile functions return it.
    entry.value = Trim(value);
    if (entry.value.size() >= 2 && (entry.value.front() == '"' || entry.value.front() == '\'') &&
        entry.value.back() == entry.value.front())
        entry.value = entry.value.substr(1, entry.value.size() - 2);

    size_t header = FindSection(section);
    if (header == npos) {
        if (!lines_.empty() && !Trim(lines_.back().text).empty())
            lines_.push_back(Line{Kind::Other, {}, {}, {}});
        lines_.push_back(Line{Kind::Section, "[" + std::string(section) + "]", std::string(section), {}});
        lines_.push_back(std::move(entry));
        return true;
    }
    const size_t existing = FindEntry(header, key);
    if (existing != npos) {
        entry.text = lines_[existing].name + "=" + std::string(value);
        entry.name = lines_[existing].name;
        lines_[existing] = std::move(entry);
        return true;
    }
    // New keys go after the section's last non-blank line, so blank separators stay last.
    size_t insertAt = SectionEnd(header);
    while (insertAt > header + 1 && Trim(lines_[insertAt - 1].text).empty())
        --insertAt;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
    return true;
}

void IniDocument::DeleteKey(std::string_view section, std::string_view key) {
    const size_t header = FindSection(section);
    if (header == npos) return;
    const size_t entry = FindEntry(header, key);
    if (entry != npos) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(entry));
}

void IniDocument::EraseSection(std::string_view section) {
    const size_t header = FindSection(section);
    if (header == npos) return;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header)));
}

} // namespace gui
