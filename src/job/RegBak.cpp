#include "job/RegBak.h"

#include "core/Messages.h"
#include "gui/Clock.h"
#include "job/JobHost.h"
#include "job/RegBakFormat.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_set>

namespace job {

namespace {

constexpr int kStatusEvery = 97;
constexpr int kReadyWaitMs = 60000;

std::string Upper(std::string text) {
    if (!text.empty()) CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Lines of a file in 64 KiB reads; a line ends at LF, a CR before it is the reader's to drop.
class FileLines {
  public:
    explicit FileLines(FILE* file) : file_(file), buffer_(64 * 1024) {}
    bool Read(std::string& line) {
        line.clear();
        for (;;) {
            if (at_ == size_) {
                size_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
                at_ = 0;
                if (size_ == 0) return !line.empty();
            }
            const char* start = buffer_.data() + at_;
            const void* end = std::memchr(start, '\n', size_ - at_);
            if (end) {
                const size_t n = static_cast<const char*>(end) - start;
                line.append(start, n);
                at_ += n + 1;
                return true;
            }
            line.append(start, size_ - at_);
            at_ = size_;
        }
    }

  private:
    FILE* file_;
    std::vector<char> buffer_;
    size_t at_ = 0, size_ = 0;
};

// One walk over the roots: writing the file, or collecting the values it would hold.
class TRegistryWalk {
  public:
    TRegistryWalk(JobHost& host, TRegBakWriter* writer, std::vector<TRegValueId>* list,
                  std::function<bool()> cancelled)
        : host_(host), writer_(writer), list_(list), cancelled_(std::move(cancelled)),
          buffer_(kRegBakBufferSize) {}

    void Root(const TRegRoot& root) {
        core::TRegistry registry;
        registry.SetRootKey(root.key);
        if (writer_) writer_->RootLine(root.name);
        if (writer_) host_.SetStatusText(std::string("Saving registry: ") + root.name);
        std::vector<std::string> pending{std::string()};
        while (!pending.empty() && !cancelled_()) {
            std::string path = std::move(pending.back());
            pending.pop_back();
            Key(registry, root.name, path, pending);
        }
    }

  private:
    void Key(core::TRegistry& registry, const std::string& root, const std::string& path,
             std::vector<std::string>& pending) {
        if (!registry.OpenKeyReadOnly(path.empty() ? "\\" : path)) {
            if (!path.empty() && writer_) {
                host_.AddToJobLog("No values for this key: " + root + path);
                writer_->KeyLine(path);
                CountLines();
            }
            return;
        }
        const std::vector<std::string> names = registry.GetKeyNames();
        if (!path.empty() && writer_) writer_->KeyLine(path);
        for (size_t i = names.size(); i-- > 0;)
            pending.push_back(path + "\\" + names[i]);

        core::TRegKeyInfo info;
        if (!registry.GetKeyInfo(info)) return;
        const HKEY key = registry.CurrentKey();
        std::vector<char> name(info.MaxValueLen + 2);
        for (DWORD index = 0; index < info.NumValues && !cancelled_(); ++index) {
            DWORD nameLength = static_cast<DWORD>(name.size());
            DWORD type = 0;
            DWORD size = static_cast<DWORD>(buffer_.size());
            LONG result =
                RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, buffer_.data(), &size);
            if (result == ERROR_NO_MORE_ITEMS) break;
            if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) {
                if (writer_)
                    host_.AddToJobLog("ERROR reading registry: value " + std::to_string(index) + " of " +
                                      root + path + " (" + std::to_string(result) + ")");
                continue;
            }
            const std::string valueName(name.data(), nameLength);
            if (!RegBakNameFits(valueName)) {
                if (writer_)
                    host_.AddToJobLog("ERROR reading registry, name with a line break left out in: " + root +
                                      path);
                continue;
            }
            if (result == ERROR_MORE_DATA) {
                // Larger than the buffer (or grown since): ask the size alone.
                size = 0;
                RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
            }
            if (2 * uint64_t(size) >= 2 * kRegBakLargestValue) {
                if (writer_)
                    host_.AddToJobLog("ERROR reading registry, key to big: " + std::to_string(size) + " - " +
                                      valueName);
                continue;
            }
            if (result == ERROR_MORE_DATA) {
                DWORD got = size;
                if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer_.data(), &got) !=
                        ERROR_SUCCESS ||
                    got < size) {
                    if (writer_) host_.AddToJobLog("ERROR reading registry: " + valueName);
                    std::memset(buffer_.data(), 0, size);
                }
            }
            if (list_) list_->push_back({root, path, valueName});
            if (writer_) {
                const unsigned ourType = static_cast<unsigned>(core::TRegistry::FromRegistryType(type));
                writer_->ValueLines(valueName, ourType, buffer_.data(), size);
                CountLines();
            }
            host_.PumpIfDue();
        }
    }

    void CountLines() {
        const uint64_t shown = writer_->Lines() / kStatusEvery;
        if (shown != shown_) {
            shown_ = shown;
            host_.SetTotalText(std::to_string(writer_->Lines()));
        }
    }

    JobHost& host_;
    TRegBakWriter* writer_;
    std::vector<TRegValueId>* list_;
    std::function<bool()> cancelled_;
    std::vector<uint8_t> buffer_;
    uint64_t shown_ = 0;
};

} // namespace

