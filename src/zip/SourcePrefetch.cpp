#include "zip/SourcePrefetch.h"

#include <algorithm>
#include <exception>

namespace zip {

namespace {

// A source whose first bytes were read ahead: those come from memory, the rest from the file.
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
        if (done < count && at_ == first_.size())
            done += file_->Read(static_cast<uint8_t*>(buffer) + done, count - done);
        return done;
    }
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, gui::TSeekOrigin origin) override {
        const auto inMemory = static_cast<int64_t>(first_.size());
        int64_t target = offset;
        if (origin == gui::TSeekOrigin::soCurrent) {
            const int64_t now = at_ < first_.size() ? static_cast<int64_t>(at_) : file_->Position();
            if (offset == 0) return now;
            target = now + offset;
        } else if (origin == gui::TSeekOrigin::soEnd) {
            target = file_->Size() + offset;
        }
        if (target < 0) return -1;
        if (target < inMemory) {
            at_ = static_cast<size_t>(target);
            file_->SetPosition(inMemory);
            return target;
        }
        at_ = first_.size();
        return file_->Seek(target, gui::TSeekOrigin::soBeginning);
    }
    int64_t Size() override { return file_->Size(); }
    void SetSize(int64_t newSize) override { file_->SetSize(newSize); }

  private:
    std::unique_ptr<gui::TStream> file_;
    std::vector<uint8_t> first_;
    size_t at_ = 0;
};

} // namespace

TSourcePrefetch::TSourcePrefetch(TZipperFileSystem& files, uint64_t maxSize)
    : files_(files), maxSize_(maxSize), thread_(&TSourcePrefetch::Run, this) {}

TSourcePrefetch::~TSourcePrefetch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void TSourcePrefetch::Start(const std::string& name) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ != TState::Idle) return;
        name_ = name;
        state_ = TState::Requested;
    }
    changed_.notify_all();
}

bool TSourcePrefetch::Take(const std::string& name, std::optional<TSourceInfo>& info,
                           std::unique_ptr<gui::TStream>& source) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ == TState::Idle) return false;
    changed_.wait(lock, [this] { return state_ == TState::Done; });
    state_ = TState::Idle;
    std::unique_ptr<gui::TStream> taken = std::move(source_);
    if (name_ != name || !usable_) {
        lock.unlock();
        return false; // dropped; the stream closes here
    }
    info = info_;
    source = std::move(taken);
    return true;
}

void TSourcePrefetch::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || state_ == TState::Requested; });
        if (quit_) return;
        const std::string name = name_;
        lock.unlock();
        usable_ = false;
        try {
            Prefetch(name);
            usable_ = true;
        } catch (const std::exception&) {
            // Nothing is lost: the zipping thread finds the prefetch unusable and does the
            // work itself, meeting the failure where it always has.
            source_.reset();
        }
        lock.lock();
        state_ = TState::Done;
        changed_.notify_all();
    }
}

// Runs without the lock: the results are published by Run under it.
void TSourcePrefetch::Prefetch(const std::string& name) {
    info_ = files_.Info(name);
    source_.reset();
    if (!info_ || info_->IsFolder() || info_->size <= 0 || static_cast<uint64_t>(info_->size) > maxSize_)
        return;
    std::unique_ptr<gui::TStream> file = files_.OpenSource(name);
    if (!file) return;
    std::vector<uint8_t> first(static_cast<size_t>(std::min<int64_t>(info_->size, kPrefetchBytes)));
    size_t got = 0;
    while (got < first.size()) {
        const size_t step = file->Read(first.data() + got, first.size() - got);
        if (step == 0) break;
        got += step;
    }
    first.resize(got);
    source_ = std::make_unique<TPrefetchedStream>(std::move(file), std::move(first));
}

} // namespace zip
