#include "IsoSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "disc/IsoNames.h"
#include "disc/IsoRecords.h"

namespace disc::test {

namespace fs = std::filesystem;

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Pattern(size_t size, unsigned seed) {
    std::string out(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        out[i] = static_cast<char>(state >> 23);
    }
    return out;
}

std::string RunCommand(const std::string& command, int* exitCode) {
    testsupport::TCommandResult result = testsupport::RunCommand(command);
    if (exitCode) *exitCode = result.exitCode;
    return std::move(result.output);
}

bool FileBlockReader::ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) {
    Counts.push_back(count);
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(lba) * kBlockSize);
    in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count) * kBlockSize);
    if (in.gcount() != static_cast<std::streamsize>(count * kBlockSize)) return false;
    BlocksRead += count;
    return true;
}

bool MemoryBlockReader::ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t block = lba + i;
        for (uint32_t bad : Bad)
            if (bad == block) return false;
        if (block < first_) return false;
        uint64_t offset = static_cast<uint64_t>(block - first_) * kBlockSize;
        if (offset + kBlockSize > data_.size()) return false;
        std::memcpy(out + static_cast<size_t>(i) * kBlockSize, data_.data() + offset, kBlockSize);
    }
    return true;
}

namespace {

struct TreeChecker {
    std::string image;
    std::vector<std::string> problems;
    bool joliet = false;
    uint32_t volumeEnd = 0;

    const uint8_t* At(uint64_t block, uint64_t bytes) {
        if ((block * kBlockSize + bytes) > image.size()) return nullptr;
        return reinterpret_cast<const uint8_t*>(image.data()) + block * kBlockSize;
    }
    void Both32(const uint8_t* p, const std::string& where) {
        if (GetLe32(p) != GetBe32(p + 4)) problems.push_back("both-endian mismatch " + where);
    }
    void Both16(const uint8_t* p, const std::string& where) {
        if ((p[0] | p[1] << 8) != (p[2] << 8 | p[3])) problems.push_back("both-endian mismatch " + where);
    }
    std::string Name(const uint8_t* identifier, size_t length) {
        if (!joliet) {
            std::string name(reinterpret_cast<const char*>(identifier), length);
            return name.substr(0, name.find(';'));
        }
        std::u16string wide;
        for (size_t i = 0; i + 1 < length; i += 2)
            wide += static_cast<char16_t>(identifier[i] << 8 | identifier[i + 1]);
        return Ucs2ToAnsi(wide);
    }
    bool Before(const std::string& a, const std::string& b, const uint8_t* ia, size_t la, const uint8_t* ib,
                size_t lb) {
        if (!joliet) return CompareIsoNames(a, b) < 0;
        std::u16string wa, wb;
        for (size_t i = 0; i + 1 < la; i += 2)
            wa += static_cast<char16_t>(ia[i] << 8 | ia[i + 1]);
        for (size_t i = 0; i + 1 < lb; i += 2)
            wb += static_cast<char16_t>(ib[i] << 8 | ib[i + 1]);
        return CompareJolietNames(wa, wb) < 0;
    }

    struct Dir {
        uint32_t extent, size, parentExtent;
        std::string name, path;
    };

