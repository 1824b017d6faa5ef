#pragma once
// The image of one new session: the tree of folders and files the application adds, its
// layout on the disc and the head (descriptors, path tables, directory records) built in
// memory. File data is not held here; IsoImageStream reads it from the sources at write time.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "disc/IsoSource.h"
#include "gui/Clock.h"

namespace disc {

using TDateTime = gui::DateTime;

struct TFEntry;

struct TDEntry {
    std::string ShortName;
    std::string LongName;
    std::u16string JolietName;
    std::string Path;     // "\" for the root, else "\A\B"
    int Index = 0;        // creation order
    int DirNumber = 1;    // position in the ISO path table
    int JolietNumber = 1; // position in the Joliet path table
    int Level = 1;
    TDEntry* Parent = nullptr; // the root is its own parent
    TFEntry* FirstFile = nullptr;
    TFEntry* LastFile = nullptr;
    std::vector<TDEntry*> Children;
    uint32_t IsoExtent = 0, IsoSize = 0;
    uint32_t JolietExtent = 0, JolietSize = 0;
    uint32_t Attributes = 0;

    // Names taken in this folder: short names (files and folders) and long names folded by
    // gui::UpperCaseI, the program's one case fold.
    std::unordered_set<std::string> ShortNames;
    std::unordered_map<std::string, unsigned> NextSuffix; // per colliding short name
    std::unordered_map<std::string, TFEntry*> FilesByName;
    std::unordered_map<std::string, TDEntry*> DirsByName;
};

struct TFEntry {
    std::string ShortName;
    std::string LongName;
    std::u16string JolietName;
    std::string SourcePath;
    TDateTime DateTime = 0;
    uint32_t Attributes = 0;
    int64_t Size = 0;
    uint32_t FirstBlock = 0;
    uint32_t Blocks = 0;
    TDEntry* Dir = nullptr;
    TFEntry* Next = nullptr;
    bool Imported = false; // its data stays where an earlier session put it
};

// Message kinds of OnDebugMessage.
enum : int { kMsgInfo = 0, kMsgProgress = 1, kMsgLimit = 3, kMsgError = 4 };

class TIsoImage {
  public:
    using DebugEvent = std::function<void(const std::string& message, int mType)>;
    using AddFileEvent =
        std::function<void(const std::string& fullPath, std::string& longFileName, std::string& shortFileName,
                           TDateTime& dateTime, uint32_t attr, int64_t fileSize, bool& skip)>;
    using AddDirEvent = std::function<void(std::string& longName, std::string& shortName, bool& skip)>;

    TIsoImage();
    TIsoImage(const TIsoImage&) = delete;
    TIsoImage& operator=(const TIsoImage&) = delete;

    // Descriptor fields and options.
    std::string IdVolume, IdSystem, IdVolumeSet, IdPublisher, IdPreparer, IdApplication;
    std::string FileCopyright, FileAbstract, FileBibliographic;
    TDateTime DateCreation = 0, DateModification = 0, DateEffective = 0, DateExpiration = 0;
    bool JolietFileSystem = true;
    bool ReplaceFile = false;
    bool WritePostGap = true;
    bool DvdMedia = false;   // data starts no earlier than 600 blocks into the session, else 150
    int16_t GmtOffset = 0;   // local zone in 15-minute units, set by ClearAll
    IsoSourceFiles* Sources; // the local files unless a test supplies others

    DebugEvent OnDebugMessage;
    AddFileEvent OnAddFile;
    AddDirEvent OnAddDir;

    bool ClearAll(int maxFiles, int maxDirs);
    TDEntry* Root() { return dirs_.front(); }
    TDEntry* FindDir(const std::string& path);
    TFEntry* FindFile(TDEntry* dir, const std::string& name);
    int GetFileCount() const { return static_cast<int>(files_.size()); }
    int GetDirCount() const { return static_cast<int>(dirs_.size()); }
    const std::vector<TFEntry*>& Files() const { return files_; }

