#pragma once
// A registry of string values held in memory, for the folder discovery's lookups.

#include "core/UserFolders.h"

#include <map>
#include <string>

namespace testsupport {

class FakeRegistry : public core::RegistryLookup {
  public:
    void Set(core::RegistryRoot root, const std::string& key, const std::string& name,
             const std::string& value) {
        values_[Id(root, key, name)] = value;
    }
    std::optional<std::string> ReadString(core::RegistryRoot root, const std::string& key,
                                          const std::string& name) override {
        const auto found = values_.find(Id(root, key, name));
        if (found == values_.end()) return std::nullopt;
        return found->second;
    }

  private:
    static std::string Id(core::RegistryRoot root, const std::string& key, const std::string& name) {
        return (root == core::RegistryRoot::CurrentUser ? "HKCU|" : "HKLM|") + key + "|" + name;
    }
    std::map<std::string, std::string> values_;
};

} // namespace testsupport
