#pragma once
// The form that edits a job's programs before and after the run and the two waits. The
// values belong to the job: the form shows a copy and hands the edited copy to OnSave, which
// stores it in the job and saves the job file.

#include "gui/Form.h"
#include "job/ProgramLine.h"

#include <functional>
#include <string>

namespace gui {
class TButton;
class TEdit;
} // namespace gui

namespace ui {

class TPreRun : public gui::TForm {
  public:
    TPreRun();

    gui::TEdit* EditPreRun = nullptr;
    gui::TEdit* EditPreWait = nullptr;
    gui::TEdit* EditPostRun = nullptr;
    gui::TEdit* EditPostWait = nullptr;
    gui::TButton* PreFile = nullptr;
    gui::TButton* PostFile = nullptr;
    gui::TButton* ButSave = nullptr;

    // Centres over the main window, names the job in the caption and shows the values.
    void FormShow(HWND mainWindow, const std::string& jobFileName, const job::PrePostPrograms& values);
    // A wait that is no number keeps its old value, a negative one becomes 0.
    void ButSaveClick();
    void PreFileClick();
    void PostFileClick();

    job::PrePostPrograms Values;
    std::function<void(const job::PrePostPrograms&)> OnSave;

  private:
    void ShowValues();
    void ChooseProgram(gui::TEdit& edit);
};

} // namespace ui
