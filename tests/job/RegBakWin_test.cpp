// Registry backup and restore over a sandboxed registry, checked against reg.exe's export of
// the same keys before and after.
#include "RegistrySandbox.h"
#include "WinTestSupport.h"
#include "core/MvRegistry.h"
#include "job/RegBak.h"
#include "job/WindowlessHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;

namespace {

class RecordingHost : public job::WindowlessHost {
  public:
    void AddToLog(const std::string& text) override { programLog.push_back(text); }
    void AddToJobLog(const std::string& text, bool) override { jobLog.push_back(text); }
    void AddToRestoreLog(const std::string& text, bool stamp) override {
        restoreLog.push_back(stamp ? text : "(plain) " + text);
    }
    bool DetailLog() override { return detail; }
    void SetStatusText(const std::string& text) override { status = text; }
    void SetRestoreStatus(const std::string& text) override { status = text; }
    bool ConfirmRestore(const std::string& text) override {
        questions.push_back(text);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool RestoreCancelled() override { return cancelAfterValues >= 0 && ++valuesSeen > cancelAfterValues; }
    bool Logged(const std::vector<std::string>& log, const std::string& text) const {
        return std::find(log.begin(), log.end(), text) != log.end();
    }

    std::vector<std::string> programLog, jobLog, restoreLog, questions;
    std::deque<bool> answers;
    std::string status;
    int cancelAfterValues = -1, valuesSeen = 0;
    bool detail = false;
};

void Put(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& data) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              0);
    ASSERT_EQ(RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              0);
    RegCloseKey(handle);
}

bool Has(HKEY root, const std::string& key, const std::string& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != 0) return false;
    const bool found = RegQueryValueExA(handle, name.c_str(), nullptr, nullptr, nullptr, nullptr) == 0;
    RegCloseKey(handle);
    return found;
}

void Remove(HKEY root, const std::string& key, const std::string& name) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &handle), 0);
    EXPECT_EQ(RegDeleteValueA(handle, name.c_str()), 0);
    RegCloseKey(handle);
}

std::string Bytes(size_t size, int seed) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>(i * 31 + seed);
    return data;
}

class RegBakTest : public testing::Test {
  protected:
    // The sandbox as reg.exe exports it.
    std::string Export() {
        const std::string file = folder / ("export" + std::to_string(++exports) + ".reg");
        EXPECT_EQ(
            testsupport::RunAndWait("reg.exe export \"" + sandbox.OutsideName() + "\" \"" + file + "\" /y"),
            0);
        return ReadWholeFile(file);
    }
    void Fill() {
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Text", REG_SZ, std::string("abc", 4));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Path", REG_EXPAND_SZ, std::string("%TEMP%\\x", 9));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Count", REG_DWORD, std::string("\x05\0\0\0", 4));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Blob", REG_BINARY, Bytes(2001, 1));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Big endian", REG_DWORD_BIG_ENDIAN,
            std::string("\0\0\0\x07", 4));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Link", REG_LINK, std::string("l\0i\0", 4));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Resources", REG_RESOURCE_LIST, Bytes(24, 2));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Wide", REG_QWORD, Bytes(8, 3));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Nothing", REG_NONE, "");
        Put(HKEY_CURRENT_USER, "Software\\Kept", "Big", REG_BINARY, Bytes(500000, 4));
        Put(HKEY_CURRENT_USER, "Software\\Kept", "line\r\nbreak", REG_SZ, std::string("x", 2));
        Put(HKEY_CURRENT_USER, "Software\\Kept\\Deeper\\Deepest", "", REG_SZ, std::string("default", 8));
        Put(HKEY_CLASSES_ROOT, ".tst", "", REG_SZ, std::string("tstfile", 8));
        Put(HKEY_LOCAL_MACHINE, "Software\\Machine", "Setting", REG_DWORD, std::string("\x01\0\0\0", 4));
        Put(HKEY_USERS, ".DEFAULT\\Control", "Colour", REG_SZ, std::string("red", 4));
        Put(HKEY_CURRENT_CONFIG, "System", "Profile", REG_BINARY, Bytes(1000, 5));
    }

    TempFolder folder;
    testsupport::RegistrySandbox sandbox{"RegBak"};
    RecordingHost host;
    int exports = 0;
};

} // namespace

