#include "UnZipperSupport.h"

#include "zip/ZipLib.h"

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace unziptest {

namespace {

class TStdFileStream : public gui::TStream {
  public:
    explicit TStdFileStream(std::FILE* file) : file_(file) {}
    ~TStdFileStream() override { std::fclose(file_); }
    size_t Read(void* buffer, size_t count) override { return std::fread(buffer, 1, count, file_); }
    size_t Write(const void* buffer, size_t count) override { return std::fwrite(buffer, 1, count, file_); }
    int64_t Seek(int64_t offset, gui::TSeekOrigin origin) override {
        const int whence = origin == gui::TSeekOrigin::soBeginning ? SEEK_SET
                           : origin == gui::TSeekOrigin::soCurrent ? SEEK_CUR
                                                                   : SEEK_END;
        if (std::fseek(file_, static_cast<long>(offset), whence) != 0) return -1;
        return std::ftell(file_);
    }
    void SetSize(int64_t) override {}

  private:
    std::FILE* file_;
};

// Seconds since 1970 of a day count from 1899-12-30.
constexpr double kUnixEpochDays = 25569.0;

// 1970-01-01 on the file clock (no clock_cast in every library this builds with).
fs::file_time_type FileClockEpoch() {
    const auto fileNow = fs::file_time_type::clock::now();
    const auto systemNow = std::chrono::system_clock::now();
    return fileNow - std::chrono::duration_cast<fs::file_time_type::duration>(systemNow.time_since_epoch());
}

} // namespace

std::string TStdFileSystem::SystemTempPath() {
    return std::filesystem::temp_directory_path().string() + "/";
}

std::string Native(const std::string& path) {
    std::string out = path;
#ifndef _WIN32
    for (char& c : out)
        if (c == '\\') c = '/';
#endif
    return out;
}

std::unique_ptr<gui::TStream> TStdFileSystem::OpenRead(const std::string& name) {
    std::error_code error;
    if (!fs::is_regular_file(Native(name), error)) return nullptr;
    std::FILE* file = std::fopen(Native(name).c_str(), "rb");
    return file ? std::make_unique<TStdFileStream>(file) : nullptr;
}

std::optional<gui::DateTime> TStdFileSystem::FileDate(const std::string& name) {
    std::error_code error;
    const auto time = fs::last_write_time(Native(name), error);
    if (error || !fs::is_regular_file(Native(name), error)) return std::nullopt;
    const auto since = time - FileClockEpoch();
    const int64_t seconds = std::chrono::round<std::chrono::seconds>(since).count();
    return kUnixEpochDays + static_cast<double>(seconds) / 86400.0;
}

bool TStdFileSystem::DirectoryExists(const std::string& folder) {
    std::error_code error;
    return fs::is_directory(Native(folder), error);
}

bool TStdFileSystem::ForceDirectories(const std::string& folder) {
    std::error_code error;
    fs::create_directories(Native(folder), error);
    return DirectoryExists(folder);
}

std::unique_ptr<gui::TStream> TStdFileSystem::CreateTemp(const std::string& target, std::string& tempName) {
    static std::mt19937 random(7);
    tempName = target + ".tmp" + std::to_string(random() % 100000);
    std::FILE* file = std::fopen(Native(tempName).c_str(), "w+b");
    return file ? std::make_unique<TStdFileStream>(file) : nullptr;
}

bool TStdFileSystem::Replace(const std::string& temp, const std::string& target, bool replaceReadOnly) {
    std::error_code error;
    const fs::path to = Native(target);
    if (fs::exists(to, error) &&
        (fs::status(to, error).permissions() & fs::perms::owner_write) == fs::perms::none) {
        if (!replaceReadOnly) return false;
        fs::permissions(to, fs::perms::owner_write, fs::perm_options::add, error);
    }
    fs::rename(Native(temp), to, error);
    return !error;
}

void TStdFileSystem::Delete(const std::string& name) {
    std::error_code error;
    fs::remove(Native(name), error);
}

void TStdFileSystem::SetDate(const std::string& name, uint32_t dosDateTime) {
    const auto date = zip::DosDateTimeToDateTime(dosDateTime);
    if (!date) return;
    const auto since = std::chrono::seconds(static_cast<int64_t>((*date - kUnixEpochDays) * 86400.0 + 0.5));
    std::error_code error;
    fs::last_write_time(Native(name), FileClockEpoch() + since, error);
}

void TStdFileSystem::SetAttributes(const std::string& name, uint32_t attributes) {
    std::error_code error;
    if (attributes & 1)
        fs::permissions(Native(name),
                        (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write),
                        fs::perm_options::remove, error);
}

} // namespace unziptest
