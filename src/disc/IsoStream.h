#pragma once
// The bytes of a prepared session in write order: the head from memory, then each new file
// read from its source and padded to a whole block, then zeros up to the track size. The
// write cache and the image-file writer both pull from it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "disc/IsoImage.h"

namespace disc {

class IsoImageStream {
  public:
    // With padToTrackSize the stream ends at GetTrackSize() blocks (the post gap), else at the
    // last file block.
    IsoImageStream(const TIsoImage& image, bool padToTrackSize);
    ~IsoImageStream();

    // Fills up to capacity bytes; 0 at the end, -1 on a failure (see Error()).
    int64_t Read(uint8_t* buffer, size_t capacity);
    const std::string& Error() const { return error_; }
    uint64_t TotalBytes() const { return totalBytes_; }
    uint64_t Position() const { return position_; }

  private:
    bool OpenNextFile();
    int64_t Fail(std::string text);

    const TIsoImage& image_;
    uint64_t totalBytes_;
    uint64_t position_ = 0;
    size_t fileIndex_ = 0;
    std::unique_ptr<IsoSourceFile> source_;
    const TFEntry* current_ = nullptr;
    bool filesDone_ = false;
    uint64_t fileLeft_ = 0; // data bytes still to read from the current source
    uint64_t padLeft_ = 0;  // zeros that complete its last block
    std::string error_;
};

// File mode: writes the session into an ISO file. With atSessionStart the session goes to its
// own place in an existing file (a later session of a multi-session image), else the file is
// created from the session's first byte. False with error set on a failure or cancel.
bool WriteIsoFile(const TIsoImage& image, const std::string& path, std::string& error,
                  const std::atomic<bool>* cancel = nullptr, bool atSessionStart = false);

} // namespace disc
