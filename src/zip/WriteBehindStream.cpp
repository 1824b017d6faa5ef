#include "zip/WriteBehindStream.h"

#include <algorithm>

namespace zip {

TWriteBehindStream::TWriteBehindStream(std::unique_ptr<gui::TStream> file, size_t capacity)
    : file_(std::move(file)), capacity_(capacity), position_(file_->Position()), size_(file_->Size()) {
    pending_.reserve(capacity_);
}

void TWriteBehindStream::Flush() {
    if (pending_.empty()) return;
    file_->WriteBuffer(pending_.data(), pending_.size());
    pending_.clear();
}

size_t TWriteBehindStream::Read(void* buffer, size_t count) {
    Flush();
    const size_t got = file_->Read(buffer, count);
    position_ += static_cast<int64_t>(got);
    return got;
}

size_t TWriteBehindStream::Write(const void* buffer, size_t count) {
    if (pending_.size() + count > capacity_) Flush();
    size_t written = count;
    if (count >= capacity_)
        written = file_->Write(buffer, count);
    else
        pending_.insert(pending_.end(), static_cast<const uint8_t*>(buffer),
                        static_cast<const uint8_t*>(buffer) + count);
    position_ += static_cast<int64_t>(written);
    size_ = std::max(size_, position_);
    return written;
}

int64_t TWriteBehindStream::Seek(int64_t offset, gui::TSeekOrigin origin) {
    if (origin == gui::TSeekOrigin::soCurrent && offset == 0) return position_;
    Flush();
    position_ = file_->Seek(offset, origin);
    return position_;
}

void TWriteBehindStream::SetSize(int64_t newSize) {
    Flush();
    file_->SetSize(newSize);
    size_ = newSize;
}

} // namespace zip
