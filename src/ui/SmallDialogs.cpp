#include "ui/SmallDialogs.h"

#include "core/FuncMin.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/Edit.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/Memo.h"
#include "gui/Shell.h"
#include "gui/Wait.h"

namespace ui {

namespace {
// The entry form centres its top on this height, not on the main form's.
constexpr int entryReferenceHeight = 250;
} // namespace

TAppMsg::TAppMsg(HWND mainForm)
    : gui::TForm("TAppMsg", "AppMsg", gui::FormBounds{0, 0, 480, 120}, gui::TBorderStyle::bsDialog),
      mainForm_(mainForm) {
    SetClientSize(477, 91);
    SetStayOnTop(true);
    StaticText1 = &Create<gui::TStaticText>(*this, "StaticText1", gui::TBounds{17, 8, 443, 45}, "");
    Button1 = &Create<gui::TButton>(*this, "Button1", gui::TBounds{201, 60, 75, 25}, "&OK");
    Button1->OnClick = [this] { Close(); };
    OnShow = [this] { CloseWhenEmpty(); };
    OnActivate = [this] { CloseWhenEmpty(); };
}

void TAppMsg::CloseWhenEmpty() {
    if (Caption().empty() && StaticText1->Caption().empty()) Close();
}

void TAppMsg::ShowMsg(const std::string& caption, const std::string& text, bool showOK) {
    Button1->SetVisible(showOK);
    SetCaption(caption);
    StaticText1->SetCaption(text);
    if (!caption.empty() || !text.empty()) {
        CenterOn(mainForm_);
        Show();
    } else if (Visible()) {
        Close();
    }
    gui::ProcessMessages();
}

TChgFile::TChgFile(HWND mainForm)
    : gui::TForm("TChgFile", "Change file description", gui::FormBounds{0, 0, 424, 100},
                 gui::TBorderStyle::bsToolWindow),
      mainForm_(mainForm) {
    SetClientSize(418, 68);
    Edit1 = &Create<gui::TEdit>(*this, "Edit1", gui::TBounds{8, 8, 402, 21});
    Button3 = &Create<gui::TButton>(*this, "Button3", gui::TBounds{172, 38, 75, 25}, "&OK");
    Button3->ModalResult = gui::mrOk;
    Edit1->OnKeyDown = [this](WORD& key, gui::TShiftState) {
        if (key == VK_RETURN) {
            ModalResult = gui::mrOk;
            key = 0;
        } else if (key == VK_ESCAPE) {
            ModalResult = gui::mrCancel;
            key = 0;
        }
    };
    ActiveControl = Edit1;
}

int TChgFile::Execute() {
    CenterOn(mainForm_, entryReferenceHeight);
    return ShowModal();
}

TAspiNotOK::TAspiNotOK(HWND mainForm, gui::IniAccess& programIni, bool& hideInfo)
    : gui::TForm("TAspiNotOK", "CD / DVD device not found!", gui::FormBounds{0, 0, 520, 237},
                 gui::TBorderStyle::bsDialog),
      mainForm_(mainForm), programIni_(programIni), hideInfo_(hideInfo) {
    StaticText1 = &Create<gui::TStaticText>(*this, "StaticText1", gui::TBounds{12, 10, 481, 149}, "",
                                            gui::TAlignment::taLeftJustify);
    CheckBox1 = &Create<gui::TCheckBox>(*this, "CheckBox1", gui::TBounds{12, 170, 260, 17},
                                        "Do not show this again.");
    Button1 = &Create<gui::TButton>(*this, "Button1", gui::TBounds{412, 166, 81, 25}, "OK");
    Button1->SetDefault(true);
    Button1->OnClick = [this] {
        hideInfo_ = CheckBox1->Checked();
        programIni_.WriteBool(core::ini::LastState, "HideInfo", hideInfo_);
        ModalResult = gui::mrOk;
    };
    ActiveControl = Button1;
}

int TAspiNotOK::Execute() {
    StaticText1->SetCaption(core::LoadMessage(65016));
    CheckBox1->SetChecked(hideInfo_);
    SetStayOnTop(true);
    CenterOn(mainForm_);
    return ShowModal();
}

TAboutDlg::TAboutDlg(HWND mainForm, std::string programPath)
    : gui::TForm("TAboutDlg", "About Tarnwick", gui::FormBounds{0, 0, 400, 250}, gui::TBorderStyle::bsDialog),
      mainForm_(mainForm), programPath_(std::move(programPath)) {
    Image1 = &Create<gui::TImage>(*this, "Image1", gui::TBounds{14, 14, 32, 32});
    Image1->SetIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1)));
    Memo1 = &Create<gui::TMemo>(*this, "Memo1", gui::TBounds{60, 12, 318, 80});
    Create<gui::TLabel>(*this, "Label2", gui::TBounds{60, 106, 60, 16}, "Internet:");
    Label4 = &Create<gui::TLabel>(*this, "Label4", gui::TBounds{124, 106, 254, 16}, "www.tarnwick.example");
    Create<gui::TLabel>(*this, "Label3", gui::TBounds{60, 128, 60, 16}, "Email:");
    Label5 =
        &Create<gui::TLabel>(*this, "Label5", gui::TBounds{124, 128, 254, 16}, "support@tarnwick.example");
    for (gui::TLabel* link : {Label4, Label5})
        link->SetFontColor(0xFF0000); // blue, as links are
    Label4->OnClick = [] { gui::Shell().Open(WebSite); };
    Label5->OnClick = [] { gui::Shell().Open(SupportMail); };
    OKBtn = &Create<gui::TButton>(*this, "OKBtn", gui::TBounds{160, 170, 75, 25}, "&OK");
    OKBtn->ModalResult = gui::mrOk;
    OKBtn->SetDefault(true);
    ActiveControl = OKBtn;
}

void TAboutDlg::FillProductLines() {
    // The version resource is written in US English, code page 1252.
    core::SetVersionInfoLanguage(1033);
    core::SetVersionInfoCodePage(1252);
    Memo1->Clear();
    Memo1->AddLine(core::GetFileProductName(programPath_) + " version " +
                   core::GetFileVersionString(programPath_));
    Memo1->AddLine(core::GetFileLegalCopyright(programPath_));
    Memo1->AddLine(core::LoadMessage(65009));
}

int TAboutDlg::Execute() {
    FillProductLines();
    CenterOn(mainForm_);
    return ShowModal();
}

} // namespace ui