TEST_F(RegBakTest, ChangedDeletedAndAddedValuesComeBackAsTheyWereAfterYesYesYes) {
    Fill();
    const std::string file = job::SaveRegistryForJob(host, folder.Path());
    ASSERT_EQ(file, folder / "_$zreg_$._$r");
    const std::string text = ReadWholeFile(file);
    for (const char* root : {"[HKEY_CLASSES_ROOT]", "[HKEY_CURRENT_USER]", "[HKEY_LOCAL_MACHINE]",
                             "[HKEY_USERS]", "[HKEY_CURRENT_CONFIG]"})
        EXPECT_NE(text.find(root), std::string::npos) << root;
    EXPECT_NE(text.find("\"Text\"=STR:000000008:61626300\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Wide\"=UNK:000000016:"), std::string::npos);
    EXPECT_EQ(text.find("\"Big\""), std::string::npos);
    EXPECT_EQ(text.find("break"), std::string::npos);
    EXPECT_TRUE(host.Logged(host.jobLog, "ERROR reading registry, key to big: 500000 - Big"));
    EXPECT_TRUE(host.Logged(host.programLog, "Registry saved"));
    const std::string before = Export();

    Put(HKEY_CURRENT_USER, "Software\\Kept", "Text", REG_SZ, std::string("changed", 8));
    Put(HKEY_CURRENT_USER, "Software\\Kept", "Wide", REG_QWORD, Bytes(8, 9));
    Put(HKEY_CURRENT_USER, "Software\\Kept", "Blob", REG_BINARY, Bytes(2001, 2));
    Remove(HKEY_CURRENT_USER, "Software\\Kept", "Multi");
    Remove(HKEY_LOCAL_MACHINE, "Software\\Machine", "Setting");
    Put(HKEY_CURRENT_USER, "Software\\Kept", "Added", REG_SZ, std::string("new", 4));
    Put(HKEY_CURRENT_USER, "Software\\Kept", "", REG_SZ, std::string("unnamed", 8)); // a key with sub-keys
    Put(HKEY_CLASSES_ROOT, ".tst", "Added too", REG_DWORD, std::string("\x02\0\0\0", 4));
    ASSERT_NE(Export(), before);

    host.answers = {true, true, true};
    job::RestoreRegistry(host, file);
    EXPECT_EQ(host.questions.size(), 3u);
    EXPECT_EQ(Export(), before) << "the registry is as it was backed up";
    EXPECT_TRUE(Has(HKEY_CURRENT_USER, "Software\\Kept", "Big")) << "a value the file could not hold stays";
    EXPECT_TRUE(Has(HKEY_CURRENT_USER, "Software\\Kept", "line\r\nbreak"));
    EXPECT_TRUE(host.Logged(host.restoreLog, "Replaced: HKEY_CURRENT_USER\\Software\\Kept\\Text"));
    EXPECT_TRUE(host.Logged(host.restoreLog, "Registry value deleted: HKEY_CURRENT_USER\\Software\\Kept\\"));
    EXPECT_FALSE(host.Logged(host.restoreLog, "Replaced: HKEY_CURRENT_USER\\Software\\Kept\\Count"))
        << "an unchanged value is not written";
    EXPECT_TRUE(host.Logged(host.programLog, "Registry restored"));
}

TEST_F(RegBakTest, NoToEitherConfirmationOrACurrentUserFileLeavesTheOtherValuesAlone) {
    Fill();
    const std::string file = folder / "user.txt";
    ASSERT_TRUE(job::BackupRegistry(host, file, nullptr, false, true));
    EXPECT_EQ(ReadWholeFile(file).find("[HKEY_LOCAL_MACHINE]"), std::string::npos);
    EXPECT_TRUE(host.Logged(host.programLog, "Curent user registry saved"));
    Put(HKEY_CURRENT_USER, "Software\\Kept", "Added", REG_SZ, std::string("new", 4));
    Put(HKEY_LOCAL_MACHINE, "Software\\Machine", "Added", REG_SZ, std::string("new", 4));
    const std::string changed = Export();

    host.answers = {true, false};
    job::RestoreRegistry(host, file);
    host.answers = {false};
    job::RestoreRegistry(host, file);
    EXPECT_EQ(host.questions.size(), 3u) << "a No ends the asking";
    EXPECT_EQ(Export(), changed);
    EXPECT_TRUE(host.restoreLog.empty());

    host.answers = {true, true, true};
    job::RestoreRegistry(host, file);
    EXPECT_FALSE(Has(HKEY_CURRENT_USER, "Software\\Kept", "Added"));
    EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, "Software\\Machine", "Added"))
        << "a root the file lacks is untouched";
    EXPECT_TRUE(Has(HKEY_CLASSES_ROOT, ".tst", ""));
}

