// Zip records: parsing and writing of the local, central and end records, and the sort
// orders of the entry list.
//
// Every record is read as one fixed block into a local buffer and decoded from there with
// explicit little-endian loads, so the layout is visible in one place per record and the host's
// byte order or struct packing never matters. Nothing read is trusted: a record that is cut,
// carries the wrong signature, or claims a name, extra field or comment running past the end
// of the stream is refused with the stream put back where it was, so a caller can scan or
// report without losing its place.
//
// Writers build each header in a local buffer and hand it to the stream in one call together
// with the name (and the comment), because archive output goes through a buffering sink where
// many small writes cost more than one. The comment length written is always the number of
// comment bytes written, whatever the record claimed before, so a directory can never lie.

#include "zip/ZipObj.h"
#include "zip/ZipErrors.h"
#include "zip/ZipLib.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zip {

namespace {

ZipSignatures signatures;
bool oemConvert = true;
bool compVolumes = false;
NameConverters converters;

inline uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// True when the first count bytes (1-4 of them at most compared) start the signature.
bool StartsSignature(const uint8_t* bytes, size_t count, uint32_t signature) {
    uint8_t sig[4];
    Put32(sig, signature);
    return std::memcmp(bytes, sig, std::min<size_t>(count, 4)) == 0;
}

// memcpy must not see the null data of an empty view.
inline uint8_t* Append(uint8_t* to, std::string_view bytes) {
    if (!bytes.empty()) std::memcpy(to, bytes.data(), bytes.size());
    return to + bytes.size();
}

std::string CutComment(std::string_view text) {
    return std::string(text.substr(0, MaxCommentLength));
}

uint16_t NameLengthField(const std::string& name) {
    if (name.size() > 0xFFFF)
        throw ERecordError("Name too long for a zip record (" + std::to_string(name.size()) +
                           " bytes): " + name.substr(0, 80) + "...");
    return static_cast<uint16_t>(name.size());
}

// Case-insensitive in the ASCII letters only, over a name held in two parts.
int CompareAsciiI(std::string_view a1, std::string_view a2, std::string_view b1, std::string_view b2) {
    const size_t lengthA = a1.size() + a2.size(), lengthB = b1.size() + b2.size();
    const size_t common = std::min(lengthA, lengthB);
    for (size_t i = 0; i < common; ++i) {
        uint8_t a = static_cast<uint8_t>(i < a1.size() ? a1[i] : a2[i - a1.size()]);
        uint8_t b = static_cast<uint8_t>(i < b1.size() ? b1[i] : b2[i - b1.size()]);
        if (a >= 'a' && a <= 'z') a -= 32;
        if (b >= 'a' && b <= 'z') b -= 32;
        if (a != b) return a < b ? -1 : 1;
    }
    return lengthA < lengthB ? -1 : lengthA > lengthB ? 1 : 0;
}

int RateOf(const TZipHeaderInfo& entry) {
    return entry.UncompressedSize == 0 ? 0 : Percent(entry.CompressedSize, entry.UncompressedSize);
}

double DateOf(const TZipHeaderInfo& entry) {
    return DosDateTimeToDateTime(entry.LastModFileDateTime).value_or(0.0);
}

} // namespace

// --- Signatures, flags, converters -------------------------------------------------------

const ZipSignatures& Signatures() {
    return signatures;
}

void SetZipSignatures(uint32_t local, uint32_t central, uint32_t end) {
    signatures.local = local ? local : StandardLocalSig;
    signatures.central = central ? central : StandardCentralSig;
    signatures.end = end ? end : StandardEndSig;
    Put32(signatures.localBytes, signatures.local);
    signatures.endFirstByte = static_cast<uint8_t>(signatures.end);
}

bool OEMConvert() {
    return oemConvert;
}
bool CompVolumes() {
    return compVolumes;
}
void SetOEMConvert(bool on) {
    oemConvert = on;
}
void SetCompVolumes(bool on) {
    compVolumes = on;
}

