#pragma once
// The sink every archive byte passes through on its way to the output file.
//
// Archives are often written straight to removable or packet-written media, which can fail
// writes silently, misreport sizes and seek backwards badly. So output is collected in a
// 1 MiB buffer and written in whole megabytes; a mismatching read-back repeats the write
// with the area overwritten by fill patterns in between, up to 19 times; the file is closed
// and reopened at every 50,000,000 bytes (after a pause on removable media), carrying on
// where it stopped, which is not the end of an archive appended to in place; and with
// UseTempFile each entry is collected in a staging file where its local header is patched,
// so the archive itself is only ever appended to. A short write, or one failed as the disk is
// full, means the medium is full and ends the work at once: repeating it cannot help.
//
// The file itself is behind TSinkFile, so the logic is portable and a double can play a
// drive that misreports, fills up or corrupts data. Three fixed buffers, no allocation per
// write.

#include "gui/Exceptions.h"
#include "gui/Stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zip {

inline constexpr size_t kSinkBufferSize = 1048576;
inline constexpr int64_t kReopenEvery = 50000000;

class EDiscWriteError : public gui::Exception {
  public:
    using gui::Exception::Exception;
};
class EWrongFileSize : public gui::Exception {
  public:
    using gui::Exception::Exception;
};
class ENotEnoughRoom : public gui::Exception {
  public:
    using gui::Exception::Exception;
};

inline constexpr const char* kNoRoom = "Not enough room to write archive";

// Runs one write to the archive's output, its staging file or an entry's work file. Win32
// fails a write that does not fit (ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL) where a short count
// was expected: either way the medium is full, and the work ends with ENotEnoughRoom.
template <typename Write> auto NoRoomWhenFull(Write&& write) -> decltype(write()) {
    constexpr uint32_t kHandleDiskFull = 39, kDiskFull = 112;
    try {
        return write();
    } catch (const gui::EStreamError& error) {
        if (error.SystemError() == kDiskFull || error.SystemError() == kHandleDiskFull)
            throw ENotEnoughRoom(kNoRoom);
        throw;
    }
}

// Writes all count bytes to a stream or sink file, or ends the work with ENotEnoughRoom.
template <typename Target> void WriteOrNoRoom(Target& target, const uint8_t* data, size_t count) {
    if (NoRoomWhenFull([&] { return target.Write(data, count); }) < count) throw ENotEnoughRoom(kNoRoom);
}

class TSinkFile {
  public:
    virtual ~TSinkFile() = default;
    virtual const std::string& Name() const = 0;
    virtual int64_t Position() = 0;
    virtual void Seek(int64_t position) = 0;
    virtual size_t Write(const uint8_t* data, size_t count) = 0;
    virtual int64_t Size() = 0;
    virtual void Close() = 0;
    // Opens the output again for reading and writing, exclusively; the sink then seeks.
    virtual void Reopen() = 0;
    // Reads count bytes at position from the file as it now is on the medium; false when
    // the file cannot be read there.
    virtual bool ReadBack(int64_t position, uint8_t* buffer, size_t count) = 0;
    // The drive type text of the output's drive ("Fixed", "Removable", "CDROM", ...).
    virtual std::string DriveType() = 0;
    // The staging file: opened (created when missing) for reading and writing; deleted.
    virtual std::unique_ptr<gui::TStream> OpenStaging() = 0;
    virtual void DeleteStaging() = 0;
};

// The staging file of an output: its name without folder, with the extension ".tmp", in
// `tempFolder`, which is the component's GetTempZipPath() (TempPath when that folder exists,
// else the system's temporary folder).
std::string StagingFileName(const std::string& tempFolder, const std::string& outputName);

class TWriteSink {
  public:
    explicit TWriteSink(TSinkFile& file);

    bool UseTempFile = false;
    bool WriteVerify = false;
    std::function<void()> OnProcessMessages;
    // The pause before a removable or CD output is reopened.
    std::function<void(int seconds)> WaitSeconds;

    // The caller puts bytes here before WriteToSink / WriteAt.
    uint8_t* StagingBuffer() { return staging_.get(); }
    // A new output file: nothing waiting, no 50,000,000 mark reached.
    void Reset();
    int64_t WriteToSink(size_t count, bool flush);
    // Staging route: position 0-based in the staging file; count -1 finishes it. Memory
    // route: position 1-based within the waiting bytes.
    void WriteAt(int64_t count, int64_t position);
    void FlushWriteBuffer();
    size_t Waiting() const { return waiting_; }

  private:
    void Pump();
    void WriteBlock(int64_t at);
    void DrainStaging();
    void ReopenAt(int64_t position);

    TSinkFile& file_;
    std::unique_ptr<uint8_t[]> staging_, data_, compare_;
    size_t waiting_ = 0;
    int64_t mark_ = 0;
    std::unique_ptr<gui::TStream> stagingFile_;
};

} // namespace zip
