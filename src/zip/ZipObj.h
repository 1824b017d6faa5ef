#pragma once
// The zip records as the library reads and writes them: the local file header, the central
// directory header and the end-of-central-directory record (PKWARE application note layouts,
// little-endian), the in-memory entry record TZipHeaderInfo, the end record TEndCentral, and
// TSortedZip, the list of entries in one of several orders.
//
// Names are held split into Directory (ending with "\") and Filename, as stored in the archive
// (no code page conversion on read). Writing turns them into the stored form: drive letters
// folded into folders when CompVolumes is on, "\" to "/", and ANSI to OEM when OEMConvert is
// on, through a replaceable converter so that portable code needs no Win32.

#include "gui/Persistent.h"
#include "gui/Stream.h"
#include "zip/ZipCntn.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zip {

// --- Signatures --------------------------------------------------------------------------

constexpr uint32_t StandardLocalSig = 0x04034b50;
constexpr uint32_t StandardCentralSig = 0x02014b50;
constexpr uint32_t StandardEndSig = 0x06054b50;

struct ZipSignatures {
    uint32_t local = StandardLocalSig;
    uint32_t central = StandardCentralSig;
    uint32_t end = StandardEndSig;
    uint8_t localBytes[4] = {0x50, 0x4B, 0x03, 0x04};
    uint8_t endFirstByte = 0x50;
};
const ZipSignatures& Signatures();
// A 0 keeps the standard value of that signature.
void SetZipSignatures(uint32_t local, uint32_t central, uint32_t end);

// --- Name conversion flags and the OEM seam ----------------------------------------------

bool OEMConvert();
bool CompVolumes();
void SetOEMConvert(bool on);
void SetCompVolumes(bool on);

// Sets both flags for a scope and puts the old values back at its end.
class ScopedNameFlags {
  public:
    ScopedNameFlags(bool oemConvert, bool compVolumes);
    ~ScopedNameFlags();
    ScopedNameFlags(const ScopedNameFlags&) = delete;
    ScopedNameFlags& operator=(const ScopedNameFlags&) = delete;

  private:
    bool oldOem_, oldCompVolumes_;
};

// ANSI <-> OEM code page conversion of names. A null converter is the identity (the portable
// default); the Windows program installs the system's conversion.
using TNameConverter = std::string (*)(std::string_view name);
struct NameConverters {
    TNameConverter ansiToOem = nullptr;
    TNameConverter oemToAnsi = nullptr;
};
NameConverters GetNameConverters();
void SetNameConverters(NameConverters converters);
std::string AnsiToOemName(std::string_view name);
std::string OemToAnsiName(std::string_view name);

class ScopedNameConverters {
  public:
    explicit ScopedNameConverters(NameConverters converters);
    ~ScopedNameConverters();
    ScopedNameConverters(const ScopedNameConverters&) = delete;
    ScopedNameConverters& operator=(const ScopedNameConverters&) = delete;

  private:
    NameConverters old_;
};

// --- Records -----------------------------------------------------------------------------

constexpr size_t LocalHeaderSize = 30;
constexpr size_t CentralHeaderSize = 46;
constexpr size_t EndCentralSize = 22;
constexpr size_t MaxCommentLength = 65535;
// End record plus the largest comment: how far from the end the end record can start.
constexpr size_t EndCentralSearchSize = EndCentralSize + MaxCommentLength;

// Opens the next volume of a spanned archive and answers its stream (nullptr: there is none).
using TNextVolumeFunc = std::function<gui::TStream*()>;

class TZipHeaderInfo : public gui::TPersistent {
  public:
    TZipHeaderInfo() { Clear(); }

    uint16_t VersionMadeBy;
    uint16_t VersionNeeded; // 10 marks OEM-coded names
    uint16_t GeneralPurposeFlag;
    uint16_t CompressionMethod;
    uint32_t LastModFileDateTime;
    uint32_t Crc32;
    uint32_t CompressedSize;
    uint32_t UncompressedSize;
    uint16_t FilenameLength; // always Directory + Filename
    uint16_t CentralExtraLength;
    uint16_t LocalExtraLength;
    uint16_t FileCommentLength;
    uint16_t DiskNumberStart;
    uint16_t InternalAttributes;
    uint32_t ExternalAttributes;
    uint32_t RelativeOffset;
    uint32_t CentralOffset; // where this entry's central record starts in the archive stream
    uint8_t ExtractMark;
    uint8_t TestState; // 0 not tested, 1 good, 2 failed
    uint8_t Selected;

