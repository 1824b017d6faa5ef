// Object containers and the class registry.
//
// TObjectList keeps raw references in a vector whose size is the capacity; the count of used
// slots is separate, so the growth steps (4, 8, then 16) stay exactly those the streamed form
// and the tests expect, and inserting shifts only the used part. The capacity never reaches
// 65,535: the last step is clamped to 65,534 instead of overshooting and failing.
//
// The registry maps class names to a creator and load/store procedures, and class types back
// to names for writing. Reading trusts nothing: the count is checked against the capacity
// limit before any room is made, a class name must be registered, and an object whose load
// fails is freed before the error goes on.

#include "zip/ZipCntn.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#if defined(__GNUG__)
#include <cstdlib>
#include <cxxabi.h>
#endif

namespace zip::cntn {

namespace {

constexpr int GrowLimit = MaxListSize - 1;

void WriteU8(gui::TStream& stream, uint8_t value) {
    stream.WriteBuffer(&value, 1);
}

void WriteI32(gui::TStream& stream, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    stream.WriteBuffer(bytes, 4);
}

uint8_t ReadU8(gui::TStream& stream) {
    uint8_t value;
    stream.ReadBuffer(&value, 1);
    return value;
}

int32_t ReadI32(gui::TStream& stream) {
    uint8_t b[4];
    stream.ReadBuffer(b, 4);
    return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                                uint32_t(b[3]) << 24);
}

struct Registry {
    std::map<std::string, tRegisterRec> byName;
    std::unordered_map<std::type_index, std::string> byType;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::string CutName(std::string_view name) {
    return std::string(name.substr(0, 63));
}

} // namespace

std::string ClassNameOf(const TObject& object) {
    const char* raw = typeid(object).name();
#if defined(__GNUG__)
    int status = 0;
    char* demangled = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
    if (status == 0 && demangled) {
        std::string name(demangled);
        std::free(demangled);
        return name;
    }
#endif
    return raw;
}

// --- TObjectList -------------------------------------------------------------------------

TObjectList::~TObjectList() {
    for (int i = 0; i < count_; ++i)
        TObjectList::FreeItem(items_[i]);
    count_ = 0;
}

void TObjectList::Error(int index) const {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TObjectList::Grow() {
    const int capacity = Capacity();
    if (capacity >= GrowLimit) Error(capacity);
    const int delta = capacity < 5 ? 4 : capacity < 9 ? 8 : 16;
    SetCapacity(std::min(capacity + delta, GrowLimit));
}

void TObjectList::FreeItem(TObject* item) {
    if (OwnsObjects) delete item;
}

void TObjectList::SetCapacity(int capacity) {
    if (capacity < count_ || capacity >= MaxListSize) Error(capacity);
    items_.resize(static_cast<size_t>(capacity), nullptr);
    items_.shrink_to_fit();
}

void TObjectList::SetCount(int count) {
    if (count < 0 || count >= MaxListSize) Error(count);
    if (count > Capacity()) SetCapacity(count);
    for (int i = count_; i < count; ++i)
        items_[i] = nullptr;
    count_ = count;
}

TObject* TObjectList::Get(int index) const {
    if (index < 0 || index >= count_) Error(index);
    return items_[index];
}

void TObjectList::Put(int index, TObject* item) {
    if (index < 0 || index >= count_) Error(index);
    items_[index] = item;
}

int TObjectList::Add(TObject* item) {
    InsertAt(count_, item);
    return count_ - 1;
}

void TObjectList::Insert(int index, TObject* item) {
    if (index < 0 || index > count_) Error(index);
    InsertAt(index, item);
}

void TObjectList::InsertAt(int index, TObject* item) {
    if (count_ == Capacity()) Grow();
    std::copy_backward(items_.begin() + index, items_.begin() + count_, items_.begin() + count_ + 1);
    items_[index] = item;
    ++count_;
}

void TObjectList::Delete(int index) {
    if (index < 0 || index >= count_) Error(index);
    std::copy(items_.begin() + index + 1, items_.begin() + count_, items_.begin() + index);
    --count_;
    items_[count_] = nullptr;
}

void TObjectList::Clear() {
    count_ = 0;
    items_.clear();
    items_.shrink_to_fit();
}

int TObjectList::IndexOf(const TObject* item) const {
    for (int i = 0; i < count_; ++i)
        if (items_[i] == item) return i;
    return -1;
}

TObject* TObjectList::Neighbour(const TObject* item, bool forward) const {
    if (!item) return count_ == 0 ? nullptr : forward ? First() : Last();
    const int index = IndexOf(item);
    if (index < 0) throw EListError("tObject " + ClassNameOf(*item) + " not in item list");
    const int at = forward ? index + 1 : index - 1;
    return at >= 0 && at < count_ ? items_[at] : nullptr;
}

void TObjectList::WriteItems(gui::TStream& stream) const {
    WriteU8(stream, OwnsObjects ? 1 : 0);
    WriteI32(stream, count_);
    for (int i = 0; i < count_; ++i)
        WriteObject(items_[i], stream);
}

void TObjectList::ReadItems(gui::TStream& stream) {
    OwnsObjects = ReadU8(stream) != 0;
    const int32_t count = ReadI32(stream);
    if (count < 0 || count > GrowLimit - count_) Error(count);
    if (Capacity() - count_ < count) SetCapacity(count_ + count);
    for (int32_t i = 0; i < count; ++i) {
        std::unique_ptr<TObject> object = ReadObject(stream);
        Add(object.get());
        object.release();
    }
}

// --- TSortedObjectList -------------------------------------------------------------------

bool TSortedObjectList::Find(const void* key, int& index) const {
    int low = 0, high = Count() - 1;
    bool found = false;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        const int c = Compare(KeyOf(Get(middle)), key);
        if (c < 0)
            low = middle + 1;
        else {
            high = middle - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != 1) {
                    low = middle;
                    break;
                }
            }
        }
    }
    index = low;
    return found;
}