    // Adds a folder path under ParentPath, each missing level created.
    TDEntry* CreateDir(const std::string& parentPath, const std::string& name);
    TFEntry* InsertFile(const std::string& sourceFile, const std::string& destPath);
    bool InsertDir(const std::string& sourceFolder, const std::string& destPath, bool recursive);

    // Entries of an earlier session; the walker of the import calls these.
    TDEntry* AddImportedDir(TDEntry* parent, const std::string& name, uint32_t attributes);
    TFEntry* AddImportedFile(TDEntry* dir, const std::string& name, uint32_t firstBlock, uint32_t size,
                             TDateTime date, uint32_t attributes);

    // Lays the session out from SessionStart; BuildImageHead then writes the head.
    void PrepareImage(uint32_t sessionStart);
    void BuildImageHead();
    const std::vector<uint8_t>& Head() const { return head_; }
    // The head's volume descriptors (primary to terminator). Every address in them is
    // absolute, so on overwritable media a copy at block 16 makes this session the one readers
    // and the next import find.
    std::vector<uint8_t> DescriptorSet() const;

    uint32_t SessionStart() const { return sessionStart_; }
    uint32_t FirstFileBlock() const { return firstFileBlock_; }
    uint32_t PaddingBlocks() const { return paddingBlocks_; }
    uint32_t TotalBlocks() const { return totalBlocks_; }
    // The session in blocks, at least 300 with WritePostGap.
    uint32_t GetTrackSize() const;
    // Blocks the session holds before any post-gap padding.
    uint32_t UnpaddedTrackSize() const { return totalBlocks_ - sessionStart_; }

    void Debug(const std::string& message, int mType) const {
        if (OnDebugMessage) OnDebugMessage(message, mType);
    }

  private:
    struct Record {
        TDEntry* dir;
        TFEntry* file;
    };
    struct Layout;

    TDEntry* NewDir(TDEntry* parent, const std::string& longName, const std::string& shortName);
    TFEntry* AddFile(TDEntry* dir, const std::string& longName, std::string shortName);
    std::string UniqueShortName(TDEntry* dir, const std::string& base, bool isFile) const;
    bool InsertFolderItems(const std::string& sourceFolder, TDEntry* dest, bool recursive, int depth);
    TFEntry* InsertSourceItem(const std::string& fullPath, const IsoSourceItem& item, TDEntry* dest);
    void SortDirectories();
    void SortRecords(TDEntry* dir, std::vector<Record>& iso, std::vector<Record>& joliet) const;
    TDateTime DirectoryDate() const;
    // The three parts of the head, written into head_ at their blocks.
    uint8_t* HeadBlock(uint32_t block);
    void PutDescriptor(uint8_t* p, bool joliet);
    void PutPathTables(const std::vector<TDEntry*>& order, uint32_t firstBlock, uint32_t blocks, bool joliet);
    void PutDirectory(TDEntry* dir, bool joliet);

    std::deque<TDEntry> dirStore_;
    std::deque<TFEntry> fileStore_;
    std::vector<TDEntry*> dirs_;    // creation order; [0] is the root
    std::vector<TDEntry*> isoDirs_; // path-table order of each tree
    std::vector<TDEntry*> jolietDirs_;
    std::vector<TFEntry*> files_;                                 // creation order = data order
    std::vector<std::vector<Record>> isoRecords_, jolietRecords_; // per directory, sorted
    int maxFiles_ = 65535, maxDirs_ = 8191;

    uint32_t sessionStart_ = 0;
    uint32_t isoPathBlock_ = 0, isoPathSize_ = 0, jolietPathBlock_ = 0, jolietPathSize_ = 0;
    uint32_t pathTableBlocks_ = 0, jolietPathTableBlocks_ = 0;
    uint32_t headEnd_ = 0, firstFileBlock_ = 0, paddingBlocks_ = 0, totalBlocks_ = 0;
    TDateTime buildTime_ = 0;
    std::vector<uint8_t> head_;
};

// The zone offset of this machine in 15-minute units.
int16_t LocalGmtOffset();

} // namespace disc
