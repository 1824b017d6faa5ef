#include "zip/ExtractPath.h"

#include "gui/CompareText.h"

#include <vector>

namespace zip {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && gui::SameTextI(text.substr(0, prefix.size()), prefix);
}

bool IsDeviceName(std::string_view component) {
    const std::string_view stem = component.substr(0, component.find('.'));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
    for (const char* device : kDevices)
        if (gui::SameTextI(stem, device)) return true;
    if (stem.size() == 4 && (StartsWithNoCase(stem, "COM") || StartsWithNoCase(stem, "LPT")))
        return stem[3] >= '1' && stem[3] <= '9';
    return false;
}

// Joins the safe components of a "\"- or "/"-separated path onto `out`.
void AppendSafe(std::string& out, std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = path.size();
        const std::string part = SafeComponent(path.substr(start, end - start));
        if (!part.empty()) {
            if (!out.empty() && out.back() != '\\') out += '\\';
            out += part;
        }
        start = end + 1;
    }
}

bool IsAbsolute(std::string_view folder) {
    return (!folder.empty() && folder[0] == '\\') || (folder.size() >= 2 && folder[1] == ':');
}

} // namespace

std::string SafeComponent(std::string_view component) {
    if (component.find_first_not_of('.') == std::string_view::npos) return {};
    std::string out;
    out.reserve(component.size() + 1);
    if (IsDeviceName(component)) out += '_';
    for (const char c : component) {
        const auto u = static_cast<unsigned char>(c);
        const bool illegal =
            u < 0x20 || u == 0x7F || std::string_view("<>:\"|?*/\\").find(c) != std::string_view::npos;
        out += illegal ? '_' : c;
    }
    // The file system drops trailing dots and spaces, which would merge names.
    while (!out.empty() && (out.back() == '.' || out.back() == ' '))
        out.back() = '_';
    return out;
}

std::string OutputFolder(const TOutputNameRule& rule, std::string_view folder) {
    if (!rule.rootDir.empty() && StartsWithNoCase(folder, rule.rootDir))
        folder.remove_prefix(rule.rootDir.size());
    if (!rule.recreateDirs) folder = {};
    std::string out;
    if (rule.destDir.empty() && IsAbsolute(folder)) {
        // The caller gave no folder: an absolute stored folder means what it says.
        if (folder.size() >= 2 && folder[1] == ':') {
            out.assign(folder.substr(0, 2));
            folder.remove_prefix(2);
        }
        out += '\\';
        AppendSafe(out, folder);
        return out;
    }
    out = rule.destDir;
    // A drive prefix and any leading separators belong to the archive's machine, not ours.
    if (folder.size() >= 2 && folder[1] == ':') folder.remove_prefix(2);
    AppendSafe(out, folder);
    return out;
}

std::string OutputName(const TOutputNameRule& rule, std::string_view folder, std::string_view filename) {
    std::string out = OutputFolder(rule, folder);
    std::string name = SafeComponent(filename);
    if (name.empty()) name = "_";
    if (!out.empty() && out.back() != '\\') out += '\\';
    return out + name;
}

} // namespace zip
