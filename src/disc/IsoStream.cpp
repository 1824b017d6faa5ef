// Streaming of a session. The head is copied from memory; file data is read straight into the
// caller's buffer, so no byte is copied twice and nothing is allocated per block. A source is
// read for exactly the size the layout gave it: a file that shrank or grew since would shift
// every later file on the disc, so either ends the stream with an error naming it.

#include "disc/IsoStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "disc/IsoRecords.h"

namespace disc {

IsoImageStream::IsoImageStream(const TIsoImage& image, bool padToTrackSize)
    : image_(image),
      totalBytes_(static_cast<uint64_t>(padToTrackSize ? image.GetTrackSize() : image.UnpaddedTrackSize()) *
                  kBlockSize) {}

IsoImageStream::~IsoImageStream() = default;

int64_t IsoImageStream::Fail(std::string text) {
    error_ = std::move(text);
    source_.reset();
    return -1;
}

bool IsoImageStream::OpenNextFile() {
    const std::vector<TFEntry*>& files = image_.Files();
    while (fileIndex_ < files.size()) {
        const TFEntry* file = files[fileIndex_++];
        if (file->Imported || file->Blocks == 0) continue;
        source_ = image_.Sources->Open(file->SourcePath);
        if (!source_) {
            error_ = "CAN'T OPEN FILE \"" + file->SourcePath + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
            return false;
        }
        current_ = file;
        fileLeft_ = static_cast<uint64_t>(file->Size);
        padLeft_ = static_cast<uint64_t>(file->Blocks) * kBlockSize - fileLeft_;
        return true;
    }
    current_ = nullptr;
    filesDone_ = true;
    return true;
}

int64_t IsoImageStream::Read(uint8_t* buffer, size_t capacity) {
    if (!error_.empty()) return -1;
    size_t filled = 0;
    const std::vector<uint8_t>& head = image_.Head();
    while (filled < capacity && position_ < totalBytes_) {
        size_t room = static_cast<size_t>(std::min<uint64_t>(capacity - filled, totalBytes_ - position_));
        if (position_ < head.size()) {
            size_t count = std::min(room, static_cast<size_t>(head.size() - position_));
            std::memcpy(buffer + filled, head.data() + position_, count);
            filled += count;
            position_ += count;
            continue;
        }
        if (!current_ && !filesDone_ && !OpenNextFile()) return Fail(error_);
        if (current_ && fileLeft_ == 0 && padLeft_ == 0) {
            current_ = nullptr;
            source_.reset();
            continue;
        }
        if (current_ && fileLeft_ > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(room, fileLeft_));
            int64_t got = source_->Read(buffer + filled, want);
            if (got <= 0)
                return Fail(got < 0 ? "READ ERROR IN FILE \"" + current_->SourcePath + "\""
                                    : "FILE \"" + current_->SourcePath + "\" CHANGED SIZE AFTER LAYOUT");
            filled += static_cast<size_t>(got);
            position_ += static_cast<uint64_t>(got);
            fileLeft_ -= static_cast<uint64_t>(got);
            if (fileLeft_ == 0) {
                uint8_t probe;
                if (source_->Read(&probe, 1) != 0)
                    return Fail("FILE \"" + current_->SourcePath + "\" CHANGED SIZE AFTER LAYOUT");
            }
            continue;
        }
        // Zeros: the rest of a file's last block, or the post gap once the files are done.
        size_t count = current_ ? static_cast<size_t>(std::min<uint64_t>(room, padLeft_)) : room;
        std::memset(buffer + filled, 0, count);
        filled += count;
        position_ += count;
        if (current_) padLeft_ -= count;
    }
    return static_cast<int64_t>(filled);
}

namespace {

bool SeekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<int64_t>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

} // namespace

bool WriteIsoFile(const TIsoImage& image, const std::string& path, std::string& error,
                  const std::atomic<bool>* cancel, bool atSessionStart) {
    std::FILE* out = std::fopen(path.c_str(), atSessionStart ? "r+b" : "wb");
    if (!out) {
        error = "CAN'T CREATE FILE \"" + path + "\"";
        return false;
    }
    // Whole blocks go out per call; the runtime's own buffer would only add a copy.
    std::setvbuf(out, nullptr, _IONBF, 0);
    bool ok = !atSessionStart || SeekTo(out, static_cast<uint64_t>(image.SessionStart()) * kBlockSize);
    if (!ok) error = "CAN'T SEEK IN FILE \"" + path + "\"";
    IsoImageStream stream(image, true);
    std::vector<uint8_t> buffer(64 * 1024);
    while (ok) {
        if (cancel && cancel->load()) {
            error = "OPERATION ABORTED BY USER";
            ok = false;
            break;
        }
        int64_t got = stream.Read(buffer.data(), buffer.size());
        if (got < 0) {
            error = stream.Error();
            ok = false;
        } else if (got == 0) {
            break;
        } else if (std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out) != static_cast<size_t>(got)) {
            error = "WRITE ERROR IN FILE \"" + path + "\"";
            ok = false;
        }
    }
    if (std::fclose(out) != 0 && ok) {
        error = "WRITE ERROR IN FILE \"" + path + "\"";
        ok = false;
    }
    if (ok && stream.Position() != stream.TotalBytes()) {
        error = "INTERNAL ERROR 0004";
        ok = false;
    }
    return ok;
}

} // namespace disc
