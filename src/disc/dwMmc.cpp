// MMC command blocks and answer parsers.
//
// Builders set only the bytes their command needs; the allocation length in each block is
// what the device layer passes as the buffer length, so an honest drive cannot overrun the
// buffer and the transport rejects one that tries. Parsers get the bytes that arrived and
// check every length and offset against them before use: a short or absurd answer makes the
// parser return false, and the query above it gives its failure value.

#include "disc/dwMmc.h"

#include <cstring>

namespace disc {

uint16_t GetBe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t GetBe24(const uint8_t* p) {
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}
uint32_t GetBe32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
void PutBe16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}
void PutBe32(uint8_t* p, uint32_t value) {
    PutBe16(p, static_cast<uint16_t>(value >> 16));
    PutBe16(p + 2, static_cast<uint16_t>(value));
}

namespace cdb {
namespace {
Cdb Make(uint8_t opcode, uint8_t length) {
    Cdb block;
    block.bytes[0] = opcode;
    block.length = length;
    return block;
}
} // namespace

Cdb TestUnitReady() {
    return Make(0x00, 6);
}
Cdb Rezero() {
    return Make(0x01, 6);
}
Cdb RequestSense(uint8_t length) {
    Cdb block = Make(0x03, 6);
    block.bytes[4] = length;
    return block;
}
Cdb FormatUnit(uint8_t byte1) {
    Cdb block = Make(0x04, 6);
    block.bytes[1] = byte1;
    return block;
}
Cdb Inquiry(uint8_t length) {
    Cdb block = Make(0x12, 6);
    block.bytes[4] = length;
    return block;
}
Cdb StartStopUnit(bool eject) {
    Cdb block = Make(0x1B, 6);
    block.bytes[4] = eject ? 2 : 3;
    return block;
}
Cdb PreventAllowMediumRemoval(bool unlock) {
    Cdb block = Make(0x1E, 6);
    block.bytes[4] = unlock ? 0 : 1;
    return block;
}
Cdb ReadFormatCapacities(uint8_t length) {
    Cdb block = Make(0x23, 10);
    block.bytes[8] = length;
    return block;
}
Cdb ReadCapacity() {
    return Make(0x25, 10);
}
Cdb Read10(uint32_t lba, uint16_t blocks) {
    Cdb block = Make(0x28, 10);
    PutBe32(block.bytes + 2, lba);
    PutBe16(block.bytes + 7, blocks);
    return block;
}
Cdb Write10(uint32_t lba, uint16_t blocks) {
    Cdb block = Make(0x2A, 10);
    PutBe32(block.bytes + 2, lba);
    PutBe16(block.bytes + 7, blocks);
    return block;
}
Cdb SynchronizeCache(bool immed) {
    Cdb block = Make(0x35, 10);
    block.bytes[1] = immed ? 2 : 0;
    return block;
}
Cdb ReadToc(uint8_t format, bool msf, uint8_t track, uint8_t length, uint8_t control) {
    Cdb block = Make(0x43, 10);
    block.bytes[1] = msf ? 2 : 0;
    block.bytes[2] = format;
    block.bytes[6] = track;
    block.bytes[8] = length;
    block.bytes[9] = control;
    return block;
}
Cdb GetConfiguration(uint8_t rt, uint16_t feature, uint16_t length) {
    Cdb block = Make(0x46, 10);
    block.bytes[1] = rt;
    PutBe16(block.bytes + 2, feature);
    PutBe16(block.bytes + 7, length);
    return block;
}
Cdb ReadDiscInformation(uint16_t length) {
    Cdb block = Make(0x51, 10);
    PutBe16(block.bytes + 7, length);
    return block;
}
Cdb ReadTrackInformation(uint32_t track, uint16_t length) {
    Cdb block = Make(0x52, 10);
    block.bytes[1] = 1;
    PutBe32(block.bytes + 2, track);
    PutBe16(block.bytes + 7, length);
    return block;
}
Cdb ReserveTrack(uint32_t blocks) {
    Cdb block = Make(0x53, 10);
    PutBe32(block.bytes + 5, blocks);
    return block;
}
Cdb SendOpc() {
    Cdb block = Make(0x54, 10);
    block.bytes[1] = 1;
    return block;
}
Cdb ModeSelect10(uint16_t length) {
    Cdb block = Make(0x55, 10);
    block.bytes[1] = 0x10;
    PutBe16(block.bytes + 7, length);
    return block;
}
Cdb ModeSense10(uint8_t page, bool defaults, uint16_t length) {
    Cdb block = Make(0x5A, 10);
    block.bytes[2] = static_cast<uint8_t>((page & 0x3F) | (defaults ? 0x80 : 0));
    PutBe16(block.bytes + 7, length);
    return block;
}
Cdb CloseTrack(bool closeTrackFirst, bool immed, bool finalize) {
    Cdb block = Make(0x5B, 10);
    block.bytes[1] = immed ? 1 : 0;
    block.bytes[2] = finalize ? 5 : closeTrackFirst ? 1 : 2;
    if (closeTrackFirst) block.bytes[5] = 0xFF;
    return block;
}
Cdb CloseTrackSession(bool immed, uint8_t function, uint16_t track) {
    Cdb block = Make(0x5B, 10);
    block.bytes[1] = immed ? 1 : 0;
    block.bytes[2] = function;
    PutBe16(block.bytes + 4, track);
    return block;
}
Cdb ReadBufferCapacity() {
    Cdb block = Make(0x5C, 10);
    block.bytes[8] = 32;
    return block;
}
Cdb SendCueSheet(uint32_t length) {
    Cdb block = Make(0x5D, 10);
    block.bytes[6] = static_cast<uint8_t>(length >> 16);
    PutBe16(block.bytes + 7, static_cast<uint16_t>(length));
    return block;
}
Cdb Blank(uint8_t kind, bool immed) {
    Cdb block = Make(0xA1, 12);
    block.bytes[1] = static_cast<uint8_t>((kind & 7) | (immed ? 0x10 : 0));
    return block;
}
Cdb SetStreaming(uint16_t length) {
    Cdb block = Make(0xB6, 12);
    PutBe16(block.bytes + 9, length);
    return block;
}
Cdb SetCdSpeed(uint16_t readKBs, uint16_t writeKBs) {
    Cdb block = Make(0xBB, 12);
    PutBe16(block.bytes + 2, readKBs ? readKBs : 0xFFFF);
    PutBe16(block.bytes + 4, writeKBs ? writeKBs : 0xFFFF);
    return block;
}
Cdb SendDvdStructure(uint8_t format, uint16_t length) {
    Cdb block = Make(0xBF, 12);
    block.bytes[7] = format;
    PutBe16(block.bytes + 8, length);
    return block;
}
} // namespace cdb

