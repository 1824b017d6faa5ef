#include "gui/ScriptedPrompter.h"

#include <gtest/gtest.h>

using namespace gui;

TEST(ScriptedPrompter, AnswersInOrderAndRecordsEveryRequest) {
    TScriptedPrompter script;
    script.AnswerMessage(mrNo).AnswerFile({"C:\\a.dat", "C:\\b.dat"}).CancelFolder().AnswerPopup("Exclude1");
    TPrompterScope scope(script);

    TMessageBoxRequest question;
    question.Caption = "Tarnwick";
    question.Text = "The log will be cleared, continue?";
    question.Buttons = TMsgButtons::YesNo;
    question.DefaultButton = 2;
    EXPECT_EQ(Prompter().ShowMessageBox(question), mrNo);

    TFileDialogRequest open;
    open.MultiSelect = true;
    const TFileDialogAnswer files = Prompter().FileDialog(open);
    EXPECT_TRUE(files.Accepted);
    EXPECT_EQ(files.Files.size(), 2u);
    EXPECT_FALSE(Prompter().BrowseForFolder({}).Accepted);

    TPopupRequest popup;
    popup.X = 5;
    popup.CommandOf = [](const std::string& name) { return name == "Exclude1" ? 42 : 0; };
    EXPECT_EQ(Prompter().TrackPopup(popup), 42);

    const auto asked = script.Requests();
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0].Message.DefaultButton, 2);
    EXPECT_EQ(asked[3].X, 5);
    EXPECT_EQ(script.MessageTexts(), std::vector<std::string>{"The log will be cleared, continue?"});
    EXPECT_EQ(script.Pending(), 0u);
}

TEST(ScriptedPrompter, UnscriptedOrMismatchedRequestThrowsAndIsReported) {
    TScriptedPrompter script;
    std::vector<std::string> reported;
    script.OnUnscripted = [&](const std::string& what) { reported.push_back(what); };
    TMessageBoxRequest box;
    box.Text = "Are you sure?";
    EXPECT_THROW(script.ShowMessageBox(box), EUnscriptedPrompt);

    script.AnswerFolder("C:\\Backup");
    EXPECT_THROW(script.ShowMessageBox(box), EUnscriptedPrompt); // a folder was expected
    EXPECT_EQ(script.Pending(), 1u);                             // and is still there for its request
    EXPECT_EQ(script.BrowseForFolder({}).Folder, "C:\\Backup");

    script.AnswerPopup("NoSuchItem");
    TPopupRequest popup;
    popup.CommandOf = [](const std::string&) { return 0; };
    EXPECT_THROW(script.TrackPopup(popup), EUnscriptedPrompt);

    ASSERT_EQ(reported.size(), 2u);
    EXPECT_NE(reported[0].find("Are you sure?"), std::string::npos);
    EXPECT_NE(reported[1].find("folder browser"), std::string::npos);
    EXPECT_FALSE(script.Requests()[0].Scripted);
}

TEST(Prompter, WithoutAnyPrompterAskingThrowsInsteadOfGuessing) {
    SetPrompter(nullptr);
#ifndef _WIN32
    EXPECT_THROW(Prompter(), Exception);
#endif
    TScriptedPrompter outer, inner;
    {
        TPrompterScope first(outer);
        {
            TPrompterScope second(inner);
            EXPECT_EQ(&Prompter(), &inner);
        }
        EXPECT_EQ(&Prompter(), &outer);
    }
}
