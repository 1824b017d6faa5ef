#pragma once
// The four small forms beside the main form: the stay-on-top status window, the one-line
// text entry, the notice shown when no disc transport could be loaded, and the About box.
// Each centres itself on the main form when shown. The modal ones are shown through the
// prompter (TForm::ShowModal), so tests answer them like any other question; what a form
// does on showing happens in Execute, before the prompter sees it.

#include "gui/Form.h"
#include "gui/IniAccess.h"

#include <string>

namespace gui {
class TButton;
class TCheckBox;
class TEdit;
class TImage;
class TLabel;
class TMemo;
class TStaticText;
} // namespace gui

namespace ui {

// Progress and notices while long steps run; never modal.
class TAppMsg : public gui::TForm {
  public:
    explicit TAppMsg(HWND mainForm);
    // Shows Text under Caption, centred on the main form; both empty closes a visible window.
    void ShowMsg(const std::string& caption, const std::string& text, bool showOK);

    gui::TStaticText* StaticText1 = nullptr;
    gui::TButton* Button1 = nullptr;

  private:
    void CloseWhenEmpty();
    HWND mainForm_;
};

// One line of text: descriptions, passwords, names. Callers fill the caption and Edit1 (and
// may set Edit1's password character), run Execute and read Edit1 after OK.
class TChgFile : public gui::TForm {
  public:
    explicit TChgFile(HWND mainForm);
    int Execute();

    gui::TEdit* Edit1 = nullptr;
    gui::TButton* Button3 = nullptr;

  private:
    HWND mainForm_;
};

// The notice that the disc transport could not be loaded, with the choice to stop showing it
// ([LastState] HideInfo of the program-folder settings file and its running value).
class TAspiNotOK : public gui::TForm {
  public:
    TAspiNotOK(HWND mainForm, gui::IniAccess& programIni, bool& hideInfo);
    int Execute();

    gui::TStaticText* StaticText1 = nullptr;
    gui::TCheckBox* CheckBox1 = nullptr;
    gui::TButton* Button1 = nullptr;

  private:
    HWND mainForm_;
    gui::IniAccess& programIni_;
    bool& hideInfo_;
};

// Product name, version and copyright from the program file's version information, and the
// links to the web site and the support address. Made anew for each showing.
class TAboutDlg : public gui::TForm {
  public:
    static constexpr char WebSite[] = "https://www.tarnwick.example/";
    static constexpr char SupportMail[] = "mailto:support@tarnwick.example";

    TAboutDlg(HWND mainForm, std::string programPath);
    int Execute();
    // The three product lines, as the memo shows them.
    void FillProductLines();

    gui::TImage* Image1 = nullptr;
    gui::TMemo* Memo1 = nullptr;
    gui::TLabel* Label4 = nullptr; // web site
    gui::TLabel* Label5 = nullptr; // support mail
    gui::TButton* OKBtn = nullptr;

  private:
    HWND mainForm_;
    std::string programPath_;
};

} // namespace ui
