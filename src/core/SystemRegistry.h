#pragma once
// The folder discovery's registry lookups, answered by the real registry.

#include "core/UserFolders.h"

namespace core {

class SystemRegistryLookup final : public RegistryLookup {
  public:
    std::optional<std::string> ReadString(RegistryRoot root, const std::string& key,
                                          const std::string& name) override;
};

} // namespace core
