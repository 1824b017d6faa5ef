// Every control kind of the class library on one form, filled with plausible content, so a
// person can see that the layer draws real Windows controls.

#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/Canvas.h"
#include "gui/CheckBox.h"
#include "gui/ComboBox.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/Form.h"
#include "gui/Hint.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Memo.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/Panel.h"
#include "gui/ProgressBar.h"
#include "gui/Splitter.h"
#include "gui/TrackBar.h"
#include "gui/TrayIcon.h"

#include <string>
#include <vector>

using namespace gui;

namespace {

const std::vector<std::vector<std::string>> gridRows{
    {"Name", "Size", "Date", "Folder"},
    {"report.doc", "48,128", "03-11-2026", "C:\\Work\\"},
    {"budget.xls", "112,640", "28-10-2026", "C:\\Work\\"},
    {"photos", "", "01-09-2026", "D:\\"},
    {"notes.txt", "2,311", "05-12-2026", "C:\\Work\\"},
    {"setup.exe", "1,830,912", "14-02-2026", "C:\\Tools\\"},
};

class DemoForm : public TForm {
  public:
    DemoForm() : TForm("TGuiDemo", "Class library demo", FormBounds{20, 20, 760, 560}) {
        BuildMenu();
        auto& pages = Create<TPageControl>(*this, "PageControl1", TBounds{6, 6, 740, 470});
        BuildJobPage(Create<TTabSheet>(pages, "TabSheet1", "Job"));
        BuildFilesPage(Create<TTabSheet>(pages, "TabSheet4", "Files"));
        Create<TTabSheet>(pages, "Cat", "Catalog");
        auto& status = Create<TPanel>(*this, "Panel6", TBounds{6, 482, 740, 24});
        Create<TLabel>(status, "Label1", TBounds{8, 5, 500, 16}, "Ready. Last backup: 05-12-2026 22:00");
        tray_.Add(Handle(), LoadIconA(nullptr, MAKEINTRESOURCEA(32512)), "Tarnwick - demo");
    }

  private:
    void BuildMenu() {
        auto& menu = Create<TMainMenu>(*this, "MainMenu1");
        auto& files = menu.Add("Files", "&Files");
        auto& start = Create<TAction>(*this, "Startbackup", "&Start");
        files.Add("Backup1", "").SetAction(&start);
        files.Add("Restore1", "&Restore");
        files.AddSeparator();
        files.Add("Exit1", "E&xit").OnClick = [this] { Close(); };
        auto& options = menu.Add("Options", "&Options");
        auto& hints = options.Add("Showhint1", "Show &hints");
        hints.AutoCheck = true;
        hints.SetChecked(true);
        options.Add("SelectAll1", "Select &all").SetShortCut('A', ssCtrl);
        options.Add("Invertselection1", "&Invert selection").SetShortCut('I', ssCtrl);
        menu.Add("Help1", "&Help").Add("About1", "&About...");
        SetMenu(&menu);
        start.OnExecute = [&start] { start.SetCaption(start.Caption() == "&Start" ? "&Cancel" : "&Start"); };
    }

