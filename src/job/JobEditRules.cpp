#include "job/JobEditRules.h"

#include "job/DriveSpace.h"
#include "job/JobFile.h"

namespace job {

std::string DriveRootCut(const std::string& folder) {
    if (folder.size() == 3 && folder.find(":\\") != std::string::npos) return folder.substr(0, 2);
    return folder;
}

std::string WithWriterLetter(const std::string& destination, const std::string& writerItem) {
    const size_t comma = writerItem.find(',');
    if (comma == std::string::npos || comma + 1 >= writerItem.size()) return destination;
    const char letter = writerItem[comma + 1];
    if (letter == '?' || destination.size() < 2 || destination[1] != ':' || destination[0] == letter)
        return destination;
    std::string result = destination;
    result[0] = letter;
    return result;
}

std::string FreeSpaceText(int64_t freeBytes) {
    if (freeBytes >= NetworkFreeBytes) return "Unknown free space";
    return std::to_string(freeBytes / 1'048'576) + " MB free";
}

namespace {
std::string ReplacePlaceholder(std::string text, int position) {
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(position));
    return text;
}
} // namespace

std::string CompressionHint(int position) {
    if (position <= 2) return "This setting will save the files in a Zip file \rwithout compression. ";
    if (position <= 7) return ReplacePlaceholder("The selected compression level is set to: %s", position);
    return ReplacePlaceholder("The selected compression level is set to: %s\rSelect only a compression level "
                              "over 7 \rif the amount of files ziped in one file is \rvery important, as you "
                              "may gain less than 0,5% \rbut the time to compress will nearly double. ",
                              position);
}

bool IsRefusedListItem(const std::string& text) {
    return text == IncludeMarker || text == ExcludeMarker;
}

std::string FolderEntry(const std::string& folder) {
    if (!folder.empty() && folder.back() == '\\') return folder;
    return folder + "\\";
}

} // namespace job
