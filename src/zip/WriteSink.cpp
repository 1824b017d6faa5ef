#include "zip/WriteSink.h"

#include <cstring>

namespace zip {

namespace {

const char* const kWrongFileSize =
    "Your disk operating system has reported a wrong file size. If you are using Prassi abCD it is due to a "
    "bug "
    "in this software. You can open the file \"Quillet.ini\" and change the line \"UseTempFile=0\" to "
    "\"UseTempFile=1\", the disadvantage by doing this is that you need about 600 Mb free disk space for "
    "temporary files.";

std::string DiscWriteErrorText(const std::string& name) {
    return "Disk write error. Data written to " + name.substr(0, 1) +
           ":, differs from source. If you are using direct access to a CD or DVD you could check Use temp "
           "file "
           "on the CD/DVD tab. You need to format the media before you use it again. Not all packet write "
           "programs can handle sequential writing to the media.";
}

constexpr int kMaxPasses = 20;

} // namespace

std::string StagingFileName(const std::string& tempFolder, const std::string& outputName) {
    std::string folder = tempFolder;
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    std::string name = outputName.substr(outputName.find_last_of("\\/:") + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return folder + name + ".tmp";
}

TWriteSink::TWriteSink(TSinkFile& file)
    : file_(file), staging_(new uint8_t[kSinkBufferSize]), data_(new uint8_t[kSinkBufferSize]),
      compare_(new uint8_t[kSinkBufferSize]) {}

void TWriteSink::Pump() {
    if (OnProcessMessages) OnProcessMessages();
}

void TWriteSink::Reset() {
    waiting_ = 0;
    mark_ = 0;
}

int64_t TWriteSink::WriteToSink(size_t count, bool flush) {
    if (UseTempFile) {
        if (!stagingFile_) stagingFile_ = file_.OpenStaging();
        stagingFile_->Seek(0, gui::TSeekOrigin::soEnd);
        WriteOrNoRoom(*stagingFile_, staging_.get(), count);
        waiting_ += count;
        if (flush) WriteAt(-1, 0);
        return static_cast<int64_t>(count);
    }
    const uint8_t* from = staging_.get();
    size_t left = count;
    while (left > 0) {
        const size_t n = left < kSinkBufferSize - waiting_ ? left : kSinkBufferSize - waiting_;
        std::memcpy(data_.get() + waiting_, from, n);
        waiting_ += n;
        from += n;
        left -= n;
        if (waiting_ == kSinkBufferSize) FlushWriteBuffer();
    }
    if (flush) FlushWriteBuffer();
    return static_cast<int64_t>(count);
}

void TWriteSink::WriteAt(int64_t count, int64_t position) {
    if (UseTempFile) {
        if (!stagingFile_) stagingFile_ = file_.OpenStaging();
        if (count > 0) {
            stagingFile_->Seek(position, gui::TSeekOrigin::soBeginning);
            WriteOrNoRoom(*stagingFile_, staging_.get(), static_cast<size_t>(count));
        }
        if (stagingFile_->Size() >= static_cast<int64_t>(kSinkBufferSize) || count < 0) DrainStaging();
        return;
    }
    if (position > static_cast<int64_t>(kSinkBufferSize) || position < 1)
        throw EWrongFileSize(kWrongFileSize);
    size_t at = static_cast<size_t>(position - 1);
    for (int64_t i = 0; i < count; ++i, ++at) {
        // A gap after the waiting bytes would leave garbage in the archive.
        if (at > waiting_) throw EWrongFileSize(kWrongFileSize);
        data_[at] = staging_[static_cast<size_t>(i)];
        if (at == waiting_) ++waiting_;
        if (waiting_ == kSinkBufferSize) {
            FlushWriteBuffer();
            at -= kSinkBufferSize;
        }
    }
}

void TWriteSink::DrainStaging() {
    stagingFile_->Seek(0, gui::TSeekOrigin::soBeginning);
    for (;;) {
        const size_t got = stagingFile_->Read(data_.get(), kSinkBufferSize);
        if (got == 0) break;
        waiting_ = got;
        FlushWriteBuffer();
    }
    waiting_ = 0;
    stagingFile_.reset();
    for (int i = 0; i < 3; ++i)
        Pump();
    file_.DeleteStaging();
    Pump();
}

void TWriteSink::WriteBlock(int64_t at) {
    const size_t n = waiting_;
    for (int pass = 1;; ++pass) {
        Pump();
        if (pass == kMaxPasses) throw EDiscWriteError(DiscWriteErrorText(file_.Name()));
        if (pass > 1) {
            file_.Seek(at);
            // Overwrite the area so that a medium that kept the old bytes cannot pass the check.
            const int fills = pass % 2 == 0 ? 3 : 2;
            for (int f = 0; f < fills; ++f) {
                std::memset(compare_.get(), f == 1 ? 0x00 : 0xFF, n);
                NoRoomWhenFull([&] { return file_.Write(compare_.get(), n); });
                file_.Seek(at);
                Pump();
            }
        }
        WriteOrNoRoom(file_, data_.get(), n);
        Pump();
        if (!WriteVerify) return;
        file_.Close();
        const std::string type = file_.DriveType();
        bool failed = false;
        if (type == "Fixed" || type == "Remote" || type == "RamDisk")
            failed =
                file_.ReadBack(at, compare_.get(), n) && std::memcmp(compare_.get(), data_.get(), n) != 0;
        ReopenAt(at + static_cast<int64_t>(n));
        Pump();
        if (!failed) return;
    }
}

void TWriteSink::FlushWriteBuffer() {
    if (waiting_ > 0) WriteBlock(file_.Position());
    waiting_ = 0;
    if (UseTempFile) return;
    const int64_t mark = file_.Size() / kReopenEvery;
    if (mark > mark_) {
        mark_ = mark;
        const int64_t position = file_.Position();
        file_.Close();
        const std::string& name = file_.Name();
        const std::string type = file_.DriveType();
        if (name.size() >= 2 && name[1] == ':' && (type == "CDROM" || type == "Removable") && WaitSeconds)
            WaitSeconds(10);
        ReopenAt(position);
    }
}

void TWriteSink::ReopenAt(int64_t position) {
    // Not at the end: an archive appended to in place still has its old directory behind
    // the bytes written so far.
    file_.Reopen();
    file_.Seek(position);
}

} // namespace zip
