#include "zip/WriteSinkWin.h"

#include "zip/ZipLibWin.h"

#include <windows.h>

#include <algorithm>

namespace zip {

TWinSinkFile::TWinSinkFile(std::string name, std::string stagingName, TDriveTypeText driveTypeText,
                           bool keepExisting)
    : name_(std::move(name)), stagingName_(std::move(stagingName)), driveTypeText_(std::move(driveTypeText)),
      stream_(std::make_unique<TLFNFileStream>(name_, keepExisting
                                                          ? gui::fmOpenReadWrite | gui::fmShareExclusive
                                                          : gui::fmCreate | gui::fmShareExclusive)) {}

gui::TStream& TWinSinkFile::Stream() {
    if (!stream_) Reopen();
    return *stream_;
}

int64_t TWinSinkFile::Position() {
    if (position_ < 0 || !stream_) position_ = Stream().Position();
    return position_;
}

void TWinSinkFile::Seek(int64_t position) {
    position_ = -1;
    position_ = Stream().Seek(position, gui::TSeekOrigin::soBeginning);
}

size_t TWinSinkFile::Write(const uint8_t* data, size_t count) {
    gui::TStream& stream = Stream();
    const int64_t before = Position();
    position_ = -1;
    const size_t written = stream.Write(data, count);
    position_ = before + static_cast<int64_t>(written);
    return written;
}

int64_t TWinSinkFile::Size() {
    return Stream().Size();
}

void TWinSinkFile::Close() {
    stream_.reset();
    position_ = -1;
}

void TWinSinkFile::Reopen() {
    position_ = -1;
    stream_ = std::make_unique<TLFNFileStream>(name_, gui::fmOpenReadWrite | gui::fmShareExclusive);
    position_ = stream_->Seek(0, gui::TSeekOrigin::soEnd);
}

bool TWinSinkFile::ReadBack(int64_t position, uint8_t* buffer, size_t count) {
    if (!FileExists(name_)) return false;
    TLFNFileStream in(name_, gui::fmOpenRead | gui::fmShareDenyNone);
    if (in.Seek(position, gui::TSeekOrigin::soBeginning) != position) return false;
    // A medium that answers short has not kept the data: zeros make the compare fail.
    const size_t got = in.Read(buffer, count);
    std::fill(buffer + got, buffer + count, uint8_t(0));
    return true;
}

std::unique_ptr<gui::TStream> TWinSinkFile::OpenStaging() {
    const uint16_t mode = FileExists(stagingName_) ? gui::fmOpenReadWrite | gui::fmShareExclusive
                                                   : gui::fmCreate | gui::fmShareExclusive;
    return std::make_unique<TLFNFileStream>(stagingName_, mode);
}

void TWinSinkFile::DeleteStaging() {
    DeleteFileA(stagingName_.c_str());
}

} // namespace zip