void TSortedObjectList::Put(int, TObject*) {
    throw EListError("Cannot <Put> an Object in a sorted list!");
}

int TSortedObjectList::Add(TObject* item) {
    int index;
    Find(KeyOf(item), index);
    InsertAt(index, item);
    return 0;
}

int TSortedObjectList::IndexOf(const TObject* item) const {
    const void* key = KeyOf(item);
    int index;
    if (Find(key, index)) {
        // Equal keys sit together; the reference is one of them.
        for (int i = index; i < Count() && Compare(KeyOf(Get(i)), key) == 0; ++i)
            if (Get(i) == item) return i;
        for (int i = index - 1; i >= 0 && Compare(KeyOf(Get(i)), key) == 0; --i)
            if (Get(i) == item) return i;
    }
    // Orders that never answer "equal" (newest first, largest first) cannot find by key.
    return TObjectList::IndexOf(item);
}

void TSortedObjectList::WriteItems(gui::TStream& stream) const {
    WriteU8(stream, Duplicates);
    TObjectList::WriteItems(stream);
}

void TSortedObjectList::ReadItems(gui::TStream& stream) {
    Duplicates = ReadU8(stream);
    TObjectList::ReadItems(stream);
}

// --- Class registry ----------------------------------------------------------------------

void RegisterClass(std::string_view name, std::type_index type, TCreateProc create, TLoadProc load,
                   TStoreProc store) {
    Registry& registry = TheRegistry();
    const std::string key = CutName(name);
    UnregisterClass(key);
    registry.byName.insert_or_assign(key, tRegisterRec{key, type, create, load, store});
    registry.byType.insert_or_assign(type, key);
}

void UnregisterClass(std::string_view name) {
    Registry& registry = TheRegistry();
    auto found = registry.byName.find(CutName(name));
    if (found == registry.byName.end()) return;
    registry.byType.erase(found->second.type);
    registry.byName.erase(found);
}

const tRegisterRec* FindClass(std::string_view name) {
    Registry& registry = TheRegistry();
    auto found = registry.byName.find(CutName(name));
    return found == registry.byName.end() ? nullptr : &found->second;
}

std::unique_ptr<TObject> CreateByName(std::string_view name, TLoadProc& load) {
    const tRegisterRec* record = FindClass(name);
    if (!record) throw EClassNotFound("Class <" + std::string(name) + "> not registered");
    load = record->load;
    return std::unique_ptr<TObject>(record->create());
}

std::unique_ptr<TObject> ReadObject(gui::TStream& stream) {
    const uint8_t length = ReadU8(stream);
    std::string name(length, '\0');
    stream.ReadBuffer(name.data(), length);
    TLoadProc load = nullptr;
    std::unique_ptr<TObject> object = CreateByName(name, load);
    load(*object, stream);
    return object;
}

void WriteObject(const TObject* object, gui::TStream& stream) {
    if (!object) throw EClassNotFound("Nil Source Class!");
    Registry& registry = TheRegistry();
    auto type = registry.byType.find(typeid(*object));
    if (type == registry.byType.end())
        throw EClassNotFound("Source Class <" + ClassNameOf(*object) + "> not registered");
    const tRegisterRec& record = registry.byName.at(type->second);
    WriteU8(stream, static_cast<uint8_t>(record.name.size()));
    stream.WriteBuffer(record.name.data(), record.name.size());
    record.store(*object, stream);
}

} // namespace zip::cntn
