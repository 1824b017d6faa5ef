// Settings files of any bytes parse, answer lookups, take writes and serialize again; a
// serialized document parses back to the same answers.
#include "gui/IniDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    gui::IniDocument document = gui::IniDocument::Parse(text);
    std::string value;
    document.Find("Settings", "Crashed", value);
    for (const std::string& key : document.Keys("Files"))
        document.Find("Files", key, value);
    document.KeyValues("LastState");

    const bool stored = document.Set("Settings", "Crashed", "1");
    const gui::IniDocument again = gui::IniDocument::Parse(document.Serialize());
    if (stored && (!again.Find("Settings", "Crashed", value) || value != "1")) __builtin_trap();
    if (again.Serialize() != document.Serialize()) __builtin_trap();
    document.DeleteKey("Settings", "Crashed");
    document.EraseSection("Files");
    gui::ParseIniInteger(text.substr(0, 32), -1);
    return 0;
}