bool ParseTrackInformation(const uint8_t* data, size_t size, TrackInformation& out) {
    out = TrackInformation{};
    if (size < 28) return false;
    const uint32_t dataLength = GetBe16(data);
    // The data length counts the bytes after itself; fewer than the track size is no answer.
    if (dataLength + 2 < 28) return false;
    const size_t usable = dataLength + 2 < size ? dataLength + 2 : size;
    out.DataLength = static_cast<uint16_t>(dataLength);
    out.TrackNumber = data[2] | (usable > 32 ? uint32_t(data[32]) << 8 : 0);
    out.SessionNumber = data[3] | (usable > 33 ? uint32_t(data[33]) << 8 : 0);
    out.TrackMode = data[5] & 0x0F;
    out.NwaValid = (data[7] & 1) != 0;
    out.LraValid = (data[7] & 2) != 0;
    out.TrackStart = GetBe32(data + 8);
    out.NextWritableAddress = GetBe32(data + 12);
    out.FreeBlocks = GetBe32(data + 16);
    out.FixedPacketSize = GetBe32(data + 20);
    out.TrackSize = GetBe32(data + 24);
    if (usable >= 32)
        out.LastRecordedAddress = GetBe32(data + 28);
    else
        out.LraValid = false;
    return true;
}

bool ParseDiscInformation(const uint8_t* data, size_t size, DiscInformation& out) {
    out = DiscInformation{};
    if (size < 12) return false;
    const uint32_t dataLength = GetBe16(data);
    if (dataLength + 2 < 12) return false;
    out.Status = data[2] & 3;
    out.LastSessionState = (data[2] >> 2) & 3;
    out.Erasable = (data[2] & 0x10) != 0;
    out.FirstTrack = data[3];
    out.Sessions = data[4];
    out.FirstTrackOfLastSession = data[5];
    out.LastTrackOfLastSession = data[6];
    if (size >= 24 && dataLength + 2 >= 24) {
        out.LastLeadInStart = GetBe32(data + 16);
        out.LastPossibleLeadOut = GetBe32(data + 20);
    }
    return true;
}

bool ParseReadCapacity(const uint8_t* data, size_t size, uint32_t& lastBlock, uint32_t& blockLength) {
    lastBlock = blockLength = 0;
    if (size < 8) return false;
    lastBlock = GetBe32(data);
    blockLength = GetBe32(data + 4);
    return true;
}

bool ParseBufferCapacity(const uint8_t* data, size_t size, uint32_t& bufferSize, uint32_t& freeSize) {
    bufferSize = freeSize = 0;
    if (size < 12 || GetBe16(data) + 2u < 12) return false;
    bufferSize = GetBe32(data + 4);
    freeSize = GetBe32(data + 8);
    if (freeSize >= 0xFFFFFFFE) freeSize = bufferSize;
    return true;
}