std::string TRegValueId::Key() const {
    return Upper(root + path + "\\" + name);
}

const std::vector<TRegRoot>& RegBakRoots() {
    static const std::vector<TRegRoot> roots = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                                                {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                                                {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                                {"HKEY_USERS", HKEY_USERS},
                                                {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
    return roots;
}

HKEY RegRootByName(const std::string& name) {
    for (const TRegRoot& root : RegBakRoots())
        if (name == root.name) return root.key;
    return nullptr;
}

bool BackupRegistry(JobHost& host, const std::string& fileName, std::vector<TRegValueId>* list,
                    bool collectOnly, bool currentUserOnly, const std::vector<std::string>* roots) {
    if (host.Cancelled() && !collectOnly) return false;
    host.BeginReport();
    File file;
    bool writeFailed = false;
    std::unique_ptr<TRegBakWriter> writer;
    if (!collectOnly) {
        file.reset(std::fopen(fileName.c_str(), "wb"));
        if (!file) {
            host.AddToJobLog("ERROR creating registry file: " + fileName);
            return false;
        }
        writer = std::make_unique<TRegBakWriter>([&](const std::string& text) {
            if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) writeFailed = true;
        });
    }
    TRegistryWalk walk(host, writer.get(), collectOnly ? list : nullptr,
                       collectOnly ? std::function<bool()>([&] { return host.RestoreCancelled(); })
                                   : std::function<bool()>([&] { return host.Cancelled(); }));
    for (const TRegRoot& root : RegBakRoots()) {
        if (currentUserOnly && root.key != HKEY_CURRENT_USER) continue;
        if (roots) {
            bool wanted = false;
            for (const std::string& name : *roots)
                wanted = wanted || name == root.name;
            if (!wanted) continue;
        }
        walk.Root(root);
    }
    if (collectOnly) return true;
    host.AddToLog(currentUserOnly ? "Curent user registry saved" : "Registry saved");
    host.SetPassProgress(0, 100);
    writer->CountLine();
    if (std::fclose(file.release()) != 0) writeFailed = true;
    if (writeFailed) host.AddToJobLog("ERROR writing registry file: " + fileName);
    return !writeFailed;
}

std::string SaveRegistryForJob(JobHost& host, const std::string& programFolder) {
    const std::string fileName = programFolder + "_$zreg_$._$r";
    if (!BackupRegistry(host, fileName, nullptr, false, false)) return {};
    host.SetStatusText("Waiting for registry files to be finished.");
    gui::Clock& clock = gui::CurrentClock();
    const int64_t start = clock.MonotonicMs();
    for (;;) {
        if (File ready{std::fopen(fileName.c_str(), "rb")}) return fileName;
        if (clock.MonotonicMs() - start >= kReadyWaitMs) break;
        host.Wait(100);
    }
    host.AddToJobLog("ERROR the registry file could not be opened: " + fileName);
    return {};
}

namespace {

class TRegistryRestore {
  public:
    explicit TRegistryRestore(JobHost& host) : host_(host), current_(kRegBakBufferSize) {}

    void Run(const std::string& fileName) {
        File file(std::fopen(fileName.c_str(), "rb"));
        if (!file) {
            host_.AddToRestoreLog("Cannot open the registry file: " + fileName);
            return;
        }
        ReadProgressMaximum(file.get());
        FileLines lines(file.get());
        TRegBakReader reader([&](std::string& line) { return lines.Read(line); });
        TRegBakItem item;
        uint64_t shown = 0;
        while (!host_.RestoreCancelled() && reader.Next(item)) {
            if (reader.LinesRead() / kStatusEvery != shown) {
                shown = reader.LinesRead() / kStatusEvery;
                host_.SetRestoreProgress(static_cast<int>(reader.LinesRead() / 100), maximum_);
                statusDue_ = true;
            }
            switch (item.kind) {
            case TRegBakItemKind::Root:
                EnterRoot(item.text);
                break;
            case TRegBakItemKind::Key:
                if (root_) EnterKey(item.text);
                break;
            case TRegBakItemKind::Value:
                if (root_) Value(item);
                break;
            case TRegBakItemKind::End:
                break;
            }
        }
        if (!host_.RestoreCancelled()) RemoveAddedValues();
    }

  private:
    void ReadProgressMaximum(FILE* file) {
        if (std::fseek(file, 0, SEEK_END) != 0) return;
        const long size = std::ftell(file);
        char tail[12];
        if (size > 12 && std::fseek(file, size - 12, SEEK_SET) == 0 && std::fread(tail, 1, 12, file) == 12) {
            const int64_t count = RegBakCountFromTail(std::string_view(tail, 12));
            if (count >= 0) maximum_ = static_cast<int>(count / 100);
        }
        std::fseek(file, 0, SEEK_SET);
        host_.SetRestoreProgress(0, maximum_);
    }

    void EnterRoot(const std::string& name) {
        root_ = RegRootByName(name);
        rootName_ = name;
        keyPath_.clear();
        keyOpen_ = false;
        if (!root_) {
            // The performance and dynamic-data roots are not restored; anything else is unknown.
            if (name != "HKEY_PERFORMANCE_DATA" && name != "HKEY_DYN_DATA")
                host_.AddToRestoreLog("Unknown root not restored: " + name);
            return;
        }
        rootsInFile_.push_back(name);
        registry_.SetRootKey(root_);
        registry_.CloseKey();
        keyOpen_ = registry_.OpenKeyAnyAccess("\\", false) == ERROR_SUCCESS;
    }

    void EnterKey(const std::string& path) {
        keyPath_ = path;
        const LONG code = registry_.OpenKeyAnyAccess(path, true);
        keyOpen_ = code == ERROR_SUCCESS;
        if (!keyOpen_) host_.AddToRestoreLog("Error: " + std::to_string(code) + " opening key: " + path);
    }

    void Value(const TRegBakItem& item) {
        const std::string where = rootName_ + keyPath_ + "\\" + item.text;
        // Listed even when damaged: a value the backup holds is never taken for one added since.
        inBackup_.insert(Upper(where));
        if (item.lengthUnreadable) host_.AddToRestoreLog("Error in length, key: " + keyPath_ + item.text);
        if (item.damaged) {
            host_.AddToRestoreLog("Error datalength " + std::to_string(item.dataDigits) + "<>" +
                                  std::to_string(item.lengthField) + " key: " + keyPath_ + item.text);
            return;
        }
        if (statusDue_) {
            host_.SetRestoreStatus("Restoring registry: " + rootName_ + "\\" + keyPath_);
            statusDue_ = false;
        }
        host_.PumpIfDue();
        const bool detail = host_.DetailLog();
        const std::string described = rootName_ + keyPath_ + " Value name: " + item.text +
                                      " Data: " + std::to_string(item.data.size()) +
                                      " Type: " + RegBakTag(item.type) + std::to_string(item.type);
        if (!keyOpen_) {
            host_.AddToRestoreLog("Skipped: " + (detail ? described : where));
            return;
        }
        const HKEY key = registry_.CurrentKey();
        DWORD currentType = REG_NONE;
        DWORD currentSize = static_cast<DWORD>(current_.size());
        const LONG query =
            RegQueryValueExA(key, item.text.c_str(), nullptr, &currentType, current_.data(), &currentSize);
        const bool exists = query == ERROR_SUCCESS || query == ERROR_MORE_DATA;
        // Types the format cannot name keep the type the value has now.
        const DWORD type = item.type == 0
                               ? (exists ? currentType : REG_NONE)
                               : core::TRegistry::ToRegistryType(static_cast<core::TRegValueType>(item.type));
        if (query == ERROR_SUCCESS && currentType == type && currentSize == item.data.size() &&
            std::memcmp(current_.data(), item.data.data(), item.data.size()) == 0)
            return;
        if (detail) {
            host_.AddToRestoreLog("Value different: " + described);
            // A value larger than the buffer has no current data to show.
            host_.AddToRestoreLog(query == ERROR_SUCCESS ? Hex(current_.data(), currentSize) : std::string(),
                                  false);
            host_.AddToRestoreLog(Hex(item.data.data(), item.data.size()), false);
        }
        if (RegSetValueExA(key, item.text.c_str(), 0, type, item.data.data(),
                           static_cast<DWORD>(item.data.size())) == ERROR_SUCCESS)
            host_.AddToRestoreLog("Replaced: " + where);
        else
            host_.AddToRestoreLog("Skipped: " + (detail ? described : where));
    }

    static std::string Hex(const uint8_t* data, size_t size) {
        static const char digits[] = "0123456789ABCDEF";
        std::string text(2 * size, '0');
        for (size_t i = 0; i < size; ++i) {
            text[2 * i] = digits[data[i] >> 4];
            text[2 * i + 1] = digits[data[i] & 15];
        }
        return text;
    }

    void RemoveAddedValues() {
        if (rootsInFile_.empty()) return;
        host_.SetRestoreStatus("Reading registry, wait ");
        std::vector<TRegValueId> now;
        BackupRegistry(host_, std::string(), &now, true, false, &rootsInFile_);
        host_.SetRestoreStatus("Sorting registry, wait ");
        if (!host_.ConfirmRestore(
                "Would you like to remove keys and values added to the registry since the backup was made."))
            return;
        host_.SetRestoreStatus("Remowing keys from registry, wait ");
        core::TRegistry registry;
        const int maximum = static_cast<int>(now.size() / 100);
        for (size_t i = 0; i < now.size() && !host_.RestoreCancelled(); ++i) {
            if (i % 128 == 0) {
                host_.SetRestoreProgress(static_cast<int>(i / 100), maximum);
                host_.PumpIfDue();
            }
            const TRegValueId& value = now[i];
            const std::string id = value.Key();
            if (inBackup_.count(id)) continue;
            registry.SetRootKey(RegRootByName(value.root));
            registry.CloseKey();
            const LONG code = registry.OpenKeyAnyAccess(value.path.empty() ? "\\" : value.path, false);
            if (code != ERROR_SUCCESS) {
                host_.AddToRestoreLog("Error: " + std::to_string(code) + " opening key: " + value.path);
                continue;
            }
            // The value alone: a key is never removed.
            if (registry.DeleteValue(value.name))
                host_.AddToRestoreLog("Registry value deleted: " + value.root + value.path + "\\" +
                                      value.name);
        }
    }

    JobHost& host_;
    core::TRegistry registry_;
    HKEY root_ = nullptr;
    std::string rootName_, keyPath_;
    bool keyOpen_ = false;
    bool statusDue_ = true;
    int maximum_ = 0;
    std::vector<std::string> rootsInFile_;
    std::unordered_set<std::string> inBackup_;
    std::vector<uint8_t> current_;
};

} // namespace

void RestoreRegistry(JobHost& host, const std::string& fileName) {
    const core::OsVersion os = host.Os();
    const std::string text =
        os.ntFamily && os.major >= 4 ? core::LoadMessage(65013) + "\r" : core::LoadMessage(65014);
    if (!host.ConfirmRestore(text) || !host.ConfirmRestore(text)) return;
    host.ShowRestoreRunning(true);
    host.AddToLog("Registry restore started");
    {
        TRegistryRestore restore(host);
        restore.Run(fileName);
    }
    const std::string end = host.RestoreCancelled() ? "Registry restore cancelled" : "Registry restored";
    host.AddToLog(end);
    host.SetRestoreStatus(end);
    host.ShowRestoreRunning(false);
    host.SetRestoreProgress(0, 100);
}

} // namespace job
