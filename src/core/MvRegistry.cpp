#include "core/MvRegistry.h"

#include <algorithm>
#include <cstring>

namespace core {

namespace {

constexpr REGSAM fullAccess = 0xF003F;
constexpr REGSAM readAccess = 0x20019;
constexpr REGSAM writeAccess = 0x20006;

[[noreturn]] void Raise(const char* pattern, const std::string& name) {
    std::string message(pattern);
    message.replace(message.find("%s"), 2, name);
    throw ERegistryException(message);
}

// Far-East locales on NT count name lengths in characters of up to two bytes.
bool FarEastNt() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const bool nt = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
    return nt && GetSystemMetrics(SM_DBCSENABLED) != 0;
}

} // namespace

TRegistry::TRegistry() = default;

TRegistry::~TRegistry() {
    CloseKey();
    if (CloseRootKey) RegCloseKey(rootKey_);
}

void TRegistry::CloseKey() {
    if (!currentKey_) return;
    if (!LazyWrite) RegFlushKey(currentKey_);
    RegCloseKey(currentKey_);
    currentKey_ = nullptr;
    currentPath_.clear();
}

void TRegistry::SetRootKey(HKEY root) {
    if (root == rootKey_) return;
    if (CloseRootKey) {
        RegCloseKey(rootKey_);
        CloseRootKey = false;
    }
    rootKey_ = root;
    CloseKey();
}

HKEY TRegistry::BaseKeyOf(const std::string& path, std::string& relative) const {
    if (!IsRelative(path)) {
        relative = path.substr(1);
        return rootKey_;
    }
    relative = path;
    return currentKey_ ? currentKey_ : rootKey_;
}

void TRegistry::ChangeKey(HKEY key, const std::string& path) {
    const bool relativeBelowOpen = IsRelative(path) && currentKey_ != nullptr && !currentPath_.empty();
    const std::string newPath =
        relativeBelowOpen ? currentPath_ + "\\" + path : (IsRelative(path) ? path : path.substr(1));
    CloseKey();
    currentKey_ = key;
    currentPath_ = newPath;
}

LONG TRegistry::CreateKey(const std::string& path) {
    std::string relative;
    HKEY base = BaseKeyOf(path, relative);
    HKEY created = nullptr;
    DWORD disposition = 0;
    const LONG result = RegCreateKeyExA(base, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        fullAccess, nullptr, &created, &disposition);
    if (result != ERROR_SUCCESS) Raise("Failed to create key %s", path);
    RegCloseKey(created);
    return result;
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    std::string relative;
    HKEY base = BaseKeyOf(path, relative);
    HKEY opened = nullptr;
    LONG result;
    if (canCreate && !relative.empty()) {
        DWORD disposition = 0;
        result = RegCreateKeyExA(base, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, fullAccess,
                                 nullptr, &opened, &disposition);
    } else {
        result = RegOpenKeyExA(base, relative.c_str(), 0, fullAccess, &opened);
    }
    if (result != ERROR_SUCCESS) return false;
    ChangeKey(opened, path);
    return true;
}

LONG TRegistry::OpenKeyAnyAccess(const std::string& path, bool canCreate) {
    std::string relative;
    HKEY base = BaseKeyOf(path, relative);
    HKEY opened = nullptr;
    const bool creating = canCreate && !relative.empty();
    auto attempt = [&](REGSAM access) {
        if (creating) {
            DWORD disposition = 0;
            return RegCreateKeyExA(base, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                   nullptr, &opened, &disposition);
        }
        return RegOpenKeyExA(base, relative.c_str(), 0, access, &opened);
    };
    LONG result = attempt(fullAccess);
    if (result == ERROR_ACCESS_DENIED) result = attempt(creating ? writeAccess : readAccess);
    if (result == ERROR_SUCCESS) ChangeKey(opened, path);
    return result;
}

bool TRegistry::OpenKeyReadOnly(const std::string& path) {
    std::string relative;
    HKEY base = BaseKeyOf(path, relative);
    HKEY opened = nullptr;
    if (RegOpenKeyExA(base, relative.c_str(), 0, readAccess, &opened) != ERROR_SUCCESS) return false;
    ChangeKey(opened, path);
    return true;
}

