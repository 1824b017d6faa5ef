// Write cache.
//
// The reader fills a fixed ring of cacheSize / payload blocks allocated once, so no memory is
// taken or freed while a disc is written; a block is handed over by copying its valid bytes
// into the writer's buffer under the lock, which keeps the writer's view simple (one buffer
// it owns) at the price of one copy per 64 KB. The data stream is continuous: block
// boundaries do not fall on file boundaries, and only the very last block is short.
//
// The reader stops one block short of full ("primed") so the writer always finds a free slot
// to return; waits use a condition variable, never a timed sleep, so a stopped writer costs
// no CPU and tests need no clock.

#include "disc/dwCache.h"

#include <algorithm>
#include <cstring>

#include "disc/IsoRecords.h"

namespace disc {

TCacheThread::TCacheThread(uint32_t cacheSize, uint32_t payload, const TIsoImage& image, PriorityHook hook)
    : cacheSize_(cacheSize), payload_(payload), capacity_(std::max<uint32_t>(2, cacheSize / payload)),
      stream_(image, true), hook_(hook), ring_(static_cast<size_t>(capacity_) * payload),
      lengths_(capacity_) {}

TCacheThread::~TCacheThread() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            abort_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
}

void TCacheThread::Start() {
    thread_ = std::thread(&TCacheThread::Execute, this);
}

void TCacheThread::SetPriority(Priority priority) {
    if (priority == priority_) return;
    priority_ = priority;
    if (hook_) hook_(priority);
}

void TCacheThread::Execute() {
    for (;;) {
        uint32_t slot;
        {
            std::unique_lock<std::mutex> guard(lock_);
            if (count_ + 1 >= capacity_) {
                primed_ = true;
                SetPriority(Priority::Idle);
                changed_.notify_all();
                changed_.wait(guard, [this] { return abort_ || count_ + 1 < capacity_; });
            }
            if (abort_) break;
            slot = (head_ + count_) % capacity_;
        }
        // The slot is outside the queue until it is counted, so reading needs no lock.
        int64_t got = stream_.Read(ring_.data() + static_cast<size_t>(slot) * payload_, payload_);
        std::unique_lock<std::mutex> guard(lock_);
        if (got < 0) {
            if (error_.empty()) error_ = stream_.Error();
            abort_ = true;
            break;
        }
        if (got == 0) break;
        lengths_[slot] = static_cast<uint32_t>(got);
        uint32_t queued = ++count_;
        queuedBytes_ += static_cast<uint64_t>(got);
        changed_.notify_all();
        guard.unlock();
        if (queued * 4 < capacity_)
            SetPriority(Priority::Normal);
        else if (queued * 2 < capacity_)
            SetPriority(Priority::Lower);
        else
            SetPriority(Priority::Lowest);
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (abort_) {
        count_ = 0;
        queuedBytes_ = 0;
        if (error_.empty()) error_ = "OPERATION ABORTED BY USER";
    }
    primed_ = true;
    finished_ = true;
    changed_.notify_all();
}

void TCacheThread::Abort(const std::string& error) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (error_.empty()) error_ = error.empty() ? "OPERATION ABORTED BY USER" : error;
        abort_ = true;
    }
    changed_.notify_all();
}

void TCacheThread::Join() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        abort_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

int TCacheThread::GetBlock(uint8_t* buffer, bool wait) {
    std::unique_lock<std::mutex> guard(lock_);
    if (wait) changed_.wait(guard, [this] { return count_ > 0 || finished_ || abort_; });
    if (abort_) return 0;
    if (count_ == 0) return finished_ ? 0 : -1;
    uint32_t length = lengths_[head_];
    std::memcpy(buffer, ring_.data() + static_cast<size_t>(head_) * payload_, length);
    head_ = (head_ + 1) % capacity_;
    --count_;
    queuedBytes_ -= length;
    changed_.notify_all();
    return static_cast<int>(length);
}

bool TCacheThread::WaitPrimed() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return primed_.load() || finished_.load(); });
    return error_.empty();
}

int TCacheThread::FillPercent() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>((queuedBytes_ * 100 + cacheSize_ / 2) / cacheSize_);
}

std::string TCacheThread::Error() const {
    std::lock_guard<std::mutex> guard(lock_);
    return error_;
}

} // namespace disc
