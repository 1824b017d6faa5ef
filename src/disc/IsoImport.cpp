// Session import and verification.
//
// An earlier session is untrusted input: it may come from another program, a damaged disc or
// a crafted image. The walker therefore checks every length against its record and block,
// every extent against the volume's end, refuses to enter a directory extent twice (cycles)
// or deeper than 64 levels, and treats an unreadable block as the end of the import. It
// walks with an explicit stack so hostile nesting cannot exhaust the thread's stack.
//
// The Joliet tree is preferred when the session has one, as it holds the names users gave;
// otherwise the ISO tree is read with its version suffix removed.

#include "disc/IsoImport.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "disc/IsoNames.h"
#include "disc/IsoRecords.h"

namespace disc {

namespace {

constexpr uint32_t kDescriptorSearchBlocks = 21;
constexpr size_t kImportNameMax = 120;
constexpr int kMaxDepth = 64;

struct PendingDir {
    uint32_t extent;
    uint32_t size;
    TDEntry* target;
    int depth;
};

class SessionWalker {
  public:
    SessionWalker(IsoBlockReader& reader, TIsoImage& image, int session, int* count)
        : reader_(reader), image_(image), session_(session), count_(count) {}

    bool Run(uint32_t trackStart, TDEntry* folder) {
        uint32_t rootExtent = 0, rootSize = 0;
        if (!FindRoot(trackStart, rootExtent, rootSize)) return false;
        std::vector<PendingDir> stack{{rootExtent, rootSize, folder, 0}};
        visited_.insert(rootExtent);
        while (!stack.empty()) {
            PendingDir dir = stack.back();
            stack.pop_back();
            if (!WalkDirectory(dir, stack)) return false;
        }
        return true;
    }

  private:
    std::string SessionText() const { return "ERROR IMPORTING SESSION # " + std::to_string(session_); }

    void Problem(const std::string& detail) { image_.Debug(SessionText() + " (" + detail + ")", kMsgError); }

    bool FindRoot(uint32_t trackStart, uint32_t& extent, uint32_t& size) {
        const uint8_t* chosen = nullptr;
        uint8_t primary[kBlockSize], joliet[kBlockSize];
        bool havePrimary = false, haveJoliet = false;
        for (uint32_t i = 0; i < kDescriptorSearchBlocks; ++i) {
            if (!reader_.ReadBlocks(trackStart + kSystemAreaBlocks + i, 1, block_)) break;
            if (std::memcmp(block_ + 1, "CD001", 5) != 0) continue;
            if (block_[0] == 255) break;
            if (block_[0] == 1 && !havePrimary) {
                std::memcpy(primary, block_, kBlockSize);
                havePrimary = true;
            } else if (block_[0] == 2 && !haveJoliet && block_[kVdEscapes] == '%' &&
                       block_[kVdEscapes + 1] == '/' &&
                       (block_[kVdEscapes + 2] == '@' || block_[kVdEscapes + 2] == 'C' ||
                        block_[kVdEscapes + 2] == 'E')) {
                std::memcpy(joliet, block_, kBlockSize);
                haveJoliet = true;
            }
        }
        if (haveJoliet)
            chosen = joliet;
        else if (havePrimary)
            chosen = primary;
        joliet_ = haveJoliet;
        if (!chosen) {
            image_.Debug("ERROR IMPORTING SESSION " + std::to_string(session_) + " (ISO IMAGE NOT FOUND)",
                         kMsgError);
            return false;
        }
        volumeEnd_ = GetLe32(chosen + kVdVolumeSpaceSize);
        const uint8_t* root = chosen + kVdRootRecord;
        extent = GetLe32(root + kDrExtent);
        size = GetLe32(root + kDrDataLength);
        if (root[0] < 34 || (root[kDrFlags] & kFlagDirectory) == 0 || !WithinVolume(extent, size) ||
            size == 0) {
            Problem("DAMAGED ROOT DIRECTORY");
            return false;
        }
        return true;
    }

    bool WithinVolume(uint32_t extent, uint32_t size) const {
        uint64_t end =
            static_cast<uint64_t>(extent) + (static_cast<uint64_t>(size) + kBlockSize - 1) / kBlockSize;
        return volumeEnd_ == 0 || end <= volumeEnd_;
    }

    std::string RecordName(const uint8_t* identifier, size_t length) const {
        std::string name;
        if (joliet_) {
            std::u16string wide;
            for (size_t i = 0; i + 1 < length; i += 2)
                wide += static_cast<char16_t>((identifier[i] << 8) | identifier[i + 1]);
            name = Ucs2ToAnsi(wide);
        } else {
            name.assign(reinterpret_cast<const char*>(identifier), length);
        }
        size_t version = name.find(';');
        if (version != std::string::npos) name.resize(version);
        if (!joliet_ && !name.empty() && name.back() == '.') name.pop_back();
        return name;
    }

