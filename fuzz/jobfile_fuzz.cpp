// Job files of any bytes load or fail with the conversion error of a damaged password line;
// what loads is written and read back to the same job, in both decimal-separator locales.
#include "core/ConvertError.h"
#include "job/JobFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void RoundTrip(std::string_view text, const core::LocaleFormat& locale) {
    const job::JobTextContext context{locale, 46000.25};
    job::JobDefinition first;
    try {
        job::ReadJobText(text, first, context);
    } catch (const core::EConvertError&) {
        return;
    }
    const std::string written = job::WriteJobText(first, context);
    job::JobDefinition second;
    job::ReadJobText(written, second, context);

    // What the writer changes on purpose: an empty destination is stored as two blanks, and
    // an include item equal to the exclude marker cannot be stored.
    if (first.Destination.empty()) first.Destination = "  ";
    std::erase(first.IncludeList, std::string(job::ExcludeMarker));
    // The byte count is derived, not stored: "5000" reads as 4,294,967,295 bytes, and its
    // written form "4095" as 4095 MiB.
    if (first.ZipSizeText == "4095") second.MaxZipSize = first.MaxZipSize;
    if (!(first == second)) __builtin_trap();
    if (job::WriteJobText(second, context) != written) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RoundTrip(text, core::LocaleFormat{});
    core::LocaleFormat comma;
    comma.shortDateFormat = "dd.MM.yyyy";
    comma.dateSeparator = '.';
    comma.longTimeFormat = "HH:mm:ss";
    comma.decimalSeparator = ',';
    RoundTrip(text, comma);
    return 0;
}