TEST_F(RegBakTest, DamagedLinesAreLoggedAndTheRestIsRestored) {
    Put(HKEY_CURRENT_USER, "Software\\Kept", "Damaged", REG_SZ, std::string("now", 4));
    Put(HKEY_CURRENT_USER, "Software\\Kept", "Wide", REG_QWORD, Bytes(8, 1));
    const std::string file = folder / "damaged.txt";
    testsupport::WriteWholeFile(file, "[HKEY_CURRENT_USER]\r\n[\\Software\\Kept]\r\n"
                                      "\"Damaged\"=STR:000000009:41424300\r\n"
                                      "\"Wide\"=UNK:000000016:0102030405060708\r\n"
                                      "\"Cut\"=BIN:000004004:" +
                                          std::string(2000, 'A') +
                                          "->\r\n"
                                          "[\\Software\\Other]\r\n\"Good\"=INT:000000008:2A000000\r\n"
                                          // Longer than the reader's buffer, on one line.
                                          "\"Huge\"=BIN:002002200:" +
                                          std::string(2000200, 'E') +
                                          "\r\n"
                                          "[HKEY_MYSTERY]\r\n\"Lost\"=INT:000000008:2A000000\r\n");
    host.answers = {true, true, true};
    job::RestoreRegistry(host, file);
    EXPECT_TRUE(host.Logged(host.restoreLog, "Error datalength 8<>9 key: \\Software\\KeptDamaged"));
    EXPECT_TRUE(host.Logged(host.restoreLog, "Error datalength 2000<>4004 key: \\Software\\KeptCut"));
    EXPECT_TRUE(host.Logged(host.restoreLog, "Error datalength 2000200<>2002200 key: \\Software\\OtherHuge"));
    EXPECT_FALSE(Has(HKEY_CURRENT_USER, "Software\\Other", "Huge"));
    EXPECT_TRUE(host.Logged(host.restoreLog, "Unknown root not restored: HKEY_MYSTERY"));
    EXPECT_TRUE(Has(HKEY_CURRENT_USER, "Software\\Kept", "Damaged"))
        << "a damaged line is no reason to delete";
    core::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Other", false));
    EXPECT_EQ(registry.ReadInteger("Good"), 42);
    ASSERT_TRUE(registry.OpenKey("\\Software\\Kept", false));
    DWORD type = 0;
    uint8_t data[8];
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(registry.CurrentKey(), "Wide", nullptr, &type, data, &size), 0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD)) << "a type without a tag keeps the one it has";
    EXPECT_EQ(data[7], 8);

    // Cancelled part-way: no removal question, the end says so.
    host.questions.clear();
    host.answers = {true, true};
    host.cancelAfterValues = 1;
    job::RestoreRegistry(host, file);
    EXPECT_EQ(host.questions.size(), 2u);
    EXPECT_TRUE(host.Logged(host.programLog, "Registry restore cancelled"));
}

TEST_F(RegBakTest, DetailLoggingShowsBothHexFormsBeforeEachWriteAndTheFullSkippedLine) {
    Put(HKEY_CURRENT_USER, "Software\\Kept", "Text", REG_SZ, std::string("now", 4));
    const std::string file = folder / "detail.txt";
    // The second key cannot be made: its name is longer than a key name may be.
    testsupport::WriteWholeFile(file, "[HKEY_CURRENT_USER]\r\n[\\Software\\Kept]\r\n"
                                      "\"Text\"=STR:000000008:41424300\r\n"
                                      "[\\Software\\" +
                                          std::string(300, 'k') +
                                          "]\r\n"
                                          "\"Lost\"=INT:000000008:2A000000\r\n");
    host.detail = true;
    host.answers = {true, true, false};
    job::RestoreRegistry(host, file);
    const std::string described = "HKEY_CURRENT_USER\\Software\\Kept Value name: Text Data: 4 Type: STR1";
    const auto at =
        std::find(host.restoreLog.begin(), host.restoreLog.end(), "Value different: " + described);
    ASSERT_NE(at, host.restoreLog.end());
    ASSERT_GE(host.restoreLog.end() - at, 4);
    EXPECT_EQ(at[1], "(plain) 6E6F7700") << "the current data";
    EXPECT_EQ(at[2], "(plain) 41424300") << "the backup's";
    EXPECT_EQ(at[3], "Replaced: HKEY_CURRENT_USER\\Software\\Kept\\Text");
    EXPECT_TRUE(host.Logged(host.restoreLog, "Skipped: HKEY_CURRENT_USER\\Software\\" +
                                                 std::string(300, 'k') +
                                                 " Value name: Lost Data: 4 Type: INT3"));
}

namespace {

class RecordingJobHost : public job::WindowlessHost {
  public:
    void AddToLog(const std::string& text) override { programLog.push_back(text); }
    void AddToJobLog(const std::string& text, bool) override { jobLog.push_back(text); }
    void SetStatusText(const std::string& text) override { status = text; }
    void SetTotalText(const std::string& text) override { total = text; }
    bool Cancelled() override { return cancelled; }
    void SetCancelled(bool on) override { cancelled = on; }
    std::vector<std::string> programLog, jobLog;
    std::string status, total;
    bool cancelled = false;
};

} // namespace

TEST_F(RegBakTest, TheJobSavesThroughItsOwnLogsAndACancelledJobSavesNothing) {
    Put(HKEY_CURRENT_USER, "Software\\Kept", "Big", REG_BINARY, Bytes(600000, 1));
    Put(HKEY_CURRENT_USER, "Software\\Kept", "Small", REG_SZ, std::string("s", 2));
    RecordingJobHost job;
    EXPECT_EQ(job::SaveRegistryForJob(job, folder.Path()), folder / "_$zreg_$._$r");
    EXPECT_EQ(job.jobLog, std::vector<std::string>{"ERROR reading registry, key to big: 600000 - Big"});
    EXPECT_EQ(job.programLog, std::vector<std::string>{"Registry saved"});
    EXPECT_EQ(job.status, "Waiting for registry files to be finished.");
    DeleteFileA((folder / "_$zreg_$._$r").c_str());
    job.cancelled = true;
    EXPECT_EQ(job::SaveRegistryForJob(job, folder.Path()), "");
    EXPECT_FALSE(testsupport::FileExists(folder / "_$zreg_$._$r"));
}
