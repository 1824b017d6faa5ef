#pragma once
// The zip library's own object containers: an array of object references that may own its
// objects, a sorted variant ordered by a subclass's comparison, and a registry of classes that
// lets both write their contents to a stream and read them back. They live in their own
// namespace: the class library has list classes of its own with different rules.
//
// Capacity stays below 65,535 items; the growth steps are 4, 8, then 16 at a time. Objects are
// gui::TPersistent; a list with OwnsObjects deletes what it still holds when it is destroyed,
// never on Delete or Clear.

#include "gui/Persistent.h"
#include "gui/Stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <vector>

namespace zip::cntn {

using TObject = gui::TPersistent;

// Capacity and count stay below this.
constexpr int MaxListSize = 65535;

class TObjectList : public gui::TPersistent {
  public:
    TObjectList() = default;
    TObjectList(const TObjectList&) = delete;
    TObjectList& operator=(const TObjectList&) = delete;
    // Frees every object still held when OwnsObjects is set.
    ~TObjectList() override;

    bool OwnsObjects = true;

    int Count() const { return count_; }
    int Capacity() const { return static_cast<int>(items_.size()); }
    void SetCapacity(int capacity);
    // New slots are nil.
    void SetCount(int count);

    TObject* Get(int index) const;
    virtual void Put(int index, TObject* item);
    virtual int Add(TObject* item);
    virtual void Insert(int index, TObject* item);
    // Removes the reference only; the object stays alive.
    void Delete(int index);
    // Empties the list without freeing anything.
    virtual void Clear();
    virtual int IndexOf(const TObject* item) const;
    virtual TObject* First() const { return Get(0); }
    virtual TObject* Last() const { return Get(count_ - 1); }
    // The object after (forward) or before item; nil past either end. A nil item answers First
    // (forward) or Last.
    virtual TObject* Neighbour(const TObject* item, bool forward) const;

    // OwnsObjects (1 byte), the count (4 bytes), then each object through the class registry.
    // A count that does not fit the capacity limit is refused before anything is allocated.
    // Objects read into a list that does not own them belong to the caller.
    virtual void ReadItems(gui::TStream& stream);
    virtual void WriteItems(gui::TStream& stream) const;

  protected:
    [[noreturn]] virtual void Error(int index) const;
    virtual void Grow();
    virtual void FreeItem(TObject* item);
    // Inserts without checks beyond the index range; shared by the sorted list.
    void InsertAt(int index, TObject* item);

  private:
    std::vector<TObject*> items_; // size() is the capacity
    int count_ = 0;
};

class TSortedObjectList : public TObjectList {
  public:
    // duplicates = 1: equal keys are allowed, and a new one goes before the equal ones.
    explicit TSortedObjectList(uint8_t duplicates) : Duplicates(duplicates) {}

    uint8_t Duplicates;

    virtual const void* KeyOf(const TObject* item) const { return item; }
    // Below 0 when key1 sorts first.
    virtual int Compare(const void* key1, const void* key2) const = 0;
    // Binary search: index is where key is, or where it would be inserted.
    virtual bool Find(const void* key, int& index) const;

    // Always fails: a slot written by index would break the order.
    void Put(int index, TObject* item) override;
    // Inserts at the place Find gives; answers 0.
    int Add(TObject* item) override;
    // The index of this very reference (not of an equal neighbour), or -1.
    int IndexOf(const TObject* item) const override;
    void ReadItems(gui::TStream& stream) override;
    void WriteItems(gui::TStream& stream) const override;
};

// The class registry.
using TLoadProc = void (*)(TObject& object, gui::TStream& stream);
using TStoreProc = void (*)(const TObject& object, gui::TStream& stream);
using TCreateProc = TObject* (*)();

struct tRegisterRec {
    std::string name;
    std::type_index type;
    TCreateProc create;
    TLoadProc load;
    TStoreProc store;
};

// Names are cut to 63 characters. Registering a name again replaces its record.
void RegisterClass(std::string_view name, std::type_index type, TCreateProc create, TLoadProc load,
                   TStoreProc store);
template <class T> void RegisterClass(std::string_view name, TLoadProc load, TStoreProc store) {
    RegisterClass(
        name, typeid(T), [] { return static_cast<TObject*>(new T); }, load, store);
}
void UnregisterClass(std::string_view name);

const tRegisterRec* FindClass(std::string_view name);
// Throws EClassNotFound for an unknown name.
std::unique_ptr<TObject> CreateByName(std::string_view name, TLoadProc& load);
// A length byte, the class name, then the object's own data.
std::unique_ptr<TObject> ReadObject(gui::TStream& stream);
void WriteObject(const TObject* object, gui::TStream& stream);

// A readable name of the object's class for messages.
std::string ClassNameOf(const TObject& object);

} // namespace zip::cntn