ScopedNameFlags::ScopedNameFlags(bool oem, bool volumes) : oldOem_(oemConvert), oldCompVolumes_(compVolumes) {
    oemConvert = oem;
    compVolumes = volumes;
}

ScopedNameFlags::~ScopedNameFlags() {
    oemConvert = oldOem_;
    compVolumes = oldCompVolumes_;
}

NameConverters GetNameConverters() {
    return converters;
}
void SetNameConverters(NameConverters newConverters) {
    converters = newConverters;
}

std::string AnsiToOemName(std::string_view name) {
    return converters.ansiToOem ? converters.ansiToOem(name) : std::string(name);
}

std::string OemToAnsiName(std::string_view name) {
    return converters.oemToAnsi ? converters.oemToAnsi(name) : std::string(name);
}

ScopedNameConverters::ScopedNameConverters(NameConverters newConverters) : old_(converters) {
    converters = newConverters;
}

ScopedNameConverters::~ScopedNameConverters() {
    converters = old_;
}

// --- TZipHeaderInfo ----------------------------------------------------------------------

void TZipHeaderInfo::Clear() {
    VersionMadeBy = 0x0B14;
    VersionNeeded = oemConvert ? 10 : 0;
    GeneralPurposeFlag = 0;
    CompressionMethod = 8;
    LastModFileDateTime = 0;
    Crc32 = 0xFFFFFFFF;
    CompressedSize = 0;
    UncompressedSize = 0;
    FilenameLength = 0;
    CentralExtraLength = 0;
    LocalExtraLength = 0;
    FileCommentLength = 0;
    DiskNumberStart = 0;
    InternalAttributes = 1;
    ExternalAttributes = 32;
    RelativeOffset = 0;
    CentralOffset = 0;
    ExtractMark = 0;
    TestState = 0;
    Selected = 0;
    filename_.clear();
    directory_.clear();
    fileComment_.reset();
}

void TZipHeaderInfo::Assign(const gui::TPersistent& source) {
    const auto* other = dynamic_cast<const TZipHeaderInfo*>(&source);
    if (!other) {
        gui::TPersistent::Assign(source);
        return;
    }
    if (other == this) return;
    VersionMadeBy = other->VersionMadeBy;
    VersionNeeded = other->VersionNeeded;
    GeneralPurposeFlag = other->GeneralPurposeFlag;
    CompressionMethod = other->CompressionMethod;
    LastModFileDateTime = other->LastModFileDateTime;
    Crc32 = other->Crc32;
    CompressedSize = other->CompressedSize;
    UncompressedSize = other->UncompressedSize;
    CentralExtraLength = other->CentralExtraLength;
    LocalExtraLength = other->LocalExtraLength;
    DiskNumberStart = other->DiskNumberStart;
    InternalAttributes = other->InternalAttributes;
    ExternalAttributes = other->ExternalAttributes;
    RelativeOffset = other->RelativeOffset;
    CentralOffset = other->CentralOffset;
    SetFilename(other->filename_);
    SetDirectory(other->directory_);
    // The comment state always follows the source, also when it has none.
    fileComment_ = other->fileComment_;
    FileCommentLength = other->FileCommentLength;
    ExtractMark = other->ExtractMark;
    TestState = other->TestState;
    Selected = other->Selected;
}

void TZipHeaderInfo::UpdateNameLength() {
    FilenameLength = static_cast<uint16_t>(std::min<size_t>(directory_.size() + filename_.size(), 0xFFFF));
}

void TZipHeaderInfo::SetFilename(std::string_view name) {
    filename_.assign(name);
    UpdateNameLength();
}

void TZipHeaderInfo::SetDirectory(std::string_view folder) {
    directory_.assign(folder);
    if (!directory_.empty() && directory_.back() != '\\') directory_ += '\\';
    UpdateNameLength();
}

void TZipHeaderInfo::SetFileComment(std::string_view text) {
    if (text.empty()) {
        ClearFileComment();
        return;
    }
    fileComment_ = CutComment(text);
    FileCommentLength = static_cast<uint16_t>(fileComment_->size());
}