    void Check(const uint8_t* vd, std::map<std::string, uint32_t>* files) {
        volumeEnd = GetLe32(vd + 80);
        for (size_t offset : {80, 132})
            Both32(vd + offset, "descriptor field " + std::to_string(offset));
        for (size_t offset : {120, 124, 128})
            Both16(vd + offset, "descriptor field " + std::to_string(offset));
        // Walk the tree level by level, the order the path table must follow.
        const uint8_t* root = vd + 156;
        std::vector<Dir> dirs{{GetLe32(root + 2), GetLe32(root + 10), GetLe32(root + 2), "", ""}};
        for (size_t next = 0; next < dirs.size(); ++next) {
            Dir dir = dirs[next];
            const uint8_t* extent = At(dir.extent, dir.size);
            if (!extent) {
                problems.push_back("directory beyond the image: " + dir.path);
                continue;
            }
            std::string previous;
            const uint8_t* previousId = nullptr;
            size_t previousLength = 0;
            int index = 0;
            for (uint32_t offset = 0; offset < dir.size;) {
                const uint8_t* record = extent + offset;
                if (record[0] == 0) {
                    offset = (offset / kBlockSize + 1) * kBlockSize;
                    continue;
                }
                if (offset % kBlockSize + record[0] > kBlockSize)
                    problems.push_back("record crosses block in " + dir.path);
                Both32(record + 2, "extent in " + dir.path);
                Both32(record + 10, "size in " + dir.path);
                Both16(record + 28, "volume sequence in " + dir.path);
                uint32_t childExtent = GetLe32(record + 2), childSize = GetLe32(record + 10);
                size_t length = record[32];
                const uint8_t* identifier = record + 33;
                if (index == 0 && childExtent != dir.extent)
                    problems.push_back("'.' not itself in " + dir.path);
                if (index == 1 && childExtent != dir.parentExtent)
                    problems.push_back("'..' not parent in " + dir.path);
                if (index >= 2) {
                    std::string name = Name(identifier, length);
                    if (previousId && !Before(previous, name, previousId, previousLength, identifier, length))
                        problems.push_back("records out of order in " + dir.path + ": " + previous + " / " +
                                           name);
                    previous = name;
                    previousId = identifier;
                    previousLength = length;
                    std::string path = dir.path + "/" + name;
                    if (record[25] & 2) {
                        dirs.push_back({childExtent, childSize, dir.extent, name, path});
                    } else {
                        if (childSize && childExtent + (childSize + kBlockSize - 1) / kBlockSize > volumeEnd)
                            problems.push_back("file beyond volume: " + path);
                        if (files) (*files)[path] = childSize;
                    }
                }
                ++index;
                offset += record[0];
            }
        }
        CheckPathTable(vd, dirs);
    }

    void CheckPathTable(const uint8_t* vd, const std::vector<Dir>& dirs) {
        uint32_t size = GetLe32(vd + 132);
        const uint8_t* little = At(GetLe32(vd + 140), size);
        const uint8_t* big = At(GetBe32(vd + 148), size);
        if (!little || !big) {
            problems.push_back("path table beyond the image");
            return;
        }
        std::vector<uint32_t> extents;
        size_t entry = 0;
        uint16_t lastParent = 1;
        for (uint32_t offset = 0; offset < size; ++entry) {
            size_t length = little[offset];
            if (length == 0 || big[offset] != length) {
                problems.push_back("path table L/M differ at " + std::to_string(offset));
                return;
            }
            uint32_t extent = GetLe32(little + offset + 2);
            uint16_t parent = static_cast<uint16_t>(little[offset + 6] | little[offset + 7] << 8);
            if (extent != GetBe32(big + offset + 2) || parent != (big[offset + 6] << 8 | big[offset + 7]) ||
                std::memcmp(little + offset + 8, big + offset + 8, length) != 0)
                problems.push_back("path table L/M differ at entry " + std::to_string(entry));
            if (parent < lastParent || parent == 0 || parent > entry + 1)
                problems.push_back("path table parent numbers out of order at entry " +
                                   std::to_string(entry));
            lastParent = parent;
            if (entry >= dirs.size() || dirs[entry].extent != extent ||
                (entry > 0 && extents[parent - 1] != dirs[entry].parentExtent))
                problems.push_back("path table does not match the tree at entry " + std::to_string(entry));
            extents.push_back(extent);
            offset += 8 + static_cast<uint32_t>(length) + (length & 1);
        }
        if (entry != dirs.size()) problems.push_back("path table has " + std::to_string(entry) + " entries");
    }
};

} // namespace

std::vector<std::string> CheckImage(const std::string& imagePath, uint32_t sessionStart,
                                    std::map<std::string, uint32_t>* files) {
    TreeChecker checker;
    checker.image = ReadBytes(imagePath);
    const uint8_t* primary = nullptr;
    const uint8_t* supplementary = nullptr;
    for (uint32_t block = sessionStart + 16; block < sessionStart + 32; ++block) {
        const uint8_t* vd = checker.At(block, kBlockSize);
        if (!vd || std::memcmp(vd + 1, "CD001", 5) != 0) return {"no volume descriptor set"};
        if (vd[0] == 255) break;
        if (vd[0] == 1) primary = vd;
        if (vd[0] == 2 && std::memcmp(vd + 88, "%/@", 3) == 0) supplementary = vd;
    }
    if (!primary) return {"no primary volume descriptor"};
    checker.Check(primary, supplementary ? nullptr : files);
    if (supplementary) {
        checker.joliet = true;
        checker.Check(supplementary, files);
    }
    return checker.problems;
}

} // namespace disc::test
