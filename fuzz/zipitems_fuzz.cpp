// Streamed entry lists of any bytes: ReadItems either fills the list or throws one of the
// library's errors, never allocates by a hostile count, and leaks nothing it read.
#include "zip/ZipErrors.h"
#include "zip/ZipObj.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gui::TMemoryStream stream;
    if (size) stream.WriteBuffer(data, size);
    stream.SetPosition(0);
    zip::TSortedZip list(0);
    if (size) list.SortMode = zip::TZipSortMode(data[0] % 9);
    try {
        list.ReadItems(stream);
        gui::TMemoryStream out;
        list.WriteItems(out);
    } catch (const gui::Exception&) {
    }
    // Entries read into a list that does not own them belong to the reader.
    if (!list.OwnsObjects)
        for (int i = 0; i < list.Count(); ++i)
            delete list.Get(i);
    return 0;
}