void TZipHeaderInfo::ClearFileComment() {
    fileComment_.reset();
    FileCommentLength = 0;
}

// Directory = everything up to and including the last "\" or ":".
void TZipHeaderInfo::SetName(std::string_view storedName) {
    std::string name(storedName);
    SlashesToDos(name);
    const size_t split = name.find_last_of("\\:");
    if (split == std::string::npos) {
        directory_.clear();
        filename_ = std::move(name);
    } else {
        directory_ = name.substr(0, split + 1);
        filename_ = name.substr(split + 1);
    }
    UpdateNameLength();
}

std::string TZipHeaderInfo::StoredName() const {
    std::string folder = directory_;
    if (compVolumes) {
        if (folder.size() >= 2 && folder[0] == '\\' && folder[1] == '\\')
            folder.erase(0, 1);
        else if (folder.size() >= 2 && folder[1] == ':')
            folder = std::string("\\") + folder[0] + folder.substr(2);
    }
    std::string name = folder + filename_;
    SlashesToUnix(name);
    return oemConvert ? AnsiToOemName(name) : name;
}

bool TZipHeaderInfo::ReadCentral(gui::TStream*& stream, const TNextVolumeFunc& nextVolume) {
    gui::TStream* source = stream;
    const int64_t start = source->Position();
    int64_t restoreTo = start;
    uint8_t h[CentralHeaderSize];
    size_t got = source->ReadFully(h, CentralHeaderSize);
    if (got < CentralHeaderSize && nextVolume && (got == 0 || StartsSignature(h, got, signatures.central))) {
        if (gui::TStream* next = nextVolume()) {
            stream = source = next;
            restoreTo = source->Position();
            got += source->ReadFully(h + got, CentralHeaderSize - got);
        }
    }
    auto refuse = [&] {
        source->SetPosition(restoreTo);
        return false;
    };
    if (got < CentralHeaderSize || Get32(h) != signatures.central) return refuse();

    const uint16_t nameLength = Get16(h + 28);
    const uint16_t extraLength = Get16(h + 30);
    const uint16_t commentLength = Get16(h + 32);
    std::string name(nameLength, '\0');
    if (source->ReadFully(name.data(), nameLength) < nameLength) return refuse();
    const int64_t afterName = source->Position();
    if (afterName + extraLength + commentLength > source->Size()) return refuse();
    if (extraLength + commentLength > 0)
        source->Seek(extraLength + commentLength, gui::TSeekOrigin::soCurrent);

    VersionMadeBy = Get16(h + 4);
    VersionNeeded = Get16(h + 6);
    GeneralPurposeFlag = Get16(h + 8);
    CompressionMethod = Get16(h + 10);
    LastModFileDateTime = FixDosDateTime(Get32(h + 12));
    Crc32 = Get32(h + 16);
    CompressedSize = Get32(h + 20);
    UncompressedSize = Get32(h + 24);
    CentralExtraLength = extraLength;
    FileCommentLength = commentLength;
    DiskNumberStart = Get16(h + 34);
    InternalAttributes = Get16(h + 36);
    ExternalAttributes = Get32(h + 38);
    RelativeOffset = Get32(h + 42);
    CentralOffset = static_cast<uint32_t>(start);
    SetName(name);
    fileComment_.reset();
    ExtractMark = 0;
    Selected = 0;
    return true;
}

bool TZipHeaderInfo::ReadLocal(gui::TStream& stream) {
    const int64_t start = stream.Position();
    uint8_t h[LocalHeaderSize];
    if (stream.ReadFully(h, LocalHeaderSize) < LocalHeaderSize || Get32(h) != signatures.local) {
        stream.SetPosition(start);
        return false;
    }
    const uint16_t nameLength = Get16(h + 26);
    std::string name(nameLength, '\0');
    if (stream.ReadFully(name.data(), nameLength) < nameLength) {
        stream.SetPosition(start);
        return false;
    }
    VersionNeeded = Get16(h + 4);
    GeneralPurposeFlag = Get16(h + 6);
    CompressionMethod = Get16(h + 8);
    LastModFileDateTime = FixDosDateTime(Get32(h + 10));
    Crc32 = Get32(h + 14);
    CompressedSize = Get32(h + 18);
    UncompressedSize = Get32(h + 22);
    LocalExtraLength = Get16(h + 28);
    SetName(name);
    VersionMadeBy = 0;
    FileCommentLength = 0;
    DiskNumberStart = 0;
    InternalAttributes = 0;
    ExternalAttributes = 0;
    CentralOffset = 0;
    RelativeOffset = static_cast<uint32_t>(start);
    return true;
}

