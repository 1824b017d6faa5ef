// Stored texts read back by the program: scrambled passwords, fixed-format dates and numbers
// typed with either separator. Any bytes either convert or raise the conversion error.
#include "core/DateText.h"
#include "core/Scramble.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const std::string plain = core::UnscrambleText(text, core::ScrambleKey);
        if (plain.size() > 255) __builtin_trap();
        if (core::UnscrambleText(core::ScrambleText(plain, core::ScrambleKey), core::ScrambleKey) != plain)
            __builtin_trap();
    } catch (const core::EConvertError&) {
    }
    static const core::LocaleFormat locales[] = {{},
                                                 {"dd.MM.yyyy", '.', "HH:mm:ss", ':', "", "", ','},
                                                 {"yyyy-MM-dd", '-', "H:mm:ss", ':', "fm", "em", ','}};
    for (const auto& locale : locales) {
        try {
            const gui::DateTime value = core::StrToDateFixed(text, locale);
            const std::string again = core::DateToStrFixed(value, locale);
            if (core::StrToDateFixed(again, locale) != value) __builtin_trap();
        } catch (const core::EConvertError&) {
        }
        try {
            core::StrToFloatAnySep(text, locale.decimalSeparator);
        } catch (const core::EConvertError&) {
        }
    }
    return 0;
}
