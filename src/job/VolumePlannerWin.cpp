#include "job/VolumePlannerWin.h"

#include "gui/CompareText.h"
#include "gui/FileText.h"
#include "job/DriveSpace.h"

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

// One open serves the whole test: the lock probe, the date, the size and the read test.
bool WinPlannerFiles::CanZipFileChecked(const std::string& path, ZipFileFacts& facts) {
    facts = ZipFileFacts{};
    if (NameOf(path).empty()) return true;
    File file(OpenShared(path));
    if (!file.valid()) {
        // A folder does not open as a file.
        if (IsFolderPath(path)) return true;
        // A live registry file is locked; the job saved a copy that is zipped under its name.
        if (IsSavedRegistryFile(path)) return true;
        host_.AddToJobLog("File skipped, while in use: " + path, true);
        facts.Skipped = true;
        return false;
    }
    // Not GetFileInformationByHandle: it also asks the volume for its serial number.
    FILETIME lastWrite;
    LARGE_INTEGER fileSize;
    if (!GetFileTime(file.get(), nullptr, nullptr, &lastWrite) || !GetFileSizeEx(file.get(), &fileSize)) {
        host_.AddToJobLog("File skipped, while in use: " + path, true);
        facts.Skipped = true;
        return false;
    }
    const uint64_t written = uint64_t(lastWrite.dwHighDateTime) << 32 | lastWrite.dwLowDateTime;
    std::string message;
    if (!CheckFileDate(path, written, message)) {
        host_.AddToJobLog(message + path, true);
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    data.ftLastWriteTime = lastWrite;
    // A repaired date is read back for the list.
    const bool repaired = !message.empty();
    facts.DateText = !repaired || GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)
                         ? DateTextOf(data, options_.Locale)
                         : std::string("Error: TimeFormat");
    const int64_t size = fileSize.QuadPart;
    char head[1000];
    DWORD got = 0;
    if (!ReadFile(file.get(), head, sizeof head, &got, nullptr) || (got == 0 && size > 0)) {
        host_.AddToJobLog("File skipped, while in use: " + path, true);
        facts.Skipped = true;
        return false;
    }
    facts.Size = size;
    return true;
}

int64_t WinPlannerFiles::EstimateCompressed(const std::string& path, int64_t budget) {
    if (NameOf(path).empty()) return 0;
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
    const int64_t estimate = EstimateCompressedSize(
        size.QuadPart, options_.ZipPackLevel, budget, read, [this] { return host_.Cancelled(); },
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
