// The selection's text rules over hostile text: an include item taken apart, exclude entries
// compiled and matched against paths, masks tried on the same paths, and the duplicate pass
// over them. Input: lines; the first is an item, lines up to an empty one are exclude
// entries, the rest are paths. Checks: no crash, masks parsed back from the remembered text
// give the same list, a path equal to an exclude entry is excluded, and duplicates go.
#include "job/SelectionRules.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

class Pass : public job::ListPassHost {
  public:
    bool Cancelled() override { return false; }
    void PassProgress(int, int) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(data[i]);
        }
    }
    lines.push_back(line);
    // Odd inputs also run with a double-byte code page's lead bytes.
    std::array<bool, 256> leads{};
    if (size % 2)
        for (int c = 0x81; c <= 0x9F; ++c)
            leads[c] = true;
    job::SetAnsiLeadBytes(leads);

    const job::ItemText item = job::ParseItemText(lines[0]);
    // Masks are names: one holding a folder separator is cut differently once the item's
    // separator repair has run over it, so only separator-free masks must parse back alike.
    if (!item.RememberedMasks.empty() && item.RememberedMasks.find('\\') == std::string::npos) {
        const job::ItemText again = job::ParseItemText("x\\" + item.RememberedMasks);
        if (again.Masks != item.Masks) __builtin_trap();
    }
    size_t first = 1;
    std::vector<std::string> excludes;
    while (first < lines.size() && !lines[first].empty())
        excludes.push_back(lines[first++]);
    const job::ExcludeRules rules(excludes);
    job::FileList list;
    for (size_t i = first; i < lines.size(); ++i) {
        const std::string& path = lines[i];
        const std::string folded = job::FoldPath(path);
        for (const std::string& mask : item.Masks)
            job::MaskAccepts(job::FoldPath(mask), folded, job::NamePart(folded), job::IsFolderLine(path));
        const bool excluded = rules.Matches(path);
        for (const std::string& entry : excludes)
            if (entry == path && entry.back() != '\\' && entry.find_first_not_of(' ') != std::string::npos &&
                !excluded)
                __builtin_trap();
        job::CataloguePathForm(path, i % 2, i % 3 == 0);
        list.push_back({path, static_cast<int64_t>(i)});
        list.push_back({folded, static_cast<int64_t>(i)});
    }
    Pass pass;
    job::RemoveDuplicates(list, true, pass);
    for (size_t i = 1; i < list.size(); ++i)
        if (job::FoldPath(list[i].Path) <= job::FoldPath(list[i - 1].Path)) __builtin_trap();
    job::OrderBySize(list, 3, pass);
    job::SetAnsiLeadBytes({});
    return 0;
}