void TZipHeaderInfo::WriteCentral(gui::TStream& stream) const {
    const std::string name = StoredName();
    const uint16_t nameLength = NameLengthField(name);
    const std::string_view comment = fileComment_ ? std::string_view(*fileComment_) : std::string_view();
    std::vector<uint8_t> record(CentralHeaderSize + name.size() + comment.size());
    uint8_t* h = record.data();
    Put32(h, signatures.central);
    Put16(h + 4, VersionMadeBy);
    Put16(h + 6, VersionNeeded);
    Put16(h + 8, GeneralPurposeFlag);
    Put16(h + 10, CompressionMethod);
    Put32(h + 12, LastModFileDateTime);
    Put32(h + 16, Crc32);
    Put32(h + 20, CompressedSize);
    Put32(h + 24, UncompressedSize);
    Put16(h + 28, nameLength);
    Put16(h + 30, 0);
    Put16(h + 32, static_cast<uint16_t>(comment.size()));
    Put16(h + 34, DiskNumberStart);
    Put16(h + 36, InternalAttributes);
    Put32(h + 38, ExternalAttributes);
    Put32(h + 42, RelativeOffset);
    Append(Append(h + CentralHeaderSize, name), comment);
    stream.WriteBuffer(record.data(), record.size());
}

void TZipHeaderInfo::WriteLocal(gui::TStream& stream, uint32_t offset) {
    RelativeOffset = offset;
    const std::string name = StoredName();
    const uint16_t nameLength = NameLengthField(name);
    std::vector<uint8_t> record(LocalHeaderSize + name.size());
    uint8_t* h = record.data();
    Put32(h, signatures.local);
    Put16(h + 4, VersionNeeded);
    Put16(h + 6, GeneralPurposeFlag);
    Put16(h + 8, CompressionMethod);
    Put32(h + 10, LastModFileDateTime);
    Put32(h + 14, Crc32);
    Put32(h + 18, CompressedSize);
    Put32(h + 22, UncompressedSize);
    Put16(h + 26, nameLength);
    Put16(h + 28, 0);
    Append(h + LocalHeaderSize, name);
    stream.WriteBuffer(record.data(), record.size());
}

void TZipHeaderInfo::WriteLocalHere(gui::TStream& stream) {
    WriteLocal(stream, static_cast<uint32_t>(stream.Position()));
}

// --- TEndCentral -------------------------------------------------------------------------

void TEndCentral::Clear() {
    Signature = signatures.end;
    ThisDisk = StartDisk = EntriesOnDisk = TotalEntries = 0;
    CentralSize = CentralOffset = 0;
    CommentLength = 0;
    CommentPosition = 0;
    Modified = 0;
    comment_.reset();
}

void TEndCentral::Assign(const gui::TPersistent& source) {
    const auto* other = dynamic_cast<const TEndCentral*>(&source);
    if (!other) {
        gui::TPersistent::Assign(source);
        return;
    }
    Signature = other->Signature;
    ThisDisk = other->ThisDisk;
    StartDisk = other->StartDisk;
    EntriesOnDisk = other->EntriesOnDisk;
    TotalEntries = other->TotalEntries;
    CentralSize = other->CentralSize;
    CentralOffset = other->CentralOffset;
    CommentLength = other->CommentLength;
    CommentPosition = other->CommentPosition;
    Modified = other->Modified;
    comment_ = other->comment_;
}

