#pragma once
// MMC command blocks and the parsers of the drives' answers.
//
// Everything a drive sends back is untrusted: a parser takes the bytes and the number of
// bytes that actually arrived, never reads past either the buffer or the answer's own length
// fields, and reports an absurd answer as a failure instead of guessing. The device layer
// turns a failure into the query's failure value (0, -1 or false).
//
// Multi-byte fields of MMC are big-endian; the ISO volume descriptor's size is the
// little-endian half of its both-byte-order field.

#include <cstddef>
#include <cstdint>
#include <string>

namespace disc {

// A command descriptor block of up to 16 bytes.
struct Cdb {
    uint8_t bytes[16] = {};
    uint8_t length = 0;
};

uint16_t GetBe16(const uint8_t* p);
uint32_t GetBe24(const uint8_t* p);
uint32_t GetBe32(const uint8_t* p);
void PutBe16(uint8_t* p, uint16_t value);
void PutBe32(uint8_t* p, uint32_t value);

// FORMAT UNIT: byte 1 saying a parameter list follows (format code 1), and the list that
// formats a DVD+RW whole (the list header and one descriptor of type 0x26).
inline constexpr uint8_t kFormatWithList = 0x11;
inline constexpr uint8_t kPlusRwFullFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23,
                                                  0x05, 0x40, 0x98, 0x00, 0x00, 0x00};

// Builders: one per command, setting the bytes that command needs.
namespace cdb {
Cdb TestUnitReady();
Cdb Rezero();
Cdb RequestSense(uint8_t length);
Cdb FormatUnit(uint8_t byte1);
Cdb Inquiry(uint8_t length);
Cdb StartStopUnit(bool eject);
Cdb PreventAllowMediumRemoval(bool unlock);
Cdb ReadFormatCapacities(uint8_t length);
Cdb ReadCapacity();
Cdb Read10(uint32_t lba, uint16_t blocks);
Cdb Write10(uint32_t lba, uint16_t blocks);
Cdb SynchronizeCache(bool immed);
Cdb ReadToc(uint8_t format, bool msf, uint8_t track, uint8_t length, uint8_t control);
Cdb GetConfiguration(uint8_t rt, uint16_t feature, uint16_t length);
Cdb ReadDiscInformation(uint16_t length);
Cdb ReadTrackInformation(uint32_t track, uint16_t length);
Cdb ReserveTrack(uint32_t blocks);
Cdb SendOpc();
Cdb ModeSelect10(uint16_t length);
Cdb ModeSense10(uint8_t page, bool defaults, uint16_t length);
Cdb CloseTrack(bool closeTrackFirst, bool immed, bool finalize);
Cdb CloseTrackSession(bool immed, uint8_t function, uint16_t track);
Cdb ReadBufferCapacity();
Cdb SendCueSheet(uint32_t length);
Cdb Blank(uint8_t kind, bool immed);
Cdb SetStreaming(uint16_t length);
// 0 for either speed asks for the drive's maximum (0xFFFF).
Cdb SetCdSpeed(uint16_t readKBs, uint16_t writeKBs);
Cdb SendDvdStructure(uint8_t format, uint16_t length);
} // namespace cdb

// READ TRACK INFORMATION, turned to host order.
struct TrackInformation {
    uint16_t DataLength = 0;
    uint32_t TrackNumber = 0;
    uint32_t SessionNumber = 0;
    uint8_t TrackMode = 0; // bit 2 set: a data track
    uint32_t TrackStart = 0;
    uint32_t NextWritableAddress = 0;
    uint32_t FreeBlocks = 0;
    uint32_t FixedPacketSize = 0;
    uint32_t TrackSize = 0;
    uint32_t LastRecordedAddress = 0;
    bool NwaValid = false;
    bool LraValid = false;
};
constexpr int TrackInformationLength = 40;
// Needs the fields up to the track size (28 bytes); the last recorded address when present.
bool ParseTrackInformation(const uint8_t* data, size_t size, TrackInformation& out);

// READ DISC INFORMATION.
struct DiscInformation {
    uint8_t Status = 0;           // 0 empty, 1 appendable, 2 complete, 3 others
    uint8_t LastSessionState = 0; // 0 empty, 1 incomplete, 3 complete
    bool Erasable = false;
    uint8_t FirstTrack = 0;
    uint8_t Sessions = 0;
    uint8_t FirstTrackOfLastSession = 0;
    uint8_t LastTrackOfLastSession = 0;
    uint32_t LastLeadInStart = 0;     // MSF as sent
    uint32_t LastPossibleLeadOut = 0; // MSF as sent
};
constexpr int DiscInformationLength = 56;
bool ParseDiscInformation(const uint8_t* data, size_t size, DiscInformation& out);

bool ParseReadCapacity(const uint8_t* data, size_t size, uint32_t& lastBlock, uint32_t& blockLength);

// Buffer size and free space; a free value of 0xFFFFFFFE or more counts as the whole buffer.
bool ParseBufferCapacity(const uint8_t* data, size_t size, uint32_t& bufferSize, uint32_t& freeSize);

// READ FORMAT CAPACITIES: the block count of the descriptor that describes the formatted
// capacity (current/maximum, or the first formattable one of the usual kinds).
bool ParseFormatCapacities(const uint8_t* data, size_t size, uint32_t& blocks);

// Offset of a mode page inside a MODE SENSE(10) answer, or -1 when the answer is too short
// to hold one. The header's block-descriptor length decides first, so a page whose bytes
// happen to repeat the page code (a read speed of 0x2Axx KB/s) is not mistaken.
int LocateModePage(const uint8_t* data, size_t size, uint8_t page);

