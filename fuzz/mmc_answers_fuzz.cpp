// Every parser of a drive's answers, fed the same hostile bytes. The first byte picks how
// many of the bytes "arrived", so short answers with long length fields are explored too.

#include "disc/dwMmc.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t arrived = data[0] % 2 ? size - 1 : (size - 1) / 2;
    // A copy of exactly the arrived size, so the sanitizer sees any read past it.
    const std::vector<uint8_t> answer(data + 1, data + 1 + arrived);
    const uint8_t* bytes = answer.data();
    const size_t length = answer.size();

    disc::TrackInformation track;
    disc::ParseTrackInformation(bytes, length, track);
    disc::DiscInformation info;
    disc::ParseDiscInformation(bytes, length, info);
    uint32_t a = 0, b = 0;
    disc::ParseReadCapacity(bytes, length, a, b);
    disc::ParseBufferCapacity(bytes, length, a, b);
    disc::ParseFormatCapacities(bytes, length, a);
    disc::ConfigurationAnswer configuration;
    disc::ParseConfiguration(bytes, length, configuration);
    disc::TMediaType type;
    disc::ParseAtip(bytes, length, type, a);
    disc::IsoVolumeSpaceSize(bytes, length);
    disc::ParseInquiryStrings(bytes, length);
    for (uint8_t page : {uint8_t(0x2A), uint8_t(0x05), uint8_t(0x30)}) {
        const int offset = disc::LocateModePage(bytes, length, page);
        disc::CapabilitiesPage capabilities;
        if (disc::ParseCapabilitiesPage(bytes, length, offset, capabilities))
            disc::CapabilitiesFromPage2A(capabilities);
    }
    return 0;
}
