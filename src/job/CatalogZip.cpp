// The catalogue lines of an archive's directory, kept apart so the text format needs no zip reader.
#include "job/Catalog.h"
#include "zip/UnZipper.h"

namespace job {

std::string CatalogLinesOfZip(zip::TUnZipper& unzipper, std::string_view zipFileName) {
    std::string text;
    const int count = unzipper.Count();
    for (int i = 0; i < count; ++i) {
        CatalogEntry entry;
        entry.Pathname = unzipper.Pathname(i);
        entry.Filename = unzipper.Filename(i);
        entry.DosDateTime = static_cast<int32_t>(unzipper.DosDateTime(i));
        entry.ZipName = zipFileName;
        entry.EntryIndex = i;
        text += FormatCatalogEntry(entry);
        text += "\r\n";
    }
    return text;
}

} // namespace job
