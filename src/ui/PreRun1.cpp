#include "ui/PreRun1.h"

#include "core/Messages.h"
#include "core/PathText.h"
#include "gui/Button.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/Prompter.h"

namespace ui {

TPreRun::TPreRun()
    : gui::TForm("TwPreRun", "Run before and after", gui::FormBounds{0, 0, 460, 200},
                 gui::TBorderStyle::bsDialog) {
    Create<gui::TLabel>(*this, "Label1", gui::TBounds{8, 11, 110, 17}, "Before the job:");
    EditPreRun = &Create<gui::TEdit>(*this, "EditPreRun", gui::TBounds{120, 8, 260, 21});
    PreFile = &Create<gui::TButton>(*this, "PreFile", gui::TBounds{388, 8, 50, 21}, "...");
    Create<gui::TLabel>(*this, "Label2", gui::TBounds{8, 39, 110, 17}, "Wait (seconds):");
    EditPreWait = &Create<gui::TEdit>(*this, "EditPreWait", gui::TBounds{120, 36, 60, 21});
    Create<gui::TLabel>(*this, "Label3", gui::TBounds{8, 75, 110, 17}, "After the job:");
    EditPostRun = &Create<gui::TEdit>(*this, "EditPostRun", gui::TBounds{120, 72, 260, 21});
    PostFile = &Create<gui::TButton>(*this, "PostFile", gui::TBounds{388, 72, 50, 21}, "...");
    Create<gui::TLabel>(*this, "Label4", gui::TBounds{8, 103, 110, 17}, "Wait (seconds):");
    EditPostWait = &Create<gui::TEdit>(*this, "EditPostWait", gui::TBounds{120, 100, 60, 21});
    ButSave = &Create<gui::TButton>(*this, "ButSave", gui::TBounds{120, 136, 75, 25}, "&Save");
    ButSave->ModalResult = gui::mrOk;
    ButSave->OnClick = [this] { ButSaveClick(); };
    PreFile->OnClick = [this] { PreFileClick(); };
    PostFile->OnClick = [this] { PostFileClick(); };
    ActiveControl = EditPreRun;
    DoCreate();
}

void TPreRun::FormShow(HWND mainWindow, const std::string& jobFileName, const job::PrePostPrograms& values) {
    CenterOn(mainWindow);
    SetCaption(core::LoadMessage(64994) + core::JobBaseName(jobFileName));
    Values = values;
    ShowValues();
}

void TPreRun::ShowValues() {
    EditPreRun->SetText(Values.PreRunFile);
    EditPreWait->SetText(std::to_string(Values.PreWait));
    EditPostRun->SetText(Values.PostRunFile);
    EditPostWait->SetText(std::to_string(Values.PostWait));
}

void TPreRun::ButSaveClick() {
    Values.PreRunFile = EditPreRun->Text();
    Values.PreWait = job::WaitSecondsOf(EditPreWait->Text(), Values.PreWait);
    Values.PostRunFile = EditPostRun->Text();
    Values.PostWait = job::WaitSecondsOf(EditPostWait->Text(), Values.PostWait);
    ShowValues();
    if (OnSave) OnSave(Values);
}

void TPreRun::ChooseProgram(gui::TEdit& edit) {
    gui::TFileDialogRequest request;
    request.Owner = Handle();
    request.Filter = "Programs|*.exe;*.bat;*.cmd;*.com|All files|*.*";
    const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    if (answer.Accepted && !answer.Files.empty()) edit.SetText(answer.Files.front());
}

void TPreRun::PreFileClick() {
    ChooseProgram(*EditPreRun);
}

void TPreRun::PostFileClick() {
    ChooseProgram(*EditPostRun);
}

} // namespace ui