bool ParseFormatCapacities(const uint8_t* data, size_t size, uint32_t& blocks) {
    blocks = 0;
    if (size < 12) return false;
    // Descriptors of 8 bytes follow the 4-byte header; count those that both the list length
    // and the bytes received cover.
    const size_t listLength = data[3];
    size_t count = listLength / 8;
    if (count == 0) return false;
    if (4 + count * 8 > size) count = (size - 4) / 8;
    auto descriptor = [&](size_t index) { return data + 4 + index * 8; };
    auto kindIs = [](const uint8_t* d, uint32_t pattern) { return GetBe32(d + 4) == pattern; };
    const uint8_t* chosen = descriptor(0);
    if (!kindIs(chosen, 0x00000800)) {
        if (count > 1 && (kindIs(descriptor(1), 0x00000800) || kindIs(descriptor(1), 0x98000000)))
            chosen = descriptor(1);
        else if (count > 2 && kindIs(descriptor(2), 0x00000800))
            chosen = descriptor(2);
    }
    blocks = GetBe32(chosen);
    return true;
}

int LocateModePage(const uint8_t* data, size_t size, uint8_t page) {
    if (size < 10) return -1;
    const size_t blockDescriptorLength = GetBe16(data + 6);
    const size_t declared = 8 + blockDescriptorLength;
    if (declared + 2 <= size && (data[declared] & 0x3F) == page) return static_cast<int>(declared);
    // Drives that fill the header carelessly: probe where the page usually stands.
    for (size_t offset : {size_t(16), size_t(8), size_t(7)})
        if (offset + 2 <= size && (data[offset] & 0x3F) == page) return static_cast<int>(offset);
    return 8;
}

bool ParseCapabilitiesPage(const uint8_t* data, size_t size, int offset, CapabilitiesPage& out) {
    out = CapabilitiesPage{};
    if (offset < 0 || size_t(offset) + 22 > size) return false;
    const uint8_t* page = data + offset;
    if ((page[0] & 0x3F) != 0x2A) return false;
    out.ReadBits = page[2];
    out.WriteBits = page[3];
    out.Byte4 = page[4];
    out.MaxReadSpeed = GetBe16(page + 8);
    out.BufferSizeKB = GetBe16(page + 12);
    out.CurrentReadSpeed = GetBe16(page + 14);
    out.MaxWriteSpeed = GetBe16(page + 18);
    out.CurrentWriteSpeed = GetBe16(page + 20);
    return true;
}

uint32_t CapabilitiesFromPage2A(const CapabilitiesPage& page) {
    uint32_t set = 0;
    if (page.ReadBits & 0x01) set |= dcReadCDR;
    if (page.ReadBits & 0x02) set |= dcReadCDRW;
    if (page.ReadBits & 0x04) set |= dcReadMethod2;
    if (page.ReadBits & 0x08) set |= dcReadDVD;
    if (page.ReadBits & 0x10) set |= dcReadDVDR | dcReadDVDRW;
    if (page.ReadBits & 0x20) set |= dcReadDVDRAM;
    if (page.WriteBits & 0x01) set |= dcWriteCDR;
    if (page.WriteBits & 0x02) set |= dcWriteCDRW;
    if (page.WriteBits & 0x04) set |= dcWriteTest;
    if (page.WriteBits & 0x10) set |= dcWriteDVDR | dcWriteDVDRW;
    if (page.WriteBits & 0x20) set |= dcWriteDVDRAM;
    if (page.Byte4 & 0x80) set |= dcUnderrunProtection;
    return set;
}

bool ParseConfiguration(const uint8_t* data, size_t size, ConfigurationAnswer& out) {
    out = ConfigurationAnswer{};
    if (size < 8) return false;
    const uint32_t dataLength = GetBe32(data);
    if (dataLength < 4) return false;
    out.CurrentProfile = GetBe16(data + 6);
    // One descriptor after the 8-byte header, when the answer's length covers it.
    const uint64_t available = uint64_t(dataLength) + 4 < size ? uint64_t(dataLength) + 4 : size;
    if (available >= 12) {
        const uint8_t additional = data[11];
        out.HasFeature = true;
        out.Feature = GetBe16(data + 8);
        if (additional > 0 && available >= 13) out.FirstDataByte = data[12];
    }
    return true;
}

const char* MediaTypeName(int mediaType) {
    static const char* const names[] = {"UNKNOWN", "CD-ROM",  "CD-R",     "CD-RW",  "DVD-ROM",
                                        "DVD-R",   "DVD-RAM", "DVD-RW",   "DVD-RW", "DVD-RW",
                                        "DVD+RW",  "DVD+R",   "DDCD-ROM", "DDCD-R", "DDCD-RW"};
    return mediaType >= 0 && mediaType < 15 ? names[mediaType] : names[0];
}

