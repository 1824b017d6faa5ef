#include "ZipperSupport.h"

#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using unziptest::Native;

namespace ziptest {

namespace {

class TFileStream : public gui::TStream {
  public:
    TFileStream(std::FILE* file, int64_t* room, const bool* fails = nullptr)
        : file_(file), room_(room), fails_(fails) {}
    ~TFileStream() override { std::fclose(file_); }
    size_t Read(void* buffer, size_t count) override { return std::fread(buffer, 1, count, file_); }
    size_t Write(const void* buffer, size_t count) override {
        if (room_ != nullptr && *room_ >= 0) {
            if (static_cast<int64_t>(count) > *room_) {
                // As Win32 fails a write that does not fit: nothing written, ERROR_DISK_FULL.
                if (fails_ != nullptr && *fails_)
                    throw gui::EWriteError("Cannot write file. The disk is full.", 112);
                count = static_cast<size_t>(*room_);
            }
            *room_ -= static_cast<int64_t>(count);
        }
        return std::fwrite(buffer, 1, count, file_);
    }
    int64_t Seek(int64_t offset, gui::TSeekOrigin origin) override {
        const int whence = origin == gui::TSeekOrigin::soBeginning ? SEEK_SET
                           : origin == gui::TSeekOrigin::soCurrent ? SEEK_CUR
                                                                   : SEEK_END;
#ifdef _WIN32
        if (_fseeki64(file_, offset, whence) != 0) return -1;
        return _ftelli64(file_);
#else
        if (fseeko(file_, offset, whence) != 0) return -1;
        return ftello(file_);
#endif
    }
    void SetSize(int64_t size) override {
        std::fflush(file_);
#ifdef _WIN32
        if (_chsize_s(_fileno(file_), size) != 0) throw gui::EWriteError("Cannot truncate");
#else
        if (ftruncate(fileno(file_), size) != 0) throw gui::EWriteError("Cannot truncate");
#endif
    }

  private:
    std::FILE* file_;
    int64_t* room_;
    const bool* fails_;
};

std::unique_ptr<gui::TStream> Open(const std::string& name, const char* mode, int64_t* room = nullptr,
                                   const bool* fails = nullptr) {
    std::FILE* file = std::fopen(Native(name).c_str(), mode);
    return file ? std::make_unique<TFileStream>(file, room, fails) : nullptr;
}

// The sink's output as a real file; the disk's room counts its bytes and the staging file's.
class TStdSinkFile : public zip::TSinkFile {
  public:
    TStdSinkFile(std::string name, std::string staging, int64_t* room, const bool* fails)
        : name_(std::move(name)), staging_(std::move(staging)), room_(room), fails_(fails) {}
    const std::string& Name() const override { return name_; }
    int64_t Position() override { return Stream().Position(); }
    void Seek(int64_t position) override { Stream().SetPosition(position); }
    size_t Write(const uint8_t* data, size_t count) override { return Stream().Write(data, count); }
    int64_t Size() override { return Stream().Size(); }
    void Close() override { stream_.reset(); }
    void Reopen() override {
        stream_ = Open(name_, "r+b", room_, fails_);
        if (!stream_) throw gui::EFOpenError("Cannot open " + name_);
        stream_->Seek(0, gui::TSeekOrigin::soEnd);
    }
    bool ReadBack(int64_t position, uint8_t* buffer, size_t count) override {
        auto reader = Open(name_, "rb");
        if (!reader || reader->Seek(position, gui::TSeekOrigin::soBeginning) != position) return false;
        return reader->Read(buffer, count) == count;
    }
    std::string DriveType() override { return "Fixed"; }
    std::unique_ptr<gui::TStream> OpenStaging() override {
        auto stream = Open(staging_, "r+b", room_, fails_);
        return stream ? std::move(stream) : Open(staging_, "w+b", room_, fails_);
    }
    void DeleteStaging() override {
        std::error_code error;
        fs::remove(Native(staging_), error);
    }

    void Create(bool keepExisting) {
        stream_ = keepExisting ? Open(name_, "r+b", room_, fails_) : Open(name_, "w+b", room_, fails_);
        if (!stream_) throw gui::EFOpenError("Cannot create " + name_);
    }

  private:
    gui::TStream& Stream() {
        if (!stream_) Reopen();
        return *stream_;
    }

    std::string name_, staging_;
    int64_t* room_;
    const bool* fails_;
    std::unique_ptr<gui::TStream> stream_;
};

constexpr double kUnixEpochDays = 25569.0;

fs::file_time_type FileClockEpoch() {
    const auto fileNow = fs::file_time_type::clock::now();
    const auto systemNow = std::chrono::system_clock::now();
    return fileNow - std::chrono::duration_cast<fs::file_time_type::duration>(systemNow.time_since_epoch());
}

std::string Key(const std::string& name) {
    std::string key = Native(name);
    while (key.size() > 1 && (key.back() == '/' || key.back() == '\\'))
        key.pop_back();
    return key;
}

} // namespace

std::unique_ptr<gui::TStream> OpenFileStream(const std::string& name, const char* mode) {
    return Open(name, mode);
}

std::optional<zip::TSourceInfo> TStdZipperFiles::Info(const std::string& name) {
    std::error_code error;
    const fs::path path = Key(name);
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) return std::nullopt;
    zip::TSourceInfo info;
    const bool folder = fs::is_directory(status);
    info.size = folder ? 0 : static_cast<int64_t>(fs::file_size(path, error));
    const auto found = attributes.find(Key(name));
    info.attributes =
        found != attributes.end() ? found->second : (folder ? zip::kAttrDirectory : zip::kAttrArchive);
    if (folder) info.attributes |= zip::kAttrDirectory;
    if ((status.permissions() & fs::perms::owner_write) == fs::perms::none)
        info.attributes |= zip::kAttrReadOnly;
    const auto written = fs::last_write_time(path, error);
    info.writeTime = static_cast<uint64_t>(written.time_since_epoch().count());
    const auto since = written - FileClockEpoch();
    const int64_t seconds = std::chrono::round<std::chrono::seconds>(since).count();
    info.dosDateTime = zip::DateTimeToDosDateTime(kUnixEpochDays + static_cast<double>(seconds) / 86400.0);
    return info;
}

