// Catalogue files of any bytes: read through a small buffer they give the whole text's lines
// (each cut at the buffer's size), every filter loads, every sort column orders all rows, Go to
// stays within the grid, a duplicate removal is a fixed point, and what parses formats back to
// a line that parses the same.
#include "job/Catalog.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    core::LocaleFormat locale;
    {
        const size_t buffer = size > 0 ? data[0] % 32 + 1 : 1;
        std::vector<std::string> whole;
        job::ForEachLine(text, [&](std::string_view line) { whole.emplace_back(line.substr(0, buffer)); });
        size_t at = 0;
        job::CatalogLineReader reader(
            [&](char* into, size_t room, size_t& got) {
                got = std::min(room, size - at);
                std::copy_n(text.data() + at, got, into);
                at += got;
                return true;
            },
            buffer);
        size_t index = 0;
        std::string_view line;
        while (reader.Next(line))
            Check(index < whole.size() && whole[index++] == line);
        Check(index == whole.size() && reader.Position() == size);
    }
    for (int filters = 0; filters < 4; ++filters) {
        job::CatalogRows rows;
        rows.Folders = filters & 1;
        rows.Duplicates = filters & 2;
        int lines = 0;
        job::ForEachLine(text, [&](std::string_view line) {
            rows.AddLine(line);
            ++lines;
        });
        rows.FinishLoad();
        Check(rows.Count() + rows.Damaged() <= lines);
        for (int column = 1; column <= 4; ++column) {
            rows.SortBy(column);
            std::vector<int> seen;
            for (int gridRow = 1; gridRow <= rows.Count(); ++gridRow)
                seen.push_back(rows.RowOfGridRow(gridRow));
            std::sort(seen.begin(), seen.end());
            for (int row = 0; row < rows.Count(); ++row)
                Check(seen[static_cast<size_t>(row)] == row);
            for (std::string_view target :
                 {std::string_view("M"), text.substr(0, 12), std::string_view("1/2/2020")})
                if (const std::optional<int> found = rows.GoTo(target, locale))
                    Check(*found >= 1 && *found <= rows.Count());
            if (rows.Count() > 0) rows.CellText(3, rows.RowOfGridRow(1), locale);
        }
    }
    const std::string once = job::CatalogWithoutDuplicates(text, false);
    Check(job::CatalogWithoutDuplicates(once, false) == once);

    job::ForEachLine(text, [&](std::string_view line) {
        job::CatalogEntry entry;
        if (!job::ParseCatalogEntry(line, entry)) return;
        const std::string formatted = job::FormatCatalogEntry(entry);
        job::CatalogEntry again;
        Check(job::ParseCatalogEntry(formatted, again) && job::FormatCatalogEntry(again) == formatted);
        Check(job::CatalogWithoutZip(formatted, entry.ZipName).empty());
    });

    job::CatalogIndex list;
    job::CatalogZipNames zips;
    job::JobCatalogReader reader(list, zips);
    job::ForEachLine(text, [&](std::string_view line) { reader.OwnLine(line); });
    reader.Finish();
    Check(list.Size() >= 1);
    return 0;
}
