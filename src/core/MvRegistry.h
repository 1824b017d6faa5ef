#pragma once
// The program's own registry object over the Reg*A functions. It knows ten value types, opens
// keys with a fall-back to lesser access, and raises ERegistryException where a write or read
// cannot be done; opens, deletes and queries report through their results. One object per use,
// on the GUI thread.

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace core {

class ERegistryException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class TRegValueType : uint8_t {
    Unknown = 0,
    String = 1,
    ExpandString = 2,
    Integer = 3,
    Binary = 4,
    DWordLittleEndian = 5,
    DWordBigEndian = 6,
    Link = 7,
    MultiString = 8,
    ResourceList = 9,
};

struct TRegKeyInfo {
    DWORD NumSubKeys = 0;
    DWORD MaxSubKeyLen = 0;
    DWORD NumValues = 0;
    DWORD MaxValueLen = 0;
    DWORD MaxDataLen = 0;
    FILETIME FileTime{};
};

class TRegistry {
  public:
    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY CurrentKey() const { return currentKey_; }
    HKEY RootKey() const { return rootKey_; }
    const std::string& CurrentPath() const { return currentPath_; }
    bool LazyWrite = true;
    // The root handle is closed when the root changes (a key opened on another machine).
    bool CloseRootKey = false;

    void CloseKey();
    void SetRootKey(HKEY root);
    LONG CreateKey(const std::string& path);
    bool OpenKey(const std::string& path, bool canCreate);
    // 0 on success; falls back to read access (opening) or write access (creating).
    LONG OpenKeyAnyAccess(const std::string& path, bool canCreate);
    bool OpenKeyReadOnly(const std::string& path);
    // Opened with full access, not made current; 0 on failure. The caller closes it.
    HKEY GetKey(const std::string& path);
    bool DeleteKey(const std::string& path);
    bool DeleteValue(const std::string& name);

    bool GetKeyInfo(TRegKeyInfo& info);
    std::vector<std::string> GetKeyNames();
    std::vector<std::string> GetValueNames();
    bool GetDataInfo(const std::string& name, TRegValueType& type, DWORD& size);
    int GetDataSize(const std::string& name);
    TRegValueType GetDataType(const std::string& name);
    bool ValueExists(const std::string& name);

    std::string ReadString(const std::string& name);
    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    int ReadInteger(const std::string& name);
    void WriteInteger(const std::string& name, int value);
    double ReadFloat(const std::string& name);
    void WriteFloat(const std::string& name, double value);
    void WriteData(const std::string& name, const void* data, TRegValueType type, DWORD size);
    // Any type; larger than the buffer raises; 0 when the value cannot be queried.
    DWORD ReadBinaryData(const std::string& name, void* buffer, DWORD bufferSize);

    // Registry type codes for our value types and back.
    static DWORD ToRegistryType(TRegValueType type);
    static TRegValueType FromRegistryType(DWORD registryType);

  private:
    void PutData(const std::string& name, const void* data, DWORD size, TRegValueType type);
    DWORD GetData(const std::string& name, void* buffer, DWORD size, TRegValueType& type);
    // The key a path is opened below, and the path without a leading "\".
    HKEY BaseKeyOf(const std::string& path, std::string& relative) const;
    bool IsRelative(const std::string& path) const { return path.empty() || path[0] != '\\'; }
    void ChangeKey(HKEY key, const std::string& path);

    HKEY currentKey_ = nullptr;
    HKEY rootKey_ = HKEY_CURRENT_USER;
    std::string currentPath_;
};

} // namespace core
