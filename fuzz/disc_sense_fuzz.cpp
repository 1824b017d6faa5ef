// Decoding of a finished request into its device error text: status bytes and sense data
// come from the transport and the drive, so any bytes must give some text and no fault.

#include "disc/dwConst.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const std::vector<uint8_t> sense(data + 3, data + size);
    const disc::DeviceError error =
        disc::DecodeDeviceError(data[0], data[1], data[2], sense.data(), sense.size());
    // A check condition without sense data reads as the empty text; every other failure has one.
    const bool checkCondition = data[0] == 4 && data[1] == 0 && (data[2] == 0 || data[2] == 2);
    if (error.Text.empty() && data[0] > 1 && !checkCondition) __builtin_trap();
    disc::SenseKeyMessage(sense.data(), sense.size());
    if (sense.size() >= 14) disc::AscText(sense[12], sense[13]);
    return 0;
}
