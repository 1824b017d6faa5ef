#include "core/MvRegistry.h"
#include "core/SystemRegistry.h"

#include <gtest/gtest.h>

using core::TRegistry;
using core::TRegValueType;

namespace {

// A key of its own under HKCU, removed afterwards.
class RegistryTest : public testing::Test {
  protected:
    void SetUp() override {
        base = "\\Software\\TarnwickTest\\" + std::to_string(GetCurrentProcessId());
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(base, true));
    }
    void TearDown() override {
        TRegistry registry;
        registry.DeleteKey(base);
    }
    std::string base;
};

} // namespace

TEST_F(RegistryTest, RelativeOpenExtendsThePathAndAbsoluteReplacesIt) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base, false));
    EXPECT_EQ(registry.CurrentPath(), base.substr(1));
    ASSERT_TRUE(registry.OpenKey("Child", true));
    EXPECT_EQ(registry.CurrentPath(), base.substr(1) + "\\Child");
    ASSERT_TRUE(registry.OpenKey(base, false));
    EXPECT_EQ(registry.CurrentPath(), base.substr(1));
    EXPECT_FALSE(registry.OpenKey("Missing", false));
    EXPECT_EQ(registry.CurrentPath(), base.substr(1)) << "a failed open keeps the current key";
    EXPECT_EQ(registry.OpenKeyAnyAccess("Child", false), 0);
}

TEST_F(RegistryTest, TypesReadBackAsTheRegistryStoresThem) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base, false));
    registry.WriteString("Text", "value");
    registry.WriteInteger("Number", -5);
    const uint32_t little = 7;
    registry.WriteData("Little", &little, TRegValueType::DWordLittleEndian, sizeof little);
    registry.WriteFloat("When", 46000.25);
    EXPECT_EQ(registry.ReadString("Text"), "value");
    EXPECT_EQ(registry.ReadInteger("Number"), -5);
    EXPECT_EQ(registry.GetDataType("Little"), TRegValueType::Integer);
    EXPECT_DOUBLE_EQ(registry.ReadFloat("When"), 46000.25);
    EXPECT_EQ(registry.GetDataSize("Text"), 6);
    EXPECT_EQ(registry.GetDataSize("Absent"), -1);
    EXPECT_EQ(registry.ReadString("Absent"), "");

    EXPECT_THROW(registry.ReadString("Number"), core::ERegistryException);
    EXPECT_THROW(registry.ReadFloat("Text"), core::ERegistryException);
    char small[2];
    EXPECT_THROW(registry.ReadBinaryData("Text", small, sizeof small), core::ERegistryException);
    EXPECT_EQ(registry.ReadBinaryData("Absent", small, sizeof small), 0u);

    // A string stored without its terminating NUL is read by its size.
    registry.WriteData("Bare", "abc", TRegValueType::String, 3);
    EXPECT_EQ(registry.ReadString("Bare"), "abc");
    try {
        registry.ReadString("Number");
    } catch (const core::ERegistryException& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'Number'");
    }
}

TEST_F(RegistryTest, DeleteKeyRemovesAWholeTree) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base + "\\A\\B\\C", true));
    registry.WriteString("c", "3");
    for (const std::string& level : {base + "\\A", base + "\\A\\B", base + "\\A\\Other"}) {
        ASSERT_TRUE(registry.OpenKey(level, true));
        registry.WriteInteger("v", 1);
    }
    registry.CloseKey();
    EXPECT_TRUE(registry.DeleteKey(base + "\\A"));
    EXPECT_FALSE(registry.OpenKey(base + "\\A", false));
    ASSERT_TRUE(registry.OpenKey(base, false));
    EXPECT_TRUE(registry.GetKeyNames().empty());
}

TEST_F(RegistryTest, NamesListInIndexOrderAndTheLookupReadsStrings) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base, false));
    registry.WriteString("AppData", "C:\\Users\\x\\AppData");
    registry.WriteInteger("Count", 2);
    registry.CreateKey("Sub");
    EXPECT_EQ(registry.GetValueNames(), (std::vector<std::string>{"AppData", "Count"}));
    EXPECT_EQ(registry.GetKeyNames(), (std::vector<std::string>{"Sub"}));

    core::SystemRegistryLookup lookup;
    EXPECT_EQ(lookup.ReadString(core::RegistryRoot::CurrentUser, base.substr(1), "AppData"),
              "C:\\Users\\x\\AppData");
    EXPECT_EQ(lookup.ReadString(core::RegistryRoot::CurrentUser, base.substr(1), "Count"), std::nullopt);
    EXPECT_EQ(lookup.ReadString(core::RegistryRoot::CurrentUser, base.substr(1), "Absent"), std::nullopt);
}

TEST_F(RegistryTest, ReadOnlyKeyOpensWithLesserAccess) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base + "\\ReadOnly", true));
    registry.WriteString("Kept", "value");
    // Everyone may read; nobody may write.
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    char aclBuffer[256];
    auto* acl = reinterpret_cast<PACL>(aclBuffer);
    InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    const LONG secured = RegSetKeySecurity(registry.CurrentKey(), DACL_SECURITY_INFORMATION, &descriptor);
    FreeSid(everyone);
    registry.CloseKey();
    ASSERT_EQ(secured, ERROR_SUCCESS);

    HKEY probe = nullptr;
    const LONG opened =
        RegOpenKeyExA(HKEY_CURRENT_USER, (base.substr(1) + "\\ReadOnly").c_str(), 0, KEY_ALL_ACCESS, &probe);
    if (opened == ERROR_SUCCESS) RegCloseKey(probe);
    ASSERT_NE(opened, ERROR_SUCCESS) << "this registry does not enforce key security";
    EXPECT_FALSE(registry.OpenKey(base + "\\ReadOnly", false));
    EXPECT_EQ(registry.OpenKeyAnyAccess(base + "\\ReadOnly", false), 0);
    EXPECT_EQ(registry.ReadString("Kept"), "value");
    EXPECT_THROW(registry.WriteString("New", "x"), core::ERegistryException);
}
