// Session import over arbitrary bytes. The input is the session from block 16 on (the volume
// descriptors first); blocks before it and past its end cannot be read, as on a damaged disc.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "disc/IsoImport.h"
#include "disc/IsoRecords.h"

namespace {

class InputBlocks : public disc::IsoBlockReader {
  public:
    InputBlocks(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override {
        for (uint32_t i = 0; i < count; ++i) {
            uint64_t block = static_cast<uint64_t>(lba) + i;
            if (block < disc::kSystemAreaBlocks) return false;
            uint64_t offset = (block - disc::kSystemAreaBlocks) * disc::kBlockSize;
            if (offset >= size_) return false;
            size_t available = static_cast<size_t>(std::min<uint64_t>(disc::kBlockSize, size_ - offset));
            std::memset(out + static_cast<size_t>(i) * disc::kBlockSize, 0, disc::kBlockSize);
            std::memcpy(out + static_cast<size_t>(i) * disc::kBlockSize, data_ + offset, available);
        }
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static disc::TIsoImage image; // built once: the tables are large
    image.ClearAll(4096, 1024);
    InputBlocks reader(data, size);
    int count = 0;
    disc::ImportIsoSession(reader, 0, 1, image, nullptr, &count);
    // The imported tree must lay out and build like any other.
    image.PrepareImage(0);
    image.BuildImageHead();
    return 0;
}