    const std::string& Filename() const { return filename_; }
    const std::string& Directory() const { return directory_; }
    // The comment text once fetched; nullopt when none is held (FileCommentLength may still
    // count the comment in the archive).
    const std::optional<std::string>& FileComment() const { return fileComment_; }

    void Clear();
    void Assign(const gui::TPersistent& source) override;
    void AssignTo(gui::TPersistent& destination) const { destination.Assign(*this); }

    void SetFilename(std::string_view name);
    // A non-empty folder gets a trailing "\".
    void SetDirectory(std::string_view folder);
    // At most 65,535 bytes are kept; an empty text means no comment.
    void SetFileComment(std::string_view text);
    void ClearFileComment();

    bool HasComment() const { return FileCommentLength > 0; }
    bool IsEncrypted() const { return GeneralPurposeFlag & 1; }
    bool HasDataDescriptor() const { return GeneralPurposeFlag & 8; }
    uint32_t LocalSize() const { return LocalHeaderSize + FilenameLength + LocalExtraLength; }

    // The name as written into both headers.
    std::string StoredName() const;

    // Reads one central record at the stream's position. A record cut by the end of a volume
    // is completed from the next one when nextVolume is given (stream then refers to it). A
    // cut, garbage or overlong record answers false with the position restored.
    bool ReadCentral(gui::TStream*& stream, const TNextVolumeFunc& nextVolume = {});
    // Reads one local header and its name, leaving the stream before the local extra field.
    bool ReadLocal(gui::TStream& stream);

    void WriteCentral(gui::TStream& stream) const;
    void WriteLocal(gui::TStream& stream, uint32_t offset);
    void WriteLocalHere(gui::TStream& stream);

  private:
    void SetName(std::string_view storedName);
    void UpdateNameLength();

    std::string filename_;
    std::string directory_;
    std::optional<std::string> fileComment_;
};

class TEndCentral : public gui::TPersistent {
  public:
    TEndCentral() { Clear(); }

    uint32_t Signature;
    uint16_t ThisDisk;
    uint16_t StartDisk;
    uint16_t EntriesOnDisk;
    uint16_t TotalEntries;
    uint32_t CentralSize;
    uint32_t CentralOffset;
    uint16_t CommentLength;
    int64_t CommentPosition; // where the archive comment starts: stream size - CommentLength
    uint8_t Modified;        // an archive or entry comment was changed in memory

    const std::optional<std::string>& Comment() const { return comment_; }

    void Clear();
    void Assign(const gui::TPersistent& source) override;
    void AssignTo(gui::TPersistent& destination) const { destination.Assign(*this); }

    // At most 65,535 bytes are kept; an empty text means no comment.
    void SetComment(std::string_view text);
    bool HasComment() const { return CommentLength > 0; }
    uint32_t RecordSize() const { return EndCentralSize + CommentLength; }

    void Write(gui::TStream& stream) const;
    // Finds the end record in the last 65,557 bytes; the nearest to the end wins. A 0-byte
    // stream is an empty archive (true, defaults). The comment itself is not read.
    bool FindEndCentral(gui::TStream& stream);

  private:
    std::optional<std::string> comment_;
};

enum TZipSortMode : uint8_t {
    ByName,
    ByFileName,
    ByDirectoryName,
    ByDate,
    ByCompressedSize,
    ByUnCompressedSize,
    ByRate,
    ByNone
};

class TSortedZip : public cntn::TSortedObjectList {
  public:
    explicit TSortedZip(uint8_t duplicates);

    TZipSortMode SortMode = ByNone;

    TZipHeaderInfo* Entry(int index) const { return static_cast<TZipHeaderInfo*>(Get(index)); }
    int Compare(const void* key1, const void* key2) const override;
    // Only zip entries are accepted (a streamed list could name another registered class).
    int Add(cntn::TObject* item) override;
    void ReadItems(gui::TStream& stream) override;
};

// Registers TZipHeaderInfo with the container registry (idempotent).
void RegisterZipObjClasses();

} // namespace zip
