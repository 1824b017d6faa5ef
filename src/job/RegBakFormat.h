#pragma once
// The registry-backup text format: one root line per root ("[HKEY_CURRENT_USER]"), a key line
// per key ("[\Software\Classes]"), one value line per value, and a last line holding the count
// of the lines before it as 10 digits.
//
// A value line is a quote, the name, a quote, "=", a three-letter tag for the type, ":", a
// 9-digit length field, ":" and the data as upper-case hex. After every 1,000 bytes, when more
// follow, the line ends with "->" and the data goes on in the next line, which holds hex digits
// only. The length field is 2 x size + 2 x (size div 1000): the hex digits plus the "->" marks.
//
// The writer leaves out what it cannot write faithfully (values of 500,000 bytes or more, names
// with a line break); the reader trusts nothing: every length is checked against the data read
// and against its 1,000,010-byte buffer, and a damaged value costs that value only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace job {

// The reader's buffer, and the size from which the writer leaves a value out.
constexpr size_t kRegBakBufferSize = 1000010;
constexpr size_t kRegBakLargestValue = 500000;

// The tag of a value type (0 unknown ... 9 resource list, low 7 bits); "UNK" for any other.
const char* RegBakTag(unsigned type);
// The type of a tag; -1 when it is none.
int RegBakTypeOfTag(std::string_view tag);
// The 9-digit length field of a value of `size` bytes.
std::string RegBakLengthField(uint64_t size);
// What the writer can store: a value under 500,000 bytes whose name holds no line break.
bool RegBakFits(std::string_view name, uint64_t size);
bool RegBakNameFits(std::string_view name);

// Lines into a sink, CR LF ended, counted for the last line.
class TRegBakWriter {
  public:
    // The sink takes text in pieces of up to about 64 KiB; none: the text is only counted.
    explicit TRegBakWriter(std::function<void(const std::string&)> sink);
    void RootLine(std::string_view root);
    // A missing leading "\" is added.
    void KeyLine(std::string_view path);
    void ValueLines(std::string_view name, unsigned type, const uint8_t* data, size_t size);
    // The count line; then everything is handed to the sink.
    void CountLine();
    void Flush();
    uint64_t Lines() const { return lines_; }

  private:
    void EndLine();
    std::function<void(const std::string&)> sink_;
    std::string text_;
    uint64_t lines_ = 0;
};

// A source of lines without their line ends; false at the end.
using TRegBakLineSource = std::function<bool(std::string& line)>;

enum class TRegBakItemKind { Root, Key, Value, End };

struct TRegBakItem {
    TRegBakItemKind kind = TRegBakItemKind::End;
    std::string text; // Root: the root name; Key: the path with its leading "\"; Value: the name
    int type = 0;     // Value: the tag's type
    std::vector<uint8_t> data;
    bool lengthUnreadable = false; // the length field is not 9 digits
    bool damaged = false;          // the data does not match the length field, or is not hex
    uint64_t lengthField = 0;
    uint64_t dataDigits = 0; // hex digits read (without the "->" marks)
};

class TRegBakReader {
  public:
    explicit TRegBakReader(TRegBakLineSource source) : source_(std::move(source)) {}
    // The next root, key or value line; lines of no kind are passed over. False at the end.
    bool Next(TRegBakItem& item);
    uint64_t LinesRead() const { return lines_; }

  private:
    bool ReadLine(std::string& line);
    void ReadValue(const std::string& line, size_t tagAt, TRegBakItem& item);
    TRegBakLineSource source_;
    std::string pending_;
    bool hasPending_ = false;
    uint64_t lines_ = 0;
};

// The count of lines from the last line of a file's text tail; -1 when it is none.
int64_t RegBakCountFromTail(std::string_view tail);

} // namespace job
