#pragma once
// The write cache: a reader thread runs ahead of the drive, pulling the session's bytes from
// IsoImageStream into a ring of payload-sized blocks that the writer takes from the front.
// Reader, writer and the component share one cache object; it lives until the last of them
// lets go (shared ownership), so a writer still draining it never sees it freed.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "disc/IsoStream.h"

namespace disc {

// Payload of one block: 32 sectors, or 27 on CD media (what one WRITE of the drive takes).
constexpr uint32_t kPayloadDefault = 65536;
constexpr uint32_t kPayloadCd = 55296;

class TCacheThread {
  public:
    // Reader priority steps by fill level, for the Win32 build to map onto thread priorities.
    enum class Priority { Normal, Lower, Lowest, Idle };
    using PriorityHook = void (*)(Priority);

    // The image must stay laid out and unchanged until the cache has finished.
    TCacheThread(uint32_t cacheSize, uint32_t payload, const TIsoImage& image, PriorityHook hook = nullptr);
    ~TCacheThread();
    TCacheThread(const TCacheThread&) = delete;
    TCacheThread& operator=(const TCacheThread&) = delete;

    void Start();
    // Stops the reader and empties the queue. The first error wins; an abort without a text
    // (the user's) reads "OPERATION ABORTED BY USER".
    void Abort(const std::string& error = {});
    // Stops a reader that still runs (as an abort) and waits until its thread has ended.
    // For the writer, once it takes no more blocks; the cache's owners must not call it at
    // the same time.
    void Join();

    // Copies the first block's bytes into buffer (payload bytes of room). Returns the byte
    // count; 0 when the reader has finished (or aborted) and the queue is empty; -1 when the
    // queue is empty but the reader goes on. With wait, blocks instead of returning -1.
    int GetBlock(uint8_t* buffer, bool wait = false);

    // The writer may start: the queue is full but for one block, or the reader has finished.
    bool Primed() const { return primed_.load(); }
    bool Finished() const { return finished_.load(); }
    bool WaitPrimed();
    uint32_t Capacity() const { return capacity_; }
    uint32_t Payload() const { return payload_; }
    uint64_t ImageBytes() const { return stream_.TotalBytes(); }
    int FillPercent() const;
    std::string Error() const;

  private:
    void Execute();
    void SetPriority(Priority priority);

    const uint32_t cacheSize_, payload_, capacity_;
    IsoImageStream stream_;
    PriorityHook hook_;
    Priority priority_ = Priority::Normal;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<uint8_t> ring_;
    std::vector<uint32_t> lengths_;
    uint32_t head_ = 0, count_ = 0;
    uint64_t queuedBytes_ = 0;
    std::string error_;
    std::atomic<bool> primed_{false}, finished_{false}, abort_{false};
    std::thread thread_;
};

} // namespace disc
