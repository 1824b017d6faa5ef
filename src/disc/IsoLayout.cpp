// Layout and head of an image.
//
// A session is laid out from its start block: 16 blocks of system area, the primary volume
// descriptor, the Joliet supplementary descriptor, the terminator, the path tables (L then M,
// ISO then Joliet), the directory extents of the ISO tree and then of the Joliet tree, padding
// up to the first data block the medium wants (150 blocks into the session on CD, 600 on DVD),
// and the file data in the order the files were added. Every address written is absolute, so
// a later session's tree can point at files of an earlier one.
//
// Path tables must list directories by level, then by the number of the parent, then by
// identifier. Numbering level by level, with each parent's children sorted by name and the
// parents taken in their own numbered order, yields exactly that order in one pass; directory
// records are sorted within each folder by identifier (ISO: name then extension, blank-padded;
// Joliet: UCS-2 code units). The head is computed to its exact size first and written into one
// zeroed buffer, so building never reallocates.

#include <algorithm>
#include <cstring>

#include "disc/IsoImage.h"
#include "disc/IsoNames.h"
#include "disc/IsoRecords.h"

namespace disc {

namespace {

constexpr uint32_t kCdDataStart = 150;
constexpr uint32_t kDvdDataStart = 600;
constexpr uint32_t kPostGapBlocks = 300;

uint32_t BlocksFor(uint64_t bytes) {
    return static_cast<uint32_t>((bytes + kBlockSize - 1) / kBlockSize);
}

uint32_t RecordLength(size_t identifierLength) {
    return static_cast<uint32_t>(kRecordHeaderSize + identifierLength + (identifierLength % 2 == 0 ? 1 : 0));
}

uint32_t PathRecordLength(size_t identifierLength) {
    return static_cast<uint32_t>(8 + identifierLength + (identifierLength % 2));
}

size_t IsoIdentifierLength(const TDEntry* dir, const TFEntry* file) {
    return file ? file->ShortName.size() + 2 : dir->ShortName.size();
}

size_t JolietIdentifierLength(const TDEntry* dir, const TFEntry* file) {
    return 2 * (file ? file->JolietName.size() : dir->JolietName.size());
}

// Bytes a directory's records take, each record kept inside one block.
template <typename LengthOf, typename Records>
uint32_t ExtentSize(const Records& records, LengthOf lengthOf) {
    uint32_t blocks = 1, used = 2 * RecordLength(1);
    for (const auto& record : records) {
        uint32_t length = RecordLength(lengthOf(record.dir, record.file));
        if (used + length > kBlockSize) {
            ++blocks;
            used = 0;
        }
        used += length;
    }
    return blocks * kBlockSize;
}

void PutPadded(uint8_t* p, size_t field, const std::string& text, bool upper) {
    std::memset(p, ' ', field);
    for (size_t i = 0; i < text.size() && i < field; ++i) {
        char c = text[i];
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        p[i] = static_cast<uint8_t>(c);
    }
}

void PutPaddedUcs2(uint8_t* p, size_t field, const std::string& text) {
    std::u16string wide = AnsiToUcs2(text);
    for (size_t i = 0; i + 1 < field; i += 2)
        PutBe16(p + i, i / 2 < wide.size() ? wide[i / 2] : u' ');
}

struct RecordFields {
    uint32_t extent;
    uint32_t size;
    TDateTime date;
    uint8_t flags;
};

uint8_t* PutRecord(uint8_t* p, const RecordFields& fields, const uint8_t* identifier, size_t identifierLength,
                   int16_t gmtOffset) {
    uint32_t length = RecordLength(identifierLength);
    p[0] = static_cast<uint8_t>(length);
    PutBoth32(p + kDrExtent, fields.extent);
    PutBoth32(p + kDrDataLength, fields.size);
    PutRecordDate(p + kDrDate, fields.date, gmtOffset);
    p[kDrFlags] = fields.flags;
    PutBoth16(p + 28, 1);
    p[kDrNameLength] = static_cast<uint8_t>(identifierLength);
    std::memcpy(p + kRecordHeaderSize, identifier, identifierLength);
    return p + length;
}

} // namespace

uint32_t TIsoImage::GetTrackSize() const {
    uint32_t size = UnpaddedTrackSize();
    return WritePostGap && size < kPostGapBlocks ? kPostGapBlocks : size;
}

TDateTime TIsoImage::DirectoryDate() const {
    return DateCreation != 0 ? DateCreation : buildTime_;
}

void TIsoImage::SortDirectories() {
    auto number = [](std::vector<TDEntry*>& order, TDEntry* root, auto less, auto setNumber) {
        order.clear();
        order.push_back(root);
        setNumber(root, 1);
        std::vector<TDEntry*> children;
        for (size_t next = 0; next < order.size(); ++next) {
            children = order[next]->Children;
            std::stable_sort(children.begin(), children.end(), less);
            for (TDEntry* child : children) {
                order.push_back(child);
                setNumber(child, static_cast<int>(order.size()));
            }
        }
    };
    number(
        isoDirs_, Root(),
        [](TDEntry* a, TDEntry* b) { return CompareIsoNames(a->ShortName, b->ShortName) < 0; },
        [](TDEntry* d, int n) { d->DirNumber = n; });
    number(
        jolietDirs_, Root(),
        [](TDEntry* a, TDEntry* b) { return CompareJolietNames(a->JolietName, b->JolietName) < 0; },
        [](TDEntry* d, int n) { d->JolietNumber = n; });
}

void TIsoImage::SortRecords(TDEntry* dir, std::vector<Record>& iso, std::vector<Record>& joliet) const {
    iso.clear();
    for (TDEntry* child : dir->Children)
        iso.push_back({child, nullptr});
    for (TFEntry* file = dir->FirstFile; file; file = file->Next)
        iso.push_back({nullptr, file});
    joliet = iso;
    std::sort(iso.begin(), iso.end(), [](const Record& a, const Record& b) {
        const std::string& nameA = a.file ? a.file->ShortName : a.dir->ShortName;
        const std::string& nameB = b.file ? b.file->ShortName : b.dir->ShortName;
        return CompareIsoNames(nameA, nameB) < 0;
    });
    std::sort(joliet.begin(), joliet.end(), [](const Record& a, const Record& b) {
        const std::u16string& nameA = a.file ? a.file->JolietName : a.dir->JolietName;
        const std::u16string& nameB = b.file ? b.file->JolietName : b.dir->JolietName;
        return CompareJolietNames(nameA, nameB) < 0;
    });
}

void TIsoImage::PrepareImage(uint32_t sessionStart) {
    sessionStart_ = sessionStart;
    buildTime_ = gui::CurrentClock().Now();
    SortDirectories();
    isoRecords_.resize(dirs_.size());
    jolietRecords_.resize(dirs_.size());
    for (TDEntry* dir : dirs_)
        SortRecords(dir, isoRecords_[dir->Index], jolietRecords_[dir->Index]);

    uint32_t block = sessionStart + kSystemAreaBlocks + (JolietFileSystem ? 3 : 2);
    isoPathSize_ = 0;
    for (TDEntry* dir : isoDirs_)
        isoPathSize_ += PathRecordLength(dir == Root() ? 1 : dir->ShortName.size());
    pathTableBlocks_ = BlocksFor(isoPathSize_);
    isoPathBlock_ = block;
    block += 2 * pathTableBlocks_;
    jolietPathSize_ = 0;
    jolietPathTableBlocks_ = 0;
    if (JolietFileSystem) {
        for (TDEntry* dir : jolietDirs_)
            jolietPathSize_ += PathRecordLength(dir == Root() ? 1 : 2 * dir->JolietName.size());
        jolietPathTableBlocks_ = BlocksFor(jolietPathSize_);
        jolietPathBlock_ = block;
        block += 2 * jolietPathTableBlocks_;
    }
    for (TDEntry* dir : isoDirs_) {
        dir->IsoExtent = block;
        dir->IsoSize = ExtentSize(isoRecords_[dir->Index], IsoIdentifierLength);
        block += dir->IsoSize / kBlockSize;
    }
    if (JolietFileSystem) {
        for (TDEntry* dir : jolietDirs_) {
            dir->JolietExtent = block;
            dir->JolietSize = ExtentSize(jolietRecords_[dir->Index], JolietIdentifierLength);
            block += dir->JolietSize / kBlockSize;
        }
    }
    headEnd_ = block;
    firstFileBlock_ = std::max(headEnd_, sessionStart + (DvdMedia ? kDvdDataStart : kCdDataStart));
    paddingBlocks_ = firstFileBlock_ - headEnd_;
    block = firstFileBlock_;
    for (TFEntry* file : files_) {
        if (file->Imported) continue;
        file->Blocks = BlocksFor(static_cast<uint64_t>(file->Size));
        file->FirstBlock = file->Blocks ? block : 0;
        block += file->Blocks;
    }
    totalBlocks_ = block;
}

void TIsoImage::BuildImageHead() {
    head_.assign(static_cast<size_t>(firstFileBlock_ - sessionStart_) * kBlockSize, 0);
    uint32_t block = sessionStart_ + kSystemAreaBlocks;
    PutDescriptor(HeadBlock(block++), false);
    if (JolietFileSystem) PutDescriptor(HeadBlock(block++), true);
    uint8_t* terminator = HeadBlock(block);
    terminator[0] = 255;
    std::memcpy(terminator + 1, "CD001", 5);
    terminator[6] = 1;

    PutPathTables(isoDirs_, isoPathBlock_, pathTableBlocks_, false);
    if (JolietFileSystem) PutPathTables(jolietDirs_, jolietPathBlock_, jolietPathTableBlocks_, true);

    for (TDEntry* dir : isoDirs_)
        PutDirectory(dir, false);
    if (JolietFileSystem)
        for (TDEntry* dir : jolietDirs_)
            PutDirectory(dir, true);
}

uint8_t* TIsoImage::HeadBlock(uint32_t block) {
    return head_.data() + static_cast<size_t>(block - sessionStart_) * kBlockSize;
}

// The primary descriptor, or the Joliet supplementary one with its UCS-2 texts.
void TIsoImage::PutDescriptor(uint8_t* p, bool joliet) {
    const uint32_t volumeEnd = sessionStart_ + GetTrackSize();
    const TDateTime created = DateCreation != 0 ? DateCreation : buildTime_;
    const TDateTime modified = DateModification != 0 ? DateModification : created;
    p[0] = joliet ? 2 : 1;
    std::memcpy(p + 1, "CD001", 5);
    p[6] = 1;
    auto text = [&](size_t offset, size_t field, const std::string& value) {
        if (joliet)
            PutPaddedUcs2(p + offset, field, value);
        else
            PutPadded(p + offset, field, value, true);
    };
    text(kVdSystemId, kVdSystemIdLength, IdSystem);
    text(kVdVolumeId, kVdVolumeIdLength, IdVolume);
    PutBoth32(p + kVdVolumeSpaceSize, volumeEnd);
    if (joliet) std::memcpy(p + kVdEscapes, "%/@", 3);
    PutBoth16(p + kVdVolumeSetSize, 1);
    PutBoth16(p + kVdVolumeSequence, 1);
    PutBoth16(p + kVdLogicalBlockSize, static_cast<uint16_t>(kBlockSize));
    const uint32_t pathSize = joliet ? jolietPathSize_ : isoPathSize_;
    const uint32_t pathBlock = joliet ? jolietPathBlock_ : isoPathBlock_;
    const uint32_t pathBlocks = joliet ? jolietPathTableBlocks_ : pathTableBlocks_;
    PutBoth32(p + kVdPathTableSize, pathSize);
    PutLe32(p + kVdPathTableL, pathBlock);
    PutBe32(p + kVdPathTableM, pathBlock + pathBlocks);
    const uint8_t rootId = 0;
    TDEntry* root = Root();
    PutRecord(p + kVdRootRecord,
              {joliet ? root->JolietExtent : root->IsoExtent, joliet ? root->JolietSize : root->IsoSize,
               DirectoryDate(), kFlagDirectory},
              &rootId, 1, GmtOffset);
    text(kVdVolumeSetId, kVdLongIdLength, IdVolumeSet);
    text(kVdPublisherId, kVdLongIdLength, IdPublisher);
    text(kVdPreparerId, kVdLongIdLength, IdPreparer);
    text(kVdApplicationId, kVdLongIdLength, IdApplication);
    const size_t fileField = joliet ? kVdJolietFileIdLength : kVdFileIdLength;
    text(kVdCopyrightFile, fileField, FileCopyright);
    text(kVdAbstractFile, fileField, FileAbstract);
    text(kVdBibliographicFile, fileField, FileBibliographic);
    PutDescriptorDate(p + kVdCreated, created, GmtOffset);
    PutDescriptorDate(p + kVdModified, modified, GmtOffset);
    PutDescriptorDate(p + kVdExpires, 0, 0);
    PutDescriptorDate(p + kVdEffective, 0, 0);
    p[kVdFileStructureVersion] = 1;
}

// The little-endian path table and, after it, the big-endian one.
void TIsoImage::PutPathTables(const std::vector<TDEntry*>& order, uint32_t firstBlock, uint32_t blocks,
                              bool joliet) {
    uint8_t* little = HeadBlock(firstBlock);
    uint8_t* big = HeadBlock(firstBlock + blocks);
    for (TDEntry* dir : order) {
        uint8_t identifier[2 * kJolietNameMax + 2];
        size_t length = 1;
        identifier[0] = 0;
        if (dir != Root()) {
            if (joliet) {
                length = 2 * dir->JolietName.size();
                for (size_t i = 0; i < dir->JolietName.size(); ++i)
                    PutBe16(identifier + 2 * i, dir->JolietName[i]);
            } else {
                length = dir->ShortName.size();
                std::memcpy(identifier, dir->ShortName.data(), length);
            }
        }
        uint32_t extent = joliet ? dir->JolietExtent : dir->IsoExtent;
        uint16_t parent = static_cast<uint16_t>(joliet ? dir->Parent->JolietNumber : dir->Parent->DirNumber);
        for (uint8_t* p : {little, big}) {
            p[0] = static_cast<uint8_t>(length);
            p[1] = 0;
            std::memcpy(p + 8, identifier, length);
        }
        PutLe32(little + 2, extent);
        PutLe16(little + 6, parent);
        PutBe32(big + 2, extent);
        PutBe16(big + 6, parent);
        little += PathRecordLength(length);
        big += PathRecordLength(length);
    }
}

// One directory's extent: itself, its parent, then its records, none across a block end.
void TIsoImage::PutDirectory(TDEntry* dir, bool joliet) {
    const TDateTime dirDate = DirectoryDate();
    uint32_t extent = joliet ? dir->JolietExtent : dir->IsoExtent;
    uint32_t size = joliet ? dir->JolietSize : dir->IsoSize;
    uint8_t* start = HeadBlock(extent);
    uint8_t* p = start;
    const uint8_t self = 0, parentId = 1;
    TDEntry* parent = dir->Parent;
    p = PutRecord(p, {extent, size, dirDate, kFlagDirectory}, &self, 1, GmtOffset);
    p = PutRecord(p,
                  {joliet ? parent->JolietExtent : parent->IsoExtent,
                   joliet ? parent->JolietSize : parent->IsoSize, dirDate, kFlagDirectory},
                  &parentId, 1, GmtOffset);
    uint8_t identifier[2 * kJolietNameMax + 2];
    for (const Record& record : joliet ? jolietRecords_[dir->Index] : isoRecords_[dir->Index]) {
        size_t length;
        if (joliet) {
            const std::u16string& name = record.file ? record.file->JolietName : record.dir->JolietName;
            length = 2 * name.size();
            for (size_t i = 0; i < name.size(); ++i)
                PutBe16(identifier + 2 * i, name[i]);
        } else if (record.file) {
            length = record.file->ShortName.size() + 2;
            std::memcpy(identifier, record.file->ShortName.data(), length - 2);
            std::memcpy(identifier + length - 2, ";1", 2);
        } else {
            length = record.dir->ShortName.size();
            std::memcpy(identifier, record.dir->ShortName.data(), length);
        }
        size_t offset = static_cast<size_t>(p - start) % kBlockSize;
        if (offset + RecordLength(length) > kBlockSize) p += kBlockSize - offset;
        RecordFields fields;
        if (record.file) {
            bool hidden = (record.file->Attributes & kAttrHidden) != 0;
            fields = {record.file->FirstBlock, static_cast<uint32_t>(record.file->Size),
                      record.file->DateTime, static_cast<uint8_t>(hidden ? kFlagHidden : 0)};
        } else {
            bool hidden = (record.dir->Attributes & kAttrHidden) != 0;
            fields = {joliet ? record.dir->JolietExtent : record.dir->IsoExtent,
                      joliet ? record.dir->JolietSize : record.dir->IsoSize, dirDate,
                      static_cast<uint8_t>(kFlagDirectory | (hidden ? kFlagHidden : 0))};
        }
        p = PutRecord(p, fields, identifier, length, GmtOffset);
    }
}

std::vector<uint8_t> TIsoImage::DescriptorSet() const {
    size_t begin = static_cast<size_t>(kSystemAreaBlocks) * kBlockSize;
    size_t end = begin + (JolietFileSystem ? 3 : 2) * kBlockSize;
    if (head_.size() < end) return {};
    return std::vector<uint8_t>(head_.begin() + static_cast<std::ptrdiff_t>(begin),
                                head_.begin() + static_cast<std::ptrdiff_t>(end));
}

} // namespace disc
