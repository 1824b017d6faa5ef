// The restart program's stand-in records each start the way the job end's tests read it.

#include "WinTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

TEST(ReRunFixture, RecordsAHiddenStartWithoutArgumentsBesideItself) {
    testsupport::TempFolder folder;
    std::string program = TW_RERUN_EXE;
    std::replace(program.begin(), program.end(), '/', '\\');
    ASSERT_TRUE(CopyFileA(("Z:" + program).c_str(), (folder / "TarnwickReRun.exe").c_str(), FALSE));

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    std::string line = "\"" + folder / "TarnwickReRun.exe" + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.Path().c_str(), &startup, &process));
    WaitForSingleObject(process.hProcess, 10'000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    const std::string record = testsupport::ReadWholeFile(folder / "TarnwickReRun.txt");
    ASSERT_EQ(std::count(record.begin(), record.end(), '\n'), 1) << record;
    EXPECT_NE(record.find("\tshow 0\t"), std::string::npos) << record;
    EXPECT_NE(record.find("\targs \r\n"), std::string::npos) << record;
    EXPECT_EQ(record.substr(0, 2), "20") << "starts with the date";
}
