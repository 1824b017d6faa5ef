#pragma once
// Archive bits in memory for the Windows tests (Wine keeps no cleared archive bit), with a hook
// after each write so that a test can act inside a zip run or a restore of the bits.
#include "gui/FileAttributes.h"

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

namespace testsupport {

class HookedAttributes final : public gui::FileAttributes {
  public:
    gui::MemoryFileAttributes files;
    std::function<void()> afterSet;
    int sets = 0;

    uint32_t Get(const std::string& path) override { return files.Get(path); }
    uint32_t Set(const std::string& path, uint32_t attributes) override {
        const uint32_t result = files.Set(path, attributes);
        ++sets;
        if (afterSet) afterSet();
        return result;
    }

    // Every file and folder under the folder, the files with their archive bit set.
    void AddTree(const std::string& folder) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            files.files[entry.path().string()] =
                entry.is_directory() ? gui::AttributeDirectory : gui::AttributeArchive;
    }

    // The files (not folders) with their archive bit set, and those with it cleared.
    std::pair<int, int> ArchiveBits() const {
        std::pair<int, int> bits;
        for (const auto& [path, attributes] : files.files) {
            if (attributes & gui::AttributeDirectory) continue;
            ++((attributes & gui::AttributeArchive) ? bits.first : bits.second);
        }
        return bits;
    }
};

} // namespace testsupport
