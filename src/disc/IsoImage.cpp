// The tree of an image: folders and files as the application adds them.
//
// Entries live in deques so their addresses stay fixed while tables point at them; each folder
// keeps hash sets of the names taken in it, because a backup of tens of thousands of files in
// one folder must not pay a walk of the folder for every file added. The ISO short name is
// made unique per folder at insertion, so the layout never has to resolve collisions.

#include "disc/IsoImage.h"

#include <ctime>

#include "disc/IsoNames.h"
#include "disc/IsoRecords.h"
#include "gui/CompareText.h"

namespace disc {

namespace {

constexpr size_t kMaxNewFileName = 109;
constexpr int64_t kMaxFileSize = 0xFFFFFFFFLL; // one extent per file

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

} // namespace

int16_t LocalGmtOffset() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    if (gmtime_s(&utc, &now) != 0) return 0;
#else
    if (!gmtime_r(&now, &utc)) return 0;
#endif
    utc.tm_isdst = -1; // read the UTC fields as local time; the difference is the offset
    std::time_t asLocal = std::mktime(&utc);
    if (asLocal == static_cast<std::time_t>(-1)) return 0;
    double seconds = std::difftime(now, asLocal);
    return static_cast<int16_t>(seconds / 900.0);
}

TIsoImage::TIsoImage() : Sources(&LocalSourceFiles()) {
    ClearAll(65535, 8191);
}

bool TIsoImage::ClearAll(int maxFiles, int maxDirs) {
    dirStore_.clear();
    fileStore_.clear();
    dirs_.clear();
    files_.clear();
    isoDirs_.clear();
    jolietDirs_.clear();
    isoRecords_.clear();
    jolietRecords_.clear();
    head_.clear();
    maxFiles_ = maxFiles < 0 ? 0 : maxFiles;
    maxDirs_ = maxDirs < 1 ? 1 : maxDirs;
    dirs_.reserve(static_cast<size_t>(maxDirs_));
    files_.reserve(static_cast<size_t>(maxFiles_));

    TDEntry& root = dirStore_.emplace_back();
    root.ShortName = "CD_ROOT";
    root.LongName = "CD Root Directory";
    root.JolietName = AnsiToUcs2(root.LongName);
    root.Path = "\\";
    root.Level = 1;
    root.Parent = &root;
    dirs_.push_back(&root);
    GmtOffset = LocalGmtOffset();
    sessionStart_ = firstFileBlock_ = totalBlocks_ = paddingBlocks_ = headEnd_ = 0;
    return true;
}

TDEntry* TIsoImage::FindDir(const std::string& path) {
    TDEntry* dir = Root();
    for (const std::string& part : SplitPath(path)) {
        auto it = dir->DirsByName.find(gui::UpperCaseI(part));
        if (it == dir->DirsByName.end()) return nullptr;
        dir = it->second;
    }
    return dir;
}

TFEntry* TIsoImage::FindFile(TDEntry* dir, const std::string& name) {
    if (!dir) return nullptr;
    auto it = dir->FilesByName.find(gui::UpperCaseI(name));
    return it == dir->FilesByName.end() ? nullptr : it->second;
}

std::string TIsoImage::UniqueShortName(TDEntry* dir, const std::string& base, bool isFile) const {
    if (!dir->ShortNames.count(base)) return base;
    // Backup volumes share long prefixes, so thousands of names can fold to one base; going on
    // from the last number given keeps that linear.
    unsigned& number = dir->NextSuffix[base];
    for (;;) {
        std::string candidate = NumberedShortName(base, ++number, isFile);
        if (!dir->ShortNames.count(candidate)) return candidate;
    }
}

TDEntry* TIsoImage::NewDir(TDEntry* parent, const std::string& longName, const std::string& shortName) {
    if (static_cast<int>(dirs_.size()) >= maxDirs_) {
        Debug("MAXIMUM DIRECTORIES CAN BE " + std::to_string(maxDirs_), kMsgLimit);
        return nullptr;
    }
    std::string name = MakeLongName(longName);
    if (name.size() > kJolietNameMax) {
        Debug("NAME TOO LONG FOR THE DISC \"" + name + "\"", kMsgError);
        return nullptr;
    }
    TDEntry& dir = dirStore_.emplace_back();
    dir.Index = static_cast<int>(dirs_.size());
    dir.LongName = name;
    dir.JolietName = AnsiToUcs2(name);
    dir.ShortName =
        UniqueShortName(parent, MakeShortName(shortName.empty() ? name : shortName, false), false);
    dir.Path = (parent == Root() ? "" : parent->Path) + "\\" + name;
    dir.Level = parent->Level + 1;
    dir.Parent = parent;
    parent->ShortNames.insert(dir.ShortName);
    parent->DirsByName[gui::UpperCaseI(name)] = &dir;
    parent->Children.push_back(&dir);
    dirs_.push_back(&dir);
    return &dir;
}

TDEntry* TIsoImage::CreateDir(const std::string& parentPath, const std::string& name) {
    std::vector<std::string> parts = SplitPath(parentPath);
    for (std::string& part : SplitPath(name))
        parts.push_back(std::move(part));
    if (parts.empty()) {
        Debug("INVALID DESTINATION PATH", kMsgError);
        return nullptr;
    }
    TDEntry* dir = Root();
    for (const std::string& part : parts) {
        auto it = dir->DirsByName.find(gui::UpperCaseI(part));
        if (it != dir->DirsByName.end()) {
            dir = it->second;
            continue;
        }
        dir = NewDir(dir, part, {});
        if (!dir) return nullptr;
    }
    return dir;
}

