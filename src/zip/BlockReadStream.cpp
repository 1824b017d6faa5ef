#include "zip/BlockReadStream.h"

#include <algorithm>

namespace zip {

TBlockReadStream::TBlockReadStream(gui::TStream& file, size_t blockSize)
    : file_(file), block_(blockSize), position_(file.Position()) {}

size_t TBlockReadStream::Read(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const int64_t blockEnd = blockStart_ + static_cast<int64_t>(blockLength_);
        if (position_ >= blockStart_ && position_ < blockEnd) {
            const size_t n = std::min(count - done, static_cast<size_t>(blockEnd - position_));
            std::copy_n(block_.data() + (position_ - blockStart_), n, out + done);
            done += n;
            position_ += static_cast<int64_t>(n);
            continue;
        }
        file_.SetPosition(position_);
        if (count - done >= block_.size()) {
            const size_t got = file_.Read(out + done, count - done);
            position_ += static_cast<int64_t>(got);
            return done + got;
        }
        blockStart_ = position_;
        blockLength_ = file_.Read(block_.data(), block_.size());
        if (blockLength_ == 0) break;
    }
    return done;
}

int64_t TBlockReadStream::Seek(int64_t offset, gui::TSeekOrigin origin) {
    if (origin == gui::TSeekOrigin::soCurrent)
        position_ += offset;
    else if (origin == gui::TSeekOrigin::soEnd)
        position_ = Size() + offset;
    else
        position_ = offset;
    return position_;
}

int64_t TBlockReadStream::Size() {
    if (size_ < 0) size_ = file_.Size();
    return size_;
}

} // namespace zip
