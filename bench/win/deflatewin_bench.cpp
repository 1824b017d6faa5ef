// The compressor as the program runs it: the 32-bit build, under Wine. Entries of 1 KB, 13 KB
// and 100 KB, made as the benchmarks' tree makes its files (text of short words, or half noise
// and half a repeated pattern), each its own entry at levels 1, 6 and 9. Prints microseconds
// per entry (best of five) and MB/s, and a checksum of every entry's output, so that two builds
// run one after the other show both their speed and whether they write the same bytes.
#include "zip/Deflate.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

uint32_t Next(uint32_t& seed) {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
}

std::vector<uint8_t> MakeEntry(size_t size, bool text, uint32_t seed) {
    std::vector<uint8_t> bytes;
    bytes.reserve(size + 128);
    if (text) {
        static const std::vector<std::string> words = [] {
            std::vector<std::string> made;
            uint32_t wordSeed = 7;
            for (int i = 0; i < 800; ++i) {
                std::string word;
                for (uint32_t n = 2 + Next(wordSeed) % 8; n > 0; --n)
                    word += static_cast<char>('a' + Next(wordSeed) % 26);
                made.push_back(word);
            }
            return made;
        }();
        while (bytes.size() < size) {
            for (int i = 0; i < 12; ++i) {
                const std::string& word = words[Next(seed) % words.size()];
                bytes.insert(bytes.end(), word.begin(), word.end());
                bytes.push_back(i < 11 ? ' ' : '\r');
            }
            bytes.push_back('\n');
        }
    } else {
        for (size_t i = 0; i < size / 2; ++i)
            bytes.push_back(static_cast<uint8_t>(Next(seed)));
        static const uint8_t pattern[4] = {'M', 'Z', 0x90, 0x00};
        for (size_t i = 0; bytes.size() < size; ++i)
            bytes.push_back(pattern[i % 4]);
    }
    bytes.resize(size);
    return bytes;
}

class MemoryStream : public zip::DeflateStream {
  public:
    void Reset(const std::vector<uint8_t>& input) {
        input_ = &input;
        at_ = 0;
    }
    uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
        const size_t count = std::min<size_t>(size, input_->size() - at_);
        std::memcpy(buffer, input_->data() + at_, count);
        at_ += count;
        return static_cast<uint32_t>(count);
    }
    void WriteOutput(const uint8_t* buffer, uint32_t size) override {
        for (uint32_t i = 0; i < size; ++i)
            checksum = checksum * 31 + buffer[i];
    }
    uint32_t checksum = 0;

  private:
    const std::vector<uint8_t>* input_ = nullptr;
    size_t at_ = 0;
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main() {
    auto buffers = std::make_unique<zip::DeflateBuffers>();
    std::printf("  size level entries   us/entry      MB/s  checksum\n");
    for (const size_t size : {size_t{1000}, size_t{13000}, size_t{100000}}) {
        std::vector<std::vector<uint8_t>> entries;
        const size_t count = std::max<size_t>(16, 4000000 / size);
        for (size_t i = 0; i < count; ++i)
            entries.push_back(MakeEntry(size, i % 2 == 0, static_cast<uint32_t>(i)));
        for (const int level : {1, 6, 9}) {
            double best = 1e9;
            uint32_t checksum = 0;
            for (int run = 0; run < 5; ++run) {
                MemoryStream stream;
                LARGE_INTEGER start, end;
                QueryPerformanceCounter(&start);
                for (const std::vector<uint8_t>& entry : entries) {
                    stream.Reset(entry);
                    zip::DeflateEntryInfo info;
                    zip::DeflateEntry(stream, *buffers, level, info);
                    stream.checksum = stream.checksum * 7 + info.compressionMethod + info.internalAttributes;
                }
                QueryPerformanceCounter(&end);
                best = std::min(best, Seconds(start, end));
                checksum = stream.checksum;
            }
            std::printf("%6zu %5d %7zu %10.2f %9.1f  %08x\n", size, level, entries.size(),
                        best * 1e6 / static_cast<double>(entries.size()),
                        static_cast<double>(size * entries.size()) / best / 1e6, checksum);
        }
    }
    return 0;
}