    void BuildJobPage(TTabSheet& sheet) {
        auto& options = Create<TGroupBox>(sheet, "GroupBox1", TBounds{8, 8, 340, 200}, "Job options");
        Create<TLabel>(options, "Label2", TBounds{12, 24, 90, 16}, "Zip &name:");
        auto& name = Create<TEdit>(options, "Edit1", TBounds{104, 20, 220, 21}, "D:\\Backup\\Daily.zip");
        name.SetHint("The archive to write.\rA new volume gets .z01, .z02 ...");
        Create<TLabel>(options, "Label3", TBounds{12, 52, 90, 16}, "&Password:");
        auto& password = Create<TEdit>(options, "Edit2", TBounds{104, 48, 220, 21}, "secret");
        password.SetPasswordChar('*');
        Create<TCheckBox>(options, "CheckBox1", TBounds{12, 80, 150, 20}, "Changed files &only")
            .SetChecked(true);
        Create<TCheckBox>(options, "CheckBox2", TBounds{170, 80, 160, 20}, "Clear &archive bit");
        Create<TCheckBox>(options, "CBCatalog", TBounds{12, 104, 150, 20}, "Make a &catalog")
            .SetChecked(true);
        Create<TRadioButton>(options, "RadioButton1", TBounds{12, 136, 100, 20}, "Normal", true)
            .SetChecked(true);
        Create<TRadioButton>(options, "RadioButton2", TBounds{12, 160, 100, 20}, "Fastest");
        Create<TRadioButton>(options, "RadioButton3", TBounds{170, 136, 120, 20}, "Disc", true);
        Create<TRadioButton>(options, "RadioButton4", TBounds{170, 160, 120, 20}, "Folder").SetChecked(true);

        Create<TLabel>(sheet, "Label4", TBounds{360, 14, 80, 16}, "Drive:");
        auto& drives = Create<TComboBox>(sheet, "cbDrives", TBounds{440, 10, 160, 21});
        for (const char* drive : {"E: CD/DVD writer", "F: DVD-ROM"})
            drives.Items().Add(drive);
        drives.SetItemIndex(0);
        Create<TLabel>(sheet, "Label5", TBounds{360, 44, 80, 16}, "Volume:");
        auto& volume = Create<TComboBox>(sheet, "ComboBox1", TBounds{440, 40, 160, 21}, true);
        for (const char* size : {"650 MB", "700 MB", "4480 MB"})
            volume.Items().Add(size);
        volume.SetText("700 MB");
        Create<TLabel>(sheet, "Label6", TBounds{360, 76, 80, 16}, "Priority:");
        auto& priority = Create<TTrackBar>(sheet, "TrackBar1", TBounds{436, 70, 170, 30});
        priority.SetRange(0, 4);
        priority.SetPosition(2);
        Create<TStaticText>(sheet, "StaticText1", TBounds{360, 110, 240, 40},
                            "Insert a blank disc\rin drive E:");
        auto& progress = Create<TProgressBar>(sheet, "ProgressBar1", TBounds{360, 160, 360, 18});
        progress.SetRange(0, 3'000'000);
        progress.SetPosition(1'900'000);
        auto& bar = Create<TProgressBar>(sheet, "ProgressBar2", TBounds{360, 184, 360, 18});
        bar.SetPosition(35);

        auto& button = Create<TButton>(sheet, "Button1", TBounds{8, 220, 100, 26}, "");
        button.SetAction(&Find<TAction>("Startbackup"));
        button.SetDefault(true);
        Create<TButton>(sheet, "Button2", TBounds{116, 220, 100, 26}, "&Test zip");
        Create<TSpeedButton>(sheet, "SpeedButton1", TBounds{224, 220, 26, 26}, "...");
        auto& image = Create<TImage>(sheet, "Image1", TBounds{264, 216, 36, 36});
        image.SetIcon(LoadIconA(nullptr, MAKEINTRESOURCEA(32516))); // IDI_INFORMATION

        auto& log = Create<TListBox>(sheet, "ListBox5", TBounds{8, 260, 340, 170});
        for (const char* line : {"22:00:01 > Job Daily started", "22:00:03 > 1,204 files selected",
                                 "22:04:40 > Volume 1 written", "22:04:41 > Verify passed"})
            log.Items().Insert(0, line);
        auto& memo = Create<TMemo>(sheet, "Memo1", TBounds{360, 214, 360, 216});
        for (const char* line : {"Adding report.doc (deflated 71%)", "Adding budget.xls (deflated 64%)",
                                 "Adding notes.txt (stored)", "Adding setup.exe (deflated 12%)"})
            memo.AddLine(line);
        ActiveControl = &name;
    }

    void BuildFilesPage(TTabSheet& sheet) {
        auto& folders = Create<TPanel>(sheet, "Panel12", TBounds{0, 0, 200, 440}, "");
        folders.MinWidth = 85;
        auto& tree = Create<TListBox>(folders, "ListBox1", TBounds{4, 4, 192, 432}, true, true);
        tree.Items().AddStrings({"C:\\Work\\", "C:\\Tools\\", "D:\\photos\\", "c:\\archive\\", "%REGISTRY%"});
        tree.SetSelected(1, true);
        auto& grid = Create<TDrawGrid>(sheet, "DrawGrid1", TBounds{206, 0, 526, 440}, 4,
                                       static_cast<int>(gridRows.size()));
        Create<TSplitter>(sheet, "Splitter1", TBounds{200, 0, 6, 440}, folders);
        const int widths[] = {150, 90, 100, 170};
        for (int col = 0; col < 4; ++col)
            grid.SetColWidths(col, widths[col]);
        grid.SetRow(2);
        images_ = SystemSmallImages();
        grid.OnDrawCell = [this](TCanvas& canvas, int col, int row, const RECT& rect, TGridDrawState state) {
            if (state & gdFixed)
                canvas.Brush.Color = col == 0 ? clLime : clBtnFace;
            else if (state & gdSelected)
                canvas.Brush.Color = clNavy, canvas.Font.Color = clWhite;
            canvas.FillRect(rect);
            int x = rect.left + 2;
            if (col == 0 && !(state & gdFixed)) {
                const std::string& name = gridRows[static_cast<size_t>(row)][0];
                canvas.DrawImage(images_, SystemIconIndex(name, name.find('.') == std::string::npos), x,
                                 rect.top + 1);
                x += 18;
            }
            // The text's own rectangle starts after the icon: TextRect paints its background.
            RECT textRect = rect;
            textRect.left = x;
            canvas.TextRect(textRect, x, rect.top + 2,
                            gridRows[static_cast<size_t>(row)][static_cast<size_t>(col)]);
        };
    }

    TTrayIcon tray_;
    HIMAGELIST images_ = nullptr;
};

} // namespace

// "files" on the command line opens the second page.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    TApplication& application = Application();
    application.SetTitle("Class library demo");
    DemoForm form;
    if (std::string(commandLine).find("files") != std::string::npos)
        form.Find<TPageControl>("PageControl1").SetActivePageIndex(1);
    application.MainForm = &form;
    application.Run();
    return 0;
}