void TEndCentral::SetComment(std::string_view text) {
    if (text.empty()) {
        comment_.reset();
        CommentLength = 0;
        return;
    }
    comment_ = CutComment(text);
    CommentLength = static_cast<uint16_t>(comment_->size());
}

void TEndCentral::Write(gui::TStream& stream) const {
    const std::string_view comment = comment_ ? std::string_view(*comment_) : std::string_view();
    std::vector<uint8_t> record(EndCentralSize + comment.size());
    uint8_t* h = record.data();
    Put32(h, Signature);
    Put16(h + 4, ThisDisk);
    Put16(h + 6, StartDisk);
    Put16(h + 8, EntriesOnDisk);
    Put16(h + 10, TotalEntries);
    Put32(h + 12, CentralSize);
    Put32(h + 16, CentralOffset);
    Put16(h + 20, static_cast<uint16_t>(comment.size()));
    Append(h + EndCentralSize, comment);
    stream.WriteBuffer(record.data(), record.size());
}

bool TEndCentral::FindEndCentral(gui::TStream& stream) {
    Clear();
    const int64_t size = stream.Size();
    if (size == 0) return true;
    if (size < static_cast<int64_t>(EndCentralSize)) return false;
    const size_t n = static_cast<size_t>(std::min<int64_t>(size, EndCentralSearchSize));
    std::vector<uint8_t> tail(n);
    stream.SetPosition(size - static_cast<int64_t>(n));
    if (stream.ReadFully(tail.data(), n) < n) return false;
    for (size_t i = n - EndCentralSize + 1; i-- > 0;) {
        const uint8_t* p = tail.data() + i;
        if (*p != signatures.endFirstByte || Get32(p) != signatures.end) continue;
        ThisDisk = Get16(p + 4);
        StartDisk = Get16(p + 6);
        EntriesOnDisk = Get16(p + 8);
        TotalEntries = Get16(p + 10);
        CentralSize = Get32(p + 12);
        CentralOffset = Get32(p + 16);
        CommentLength = Get16(p + 20);
        CommentPosition = size - CommentLength;
        return true;
    }
    return false;
}

// --- TSortedZip --------------------------------------------------------------------------

TSortedZip::TSortedZip(uint8_t duplicates) : cntn::TSortedObjectList(duplicates) {}

int TSortedZip::Compare(const void* key1, const void* key2) const {
    const auto& e1 = *static_cast<const TZipHeaderInfo*>(key1);
    const auto& e2 = *static_cast<const TZipHeaderInfo*>(key2);
    switch (SortMode) {
    case ByName:
        return CompareAsciiI(e1.Directory(), e1.Filename(), e2.Directory(), e2.Filename());
    case ByFileName:
        return CompareAsciiI(e1.Filename(), {}, e2.Filename(), {});
    case ByDirectoryName:
        return CompareAsciiI(e1.Directory(), {}, e2.Directory(), {});
    case ByDate:
        return DateOf(e2) > DateOf(e1) ? 1 : -1;
    case ByCompressedSize:
        return e2.CompressedSize > e1.CompressedSize ? 1 : -1;
    case ByUnCompressedSize:
        return e2.UncompressedSize > e1.UncompressedSize ? 1 : -1;
    case ByRate:
        return RateOf(e2) - RateOf(e1);
    case ByNone:
        if (e1.DiskNumberStart != e2.DiskNumberStart) return e1.DiskNumberStart < e2.DiskNumberStart ? -1 : 1;
        if (e1.RelativeOffset != e2.RelativeOffset) return e1.RelativeOffset < e2.RelativeOffset ? -1 : 1;
        return 0;
    }
    return -1;
}

int TSortedZip::Add(cntn::TObject* item) {
    if (!dynamic_cast<TZipHeaderInfo*>(item))
        throw EListError("Only zip entries go into a zip entry list, not " +
                         (item ? cntn::ClassNameOf(*item) : std::string("nil")));
    return cntn::TSortedObjectList::Add(item);
}

void TSortedZip::ReadItems(gui::TStream& stream) {
    RegisterZipObjClasses();
    cntn::TSortedObjectList::ReadItems(stream);
}

