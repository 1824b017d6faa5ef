#include "zip/SourcePrefetch.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <vector>

namespace zip {

namespace {

// A source whose first bytes were read ahead: those come from memory, the rest from the file.
// A source read whole has no file left: it was closed on the reading thread.
class TPrefetchedStream : public gui::TStream {
  public:
    TPrefetchedStream(std::unique_ptr<gui::TStream> file, std::vector<uint8_t> first)
        : file_(std::move(file)), first_(std::move(first)) {}

    size_t Read(void* buffer, size_t count) override {
        size_t done = 0;
        if (at_ < first_.size()) {
            done = std::min(count, first_.size() - at_);
            std::copy_n(first_.data() + at_, done, static_cast<uint8_t*>(buffer));
            at_ += done;
        }
        if (done < count && at_ == first_.size() && file_)
            done += file_->Read(static_cast<uint8_t*>(buffer) + done, count - done);
        return done;
    }
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, gui::TSeekOrigin origin) override {
        const auto inMemory = static_cast<int64_t>(first_.size());
        const bool past = at_ == first_.size() && file_;
        int64_t target = offset;
        if (origin == gui::TSeekOrigin::soCurrent) {
            const int64_t now = past ? file_->Position() : static_cast<int64_t>(at_);
            if (offset == 0) return now;
            target = now + offset;
        } else if (origin == gui::TSeekOrigin::soEnd) {
            target = Size() + offset;
        }
        if (target < 0) return -1;
        if (target < inMemory || !file_) {
            at_ = static_cast<size_t>(std::min(target, inMemory));
            if (file_) file_->SetPosition(inMemory);
            return static_cast<int64_t>(at_);
        }
        at_ = first_.size();
        return file_->Seek(target, gui::TSeekOrigin::soBeginning);
    }
    int64_t Size() override { return file_ ? file_->Size() : static_cast<int64_t>(first_.size()); }
    void SetSize(int64_t newSize) override {
        if (!file_) throw gui::EWriteError("A source file is read only");
        file_->SetSize(newSize);
    }

  private:
    std::unique_ptr<gui::TStream> file_;
    std::vector<uint8_t> first_;
    size_t at_ = 0;
};

} // namespace

TSourcePrefetch::TSourcePrefetch(TZipperFileSystem& files, uint64_t maxSize, bool wholeOnly)
    : files_(files), maxSize_(maxSize), wholeOnly_(wholeOnly), thread_(&TSourcePrefetch::Run, this) {}

TSourcePrefetch::~TSourcePrefetch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        readerSleeps_ = false;
    }
    readerWake_.notify_all();
    thread_.join();
}

bool TSourcePrefetch::Start(const std::string& name) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kPrefetchSources) return false;
        queue_.emplace_back();
        queue_.back().name = name;
        wake = WakeReader(true);
    }
    if (wake) readerWake_.notify_one();
    return true;
}

bool TSourcePrefetch::WakeReader(bool batch) {
    const size_t waiting = queue_.size() - started_;
    if (!readerSleeps_ || waiting == 0) return false;
    // Nothing read ahead any more: the reader must start now, or the zipping thread waits.
    if (batch && started_ > 0 && (waiting < kPrefetchSources / 2 || held_ >= kPrefetchHeldBytes / 2))
        return false;
    readerSleeps_ = false;
    return true;
}

bool TSourcePrefetch::Take(const std::string& name, std::optional<TSourceInfo>& info,
                           std::unique_ptr<gui::TStream>& source) {
    std::vector<std::unique_ptr<gui::TStream>> dropped; // closed once the lock is let go
    bool wake = false;
    bool usable = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto found =
            std::find_if(queue_.begin(), queue_.end(), [&](const TItem& item) { return item.name == name; });
        if (found == queue_.end()) return false;
        size_t index = static_cast<size_t>(found - queue_.begin());
        // The reader goes in queue order: once name is done, so is every name before it.
        for (;;) {
            while (index > 0 && queue_.front().done) {
                held_ -= queue_.front().bytes;
                dropped.push_back(std::move(queue_.front().source));
                queue_.pop_front();
                --started_;
                --index;
            }
            if (queue_[index].done) break;
            if (WakeReader(false)) readerWake_.notify_one();
            // A reader slower than the zipping is woken for, and wakes it, a few sources at a time.
            takerWaitsFor_ = std::min(queue_.size(), index + kPrefetchWakeBatch);
            while (!itemDone_.wait_for(lock, std::chrono::milliseconds(kPrefetchBatchPatienceMs),
                                       [this] { return takerWaitsFor_ == 0; }))
                if (queue_[index].done) break;
            takerWaitsFor_ = 0;
        }
        TItem& item = queue_.front();
        held_ -= item.bytes;
        usable = item.usable;
        if (usable) {
            info = item.info;
            source = std::move(item.source);
        } else {
            dropped.push_back(std::move(item.source));
        }
        queue_.pop_front();
        --started_;
        wake = WakeReader(true);
    }
    if (wake) readerWake_.notify_one();
    return usable;
}

void TSourcePrefetch::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (quit_) return;
        if (started_ == queue_.size() || held_ >= kPrefetchHeldBytes) {
            readerSleeps_ = true;
            readerWake_.wait(lock, [this] { return !readerSleeps_; });
            continue;
        }
        TItem& item = queue_[started_++];
        TItem result;
        result.name = item.name;
        lock.unlock();
        try {
            result.bytes = ReadNow(files_, maxSize_, result.name, kPrefetchBytes, wholeOnly_, result.info,
                                   result.source);
            result.usable = true;
        } catch (const std::exception&) {
            // Nothing is lost: the zipping thread finds the prefetch unusable and does the
            // work itself, meeting the failure where it always has.
            result.source.reset();
        }
        lock.lock();
        result.done = true;
        held_ += result.bytes;
        item = std::move(result);
        if (takerWaitsFor_ != 0 &&
            (started_ >= takerWaitsFor_ || started_ == queue_.size() || held_ >= kPrefetchHeldBytes)) {
            takerWaitsFor_ = 0;
            lock.unlock();
            itemDone_.notify_one();
            lock.lock();
        }
    }
}

// Runs without the reader's lock: its results are published by Run under it.
size_t TSourcePrefetch::ReadNow(TZipperFileSystem& files, uint64_t maxSize, const std::string& name,
                                size_t upTo, bool wholeOnly, std::optional<TSourceInfo>& info,
                                std::unique_ptr<gui::TStream>& source) {
    info = files.Info(name);
    if (!info || info->IsFolder() || info->size <= 0 || static_cast<uint64_t>(info->size) > maxSize) return 0;
    if (wholeOnly && info->size > static_cast<int64_t>(upTo)) return 0;
    std::unique_ptr<gui::TStream> file = files.OpenSource(name);
    if (!file) return 0;
    std::vector<uint8_t> first(
        static_cast<size_t>(std::min<int64_t>(info->size, static_cast<int64_t>(upTo))));
    const size_t got = file->ReadFully(first.data(), first.size());
    first.resize(got);
    // The component reads no more than the size it was told: a source read whole needs no file.
    if (static_cast<int64_t>(got) == info->size)
        file.reset();
    else if (wholeOnly)
        return 0; // it shrank meanwhile: read at its turn, not held open until then
    source = std::make_unique<TPrefetchedStream>(std::move(file), std::move(first));
    return got;
}

} // namespace zip
