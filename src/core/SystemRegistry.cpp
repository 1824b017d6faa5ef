#include "core/SystemRegistry.h"

#include "core/MvRegistry.h"

namespace core {

std::optional<std::string> SystemRegistryLookup::ReadString(RegistryRoot root, const std::string& key,
                                                            const std::string& name) {
    TRegistry registry;
    registry.SetRootKey(root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE);
    if (!registry.OpenKeyReadOnly("\\" + key) || !registry.ValueExists(name)) return std::nullopt;
    try {
        return registry.ReadString(name);
    } catch (const ERegistryException&) {
        return std::nullopt; // a value of another type is no folder name
    }
}

} // namespace core
