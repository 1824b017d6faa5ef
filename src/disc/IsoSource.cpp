// The local files behind an image, through the C runtime so the code stays portable: the
// Windows runtime's find functions give the hidden attribute and 64-bit sizes with ANSI names,
// POSIX gives directory streams and stat.

#include "disc/IsoSource.h"

#include <ctime>

#include "disc/IsoRecords.h"

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace disc {

namespace {

gui::DateTime LocalDateTime(int64_t unixTime) {
    std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &t) != 0) return 0;
#else
    if (!localtime_r(&t, &local)) return 0;
#endif
    CivilTime civil;
    civil.year = local.tm_year + 1900;
    civil.month = local.tm_mon + 1;
    civil.day = local.tm_mday;
    civil.hour = local.tm_hour;
    civil.minute = local.tm_min;
    civil.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    gui::DateTime value = 0;
    DateTimeFromCivil(civil, value);
    return value;
}

class StdioSourceFile : public IsoSourceFile {
  public:
    explicit StdioSourceFile(std::FILE* file) : file_(file) {}
    ~StdioSourceFile() override { std::fclose(file_); }
    int64_t Read(uint8_t* buffer, size_t count) override {
        size_t got = std::fread(buffer, 1, count, file_);
        if (got < count && std::ferror(file_)) return -1;
        return static_cast<int64_t>(got);
    }

  private:
    std::FILE* file_;
};

class LocalFiles : public IsoSourceFiles {
  public:
    bool Stat(const std::string& path, IsoSourceItem& item) override {
#ifdef _WIN32
        struct __stat64 st;
        if (_stat64(path.c_str(), &st) != 0) return false;
        item.IsDir = (st.st_mode & _S_IFDIR) != 0;
#else
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return false;
        item.IsDir = S_ISDIR(st.st_mode);
#endif
        size_t slash = path.find_last_of("\\/");
        item.Name = slash == std::string::npos ? path : path.substr(slash + 1);
        item.Size = item.IsDir ? 0 : static_cast<int64_t>(st.st_size);
        item.Date = LocalDateTime(static_cast<int64_t>(st.st_mtime));
        item.Attributes = item.IsDir ? kAttrDirectory : 0;
#ifdef _WIN32
        // The find functions are the runtime's only way to the hidden bit.
        struct __finddata64_t found;
        intptr_t handle = _findfirst64(path.c_str(), &found);
        if (handle != -1) {
            if (found.attrib & _A_HIDDEN) item.Attributes |= kAttrHidden;
            _findclose(handle);
        }
#endif
        return true;
    }

    bool List(const std::string& folder, std::vector<IsoSourceItem>& items) override {
        items.clear();
#ifdef _WIN32
        struct __finddata64_t found;
        intptr_t handle = _findfirst64(JoinSourcePath(folder, "*").c_str(), &found);
        if (handle == -1) return false;
        do {
            std::string name = found.name;
            if (name == "." || name == "..") continue;
            IsoSourceItem item;
            item.Name = name;
            item.IsDir = (found.attrib & _A_SUBDIR) != 0;
            item.Size = item.IsDir ? 0 : found.size;
            item.Date = LocalDateTime(found.time_write);
            item.Attributes =
                (item.IsDir ? kAttrDirectory : 0) | ((found.attrib & _A_HIDDEN) ? kAttrHidden : 0);
            items.push_back(std::move(item));
        } while (_findnext64(handle, &found) == 0);
        _findclose(handle);
        return true;
#else
        DIR* dir = opendir(folder.c_str());
        if (!dir) return false;
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            IsoSourceItem item;
            if (Stat(JoinSourcePath(folder, name), item)) items.push_back(std::move(item));
        }
        closedir(dir);
        return true;
#endif
    }

    std::unique_ptr<IsoSourceFile> Open(const std::string& path) override {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) return nullptr;
        return std::make_unique<StdioSourceFile>(file);
    }
};

} // namespace

IsoSourceFiles& LocalSourceFiles() {
    static LocalFiles files;
    return files;
}

std::string JoinSourcePath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    char last = folder.back();
    if (last == '\\' || last == '/') return folder + name;
    char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
    return folder + separator + name;
}

} // namespace disc
