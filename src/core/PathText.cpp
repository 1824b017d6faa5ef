#include "core/PathText.h"

namespace core {

bool IsShortFileName(std::string_view path) {
    if (path.empty() || path.find(' ') != std::string_view::npos) return false;
    const size_t slash = path.find_last_of('\\');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find('.');
    if ((dot != std::string_view::npos && dot > 8) || name.size() > 12) return false;
    if (slash == std::string_view::npos) return true;
    // Folder components from the end; the first component (the drive) is not checked.
    std::string_view folders = path.substr(0, slash);
    for (;;) {
        const size_t previous = folders.find_last_of('\\');
        if (previous == std::string_view::npos) break;
        if (folders.size() - previous - 1 >= 9) return false;
        folders = folders.substr(0, previous);
    }
    return true;
}

std::string JoinFolder(std::string_view folder, std::string_view sub) {
    std::string joined(folder);
    const bool folderEnds = !folder.empty() && folder.back() == '\\';
    const bool subStarts = !sub.empty() && sub.front() == '\\';
    if (subStarts && folderEnds)
        joined.append(sub.substr(1));
    else if (!sub.empty() && !subStarts && !folderEnds)
        joined.append("\\").append(sub);
    else
        joined.append(sub);
    if (joined.empty() || joined.back() != '\\') joined += '\\';
    return joined;
}

std::string StripSpecialChars(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        const unsigned char code = static_cast<unsigned char>(c);
        const bool removed = code < 0x20 || (code >= 0x21 && code <= 0x2F) ||
                             (code >= 0x3A && code <= 0x40) || (code >= 0x5B && code <= 0x60) ||
                             (code >= 0x7B && code <= 0x7D);
        if (!removed) kept += c;
    }
    return kept;
}

std::string FolderOf(std::string_view path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string JobBaseName(std::string_view jobName) {
    return jobName.size() > 4 ? std::string(jobName.substr(0, jobName.size() - 4)) : std::string();
}

std::string NextFreeNumberedName(const std::string& prefix, int first, const std::string& suffix,
                                 const std::function<bool(const std::string&)>& exists) {
    for (int n = first;; ++n) {
        std::string name = prefix + std::to_string(n) + suffix;
        if (!exists(name)) return name;
    }
}

std::string DataFolder(const std::string& dataDir, const std::string& programFolder) {
    return dataDir.empty() ? programFolder : dataDir;
}

} // namespace core
