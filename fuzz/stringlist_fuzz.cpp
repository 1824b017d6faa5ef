// Text of any bytes loads into a list without losing a byte other than line ends; the list's
// own text loads back to the same lines; a sorted, duplicate-free load of the same text is in
// order and holds each line once.
#include "gui/CompareText.h"
#include "gui/StringList.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    gui::TStringList list;
    list.SetText(text);
    size_t kept = 0;
    list.ForEach([&](const gui::TStringItem& item) { kept += item.Text.size(); });
    size_t expected = 0;
    for (char c : text)
        expected += c != '\r' && c != '\n';
    if (kept != expected) __builtin_trap();

    gui::TStringList again;
    again.SetText(list.Text());
    if (again.Count() != list.Count() || again.Text() != list.Text()) __builtin_trap();

    gui::TStringList sorted;
    sorted.SetSorted(true);
    sorted.SetText(text);
    for (int i = 1; i < sorted.Count(); ++i)
        if (gui::CompareTextI(sorted[i - 1], sorted[i]) >= 0) __builtin_trap();
    for (int i = 0; i < list.Count(); ++i)
        if (sorted.IndexOf(list[i]) < 0) __builtin_trap();
    if (list.Count() > 0) {
        list.Delete(list.Count() / 2);
        list.Insert(0, "x");
    }
    return 0;
}