    // False only when the disc cannot be read any further.
    bool WalkDirectory(const PendingDir& dir, std::vector<PendingDir>& stack) {
        uint32_t blocks =
            static_cast<uint32_t>((static_cast<uint64_t>(dir.size) + kBlockSize - 1) / kBlockSize);
        for (uint32_t b = 0; b < blocks; ++b) {
            if (!reader_.ReadBlocks(dir.extent + b, 1, block_)) {
                image_.Debug(SessionText(), kMsgError);
                return false;
            }
            for (size_t offset = 0; offset < kBlockSize;) {
                uint8_t length = block_[offset];
                if (length == 0) break;
                if (length < 34 || offset + length > kBlockSize ||
                    kRecordHeaderSize + block_[offset + kDrNameLength] > length) {
                    Problem("DAMAGED DIRECTORY RECORD");
                    return true; // the rest of this directory cannot be trusted
                }
                AddRecord(block_ + offset, dir, stack);
                offset += length;
            }
        }
        return true;
    }

    void AddRecord(const uint8_t* record, const PendingDir& dir, std::vector<PendingDir>& stack) {
        size_t nameLength = record[kDrNameLength];
        const uint8_t* identifier = record + kRecordHeaderSize;
        if (nameLength == 1 && identifier[0] <= 1) return; // "." and ".."
        std::string name = RecordName(identifier, nameLength);
        if (name.empty() || name == "." || name == "..") {
            Problem("DAMAGED FILE NAME");
            return;
        }
        if (name.size() > kImportNameMax) {
            image_.Debug("ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 120 CHARS", kMsgError);
            return;
        }
        uint8_t flags = record[kDrFlags];
        uint32_t extent = GetLe32(record + kDrExtent);
        uint32_t size = GetLe32(record + kDrDataLength);
        uint32_t attributes = (flags & kFlagHidden) ? kAttrHidden : 0;
        TDEntry* target = dir.target ? dir.target : image_.Root();
        if (flags & kFlagDirectory) {
            if (dir.depth + 1 >= kMaxDepth) {
                Problem("FOLDERS NESTED TOO DEEP AT \"" + name + "\"");
                return;
            }
            if (size == 0 || !WithinVolume(extent, size) || !visited_.insert(extent).second) {
                Problem("BAD FOLDER EXTENT \"" + name + "\"");
                return;
            }
            TDEntry* child = image_.AddImportedDir(target, name, attributes);
            if (!child) return;
            if (count_) ++*count_;
            stack.push_back({extent, size, child, dir.depth + 1});
            return;
        }
        if (flags & kFlagMultiExtent) {
            Problem("FILE IN SEVERAL EXTENTS \"" + name + "\"");
            return;
        }
        if (size > 0 && !WithinVolume(extent, size)) {
            Problem("FILE BEYOND THE DISC \"" + name + "\"");
            return;
        }
        TDateTime date = 0;
        GetRecordDate(record + kDrDate, date);
        if (image_.AddImportedFile(target, name, extent, size, date, attributes) && count_) ++*count_;
    }

    IsoBlockReader& reader_;
    TIsoImage& image_;
    int session_;
    int* count_;
    bool joliet_ = false;
    uint32_t volumeEnd_ = 0;
    std::unordered_set<uint32_t> visited_;
    uint8_t block_[kBlockSize];
};

} // namespace

bool ImportIsoSession(IsoBlockReader& reader, uint32_t trackStart, int sessionNumber, TIsoImage& image,
                      TDEntry* folder, int* importedCount) {
    image.Debug(">>> IMPORTING SESSION # " + std::to_string(sessionNumber), kMsgProgress);
    SessionWalker walker(reader, image, sessionNumber, importedCount);
    return walker.Run(trackStart, folder);
}

uint32_t IsoSessionVolumeEnd(IsoBlockReader& reader, uint32_t trackStart) {
    uint8_t block[kBlockSize];
    for (uint32_t i = 0; i < kDescriptorSearchBlocks; ++i) {
        if (!reader.ReadBlocks(trackStart + kSystemAreaBlocks + i, 1, block)) return 0;
        if (std::memcmp(block + 1, "CD001", 5) != 0) continue;
        if (block[0] == 255) return 0;
        if (block[0] == 1 || block[0] == 2) return GetLe32(block + kVdVolumeSpaceSize);
    }
    return 0;
}

bool VerifyIsoFile(IsoBlockReader& reader, uint32_t firstBlock, uint64_t size, const std::string& sourcePath,
                   IsoSourceFiles& sources, const std::function<void(int percent)>& step) {
    std::unique_ptr<IsoSourceFile> source = sources.Open(sourcePath);
    if (!source) throw EIsoSourceMissing("CAN'T OPEN FILE \"" + sourcePath + "\"");
    std::vector<uint8_t> disc(kVerifyChunk), local(kVerifyChunk);
    const uint64_t totalMegabytes = size / 1000000;
    uint64_t remaining = size;
    uint32_t block = firstBlock;
    bool same = true;
    while (same && remaining > 0) {
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(remaining, kVerifyChunk));
        uint32_t blocks = (chunk + kBlockSize - 1) / kBlockSize;
        if (!reader.ReadBlocks(block, blocks, disc.data())) same = false;
        int64_t got = source->Read(local.data(), chunk);
        if (got != static_cast<int64_t>(chunk) ||
            (same && std::memcmp(disc.data(), local.data(), chunk) != 0))
            same = false;
        remaining -= chunk;
        block += blocks;
        int percent =
            totalMegabytes == 0 ? 100 : static_cast<int>(100 - (remaining / 1000000) * 100 / totalMegabytes);
        if (step) step(percent);
    }
    // A source that grew since the write differs from what the disc holds.
    uint8_t probe;
    if (same && source->Read(&probe, 1) != 0) same = false;
    return same;
}

} // namespace disc