std::unique_ptr<gui::TStream> TStdZipperFiles::OpenSource(const std::string& name) {
    if (beforeOpenSource) beforeOpenSource(name);
    const auto locked = lockedSources.find(name);
    if (locked != lockedSources.end() && locked->second != 0) {
        if (locked->second > 0) --locked->second;
        return nullptr;
    }
    std::error_code error;
    if (!fs::is_regular_file(Native(name), error)) return nullptr;
    return Open(name, "rb");
}

void TStdZipperFiles::Search(const std::string& startPath, bool recurse, const std::string& mask,
                             const std::function<bool(const std::string& name, int64_t size)>& found) {
    const zip::SearchStart start = zip::SplitSearchStart(startPath);
    // Depth first, each folder answered before its contents, as the system's search walks.
    std::function<bool(const std::string&, size_t)> walk = [&](const std::string& folder, size_t part) {
        std::error_code error;
        std::vector<fs::directory_entry> items;
        for (const auto& item : fs::directory_iterator(Native(folder), error))
            items.push_back(item);
        std::sort(items.begin(), items.end());
        for (const auto& item : items) {
            const std::string leaf = item.path().filename().string();
            const bool isFolder = item.is_directory(error);
            const std::string path = folder + leaf;
            if (part < start.parts.size()) {
                if (isFolder && zip::IsMatch(start.parts[part], leaf) && !walk(path + "\\", part + 1))
                    return false;
                continue;
            }
            if (isFolder) {
                if (!recurse) continue;
                if (!found(path + "\\", 0) || !walk(path + "\\", part)) return false;
                continue;
            }
            const std::string matched = leaf.find('.') != std::string::npos ? leaf : leaf + ".";
            if (zip::IsMatch(mask, matched) && !found(path, static_cast<int64_t>(item.file_size(error))))
                return false;
        }
        return true;
    };
    walk(start.folder, 0);
}

std::unique_ptr<zip::TSinkFile> TStdZipperFiles::OpenOutput(const std::string& name, bool keepExisting,
                                                            const std::string& stagingName) {
    opened.push_back(Native(name));
    auto file = std::make_unique<TStdSinkFile>(name, stagingName, &outputRoom, &fullDiskFails);
    file->Create(keepExisting);
    return file;
}

std::unique_ptr<gui::TStream> TStdZipperFiles::CreateWorkFile(const std::string& name) {
    opened.push_back(Native(name));
    return Open(name, "w+b");
}

std::unique_ptr<gui::TStream> TStdZipperFiles::OpenReadWrite(const std::string& name) {
    return Open(name, "r+b");
}

bool TStdZipperFiles::DeleteFile(const std::string& name) {
    deleted.push_back(Native(name));
    std::error_code error;
    return fs::remove(Native(name), error);
}

bool TStdZipperFiles::RenameFile(const std::string& from, const std::string& to) {
    std::error_code error;
    fs::rename(Native(from), Native(to), error);
    return !error;
}

bool TStdZipperFiles::CopyFile(const std::string& from, const std::string& to) {
    std::error_code error;
    return fs::copy_file(Native(from), Native(to), fs::copy_options::overwrite_existing, error);
}

bool TStdZipperFiles::SetAttributes(const std::string& name, uint32_t value) {
    std::error_code error;
    if (!fs::exists(Native(name), error)) return false;
    attributes[Key(name)] = value;
    return true;
}

std::string TStdZipperFiles::ShortName(const std::string& path) {
    return path;
}

int64_t TStdZipperFiles::DiskFree(const std::string& root) {
    const auto found = diskFree.find(root);
    return found != diskFree.end() ? found->second : int64_t(1) << 40;
}

bool TStdZipperFiles::SetVolumeLabel(const std::string& root, const std::string& label) {
    labels[root] = label;
    return true;
}

uint32_t TStdZipperFiles::VolumeSerial(const std::string& root) {
    const auto found = serials.find(root);
    return found != serials.end() ? found->second : 0x1234ABCD;
}

std::vector<std::string> WorkFilesIn(const std::string& folder) {
    std::vector<std::string> left;
    std::error_code error;
    for (const auto& item : fs::recursive_directory_iterator(Native(folder), error)) {
        const std::string ext = item.path().extension().string();
        if (ext == ".zfi" || ext == ".~tm" || ext == ".~mz" || ext == ".tmp")
            left.push_back(item.path().string());
    }
    return left;
}

} // namespace ziptest
