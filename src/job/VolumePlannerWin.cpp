#include "job/VolumePlannerWin.h"

#include "gui/CompareText.h"
#include "gui/Exceptions.h"
#include "gui/FileText.h"
#include "job/DriveSpace.h"
#include "zip/SourcePrefetch.h"
#include "zip/ZipLibWin.h"
#include "zip/ZipperFilesWin.h"

#include <windows.h>

namespace job {

namespace {

class File {
  public:
    explicit File(HANDLE handle) : handle_(handle) {}
    ~File() {
        if (valid()) CloseHandle(handle_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

constexpr size_t kTestReadBytes = 1000;

HANDLE OpenShared(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool IsFolderPath(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DateTextOf(const WIN32_FILE_ATTRIBUTE_DATA& data, const core::LocaleFormat& locale) {
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time))
        return "Error: TimeFormat";
    core::DateParts parts;
    parts.year = time.wYear;
    parts.month = time.wMonth;
    parts.day = time.wDay;
    parts.hour = time.wHour;
    parts.minute = time.wMinute;
    parts.second = time.wSecond;
    try {
        return core::DateToStrFixed(core::EncodeDateTime(parts), locale);
    } catch (...) {
        return "Error: TimeFormat";
    }
}

} // namespace

bool WinPlannerFiles::IsSavedRegistryFile(const std::string& path) {
    if (!options_.DoIncludeReg || options_.WindowsFolder.empty()) return false;
    const std::string config = options_.WindowsFolder + "\\system32\\config\\";
    const std::string live[] = {config + "default",  config + "sam",
                                config + "security", config + "software",
                                config + "system",   options_.ApplicationDataPath + "ntuser.dat"};
    for (const std::string& candidate : live)
        if (gui::CompareTextI(candidate, path) == 0) {
            const DWORD copy = GetFileAttributesA(
                (options_.WindowsFolder + "\\repair\\regback\\" + NameOf(candidate)).c_str());
            return copy != INVALID_FILE_ATTRIBUTES;
        }
    return false;
}

WinPlannerFiles::WinPlannerFiles(PlannerFileOptions options, JobHost& host)
    : sources_(std::make_unique<zip::TWinZipperFileSystem>([](const std::string&) { return std::string(); })),
      options_(std::move(options)), host_(host) {}

bool WinPlannerFiles::CanZipFile(const std::string& path, ZipFileFacts& facts) {
    try {
        return CanZipFileChecked(path, facts);
    } catch (...) {
        // Whatever failed, the file is left out and the job goes on.
        host_.AddToLog("File skipped, maybe in use: " + path);
        facts.Skipped = true;
        return false;
    }
}

bool WinPlannerFiles::ReadAhead(const std::string& path, int64_t listedSize) {
    // A longer file is read at its turn, and the lines after it while it is zipped: a line read
    // far ahead of its test would be judged as it was, not as it is.
    if (listedSize > static_cast<int64_t>(zip::kPrefetchBytes)) return false;
    if (!reader_) reader_ = std::make_unique<zip::TSourcePrefetch>(*sources_, LargestVolumeSize, true);
    return reader_->Start(path);
}

// What the reader thread found, when it read the file ahead; else the file read now, leaving
// what is read ahead of the lines to come as it is. A file the reader could not open or read
// is tried again now, so one locked a moment ago is judged as it is at its test. False when
// the file could not be read.
bool WinPlannerFiles::ReadForTest(const std::string& path, std::optional<zip::TSourceInfo>& info,
                                  std::unique_ptr<gui::TStream>& source) {
    const auto opened = [&] {
        return info && (source || info->IsFolder() || info->size <= 0 || info->size > LargestVolumeSize);
    };
    if (reader_ && reader_->Take(path, info, source) && opened()) return true;
    info.reset();
    source.reset();
    try {
        // The test reads what it needs to know the file reads; the zipping reads on from there.
        // A deferred file is tested again on every call until it fits.
        const size_t got = zip::TSourcePrefetch::ReadNow(*sources_, LargestVolumeSize, path, kTestReadBytes,
                                                         false, info, source);
        // Nothing read of a file with bytes (emptied since its size was read) fails the test.
        if (got == 0) source.reset();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool WinPlannerFiles::TakeTested(const std::string& path, zip::TSourceInfo& info,
                                 std::unique_ptr<gui::TStream>& source) {
    if (testedPath_.empty() || testedPath_ != path) return false;
    info = testedInfo_;
    source = std::move(tested_);
    testedPath_.clear();
    return true;
}

void WinPlannerFiles::TestsDone() {
    tested_.reset();
    testedPath_.clear();
}

void WinPlannerFiles::DropReadAhead() {
    reader_.reset();
}

void WinPlannerFiles::DropOpened() {
    DropReadAhead();
    TestsDone();
}

// One look at the file serves the whole test: the lock probe, the date, the size and the read
// test; what it read is kept for the estimate and the zipping.
bool WinPlannerFiles::CanZipFileChecked(const std::string& path, ZipFileFacts& facts) {
    facts = ZipFileFacts{};
    TestsDone();
    if (NameOf(path).empty()) return true;
    std::optional<zip::TSourceInfo> info;
    std::unique_ptr<gui::TStream> source;
    const bool read = ReadForTest(path, info, source);
    // Nothing of an empty or too large file was read: it is opened for the lock probe alone.
    // Any other file passes only with bytes read.
    const bool probeOnly = info && (info->size <= 0 || info->size > LargestVolumeSize);
    const bool opened =
        read && info && !info->IsFolder() && (probeOnly ? File(OpenShared(path)).valid() : source != nullptr);
    if (!opened) {
        // A folder does not open as a file.
        if (IsFolderPath(path)) return true;
        // A live registry file is locked; the job saved a copy that is zipped under its name.
        if (IsSavedRegistryFile(path)) return true;
        host_.AddToJobLog("File skipped, while in use: " + path, true);
        facts.Skipped = true;
        return false;
    }
    std::string message;
    if (!CheckFileDate(path, info->writeTime, message)) {
        host_.AddToJobLog(message + path, true);
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    data.ftLastWriteTime = {static_cast<DWORD>(info->writeTime), static_cast<DWORD>(info->writeTime >> 32)};
    // A repaired date is read back for the list and the entry.
    const bool repaired = !message.empty();
    const bool dated = !repaired || GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    facts.DateText = dated ? DateTextOf(data, options_.Locale) : std::string("Error: TimeFormat");
    if (repaired && dated) {
        info->writeTime =
            uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
        info->dosDateTime = zip::DosDateTimeOf(data.ftLastWriteTime).value_or(info->dosDateTime);
    }
    facts.Size = info->size;
    testedPath_ = path;
    testedInfo_ = *info;
    tested_ = std::move(source);
    return true;
}

int64_t WinPlannerFiles::EstimateCompressed(const std::string& path, int64_t budget) {
    if (NameOf(path).empty()) return 0;
    // The tested file's first bytes (and its open file) serve the estimate too; it is left at
    // its start for the zipping.
    if (tested_ && testedPath_ == path) {
        gui::TStream& stream = *tested_;
        const BlockReader read = [&](int64_t offset, uint8_t* buffer, size_t wanted) -> size_t {
            try {
                if (stream.Seek(offset, gui::TSeekOrigin::soBeginning) != offset) return 0;
                return stream.ReadFully(buffer, wanted);
            } catch (const gui::EStreamError&) {
                return 0;
            }
        };
        const int64_t estimate = Estimate(testedInfo_.size, budget, read);
        if (stream.Seek(0, gui::TSeekOrigin::soBeginning) != 0) {
            // The zipping opens the file afresh.
            tested_.reset();
        }
        return estimate;
    }
    File file(OpenShared(path));
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size)) {
        host_.AddToJobLog("File skipped, unknow reason: " + path, true);
        return 0;
    }
    const BlockReader read = [&](int64_t offset, uint8_t* buffer, size_t wanted) -> size_t {
        LARGE_INTEGER at;
        at.QuadPart = offset;
        DWORD got = 0;
        if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
            !ReadFile(file.get(), buffer, static_cast<DWORD>(wanted), &got, nullptr))
            return 0;
        return got;
    };
    return Estimate(size.QuadPart, budget, read);
}

int64_t WinPlannerFiles::Estimate(int64_t size, int64_t budget, const BlockReader& read) {
    const int64_t estimate = EstimateCompressedSize(
        size, options_.ZipPackLevel, budget, read, [this] { return host_.Cancelled(); },
        [this](int percent) { host_.SetPassProgress(percent, 100); });
    host_.SetPassProgress(0, 100);
    return estimate;
}

bool WinPlannerFiles::FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinPlannerFiles::FolderExists(const std::string& path) {
    std::string folder = path;
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return IsFolderPath(folder);
}

int64_t WinPlannerFiles::MeasureDestFreeSpace() {
    return DestFreeSpaceOf(options_.DestPath);
}

int64_t WinPlannerFiles::DestFreeSpaceOf(const std::string& destPath) {
    return DriveFreeBytes(DriveOfPath(destPath.empty() ? options_.DestPath : destPath));
}

WinPlannerFiles::~WinPlannerFiles() {
    CatalogueComplete();
}

void WinPlannerFiles::CatalogueComplete() {
    if (csvFile_ != INVALID_HANDLE_VALUE) CloseHandle(csvFile_);
    csvFile_ = INVALID_HANDLE_VALUE;
}

// The list stays open for appending while the job runs: one open per line would cost more
// than the line. Each line is written through at once, so readers (and the zip component,
// which zips the list last) see every line.
void WinPlannerFiles::AppendCsvLine(const std::string& line) {
    const std::string text = line + "\r\n";
    DWORD put = 0;
    if (csvFile_ != INVALID_HANDLE_VALUE &&
        WriteFile(csvFile_, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
        put == text.size())
        return;
    if (csvFile_ != INVALID_HANDLE_VALUE) CloseHandle(csvFile_);
    csvFile_ = INVALID_HANDLE_VALUE;
    // A list that refused a line refuses the next: each try would cost the job a second.
    if (csvFailed_) return;
    if (!AppendLineToFile(line, options_.CsvFileName, host_)) {
        host_.AddToLog("The catalogue list could not be written: " + options_.CsvFileName);
        csvFailed_ = true;
        return;
    }
    csvFile_ = CreateFileA(options_.CsvFileName.c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
}

void WinPlannerFiles::RenameCsvVolume(const std::string& builtName, const std::string& landedName) {
    // The next line opens the list again.
    CatalogueComplete();
    if (!options_.CsvFileName.empty() && !RenameCatalogueLines(options_.CsvFileName, builtName, landedName))
        host_.AddToLog("The catalogue list could not be written: " + options_.CsvFileName);
}

bool AppendLineToFile(const std::string& line, const std::string& fileName, JobHost& host) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0) host.Wait(1'000);
        File file(CreateFileA(fileName.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) continue;
        const std::string text = line + "\r\n";
        DWORD put = 0;
        return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
               put == text.size();
    }
    return false;
}

bool DropCatalogueLines(const std::string& csvFileName, const std::string& zipName) {
    std::string text;
    if (!gui::ReadWholeFile(csvFileName, text))
        return GetFileAttributesA(csvFileName.c_str()) == INVALID_FILE_ATTRIBUTES;
    const std::string field = zipName + ",";
    size_t cut = text.size();
    while (cut > 0) {
        // The line that ends just before cut.
        size_t start = text.rfind('\n', cut >= 2 ? cut - 2 : 0);
        start = start == std::string::npos || cut < 2 ? 0 : start + 1;
        if (text.size() - start < field.size() ||
            gui::CompareTextI(text.substr(start, field.size()), field) != 0)
            break;
        cut = start;
    }
    if (cut == text.size()) return true;
    File file(CreateFileA(csvFileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(cut);
    return file.valid() && SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

bool RenameCatalogueLines(const std::string& csvFileName, const std::string& zipName,
                          const std::string& newName) {
    std::string text;
    if (!gui::ReadWholeFile(csvFileName, text))
        return GetFileAttributesA(csvFileName.c_str()) == INVALID_FILE_ATTRIBUTES;
    const std::string field = zipName + ",";
    std::string renamed;
    renamed.reserve(text.size() + 64);
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        if (end - start >= field.size() && gui::CompareTextI(text.substr(start, field.size()), field) == 0) {
            renamed += newName + ",";
            renamed.append(text, start + field.size(), end - start - field.size());
        } else {
            renamed.append(text, start, end - start);
        }
        start = end;
    }
    return renamed == text || gui::ReplaceFileContents(csvFileName, renamed);
}

} // namespace job
