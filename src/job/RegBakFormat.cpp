#include "job/RegBakFormat.h"

#include <cstring>

namespace job {

namespace {

constexpr const char* kTags[] = {"UNK", "STR", "EXS", "INT", "BIN", "LEN", "BEN", "LNK", "MSZ", "RLI"};
constexpr size_t kBytesPerLine = 1000;
constexpr size_t kFlushAt = 64 * 1024;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool EndsWithMark(const std::string& text) {
    return text.size() >= 2 && text[text.size() - 2] == '-' && text.back() == '>';
}

// A continuation line: hex digits only, with or without the mark.
bool IsContinuation(const std::string& line) {
    const size_t end = EndsWithMark(line) ? line.size() - 2 : line.size();
    if (end == 0) return false;
    for (size_t i = 0; i < end; ++i)
        if (HexValue(line[i]) < 0) return false;
    return true;
}

} // namespace

const char* RegBakTag(unsigned type) {
    type &= 0x7F;
    return type < 10 ? kTags[type] : kTags[0];
}

int RegBakTypeOfTag(std::string_view tag) {
    for (int i = 0; i < 10; ++i)
        if (tag == kTags[i]) return i;
    return -1;
}

std::string RegBakLengthField(uint64_t size) {
    std::string digits = std::to_string(2 * size + 2 * (size / kBytesPerLine));
    if (digits.size() < 9) digits.insert(0, 9 - digits.size(), '0');
    return digits.substr(digits.size() - 9);
}

bool RegBakNameFits(std::string_view name) {
    return name.find_first_of("\r\n") == std::string_view::npos;
}

bool RegBakFits(std::string_view name, uint64_t size) {
    return size < kRegBakLargestValue && RegBakNameFits(name);
}

TRegBakWriter::TRegBakWriter(std::function<void(const std::string&)> sink) : sink_(std::move(sink)) {
    text_.reserve(kFlushAt + 4 * kBytesPerLine);
}

void TRegBakWriter::EndLine() {
    text_ += "\r\n";
    ++lines_;
    if (text_.size() >= kFlushAt) Flush();
}

void TRegBakWriter::Flush() {
    if (sink_ && !text_.empty()) sink_(text_);
    text_.clear();
}

void TRegBakWriter::RootLine(std::string_view root) {
    text_ += '[';
    text_ += root;
    text_ += ']';
    EndLine();
}

void TRegBakWriter::KeyLine(std::string_view path) {
    text_ += '[';
    if (path.empty() || path[0] != '\\') text_ += '\\';
    text_ += path;
    text_ += ']';
    EndLine();
}

void TRegBakWriter::ValueLines(std::string_view name, unsigned type, const uint8_t* data, size_t size) {
    static const char hex[] = "0123456789ABCDEF";
    text_ += '"';
    text_ += name;
    text_ += "\"=";
    text_ += RegBakTag(type);
    text_ += ':';
    text_ += RegBakLengthField(size);
    text_ += ':';
    for (size_t done = 0;;) {
        const size_t piece = size - done < kBytesPerLine ? size - done : kBytesPerLine;
        const size_t at = text_.size();
        text_.resize(at + 2 * piece);
        char* out = text_.data() + at;
        for (size_t i = 0; i < piece; ++i) {
            out[2 * i] = hex[data[done + i] >> 4];
            out[2 * i + 1] = hex[data[done + i] & 15];
        }
        done += piece;
        if (done >= size) break;
        text_ += "->";
        EndLine();
    }
    EndLine();
}

void TRegBakWriter::CountLine() {
    std::string digits = std::to_string(lines_);
    if (digits.size() < 10) digits.insert(0, 10 - digits.size(), '0');
    text_ += digits;
    text_ += "\r\n";
    Flush();
}

bool TRegBakReader::ReadLine(std::string& line) {
    if (hasPending_) {
        line.swap(pending_);
        hasPending_ = false;
        return true;
    }
    if (!source_(line)) return false;
    ++lines_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool TRegBakReader::Next(TRegBakItem& item) {
    std::string line;
    while (ReadLine(line)) {
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            std::string inner = line.substr(1, line.size() - 2);
            if (inner.compare(0, 5, "HKEY_") == 0) {
                item.kind = TRegBakItemKind::Root;
                item.text = std::move(inner);
            } else {
                item.kind = TRegBakItemKind::Key;
                item.text = inner.empty() || inner[0] != '\\' ? "\\" + inner : std::move(inner);
            }
            return true;
        }
        if (line.empty() || line[0] != '"') continue;
        const size_t firstMark = line.find("\"=", 1);
        if (firstMark == std::string::npos || line.find(':', firstMark) == std::string::npos) continue;
        // The last quote-equals with a tag and a colon: a name may hold the same characters.
        size_t tagAt = std::string::npos;
        for (size_t at = line.rfind("\"="); at != std::string::npos && at > 0;
             at = line.rfind("\"=", at - 1)) {
            if (at + 5 < line.size() && line[at + 5] == ':' &&
                RegBakTypeOfTag(std::string_view(line).substr(at + 2, 3)) >= 0) {
                tagAt = at;
                break;
            }
        }
        item.kind = TRegBakItemKind::Value;
        ReadValue(line, tagAt == std::string::npos ? firstMark : tagAt, item);
        if (tagAt == std::string::npos) item.damaged = true;
        return true;
    }
    item.kind = TRegBakItemKind::End;
    return false;
}

void TRegBakReader::ReadValue(const std::string& line, size_t tagAt, TRegBakItem& item) {
    item.text.assign(line, 1, tagAt - 1);
    const int type =
        tagAt + 5 <= line.size() ? RegBakTypeOfTag(std::string_view(line).substr(tagAt + 2, 3)) : -1;
    item.type = type < 0 ? 0 : type;
    item.lengthUnreadable = false;
    item.damaged = false;
    item.lengthField = 0;
    if (line.size() >= tagAt + 16 && line[tagAt + 15] == ':') {
        for (size_t i = tagAt + 6; i < tagAt + 15; ++i) {
            if (line[i] < '0' || line[i] > '9') {
                item.lengthUnreadable = true;
                item.lengthField = 0;
                break;
            }
            item.lengthField = item.lengthField * 10 + uint64_t(line[i] - '0');
        }
    } else {
        item.lengthUnreadable = true;
    }

    // The hex text, continued over the marked lines; kept only while it fits the buffer.
    std::string digits = line.size() > tagAt + 16 ? line.substr(tagAt + 16) : std::string();
    uint64_t count = 0;
    bool more = EndsWithMark(digits);
    if (more) digits.resize(digits.size() - 2);
    count = digits.size();
    // A file from elsewhere may hold a long value on one line: the buffer bounds it all the same.
    bool overflow = count > 2 * kRegBakBufferSize;
    std::string next;
    while (more && ReadLine(next)) {
        if (!IsContinuation(next)) {
            pending_.swap(next);
            hasPending_ = true;
            break;
        }
        more = EndsWithMark(next);
        const size_t n = more ? next.size() - 2 : next.size();
        count += n;
        if (!overflow && digits.size() + n <= 2 * kRegBakBufferSize)
            digits.append(next, 0, n);
        else
            overflow = true;
    }
    item.dataDigits = count;
    item.data.clear();
    if (overflow || count % 2 != 0 || item.lengthField != count + 2 * (count / 2000)) {
        item.damaged = true;
        return;
    }
    item.data.resize(count / 2);
    for (size_t i = 0; i < item.data.size(); ++i) {
        const int high = HexValue(digits[2 * i]), low = HexValue(digits[2 * i + 1]);
        if (high < 0 || low < 0) {
            item.damaged = true;
            item.data.clear();
            return;
        }
        item.data[i] = static_cast<uint8_t>(high << 4 | low);
    }
}

int64_t RegBakCountFromTail(std::string_view tail) {
    if (tail.size() < 10) return -1;
    int64_t value = 0;
    for (size_t i = 0; i < 10; ++i) {
        if (tail[i] < '0' || tail[i] > '9') return -1;
        value = value * 10 + (tail[i] - '0');
    }
    return value;
}

} // namespace job
