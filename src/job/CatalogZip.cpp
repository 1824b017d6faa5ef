// The catalogue lines of an archive's directory, kept apart so the text format needs no zip reader.
#include "job/Catalog.h"
#include "zip/UnZipper.h"

namespace job {

std::string CatalogLinesOfZip(zip::TUnZipper& unzipper, std::string_view zipFileName) {
    std::string text;
    unzipper.ForEachEntry(
        [&](int index, const std::string& pathname, const std::string& filename, uint32_t dosDateTime) {
            CatalogEntry entry;
            entry.Pathname = pathname;
            entry.Filename = filename;
            entry.DosDateTime = static_cast<int32_t>(dosDateTime);
            entry.ZipName = zipFileName;
            entry.EntryIndex = index;
            text += FormatCatalogEntry(entry);
            text += "\r\n";
        });
    return text;
}

} // namespace job