// Mode page 2A, words in host order.
struct CapabilitiesPage {
    uint8_t ReadBits = 0;  // byte 2
    uint8_t WriteBits = 0; // byte 3
    uint8_t Byte4 = 0;
    uint16_t MaxReadSpeed = 0;      // bytes 8-9
    uint16_t BufferSizeKB = 0;      // bytes 12-13
    uint16_t CurrentReadSpeed = 0;  // bytes 14-15
    uint16_t MaxWriteSpeed = 0;     // bytes 18-19
    uint16_t CurrentWriteSpeed = 0; // bytes 20-21
};
// Takes the page at `offset` of the answer; needs its bytes up to 21.
bool ParseCapabilitiesPage(const uint8_t* data, size_t size, int offset, CapabilitiesPage& out);

// Capability set bits.
enum DeviceCapability : uint32_t {
    dcReadCDR = 1u << 0,
    dcReadCDRW = 1u << 1,
    dcReadMethod2 = 1u << 2,
    dcReadDVD = 1u << 3,
    dcReadDVDR = 1u << 4,
    dcReadDVDRW = 1u << 5,
    dcReadDVDRAM = 1u << 6,
    dcReadDVDPLUSR = 1u << 7,
    dcReadDVDPLUSRW = 1u << 8,
    dcWriteCDR = 1u << 9,
    dcWriteCDRW = 1u << 10,
    dcWriteTest = 1u << 11,
    dcWriteDVDR = 1u << 12,
    dcWriteDVDRW = 1u << 13,
    dcWriteDVDRAM = 1u << 14,
    dcWriteDVDPLUSR = 1u << 15,
    dcWriteDVDPLUSRW = 1u << 16,
    dcUnderrunProtection = 1u << 18,
};
constexpr uint32_t WriterCapabilities = dcWriteCDR | dcWriteCDRW | dcWriteDVDR | dcWriteDVDRW |
                                        dcWriteDVDRAM | dcWriteDVDPLUSR | dcWriteDVDPLUSRW;
uint32_t CapabilitiesFromPage2A(const CapabilitiesPage& page);

// GET CONFIGURATION with one feature: the header's current profile and, when the drive
// returned a descriptor, its feature code and first data byte.
struct ConfigurationAnswer {
    uint16_t CurrentProfile = 0;
    bool HasFeature = false;
    uint16_t Feature = 0;
    uint8_t FirstDataByte = 0;
};
bool ParseConfiguration(const uint8_t* data, size_t size, ConfigurationAnswer& out);

// TMediaType numbers.
enum TMediaType : uint8_t {
    mtUnknown = 0,
    mtCDROM = 1,
    mtCDR = 2,
    mtCDRW = 3,
    mtDVDROM = 4,
    mtDVDR = 5,
    mtDVDRAM = 6,
    mtDVDRW = 7,
    mtDVDRWRestricted = 8,
    mtDVDRWSequential = 9,
    mtDVDPLUSRW = 10,
    mtDVDPLUSR = 11,
    mtDDCDROM = 12,
    mtDDCDR = 13,
    mtDDCDRW = 14,
};
const char* MediaTypeName(int mediaType);
TMediaType MediaTypeFromProfile(uint16_t profile);
inline bool IsCDMedia(int mediaType) {
    return mediaType < mtDVDROM;
}

// Media written only at the next writable address, one session after the other.
inline bool IsSequentialMedia(int mediaType) {
    return mediaType == mtCDR || mediaType == mtCDRW || mediaType == mtDVDR ||
           mediaType == mtDVDRWSequential || mediaType == mtDVDPLUSR;
}

// READ TOC/PMA/ATIP format 4 (MSF): the medium type it tells (mtCDR/mtCDRW/mtCDROM) and
// the lead-out start of the last possible session in blocks.
bool ParseAtip(const uint8_t* data, size_t size, TMediaType& mediaType, uint32_t& leadOutBlocks);

// (minutes * 60 + seconds) * 75 + frames, without the 150-block offset.
uint32_t MsfToBlocks(uint8_t minutes, uint8_t seconds, uint8_t frames);

// Volume space size of an ISO primary/supplementary volume descriptor block, 0 otherwise.
uint32_t IsoVolumeSpaceSize(const uint8_t* block, size_t size);

// Vendor (8), product (16) and revision (4) of an INQUIRY answer, control bytes blanked.
struct InquiryStrings {
    std::string Vendor, Product, Revision;
};
InquiryStrings ParseInquiryStrings(const uint8_t* data, size_t size);

// Write parameters (mode page 05), filled in place for a medium.
struct WriteParameterOptions {
    int MediaType = mtCDR;
    bool TestWrite = false;
    bool UnderrunProtection = false;
    bool FinalizeDisc = false;
    bool DriveTestWrite = false; // capability bit 11
    bool DriveUnderrun = false;  // capability bit 18
    bool LinkSizeValidQuirk = false;
};
constexpr uint8_t WriteParametersPageLength = 0x32;
// `page` points at the page code byte; at least WriteParametersPageLength + 2 bytes.
void FillWriteParameters(uint8_t* page, const WriteParameterOptions& options);

// The 22-byte DVD-R time stamp structure for "yyyymmddhhnnss".
void BuildTimeStamp(const char (&digits)[15], uint8_t (&out)[22]);

} // namespace disc
