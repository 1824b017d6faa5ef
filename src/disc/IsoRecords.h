#pragma once
// Byte-level pieces shared by the image writer and the session reader: both-endian numbers,
// the two date forms and the fixed offsets of descriptors and directory records.

#include <cstdint>
#include <cstring>

#include "gui/Clock.h"

namespace disc {

constexpr uint32_t kBlockSize = 2048;
constexpr uint32_t kSystemAreaBlocks = 16;
constexpr uint32_t kRecordHeaderSize = 33;

// Volume descriptor offsets (and the lengths of its text fields).
constexpr size_t kVdSystemId = 8, kVdSystemIdLength = 32;
constexpr size_t kVdVolumeId = 40, kVdVolumeIdLength = 32;
constexpr size_t kVdVolumeSpaceSize = 80;
constexpr size_t kVdEscapes = 88;
constexpr size_t kVdVolumeSetSize = 120;
constexpr size_t kVdVolumeSequence = 124;
constexpr size_t kVdLogicalBlockSize = 128;
constexpr size_t kVdPathTableSize = 132;
constexpr size_t kVdPathTableL = 140;
constexpr size_t kVdPathTableM = 148;
constexpr size_t kVdRootRecord = 156;
constexpr size_t kVdVolumeSetId = 190, kVdPublisherId = 318, kVdPreparerId = 446, kVdApplicationId = 574;
constexpr size_t kVdLongIdLength = 128;
// File identifiers are 37 bytes; Joliet's UCS-2 text fills an even 36 of them.
constexpr size_t kVdCopyrightFile = 702, kVdAbstractFile = 739, kVdBibliographicFile = 776;
constexpr size_t kVdFileIdLength = 37, kVdJolietFileIdLength = 36;
constexpr size_t kVdCreated = 813, kVdModified = 830, kVdExpires = 847, kVdEffective = 864;
constexpr size_t kVdFileStructureVersion = 881;

// Directory record offsets and flags.
constexpr size_t kDrExtent = 2;
constexpr size_t kDrDataLength = 10;
constexpr size_t kDrDate = 18;
constexpr size_t kDrFlags = 25;
constexpr size_t kDrNameLength = 32;
constexpr uint8_t kFlagHidden = 0x01;
constexpr uint8_t kFlagDirectory = 0x02;
constexpr uint8_t kFlagMultiExtent = 0x80;

// Attribute bits as Windows keeps them (file entries carry them from the source).
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrDirectory = 0x10;

inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutBe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
inline void PutBoth16(uint8_t* p, uint16_t v) {
    PutLe16(p, v);
    PutBe16(p + 2, v);
}
inline void PutBoth32(uint8_t* p, uint32_t v) {
    PutLe32(p, v);
    PutBe32(p + 4, v);
}
inline uint32_t GetLe32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t GetBe32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

struct CivilTime {
    int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0, hundredths = 0;
};

CivilTime CivilFromDateTime(gui::DateTime value);
// False when the fields are not a date; value stays untouched then.
bool DateTimeFromCivil(const CivilTime& civil, gui::DateTime& value);

// The 7-byte form of directory records (years since 1900, ..., zone in 15-minute units).
void PutRecordDate(uint8_t* p, gui::DateTime value, int16_t gmtOffset);
bool GetRecordDate(const uint8_t* p, gui::DateTime& value);
// The 17-byte form of volume descriptors; a zero value writes the "not specified" form.
void PutDescriptorDate(uint8_t* p, gui::DateTime value, int16_t gmtOffset);

} // namespace disc