HKEY TRegistry::GetKey(const std::string& path) {
    std::string relative;
    HKEY base = BaseKeyOf(path, relative);
    HKEY opened = nullptr;
    return RegOpenKeyExA(base, relative.c_str(), 0, fullAccess, &opened) == ERROR_SUCCESS ? opened : nullptr;
}

bool TRegistry::DeleteKey(const std::string& path) {
    std::string relative;
    HKEY base = BaseKeyOf(path, relative);
    HKEY opened = GetKey(path);
    if (opened) {
        // Sub-keys first, from the last index down, each by the same procedure.
        const HKEY savedKey = currentKey_;
        const std::string savedPath = currentPath_;
        currentKey_ = opened;
        TRegKeyInfo info;
        if (GetKeyInfo(info)) {
            std::vector<char> name(info.MaxSubKeyLen + 1);
            for (DWORD index = info.NumSubKeys; index-- > 0;) {
                DWORD length = static_cast<DWORD>(name.size());
                // A sub-key the system will not name stays, and then so does this key: the
                // delete below fails and says so.
                if (RegEnumKeyExA(opened, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS)
                    DeleteKey(std::string(name.data(), length));
            }
        }
        currentKey_ = savedKey;
        currentPath_ = savedPath;
        RegCloseKey(opened);
    }
    return RegDeleteKeyA(base, relative.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(const std::string& name) {
    return RegDeleteValueA(currentKey_, name.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::GetKeyInfo(TRegKeyInfo& info) {
    info = {};
    if (RegQueryInfoKeyA(currentKey_, nullptr, nullptr, nullptr, &info.NumSubKeys, &info.MaxSubKeyLen,
                         nullptr, &info.NumValues, &info.MaxValueLen, &info.MaxDataLen, nullptr,
                         &info.FileTime) != ERROR_SUCCESS)
        return false;
    const DWORD factor = FarEastNt() ? 10 : 5;
    info.MaxSubKeyLen *= factor;
    info.MaxValueLen *= factor;
    return true;
}

std::vector<std::string> TRegistry::GetKeyNames() {
    std::vector<std::string> names;
    TRegKeyInfo info;
    if (!GetKeyInfo(info)) return names;
    std::vector<char> buffer(info.MaxSubKeyLen + 1);
    // A name the system refuses (removed or renamed while we list) is left out: the list is
    // of what can be opened now, and nothing is changed by listing.
    for (DWORD index = 0; index < info.NumSubKeys; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (RegEnumKeyExA(currentKey_, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
            names.emplace_back(buffer.data(), length);
    }
    return names;
}

std::vector<std::string> TRegistry::GetValueNames() {
    std::vector<std::string> names;
    TRegKeyInfo info;
    if (!GetKeyInfo(info)) return names;
    std::vector<char> buffer(info.MaxValueLen + 1);
    // As for keys: a refused name is left out of the list, nothing is changed.
    for (DWORD index = 0; index < info.NumValues; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (RegEnumValueA(currentKey_, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
            names.emplace_back(buffer.data(), length);
    }
    return names;
}

DWORD TRegistry::ToRegistryType(TRegValueType type) {
    switch (static_cast<TRegValueType>(static_cast<uint8_t>(type) & 0x7F)) {
    case TRegValueType::String:
        return REG_SZ;
    case TRegValueType::ExpandString:
        return REG_EXPAND_SZ;
    case TRegValueType::Integer:
    case TRegValueType::DWordLittleEndian:
        return REG_DWORD;
    case TRegValueType::Binary:
        return REG_BINARY;
    case TRegValueType::DWordBigEndian:
        return REG_DWORD_BIG_ENDIAN;
    case TRegValueType::Link:
        return REG_LINK;
    case TRegValueType::MultiString:
        return REG_MULTI_SZ;
    case TRegValueType::ResourceList:
        return REG_RESOURCE_LIST;
    default:
        return REG_NONE;
    }
}

TRegValueType TRegistry::FromRegistryType(DWORD registryType) {
    switch (registryType) {
    case REG_SZ:
        return TRegValueType::String;
    case REG_EXPAND_SZ:
        return TRegValueType::ExpandString;
    case REG_DWORD:
        return TRegValueType::Integer;
    case REG_BINARY:
        return TRegValueType::Binary;
    case REG_DWORD_BIG_ENDIAN:
        return TRegValueType::DWordBigEndian;
    case REG_LINK:
        return TRegValueType::Link;
    case REG_MULTI_SZ:
        return TRegValueType::MultiString;
    case REG_RESOURCE_LIST:
        return TRegValueType::ResourceList;
    default:
        return TRegValueType::Unknown;
    }
}

bool TRegistry::GetDataInfo(const std::string& name, TRegValueType& type, DWORD& size) {
    DWORD registryType = 0;
    size = 0;
    if (RegQueryValueExA(currentKey_, name.c_str(), nullptr, &registryType, nullptr, &size) !=
        ERROR_SUCCESS) {
        type = TRegValueType::Unknown;
        return false;
    }
    type = FromRegistryType(registryType);
    return true;
}

int TRegistry::GetDataSize(const std::string& name) {
    TRegValueType type;
    DWORD size;
    return GetDataInfo(name, type, size) ? static_cast<int>(size) : -1;
}

TRegValueType TRegistry::GetDataType(const std::string& name) {
    TRegValueType type;
    DWORD size;
    return GetDataInfo(name, type, size) ? type : TRegValueType::Unknown;
}

bool TRegistry::ValueExists(const std::string& name) {
    TRegValueType type;
    DWORD size;
    return GetDataInfo(name, type, size);
}

void TRegistry::PutData(const std::string& name, const void* data, DWORD size, TRegValueType type) {
    if (RegSetValueExA(currentKey_, name.c_str(), 0, ToRegistryType(type), static_cast<const BYTE*>(data),
                       size) != ERROR_SUCCESS)
        Raise("Failed to set data for '%s'", name);
}

DWORD TRegistry::GetData(const std::string& name, void* buffer, DWORD size, TRegValueType& type) {
    DWORD registryType = 0;
    if (RegQueryValueExA(currentKey_, name.c_str(), nullptr, &registryType, static_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS)
        Raise("Failed to get data for '%s'", name);
    type = FromRegistryType(registryType);
    return size;
}

std::string TRegistry::ReadString(const std::string& name) {
    const int size = GetDataSize(name);
    if (size < 1) return {};
    std::string data(static_cast<size_t>(size), '\0');
    TRegValueType type;
    const DWORD got = GetData(name, data.data(), static_cast<DWORD>(data.size()), type);
    if (type != TRegValueType::String && type != TRegValueType::ExpandString)
        Raise("Invalid data type for '%s'", name);
    // A string stored without its NUL is read by its size.
    data.resize(std::min<size_t>(got, data.size()));
    const size_t nul = data.find('\0');
    if (nul != std::string::npos) data.resize(nul);
    return data;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    PutData(name, value.c_str(), static_cast<DWORD>(value.size() + 1), TRegValueType::String);
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
    PutData(name, value.c_str(), static_cast<DWORD>(value.size() + 1), TRegValueType::ExpandString);
}

int TRegistry::ReadInteger(const std::string& name) {
    int32_t value = 0;
    TRegValueType type;
    DWORD size;
    if (!GetDataInfo(name, type, size)) Raise("Failed to get data for '%s'", name);
    if (type != TRegValueType::Integer || size != sizeof value) Raise("Invalid data type for '%s'", name);
    GetData(name, &value, sizeof value, type);
    return value;
}

void TRegistry::WriteInteger(const std::string& name, int value) {
    const int32_t data = value;
    PutData(name, &data, sizeof data, TRegValueType::Integer);
}

double TRegistry::ReadFloat(const std::string& name) {
    double value = 0;
    TRegValueType type;
    DWORD size;
    if (!GetDataInfo(name, type, size)) Raise("Failed to get data for '%s'", name);
    if (type != TRegValueType::Binary || size != sizeof value) Raise("Invalid data type for '%s'", name);
    GetData(name, &value, sizeof value, type);
    return value;
}

void TRegistry::WriteFloat(const std::string& name, double value) {
    PutData(name, &value, sizeof value, TRegValueType::Binary);
}

void TRegistry::WriteData(const std::string& name, const void* data, TRegValueType type, DWORD size) {
    PutData(name, data, size, type);
}

DWORD TRegistry::ReadBinaryData(const std::string& name, void* buffer, DWORD bufferSize) {
    TRegValueType type;
    DWORD size;
    if (!GetDataInfo(name, type, size)) return 0;
    if (size > bufferSize) Raise("Invalid data type for '%s'", name);
    return GetData(name, buffer, size, type);
}

} // namespace core