TFEntry* TIsoImage::AddFile(TDEntry* dir, const std::string& longName, std::string shortName) {
    std::string folded = gui::UpperCaseI(longName);
    if (ReplaceFile) {
        auto it = dir->FilesByName.find(folded);
        if (it != dir->FilesByName.end()) {
            // The new source's data must be written, whatever the old entry held.
            it->second->Imported = false;
            return it->second;
        }
    }
    if (static_cast<int>(files_.size()) >= maxFiles_) {
        Debug("MAXIMUM FILES CAN BE " + std::to_string(maxFiles_), kMsgLimit);
        return nullptr;
    }
    TFEntry& file = fileStore_.emplace_back();
    file.LongName = longName;
    file.JolietName = AnsiToUcs2(longName);
    file.ShortName =
        UniqueShortName(dir, MakeShortName(shortName.empty() ? longName : shortName, true), true);
    file.Dir = dir;
    dir->ShortNames.insert(file.ShortName);
    dir->FilesByName[folded] = &file;
    if (dir->LastFile)
        dir->LastFile->Next = &file;
    else
        dir->FirstFile = &file;
    dir->LastFile = &file;
    files_.push_back(&file);
    return &file;
}

TFEntry* TIsoImage::InsertSourceItem(const std::string& fullPath, const IsoSourceItem& item, TDEntry* dest) {
    std::string longName = item.Name;
    std::string shortName;
    TDateTime date = item.Date;
    bool skip = false;
    if (OnAddFile) OnAddFile(fullPath, longName, shortName, date, item.Attributes, item.Size, skip);
    if (skip) return nullptr;
    if (longName.size() > kMaxNewFileName) {
        Debug("FILE NAME TOO LONG \"" + fullPath + "\"", kMsgError);
        return nullptr;
    }
    if (item.Size > kMaxFileSize) {
        Debug("FILE TOO LARGE FOR THE DISC \"" + fullPath + "\"", kMsgError);
        return nullptr;
    }
    TFEntry* file = AddFile(dest, MakeLongName(longName), shortName);
    if (!file) return nullptr;
    file->SourcePath = fullPath;
    file->DateTime = date;
    file->Attributes = item.Attributes;
    file->Size = item.Size;
    return file;
}

TFEntry* TIsoImage::InsertFile(const std::string& sourceFile, const std::string& destPath) {
    TDEntry* dest = FindDir(destPath);
    if (!dest) {
        Debug("INVALID DESTINATION PATH", kMsgError);
        return nullptr;
    }
    IsoSourceItem item;
    if (!Sources->Stat(sourceFile, item) || item.IsDir) {
        Debug("CAN'T OPEN FILE \"" + sourceFile + "\"", kMsgError);
        return nullptr;
    }
    return InsertSourceItem(sourceFile, item, dest);
}

bool TIsoImage::InsertDir(const std::string& sourceFolder, const std::string& destPath, bool recursive) {
    TDEntry* dest = FindDir(destPath);
    if (!dest) {
        Debug("INVALID DESTINATION PATH", kMsgError);
        return false;
    }
    return InsertFolderItems(sourceFolder, dest, recursive, 1);
}

bool TIsoImage::InsertFolderItems(const std::string& sourceFolder, TDEntry* dest, bool recursive, int depth) {
    std::vector<IsoSourceItem> items;
    if (!Sources->List(sourceFolder, items)) {
        Debug("CAN'T READ FOLDER \"" + sourceFolder + "\"", kMsgError);
        return false;
    }
    bool ok = true;
    for (const IsoSourceItem& item : items) {
        std::string fullPath = JoinSourcePath(sourceFolder, item.Name);
        if (!item.IsDir) {
            InsertSourceItem(fullPath, item, dest);
            continue;
        }
        // A folder linked into itself would otherwise recurse until the limits stop it.
        if (!recursive || depth >= 64) continue;
        std::string longName = item.Name, shortName;
        bool skip = false;
        if (OnAddDir) OnAddDir(longName, shortName, skip);
        if (skip) continue;
        TDEntry* child = nullptr;
        auto it = dest->DirsByName.find(gui::UpperCaseI(longName));
        child = it != dest->DirsByName.end() ? it->second : NewDir(dest, longName, shortName);
        if (!child) {
            ok = false;
            continue;
        }
        child->Attributes = item.Attributes;
        ok = InsertFolderItems(fullPath, child, true, depth + 1) && ok;
    }
    return ok;
}

TDEntry* TIsoImage::AddImportedDir(TDEntry* parent, const std::string& name, uint32_t attributes) {
    auto it = parent->DirsByName.find(gui::UpperCaseI(name));
    if (it != parent->DirsByName.end()) return it->second;
    TDEntry* dir = NewDir(parent, name, {});
    if (dir) dir->Attributes = attributes | kAttrDirectory;
    return dir;
}

TFEntry* TIsoImage::AddImportedFile(TDEntry* dir, const std::string& name, uint32_t firstBlock, uint32_t size,
                                    TDateTime date, uint32_t attributes) {
    if (name.size() > kJolietNameMax) {
        Debug("NAME TOO LONG FOR THE DISC \"" + name + "\"", kMsgError);
        return nullptr;
    }
    // A name already present (a repeated import) keeps one entry, now pointing at the newer data.
    bool replace = ReplaceFile;
    ReplaceFile = true;
    TFEntry* file = AddFile(dir, MakeLongName(name), {});
    ReplaceFile = replace;
    if (!file) return nullptr;
    file->SourcePath.clear();
    file->Imported = true;
    file->FirstBlock = size ? firstBlock : 0;
    file->Size = size;
    file->DateTime = date;
    file->Attributes = attributes;
    return file;
}

} // namespace disc
