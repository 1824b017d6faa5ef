#pragma once
// Opens and reads the zip component's next sources on a thread of its own while the zipping
// thread compresses the current one, so that the file system's work (its calls, the disk) and
// the compressor's overlap. Several sources are read ahead, in the order the component names
// them: each one's facts, the open stream and its first bytes (up to kPrefetchBytes; the rest
// is read by the zipping thread as before). A source read whole is closed at once, so the
// zipping thread makes no call of its own for it. The zipping thread takes each one when it
// comes to that name; names before it that it passed by are dropped. A prefetch that fails
// (a read error, no memory) is unusable: the zipping thread then opens and reads the source
// itself and reports the failure as it always has.
//
// Every wait or wake-up between the threads is a call into the system (under Wine, a server
// round trip), so they are rationed: the reader runs until the queue is read or holds
// kPrefetchHeldBytes, and is woken again only once half the queue is free, or when the zipping
// thread waits for a source not yet read; that thread then sleeps until a few more are read.

#include "zip/ZipperFiles.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zip {

inline constexpr size_t kPrefetchBytes = 262144;      // of one source
inline constexpr size_t kPrefetchSources = 16;        // names queued at most
inline constexpr size_t kPrefetchHeldBytes = 1048576; // read ahead and not yet taken
inline constexpr size_t kPrefetchWakeBatch = 4;       // sources read before a waiting taker wakes
// How long a taker whose own source is read waits on for the rest of its batch: a source
// further on may hang (a file on a server gone away), and the zipping must not wait for it.
inline constexpr int kPrefetchBatchPatienceMs = 20;

class TSourcePrefetch {
  public:
    // maxSize: larger sources are not opened (the component refuses them). wholeOnly: a
    // source longer than kPrefetchBytes is not opened either (only its facts are read), so no
    // source is ever read partly ahead and partly at its turn.
    TSourcePrefetch(TZipperFileSystem& files, uint64_t maxSize, bool wholeOnly = false);
    ~TSourcePrefetch();
    TSourcePrefetch(const TSourcePrefetch&) = delete;
    TSourcePrefetch& operator=(const TSourcePrefetch&) = delete;

    // Queues name to be read after the names queued before; false (nothing queued) when the
    // queue holds kPrefetchSources names already.
    bool Start(const std::string& name);
    // The prefetch of name, once it is done: its facts (nullopt: there is no such file) and
    // the source when it could be opened (nullptr for a folder, an empty or too large file,
    // or one that could not be opened). False when name is not queued or its prefetch failed.
    // Names queued before name are dropped.
    bool Take(const std::string& name, std::optional<TSourceInfo>& info,
              std::unique_ptr<gui::TStream>& source);
    // What a reader finds for name, read on the caller's thread: its facts, and the source
    // with its first upTo bytes in memory when it opens (as Take gives them). wholeOnly: a
    // source longer than upTo is not opened, and one that could not be read whole is let go.
    // Returns the bytes held in memory. Throws what the file system throws.
    static size_t ReadNow(TZipperFileSystem& files, uint64_t maxSize, const std::string& name, size_t upTo,
                          bool wholeOnly, std::optional<TSourceInfo>& info,
                          std::unique_ptr<gui::TStream>& source);

  private:
    struct TItem {
        std::string name;
        bool done = false;
        bool usable = false;
        std::optional<TSourceInfo> info;
        std::unique_ptr<gui::TStream> source;
        size_t bytes = 0; // held in memory
    };

    void Run();
    // Under the lock: whether to wake the sleeping reader (the caller notifies); batch waits
    // for half a queue of names unless nothing is read ahead.
    bool WakeReader(bool batch);

    TZipperFileSystem& files_;
    const uint64_t maxSize_;
    const bool wholeOnly_;
    std::mutex mutex_;
    std::condition_variable readerWake_;
    std::condition_variable itemDone_;
    std::deque<TItem> queue_; // references stay valid while other items come and go
    size_t started_ = 0;      // items from the front that the reader took up
    size_t held_ = 0;         // bytes of done items
    bool readerSleeps_ = false;
    size_t takerWaitsFor_ = 0; // while waiting: the items from the front done before it wakes
    bool quit_ = false;
    std::thread thread_; // last: it starts once everything above exists
};

} // namespace zip
