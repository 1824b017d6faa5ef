// The one folder maker and the program's box, on the real file system and the prompter.
#include "WinTestSupport.h"
#include "core/ProgramBox.h"
#include "core/WinFolders.h"
#include "gui/ScriptedPrompter.h"

#include <gtest/gtest.h>

using testsupport::TempFolder;

TEST(ToolboxWin, ForceDirectoriesMakesParentsAndTakesNoFileForAFolder) {
    TempFolder folder;
    const std::string deep = folder / "a\\b\\c\\";
    EXPECT_TRUE(core::ForceDirectories(deep));
    EXPECT_TRUE(core::DirectoryExists(deep));
    EXPECT_TRUE(core::ForceDirectories(deep)) << "one already there";
    EXPECT_FALSE(core::FileExists(deep));

    testsupport::WriteWholeFile(folder / "file", "in the way");
    EXPECT_TRUE(core::FileExists(folder / "file"));
    EXPECT_FALSE(core::DirectoryExists(folder / "file"));
    EXPECT_FALSE(core::ForceDirectories(folder / "file\\"));
    EXPECT_FALSE(core::ForceDirectories(folder / "file\\below\\"));
    EXPECT_TRUE(core::DirectoryExists("C:"));
    EXPECT_TRUE(core::ForceDirectories("C:\\"));
    EXPECT_FALSE(core::ForceDirectories(""));
}

TEST(ToolboxWin, ProgramBoxIsTitledWithTheProgramsName) {
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope scope{prompter};
    prompter.AnswerMessage(gui::mrNo);
    EXPECT_EQ(core::ProgramBox(nullptr, "Continue?", gui::TMsgButtons::YesNo, gui::TMsgIcon::Exclamation, 2),
              gui::mrNo);
    const auto requests = prompter.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Message.Caption, "Tarnwick");
    EXPECT_EQ(requests[0].Message.Text, "Continue?");
    EXPECT_EQ(requests[0].Message.DefaultButton, 2);
}
