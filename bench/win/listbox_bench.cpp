// Filling a sorted list box: the layer sorts (the control's own sorting would follow the
// locale), so a bulk fill must cost about what an unsorted fill does, not a sorted insert per
// line. Prints both times for 200,000 lines and their ratio (the target is at most 2), and
// the per-line cost of single sorted inserts, which grows with log n only.
#include "gui/Application.h"
#include "gui/Form.h"
#include "gui/ListBox.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Fill> double Time(Fill fill) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    fill();
    QueryPerformanceCounter(&end);
    return Seconds(start, end);
}

} // namespace

int main() {
    gui::Application();
    gui::TForm form("TListBench", "bench", gui::FormBounds{0, 0, 400, 400});
    auto& plain = form.Create<gui::TListBox>(form, "ListBox2", gui::TBounds{0, 0, 300, 300});
    auto& sorted = form.Create<gui::TListBox>(form, "ListBox1", gui::TBounds{0, 0, 300, 300}, true, true);

    constexpr int lines = 200'000;
    std::vector<std::string> names;
    names.reserve(lines);
    for (int64_t i = 0; i < lines; ++i)
        names.push_back("C:\\Data\\Folder" + std::to_string(i * 7919 % 1009) + "\\file" +
                        std::to_string(i * 104729 % lines) + ".txt");

    const double unsortedSeconds = Time([&] { plain.Items().AddStrings(names); });
    const double sortedSeconds = Time([&] { sorted.Items().AddStrings(names); });
    std::printf("list box, %d lines unsorted:      %8.3f s\n", lines, unsortedSeconds);
    std::printf("list box, %d lines sorted (bulk): %8.3f s\n", lines, sortedSeconds);
    std::printf("ratio sorted / unsorted:                %8.2f (target <= 2)\n",
                sortedSeconds / unsortedSeconds);

    // Single sorted inserts into the full box: binary search over the control's texts.
    constexpr int singles = 200;
    const double singleSeconds = Time([&] {
        for (int i = 0; i < singles; ++i)
            sorted.Items().Add("C:\\Data\\Late\\file" + std::to_string(i) + ".txt");
    });
    std::printf("single sorted insert into %d lines: %8.1f us per line\n", lines,
                singleSeconds * 1e6 / singles);
    return 0;
}