// --- Streaming of entries through the container registry ----------------------------------

namespace {

// The in-memory record, names unconverted: a central header with the name split in two, then
// what only memory holds.
void StoreEntry(const cntn::TObject& object, gui::TStream& stream) {
    const auto& e = static_cast<const TZipHeaderInfo&>(object);
    const std::string_view comment =
        e.FileComment() ? std::string_view(*e.FileComment()) : std::string_view();
    std::vector<uint8_t> b(56 + e.Directory().size() + e.Filename().size() + comment.size());
    uint8_t* p = b.data();
    Put16(p, e.VersionMadeBy);
    Put16(p + 2, e.VersionNeeded);
    Put16(p + 4, e.GeneralPurposeFlag);
    Put16(p + 6, e.CompressionMethod);
    Put32(p + 8, e.LastModFileDateTime);
    Put32(p + 12, e.Crc32);
    Put32(p + 16, e.CompressedSize);
    Put32(p + 20, e.UncompressedSize);
    Put16(p + 24, e.CentralExtraLength);
    Put16(p + 26, e.LocalExtraLength);
    Put16(p + 28, e.FileCommentLength);
    Put16(p + 30, e.DiskNumberStart);
    Put16(p + 32, e.InternalAttributes);
    Put32(p + 34, e.ExternalAttributes);
    Put32(p + 38, e.RelativeOffset);
    Put32(p + 42, e.CentralOffset);
    p[46] = e.ExtractMark;
    p[47] = e.TestState;
    p[48] = e.Selected;
    p[49] = e.FileComment() ? 1 : 0;
    Put16(p + 50, static_cast<uint16_t>(e.Directory().size()));
    Put16(p + 52, static_cast<uint16_t>(e.Filename().size()));
    Put16(p + 54, static_cast<uint16_t>(comment.size()));
    Append(Append(Append(p + 56, e.Directory()), e.Filename()), comment);
    stream.WriteBuffer(b.data(), b.size());
}

void LoadEntry(cntn::TObject& object, gui::TStream& stream) {
    auto& e = static_cast<TZipHeaderInfo&>(object);
    uint8_t p[56];
    stream.ReadBuffer(p, sizeof p);
    e.VersionMadeBy = Get16(p);
    e.VersionNeeded = Get16(p + 2);
    e.GeneralPurposeFlag = Get16(p + 4);
    e.CompressionMethod = Get16(p + 6);
    e.LastModFileDateTime = Get32(p + 8);
    e.Crc32 = Get32(p + 12);
    e.CompressedSize = Get32(p + 16);
    e.UncompressedSize = Get32(p + 20);
    e.CentralExtraLength = Get16(p + 24);
    e.LocalExtraLength = Get16(p + 26);
    e.DiskNumberStart = Get16(p + 30);
    e.InternalAttributes = Get16(p + 32);
    e.ExternalAttributes = Get32(p + 34);
    e.RelativeOffset = Get32(p + 38);
    e.CentralOffset = Get32(p + 42);
    e.ExtractMark = p[46];
    e.TestState = p[47];
    e.Selected = p[48];
    std::string folder(Get16(p + 50), '\0'), name(Get16(p + 52), '\0'), comment(Get16(p + 54), '\0');
    stream.ReadBuffer(folder.data(), folder.size());
    stream.ReadBuffer(name.data(), name.size());
    stream.ReadBuffer(comment.data(), comment.size());
    e.SetDirectory(folder);
    e.SetFilename(name);
    if (p[49])
        e.SetFileComment(comment);
    else
        e.ClearFileComment();
    e.FileCommentLength = Get16(p + 28);
    if (p[49] && e.FileComment()) e.FileCommentLength = static_cast<uint16_t>(e.FileComment()->size());
}

} // namespace

void RegisterZipObjClasses() {
    if (!cntn::FindClass("TZipHeaderInfo"))
        cntn::RegisterClass<TZipHeaderInfo>("TZipHeaderInfo", LoadEntry, StoreEntry);
}

} // namespace zip
