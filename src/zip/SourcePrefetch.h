#pragma once
// Opens and reads the zip component's next source on a thread of its own while the zipping
// thread compresses the current one, so that the file system's work (its calls, the disk) and
// the compressor's overlap. One source at most is prefetched: its facts, the open stream and
// its first bytes (up to kPrefetchBytes; the rest is read by the zipping thread as before).
// The zipping thread takes it when it comes to that name; one it does not come to is dropped.
// A prefetch that fails (a read error, no memory) is unusable: the zipping thread then opens
// and reads the source itself and reports the failure as it always has.

#include "zip/ZipperFiles.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zip {

inline constexpr size_t kPrefetchBytes = 262144;

class TSourcePrefetch {
  public:
    // maxSize: larger sources are not opened (the component refuses them).
    TSourcePrefetch(TZipperFileSystem& files, uint64_t maxSize);
    ~TSourcePrefetch();
    TSourcePrefetch(const TSourcePrefetch&) = delete;
    TSourcePrefetch& operator=(const TSourcePrefetch&) = delete;

    // Starts on name unless a prefetch is already under way or waiting to be taken.
    void Start(const std::string& name);
    // The prefetch of name, once it is done: its facts (nullopt: there is no such file) and
    // the source when it could be opened (nullptr for a folder, an empty or too large file,
    // or one that could not be opened). False when name was not prefetched or the prefetch
    // failed; a prefetch of another name is dropped then.
    bool Take(const std::string& name, std::optional<TSourceInfo>& info,
              std::unique_ptr<gui::TStream>& source);

  private:
    void Run();
    void Prefetch(const std::string& name);

    TZipperFileSystem& files_;
    const uint64_t maxSize_;
    std::mutex mutex_;
    std::condition_variable changed_;
    enum class TState { Idle, Requested, Done } state_ = TState::Idle;
    bool quit_ = false;
    std::string name_;
    std::optional<TSourceInfo> info_;
    std::unique_ptr<gui::TStream> source_;
    bool usable_ = false;
    std::thread thread_; // last: it starts once everything above exists
};

} // namespace zip
