#include "gui/IniFile.h"

#include "gui/FileText.h"

#include <windows.h>

namespace gui {

namespace {

struct FileStamp {
    bool exists = false;
    uint64_t size = 0;
    uint64_t time = 0;
};

FileStamp StampOf(const std::string& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &data)) return {};
    return {true, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
            (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime};
}

} // namespace

const IniDocument& TIniFile::Current() {
    const FileStamp stamp = StampOf(fileName_);
    if (loaded_ && stamp.exists && stamp.size == loadedSize_ && stamp.time == loadedTime_) return document_;
    std::string text;
    if (!stamp.exists || !ReadWholeFile(fileName_, text)) text.clear();
    document_ = IniDocument::Parse(text);
    loaded_ = stamp.exists;
    loadedSize_ = stamp.size;
    loadedTime_ = stamp.time;
    return document_;
}

bool TIniFile::Store(const IniDocument& changed) {
    if (!ReplaceFileContents(fileName_, changed.Serialize())) {
        loaded_ = false;
        return false;
    }
    document_ = changed;
    const FileStamp stamp = StampOf(fileName_);
    loaded_ = stamp.exists;
    loadedSize_ = stamp.size;
    loadedTime_ = stamp.time;
    return true;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) {
    std::string value;
    return Current().Find(section, key, value) ? value : defaultValue;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) {
    std::string value;
    return Current().Find(section, key, value);
}

bool TIniFile::SectionExists(const std::string& section) {
    return Current().SectionExists(section);
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) {
    return Current().Keys(section);
}

std::vector<std::string> TIniFile::ReadSectionValues(const std::string& section) {
    return Current().KeyValues(section);
}

bool TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    IniDocument changed = Current();
    return changed.Set(section, key, value) && Store(changed);
}

bool TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    IniDocument changed = Current();
    changed.DeleteKey(section, key);
    return Store(changed);
}

bool TIniFile::EraseSection(const std::string& section) {
    IniDocument changed = Current();
    changed.EraseSection(section);
    return Store(changed);
}

} // namespace gui
