#include "zip/ZipCntn.h"
#include "zip/ZipErrors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace zip;
using namespace zip::cntn;

namespace {

// Counts live instances so tests see what a list frees.
struct Item : TObject {
    explicit Item(int k = 0) : key(k) { ++alive; }
    ~Item() override { --alive; }
    int key;
    static inline int alive = 0;
};

void LoadItem(TObject& object, gui::TStream& stream) {
    stream.ReadBuffer(&static_cast<Item&>(object).key, sizeof(int));
}
void StoreItem(const TObject& object, gui::TStream& stream) {
    stream.WriteBuffer(&static_cast<const Item&>(object).key, sizeof(int));
}

struct Registered : ::testing::Test {
    void SetUp() override { RegisterClass<Item>("Item", LoadItem, StoreItem); }
    void TearDown() override {
        UnregisterClass("Item");
        EXPECT_EQ(Item::alive, 0);
    }
};

class ByKey : public TSortedObjectList {
  public:
    using TSortedObjectList::TSortedObjectList;
    int Compare(const void* a, const void* b) const override {
        return static_cast<const Item*>(a)->key - static_cast<const Item*>(b)->key;
    }
};

// Newest-first style order: never answers "equal".
class NeverEqual : public ByKey {
  public:
    using ByKey::ByKey;
    int Compare(const void* a, const void* b) const override {
        return static_cast<const Item*>(b)->key > static_cast<const Item*>(a)->key ? 1 : -1;
    }
};

std::vector<int> Keys(const TObjectList& list) {
    std::vector<int> keys;
    for (int i = 0; i < list.Count(); ++i)
        keys.push_back(static_cast<Item*>(list.Get(i))->key);
    return keys;
}

TEST_F(Registered, CapacityLimit) {
    TObjectList list;
    list.OwnsObjects = false;
    Item item;
    list.SetCount(64);
    EXPECT_THROW(list.SetCapacity(65535), EListError);
    EXPECT_THROW(list.SetCapacity(10), EListError); // below the count
    // The last growth step stops below the limit instead of overshooting it.
    list.SetCapacity(65520);
    list.SetCount(65520);
    list.Add(&item);
    EXPECT_EQ(list.Capacity(), 65534);
    list.SetCount(65534);
    EXPECT_THROW(list.Add(&item), EListError);
    EXPECT_EQ(list.Count(), 65534);
}

TEST_F(Registered, OwningListFreesOnDestroyButNotOnDelete) {
    auto* kept = new Item(1);
    {
        TObjectList list;
        list.Add(kept);
        list.Add(new Item(2));
        list.Insert(0, new Item(0));
        EXPECT_EQ(Keys(list), (std::vector<int>{0, 1, 2}));
        list.Delete(1);
        EXPECT_EQ(Item::alive, 3);
        EXPECT_THROW(list.Insert(5, kept), EListError);
        EXPECT_THROW(list.Get(2), EListError);
        EXPECT_THROW(list.Delete(-1), EListError);
    }
    EXPECT_EQ(Item::alive, 1);
    delete kept;
}

TEST_F(Registered, NeighbourWalksAndRefusesStrangers) {
    TObjectList list;
    Item* a = new Item(1);
    Item* b = new Item(2);
    list.Add(a);
    list.Add(b);
    EXPECT_EQ(list.Neighbour(nullptr, true), a);
    EXPECT_EQ(list.Neighbour(nullptr, false), b);
    EXPECT_EQ(list.Neighbour(a, true), b);
    EXPECT_EQ(list.Neighbour(b, true), nullptr);
    EXPECT_EQ(list.Neighbour(a, false), nullptr);
    Item stranger(9);
    try {
        list.Neighbour(&stranger, true);
        FAIL() << "no error for an object not in the list";
    } catch (const EListError& error) {
        EXPECT_NE(std::string(error.what()).find("not in item list"), std::string::npos);
    }
}

TEST_F(Registered, SortedListKeepsOrderAndPutsEqualsFirstWithDuplicates) {
    ByKey list(1);
    Item* first3 = new Item(3);
    for (Item* item : {new Item(5), first3, new Item(1), new Item(4)})
        list.Add(item);
    Item* second3 = new Item(3);
    list.Add(second3);
    EXPECT_EQ(Keys(list), (std::vector<int>{1, 3, 3, 4, 5}));
    EXPECT_EQ(list.Get(1), second3); // a new equal key goes before the old ones
    EXPECT_EQ(list.IndexOf(first3), 2);
    EXPECT_EQ(list.IndexOf(second3), 1);
    EXPECT_THROW(list.Put(0, first3), EListError);
    EXPECT_EQ(list.Neighbour(second3, true), first3);
}

TEST_F(Registered, IndexOfFindsTheReferenceWhenTheOrderNeverAnswersEqual) {
    NeverEqual list(0);
    std::vector<Item*> items;
    for (int k : {2, 2, 7, 2, 1}) {
        items.push_back(new Item(k));
        list.Add(items.back());
    }
    EXPECT_EQ(Keys(list), (std::vector<int>{7, 2, 2, 2, 1}));
    for (Item* item : items) {
        const int index = list.IndexOf(item);
        ASSERT_GE(index, 0);
        EXPECT_EQ(list.Get(index), item);
    }
    // Walking by Neighbour visits every entry once.
    int visited = 0;
    for (TObject* at = list.Neighbour(nullptr, true); at; at = list.Neighbour(at, true))
        ++visited;
    EXPECT_EQ(visited, 5);
}

TEST_F(Registered, ItemsRoundTripThroughAStream) {
    gui::TMemoryStream stream;
    {
        ByKey list(1);
        for (int k : {4, 2, 9})
            list.Add(new Item(k));
        list.WriteItems(stream);
    }
    stream.SetPosition(0);
    ByKey back(0);
    back.ReadItems(stream);
    EXPECT_EQ(back.Duplicates, 1);
    EXPECT_TRUE(back.OwnsObjects);
    EXPECT_EQ(Keys(back), (std::vector<int>{2, 4, 9}));
    EXPECT_EQ(stream.Position(), stream.Size());
}

TEST_F(Registered, HostileStreamsGiveErrorsAndLeakNothing) {
    auto streamOf = [](const std::vector<uint8_t>& bytes) {
        auto stream = std::make_unique<gui::TMemoryStream>();
        stream->WriteBuffer(bytes.data(), bytes.size());
        stream->SetPosition(0);
        return stream;
    };
    { // a count far beyond the capacity limit: refused before any allocation
        TObjectList list;
        auto stream = streamOf({1, 0xFF, 0xFF, 0xFF, 0x7F});
        EXPECT_THROW(list.ReadItems(*stream), EListError);
        EXPECT_EQ(list.Capacity(), 0);
    }
    { // a negative count
        TObjectList list;
        auto stream = streamOf({1, 0xFF, 0xFF, 0xFF, 0xFF});
        EXPECT_THROW(list.ReadItems(*stream), EListError);
    }
    { // an unknown class
        TObjectList list;
        auto stream = streamOf({1, 1, 0, 0, 0, 4, 'N', 'o', 'p', 'e'});
        EXPECT_THROW(list.ReadItems(*stream), EClassNotFound);
    }
    { // the data stops inside the second object: the first stays, the cut one is freed
        TObjectList list;
        auto stream = streamOf({1, 2, 0, 0, 0, 4, 'I', 't', 'e', 'm', 7, 0, 0, 0, 4, 'I', 't', 'e', 'm', 1});
        EXPECT_THROW(list.ReadItems(*stream), gui::EReadError);
        EXPECT_EQ(Keys(list), (std::vector<int>{7}));
    }
    gui::TMemoryStream out;
    EXPECT_THROW(WriteObject(nullptr, out), EClassNotFound);
    struct Unknown : TObject {
    } unknown;
    EXPECT_THROW(WriteObject(&unknown, out), EClassNotFound);
}

} // namespace