TMediaType MediaTypeFromProfile(uint16_t profile) {
    switch (profile) {
    case 0x08:
        return mtCDROM;
    case 0x09:
        return mtCDR;
    case 0x0A:
        return mtCDRW;
    case 0x10:
        return mtDVDROM;
    case 0x11:
        return mtDVDR;
    case 0x12:
        return mtDVDRAM;
    case 0x13:
        return mtDVDRWRestricted;
    case 0x14:
        return mtDVDRWSequential;
    case 0x1A:
        return mtDVDPLUSRW;
    case 0x1B:
        return mtDVDPLUSR;
    case 0x20:
        return mtDDCDROM;
    case 0x21:
        return mtDDCDR;
    case 0x22:
        return mtDDCDRW;
    default:
        return mtUnknown;
    }
}

uint32_t MsfToBlocks(uint8_t minutes, uint8_t seconds, uint8_t frames) {
    return (uint32_t(minutes) * 60 + seconds) * 75 + frames;
}

bool ParseAtip(const uint8_t* data, size_t size, TMediaType& mediaType, uint32_t& leadOutBlocks) {
    mediaType = mtUnknown;
    leadOutBlocks = 0;
    // Header (4) and the descriptor's first 8 bytes up to the lead-out start at 12-14.
    if (size < 15 || GetBe16(data) + 2u < 15) return false;
    const uint8_t descriptorByte2 = data[6];
    mediaType = (descriptorByte2 & 0x80) ? ((descriptorByte2 & 0x40) ? mtCDRW : mtCDR) : mtCDROM;
    leadOutBlocks = MsfToBlocks(data[12], data[13], data[14]);
    return true;
}

uint32_t IsoVolumeSpaceSize(const uint8_t* block, size_t size) {
    if (size < 88) return 0;
    if (block[0] != 1 && block[0] != 2) return 0;
    if (std::memcmp(block + 1, "CD001", 5) != 0) return 0;
    return uint32_t(block[80]) | uint32_t(block[81]) << 8 | uint32_t(block[82]) << 16 |
           uint32_t(block[83]) << 24;
}

InquiryStrings ParseInquiryStrings(const uint8_t* data, size_t size) {
    auto field = [&](size_t from, size_t length) {
        std::string text;
        for (size_t i = from; i < from + length && i < size; ++i)
            text += data[i] < 32 ? ' ' : static_cast<char>(data[i]);
        return text;
    };
    return {field(8, 8), field(16, 16), field(32, 4)};
}

void FillWriteParameters(uint8_t* page, const WriteParameterOptions& o) {
    constexpr uint8_t lsv = 0x20, testWrite = 0x10, bufe = 0x40;
    page[1] = WriteParametersPageLength;
    uint8_t byte2 = 0x01, byte3 = 0x04, byte5 = 0;
    uint32_t packet = 0;
    switch (o.MediaType) {
    case mtDVDR:
        byte2 = 0x20, byte3 = 0xE5, byte5 = 16, packet = 16;
        break;
    case mtDVDRWRestricted:
    case mtDVDRWSequential:
        byte2 = 0x20, byte3 = 0xC5, byte5 = 16;
        break;
    case mtDVDPLUSRW:
        byte2 = 0x22, byte3 = 0x04, byte5 = 16;
        break;
    case mtDVDPLUSR:
        byte2 = 0x22, byte3 = 0xC4, packet = 16;
        break;
    default:
        // Track-at-once; multi-session 11b keeps the disc open for the next session.
        byte3 = (o.TestWrite || o.FinalizeDisc) ? 0x04 : 0xC4;
        break;
    }
    const bool dvdRw = o.MediaType == mtDVDRWRestricted || o.MediaType == mtDVDRWSequential;
    if (!dvdRw) {
        if (o.LinkSizeValidQuirk) byte2 |= lsv;
        if (o.DriveUnderrun && o.UnderrunProtection)
            byte2 |= bufe;
        else
            byte2 &= static_cast<uint8_t>(~bufe);
        if (o.DriveTestWrite && o.TestWrite)
            byte2 |= testWrite;
        else
            byte2 &= static_cast<uint8_t>(~testWrite);
    }
    page[2] = byte2;
    page[3] = byte3;
    page[4] = 8;
    page[5] = byte5;
    PutBe32(page + 10, packet);
    PutBe16(page + 14, 150);
}

void BuildTimeStamp(const char (&digits)[15], uint8_t (&out)[22]) {
    std::memset(out, 0, sizeof out);
    PutBe16(out, 20);
    std::memcpy(out + 8, digits, 14);
}

} // namespace disc
