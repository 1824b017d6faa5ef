#include "WinTestSupport.h"
#include "gui/Application.h"
#include "gui/Clock.h"
#include "gui/Screen.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "gui/SystemPrompter.h"
#include "gui/Wait.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace gui;

namespace {

class SeamTest : public testing::Test {
  protected:
    void SetUp() override {
        Application();
        testsupport::DrainQueue();
        SetClock(&clock);
        SetPrompter(&prompter);
        Application().OnException = [this](const std::string& what) { logged.push_back(what); };
        Application().IsHidden = [] { return false; };
    }
    void TearDown() override {
        SetClock(nullptr);
        SetPrompter(nullptr);
        Application().OnException = nullptr;
        Application().IsHidden = nullptr;
        testsupport::DrainQueue();
    }
    ManualClock clock;
    TScriptedPrompter prompter;
    std::vector<std::string> logged;
};

} // namespace

TEST_F(SeamTest, HandlerExceptionsAreLoggedAndShownAndNeverCrossTheDispatch) {
    Application().SetTitle("Tarnwick");
    prompter.AnswerMessage(mrOk);
    Application().Post([] { throw std::runtime_error("Cannot open job file"); });
    ProcessMessages();
    EXPECT_EQ(logged, std::vector<std::string>{"Cannot open job file"});
    ASSERT_EQ(prompter.Requests().size(), 1u);
    EXPECT_EQ(prompter.Requests()[0].Message.Caption, "Tarnwick");

    // The test prompter refuses an unscripted box: the refusal is logged, nothing hangs.
    std::vector<std::string> refused;
    prompter.OnUnscripted = [&](const std::string& what) { refused.push_back(what); };
    Application().Post([] { throw std::runtime_error("second failure"); });
    ProcessMessages();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find("second failure"), std::string::npos);
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_NE(logged[2].find("could not be shown"), std::string::npos);
}

TEST_F(SeamTest, PumpIfDuePumpsAtMostOncePerIntervalOfTheClock) {
    int ran = 0;
    PumpIfDue(100); // the first call of a thread pumps
    Application().Post([&] { ++ran; });
    EXPECT_FALSE(PumpIfDue(100));
    EXPECT_EQ(ran, 0);
    clock.Advance(99);
    PumpIfDue(100);
    EXPECT_EQ(ran, 0);
    clock.Advance(1);
    PumpIfDue(100);
    EXPECT_EQ(ran, 1);

    Application().Post([] { PostQuitMessage(3); });
    clock.Advance(100);
    EXPECT_TRUE(PumpIfDue(100)); // a quit is reported and left for the main loop
    EXPECT_TRUE(testsupport::DrainQueue());
}

TEST(SystemPrompter, FilterAndMultiSelectBuffersConvert) {
    EXPECT_EQ(DialogFilter("Backup jobs|*.dat|All|*.*"), std::string("Backup jobs\0*.dat\0All\0*.*\0\0", 27));
    EXPECT_EQ(DialogFilter(""), "");
    const char single[] = "C:\\Jobs\\Daily.dat\0";
    EXPECT_EQ(SelectedFiles(single, sizeof single), std::vector<std::string>{"C:\\Jobs\\Daily.dat"});
    const char many[] = "C:\\\0a.txt\0b c.txt\0";
    EXPECT_EQ(SelectedFiles(many, sizeof many), (std::vector<std::string>{"C:\\a.txt", "C:\\b c.txt"}));
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(SelectedFiles(unterminated, 4), std::vector<std::string>{"abcd"});
}

TEST(Shell, TheProductDefaultIsTheSystemShell) {
    Application();
    EXPECT_EQ(&Shell(), &SystemShell());
}

TEST_F(SeamTest, HelpGoesThroughTheShellAndTheBusyCursorIsRestoredOnEveryWayOut) {
    TRecordingShell shell;
    SetShell(&shell);
    EXPECT_FALSE(Application().HelpCommand(HELP_FINDER)); // no help file: nothing to show
    Application().HelpFile = "Quillet.hlp";
    EXPECT_TRUE(Application().HelpCommand(HELP_FINDER));
    Application().HelpFile.clear();
    SetShell(nullptr);
    const auto calls = shell.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Target, "Quillet.hlp");
    EXPECT_EQ(calls[0].Command, static_cast<unsigned>(HELP_FINDER));

    try {
        TCursorScope busy;
        EXPECT_EQ(Screen().Cursor(), TCursor::crHourGlass);
        EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
        {
            TCursorScope nested(TCursor::crDefault); // a dialog shown while busy
            EXPECT_EQ(Screen().CursorHandle(), nullptr);
        }
        EXPECT_EQ(Screen().Cursor(), TCursor::crHourGlass);
        throw std::runtime_error("failed while busy");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(Screen().Cursor(), TCursor::crDefault);
    EXPECT_NE(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
}
