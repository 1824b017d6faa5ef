// formdrv: the whole program hosted in-process as tarnwick.exe starts it, with a prompter
// that prints every question and answers from the command line or a script, driven through
// its controls, menus and actions as a user would. Checks outside the test executables run
// it; its output and exit codes stay stable:
//   ask: KIND: CAPTION: TEXT    a question (line breaks as \r), then "unanswered" when
//                               nothing was queued for it and its default was taken
//   status: TEXT                the status line after the verb; exit 0
//   exception: CLASS: TEXT      an exception that escaped a handler; exit 3 at the end
//   error: TEXT                 a misuse of the driver; exit 2
//   ended                       the program ended itself
// Usage: formdrv [--as PROGRAM] [--os M.N] [--answer A]... [--job NAME] VERB ARGS...
//   script FILE [SWITCH...]
//   restore ZIP DEST [--mode never|older|always] [--select NAME]... [--remove PREFIX] [--no-paths]
//   verify ZIP                  exit 1 when errors were found
//   burnfile FILE [--drive N] [--speed TEXT]

#include "WinTestSupport.h"
#include "core/ProgramEnvironment.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/ComboBox.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/FileText.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Memo.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/ProgressBar.h"
#include "gui/Prompter.h"
#include "gui/TrackBar.h"
#include "gui/Wait.h"
#include "ui/MFoDiscs.h"
#include "ui/MFoRestore.h"
#include "ui/Program.h"
#include "ui/SmallDialogs.h"
#include "zip/UnZipper.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

int exitCode = 0;

// The start-up writes the program's Run value into the prefix; it goes back as it was on
// every way out, ExitProcess included.
std::unique_ptr<testsupport::KeptRunValue> keptRunValue;

[[noreturn]] void Exit(UINT code) {
    keptRunValue.reset();
    ExitProcess(code);
}

[[noreturn]] void Fail(const std::string& text) {
    std::printf("error: %s\n", text.c_str());
    std::fflush(stdout);
    Exit(2);
}

std::string Shown(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c != '\n')
            out += c;
    }
    return out;
}

std::string WithoutAmpersand(const std::string& caption) {
    std::string out;
    for (char c : caption)
        if (c != '&') out += c;
    return out;
}

// Answers queued by --answer and the script, taken in order by the question they fit.
class DriverPrompter final : public gui::TPrompter {
  public:
    std::deque<std::string> answers;

    int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
        Ask("box", request.Caption, request.Text);
        const int defaultAnswer = DefaultOf(request);
        std::string answer;
        if (!Take({"yes", "no", "ok", "cancel"}, answer)) return defaultAnswer;
        if (answer == "yes") return gui::mrYes;
        if (answer == "no") return gui::mrNo;
        if (answer == "ok") return gui::mrOk;
        return gui::mrCancel;
    }

    int ShowModal(const gui::TModalRequest& request) override {
        gui::TForm& form = *request.Form;
        if (auto* entry = dynamic_cast<ui::TChgFile*>(&form)) {
            Ask("entry", form.Caption(), entry->Edit1->Text());
            std::string answer;
            if (!Take({"text:", "ok", "cancel"}, answer)) return gui::mrCancel;
            if (answer.rfind("text:", 0) == 0) entry->Edit1->SetText(answer.substr(5));
            return answer == "cancel" ? gui::mrCancel : gui::mrOk;
        }
        Ask("form", form.Caption(), FormText(form));
        std::string answer;
        if (!Take({"ok", "cancel", "check:", "text:"}, answer)) return gui::mrCancel;
        if (answer == "cancel") return gui::mrCancel;
        if (answer.rfind("check:", 0) == 0) {
            auto* box = form.FindOrNull<gui::TCheckBox>(answer.substr(6));
            if (!box) Fail("no check box " + answer.substr(6) + " on " + form.Caption());
            box->SetChecked(true);
        } else if (answer.rfind("text:", 0) == 0) {
            auto edits = form.ComponentsOf<gui::TEdit>();
            if (edits.empty()) Fail("no edit on " + form.Caption());
            edits.front()->SetText(answer.substr(5));
        }
        // OK as the user gives it: the form's OK button, with whatever its click does.
        form.ModalResult = gui::mrNone;
        for (gui::TButton* button : form.ComponentsOf<gui::TButton>())
            if (WithoutAmpersand(button->Caption()) == "OK") {
                button->Click();
                break;
            }
        return form.ModalResult == gui::mrNone ? gui::mrOk : form.ModalResult;
    }

    gui::TFileDialogAnswer FileDialog(const gui::TFileDialogRequest& request) override {
        Ask(request.Save ? "save" : "open", request.Title, request.FileName);
        gui::TFileDialogAnswer result;
        std::string answer;
        if (!Take({"file:"}, answer)) return result;
        std::stringstream files(answer.substr(5));
        for (std::string file; std::getline(files, file, '|');)
            result.Files.push_back(file);
        result.Accepted = !result.Files.empty();
        return result;
    }

    gui::TFolderAnswer BrowseForFolder(const gui::TFolderRequest& request) override {
        Ask("folder", request.Caption, request.StartFolder);
        gui::TFolderAnswer result;
        std::string answer;
        if (!Take({"folder:"}, answer)) return result;
        result.Folder = answer.substr(7);
        result.Accepted = true;
        return result;
    }

    int TrackPopup(const gui::TPopupRequest& request) override {
        Ask("popup", "", "");
        std::string answer;
        if (!Take({"item:"}, answer)) return 0;
        const int command = request.CommandOf ? request.CommandOf(answer.substr(5)) : 0;
        if (command == 0) Fail("no menu item " + answer.substr(5));
        return command;
    }

  private:
    static void Ask(const char* kind, const std::string& caption, const std::string& text) {
        std::printf("ask: %s: %s: %s\n", kind, Shown(caption).c_str(), Shown(text).c_str());
    }
    static int DefaultOf(const gui::TMessageBoxRequest& request) {
        switch (request.Buttons) {
        case gui::TMsgButtons::YesNo:
            return request.DefaultButton == 1 ? gui::mrYes : gui::mrNo;
        case gui::TMsgButtons::OKCancel:
            return request.DefaultButton == 1 ? gui::mrOk : gui::mrCancel;
        case gui::TMsgButtons::OK:
            break;
        }
        return gui::mrOk;
    }
    // The modal forms' text: what their static text or memo shows.
    static std::string FormText(gui::TForm& form) {
        for (gui::TStaticText* text : form.ComponentsOf<gui::TStaticText>())
            return text->Caption();
        for (gui::TMemo* memo : form.ComponentsOf<gui::TMemo>()) {
            std::string lines;
            for (int i = 0; i < memo->LineCount(); ++i)
                lines += (i ? "\r" : "") + memo->Line(i);
            return lines;
        }
        return {};
    }
    bool Take(const std::vector<std::string>& kinds, std::string& answer) {
        if (answers.empty()) {
            std::printf("unanswered\n");
            return false;
        }
        answer = answers.front();
        for (const std::string& kind : kinds)
            if (kind.back() == ':' ? answer.rfind(kind, 0) == 0 : answer == kind) {
                answers.pop_front();
                return true;
            }
        Fail("answer " + answer + " does not fit this question");
    }
};

DriverPrompter prompter;

class Driver {
  public:
    explicit Driver(ui::TProgram& program) : program_(program), form_(*program.MainForm()) {}

    void Run(const std::string& line) {
        const size_t blank = line.find(' ');
        const std::string verb = line.substr(0, blank);
        const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (verb == "answer")
            prompter.answers.push_back(rest);
        else if (verb == "text" || verb == "file" || verb == "folder" || verb == "item")
            prompter.answers.push_back(verb + ":" + rest);
        else if (verb == "type")
            Type(rest);
        else if (verb == "click" || verb == "dblclick")
            Click(rest, verb == "dblclick");
        else if (verb == "key")
            Key(rest);
        else if (verb == "select")
            Select(rest);
        else if (verb == "drop")
            Drop(rest);
        else if (verb == "layout")
            Layout(rest);
        else if (verb == "tab")
            Tab(rest);
        else if (verb == "menu")
            Menu(rest);
        else if (verb == "action")
            Action(rest);
        else if (verb == "wait")
            gui::Wait(std::atoi(rest.c_str()), false);
        else if (verb == "show")
            form_.ShowMainWindow();
        else if (verb == "dump")
            Dump(rest);
        else if (verb == "hold")
            Hold();
        else
            Fail("unknown script verb " + verb);
        gui::ProcessMessages();
    }

  private:
    template <typename T> T& Control(const std::string& name) {
        if (T* found = form_.FindOrNull<T>(name)) return *found;
        Fail("no control " + name);
    }
    static void Split(const std::string& text, std::string& first, std::string& rest) {
        const size_t blank = text.find(' ');
        first = text.substr(0, blank);
        rest = blank == std::string::npos ? std::string() : text.substr(blank + 1);
    }
    // Moves the focus away the way a user leaves a field.
    void LeaveField() { ::SetFocus(form_.Handle()); }

    void Type(const std::string& arguments) {
        std::string name, text;
        Split(arguments, name, text);
        gui::TControl& control = Control<gui::TControl>(name);
        control.SetFocus();
        if (auto* combo = dynamic_cast<gui::TComboBox*>(&control)) {
            const int index = static_cast<int>(SendMessageA(combo->Handle(), CB_FINDSTRINGEXACT, WPARAM(-1),
                                                            reinterpret_cast<LPARAM>(text.c_str())));
            if (index >= 0) {
                if (combo->OnDropDown) combo->OnDropDown();
                combo->SetItemIndex(index);
                if (combo->OnCloseUp) combo->OnCloseUp();
            } else {
                combo->SetText(text);
            }
            if (combo->OnChange) combo->OnChange();
        } else if (auto* edit = dynamic_cast<gui::TEdit*>(&control)) {
            edit->SetText(text);
            if (edit->OnChange) edit->OnChange();
        } else {
            Fail(name + " takes no text");
        }
        LeaveField();
    }

    void Click(const std::string& arguments, bool twice) {
        std::string name, point;
        Split(arguments, name, point);
        gui::TControl& control = Control<gui::TControl>(name);
        if (!twice) {
            if (auto* button = dynamic_cast<gui::TButton*>(&control)) return button->Click();
            if (dynamic_cast<gui::TCheckBox*>(&control)) {
                SendMessageA(control.Handle(), BM_CLICK, 0, 0);
                return;
            }
            if (dynamic_cast<gui::TLabel*>(&control) && control.OnClick) return control.OnClick();
        }
        int x = control.Width() / 2, y = control.Height() / 2;
        if (!point.empty()) std::sscanf(point.c_str(), "%d,%d", &x, &y);
        const LPARAM at = MAKELPARAM(x, y);
        SendMessageA(control.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(control.Handle(), WM_LBUTTONUP, 0, at);
        if (twice) {
            SendMessageA(control.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
            SendMessageA(control.Handle(), WM_LBUTTONUP, 0, at);
        }
    }

    void Key(const std::string& arguments) {
        std::string name, key;
        Split(arguments, name, key);
        gui::TControl& control = Control<gui::TControl>(name);
        control.SetFocus();
        BYTE state[256] = {};
        GetKeyboardState(state);
        BYTE changed[256];
        std::copy(std::begin(state), std::end(state), changed);
        auto modifier = [&](const char* prefix, int virtualKey) {
            if (key.rfind(prefix, 0) != 0) return;
            key = key.substr(std::string(prefix).size());
            changed[virtualKey] = 0x80;
        };
        modifier("Shift+", VK_SHIFT);
        modifier("Ctrl+", VK_CONTROL);
        static const std::pair<const char*, WORD> named[] = {
            {"Delete", VK_DELETE}, {"Enter", VK_RETURN}, {"Insert", VK_INSERT}, {"Space", VK_SPACE},
            {"Escape", VK_ESCAPE}, {"Home", VK_HOME},    {"End", VK_END},       {"PageUp", VK_PRIOR},
            {"PageDown", VK_NEXT}, {"Up", VK_UP},        {"Down", VK_DOWN},     {"Left", VK_LEFT},
            {"Right", VK_RIGHT}};
        WORD virtualKey = 0;
        for (const auto& [text, code] : named)
            if (key == text) virtualKey = code;
        if (!virtualKey && key.size() == 1 && key[0] >= 'A' && key[0] <= 'Z') virtualKey = key[0];
        if (!virtualKey) Fail("unknown key " + key);
        SetKeyboardState(changed);
        PostMessageA(control.Handle(), WM_KEYDOWN, virtualKey, 1);
        PostMessageA(control.Handle(), WM_KEYUP, virtualKey, 0xC0000001);
        gui::ProcessMessages();
        SetKeyboardState(state);
    }

    // A click on the first row, then Ctrl+click on each further one, as the user selects.
    void Select(const std::string& arguments) {
        std::string name, rows;
        Split(arguments, name, rows);
        auto& list = Control<gui::TListBox>(name);
        std::stringstream stream(rows);
        bool first = true;
        for (std::string row; std::getline(stream, row, ',');) {
            const int index = std::atoi(row.c_str());
            RECT rect{};
            if (SendMessageA(list.Handle(), LB_GETITEMRECT, static_cast<WPARAM>(index),
                             reinterpret_cast<LPARAM>(&rect)) == LB_ERR)
                Fail("no row " + row + " in " + name);
            const LPARAM at = MAKELPARAM(rect.left + 2, (rect.top + rect.bottom) / 2);
            const WPARAM keys = MK_LBUTTON | (first ? 0 : MK_CONTROL);
            BYTE state[256] = {}, changed[256];
            GetKeyboardState(state);
            std::copy(std::begin(state), std::end(state), changed);
            if (!first) changed[VK_CONTROL] = 0x80;
            SetKeyboardState(changed);
            SendMessageA(list.Handle(), WM_LBUTTONDOWN, keys, at);
            SendMessageA(list.Handle(), WM_LBUTTONUP, keys & ~WPARAM(MK_LBUTTON), at);
            SetKeyboardState(state);
            first = false;
        }
    }

    // Files dropped from the shell over the control: the form gets the drop at its centre.
    void Drop(const std::string& arguments) {
        std::string name, paths;
        Split(arguments, name, paths);
        gui::TControl& control = Control<gui::TControl>(name);
        std::wstring names;
        std::stringstream stream(paths);
        for (std::string path; std::getline(stream, path, '|');) {
            const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
            std::wstring wide(static_cast<size_t>(length), L'\0');
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
            names += wide; // keeps its terminating zero
        }
        names += L'\0';
        HGLOBAL memory =
            GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        POINT centre{control.Width() / 2, control.Height() / 2};
        MapWindowPoints(control.Handle(), form_.Handle(), &centre, 1);
        drop->pt = centre;
        std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(drop + 1));
        GlobalUnlock(memory);
        SendMessageA(form_.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }

    // NAME<TAB>left,top,right,bottom on the screen, for every visible named control.
    void Layout(const std::string& file) {
        gui::ProcessMessages();
        std::ofstream out(file);
        for (gui::TControl* control : form_.ComponentsOf<gui::TControl>()) {
            if (!control->Visible()) continue;
            RECT rect{};
            GetWindowRect(control->Handle(), &rect);
            out << control->Name() << '\t' << rect.left << ',' << rect.top << ',' << rect.right << ','
                << rect.bottom << "\r\n";
        }
        if (!out) Fail("cannot write " + file);
    }

    void Tab(const std::string& name) {
        auto& pages = Control<gui::TPageControl>("PageControl1");
        auto& sheet = Control<gui::TTabSheet>(name);
        bool allow = true;
        if (pages.OnChanging) pages.OnChanging(allow);
        if (!allow) return;
        pages.SetActivePage(&sheet);
        if (pages.OnChange) pages.OnChange();
    }

    void Menu(const std::string& name) {
        gui::TMenuItem* item = nullptr;
        for (gui::TMenu* menu : form_.ComponentsOf<gui::TMenu>())
            if (!item) item = menu->FindByName(name);
        if (!item) Fail("no menu item " + name);
        if (!item->Visible() || !item->Enabled()) {
            std::printf("refused: %s\n", name.c_str());
            return;
        }
        item->Click();
    }

    void Action(const std::string& name) {
        auto* action = form_.FindOrNull<gui::TAction>(name);
        if (!action) Fail("no action " + name);
        if (!action->Enabled() || !action->Visible()) {
            std::printf("refused: %s\n", name.c_str());
            return;
        }
        action->Execute();
    }

    void Dump(const std::string& name) {
        auto line = [&](const std::string& property, const std::string& value) {
            std::printf("%s.%s=%s\n", name.c_str(), property.c_str(), Shown(value).c_str());
        };
        if (auto* action = form_.FindOrNull<gui::TAction>(name)) {
            line("enabled", action->Enabled() ? "1" : "0");
            line("visible", action->Visible() ? "1" : "0");
            line("checked", action->Checked() ? "1" : "0");
            line("text", action->Caption());
            return;
        }
        if (name == "PageControl1") {
            auto& pages = Control<gui::TPageControl>(name);
            std::string tabs;
            for (int i = 0; i < pages.PageCount(); ++i)
                if (pages.Pages(i).TabVisible()) tabs += (tabs.empty() ? "" : ",") + pages.Pages(i).Name();
            std::printf("PageControl1.tabs=%s\n", tabs.c_str());
            std::printf("PageControl1.active=%s\n",
                        pages.ActivePage() ? pages.ActivePage()->Name().c_str() : "");
            return;
        }
        if (auto* item = form_.FindOrNull<gui::TMenuItem>(name)) {
            line("enabled", item->Enabled() ? "1" : "0");
            line("visible", item->Visible() ? "1" : "0");
            line("checked", item->Checked() ? "1" : "0");
            line("text", item->Caption());
            return;
        }
        gui::TControl& control = Control<gui::TControl>(name);
        line("enabled", control.Enabled() ? "1" : "0");
        line("visible", control.Visible() ? "1" : "0");
        if (auto* label = dynamic_cast<gui::TLabel*>(&control)) line("text", label->Caption());
        if (auto* button = dynamic_cast<gui::TButton*>(&control)) line("text", button->Caption());
        if (auto* box = dynamic_cast<gui::TCheckBox*>(&control)) {
            line("text", box->Caption());
            line("checked", box->Checked() ? "1" : "0");
        }
        if (auto* edit = dynamic_cast<gui::TEdit*>(&control)) line("text", edit->Text());
        if (control.Color() != gui::clDefault) {
            char color[8];
            const unsigned value = static_cast<unsigned>(control.Color());
            std::snprintf(color, sizeof color, "%02X%02X%02X", value & 0xFF, (value >> 8) & 0xFF,
                          (value >> 16) & 0xFF);
            line("color", color);
        }
        if (auto* list = dynamic_cast<gui::TListBox*>(&control)) {
            line("count", std::to_string(list->Items().Count()));
            std::string selected;
            for (int i = 0; i < list->Items().Count(); ++i) {
                line("item." + std::to_string(i), list->Items().Strings(i));
                if (list->Selected(i)) selected += (selected.empty() ? "" : ",") + std::to_string(i);
            }
            line("selected", selected);
            line("index", std::to_string(list->ItemIndex()));
        }
        if (auto* combo = dynamic_cast<gui::TComboBox*>(&control)) {
            line("text", combo->Text());
            line("count", std::to_string(combo->Items().Count()));
            for (int i = 0; i < combo->Items().Count(); ++i)
                line("item." + std::to_string(i), combo->Items().Strings(i));
            line("index", std::to_string(combo->ItemIndex()));
        }
        if (auto* bar = dynamic_cast<gui::TProgressBar*>(&control))
            line("position", std::to_string(bar->Position()));
        if (auto* bar = dynamic_cast<gui::TTrackBar*>(&control))
            line("position", std::to_string(bar->Position()));
        line("hint", control.Hint());
    }

    // Keeps the program running for a screenshot, telling the waiting script it may take it.
    void Hold() {
        if (const char* ready = std::getenv("TARNWICK_SCREENSHOT_READY")) {
            gui::ProcessMessages();
            std::string path = ready;
            // A Unix path from the script: Wine shows the Unix root as drive Z.
            if (!path.empty() && path[0] == '/') {
                for (char& c : path)
                    if (c == '/') c = '\\';
                path = "Z:" + path;
            }
            std::ofstream(path) << "ready\n";
        }
        std::fflush(stdout);
        gui::Application().Run();
    }

    ui::TProgram& program_;
    ui::TMF& form_;
};

// The verbs of the Restore tab: each a fixed sequence of what a user does there.
struct RestoreRequest {
    bool verify = false;
    std::string zip, dest, mode = "never", remove;
    std::vector<std::string> select;
    bool noPaths = false;
};

bool ReadRestoreRequest(const std::string& verb, const std::vector<std::string>& args,
                        RestoreRequest& request) {
    request.verify = verb == "verify";
    size_t at = 0;
    if (at >= args.size()) return false;
    request.zip = args[at++];
    if (request.verify) return at == args.size();
    if (at >= args.size()) return false;
    request.dest = args[at++];
    while (at < args.size()) {
        const std::string& option = args[at++];
        if (option == "--no-paths") {
            request.noPaths = true;
            continue;
        }
        if (at >= args.size()) return false;
        const std::string& value = args[at++];
        if (option == "--mode" && (value == "never" || value == "older" || value == "always"))
            request.mode = value;
        else if (option == "--select")
            request.select.push_back(value);
        else if (option == "--remove")
            request.remove = value;
        else
            return false;
    }
    return true;
}

// Opens the archive through the open action, sets the tab's controls, selects and restores
// (or verifies); answers the text of Label15 once the action has returned.
std::string RunRestoreVerb(ui::TMF& form, const RestoreRequest& request) {
    ui::TRestoreTab& tab = *form.RestoreTab;
    prompter.answers.push_front("file:" + request.zip);
    if (!tab.OpenZipFile->Execute()) Fail("the open action is disabled");
    gui::ProcessMessages();
    if (tab.Grid().RestoreRowMap.Count() == 0) return tab.Label15->Caption();
    if (request.verify) {
        tab.TestFile1Click();
        return tab.Label15->Caption();
    }
    tab.Edit3->SetText(request.dest);
    tab.Edit3Change();
    tab.Edit6->SetText(request.remove);
    tab.CheckBox2->SetChecked(!request.noPaths);
    gui::TRadioButton* rule = request.mode == "always"  ? tab.RadioButton4
                              : request.mode == "older" ? tab.RadioButton5
                                                        : tab.RadioButton3;
    rule->SetChecked(true);
    if (request.select.empty()) {
        tab.BtSelectAll->Click();
    } else {
        // Ctrl+click on each row of that file name, as the user would.
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
        for (const std::string& name : request.select) {
            bool found = false;
            for (int row = 1; row <= tab.Grid().RestoreRowMap.Count(); ++row) {
                const int entry = static_cast<int>(tab.Grid().RestoreRowMap.Objects(row - 1));
                if (tab.UnZipper1().Filename(entry) != name) continue;
                found = true;
                bool canSelect = true;
                tab.DrawGrid1->SetRow(row);
                tab.Grid().DrawGrid1SelectCell(1, row, canSelect);
            }
            if (!found) Fail("no entry named " + name);
        }
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    }
    if (!form.StartRestore->Execute()) std::printf("refused: StartRestore\n");
    gui::ProcessMessages();
    return tab.Label15->Caption();
}

// Burning one file from the drives tab: the drive and the speed chosen as a user chooses them,
// then the button, its file dialog answered with FILE.
struct BurnRequest {
    std::string file, speed;
    int drive = 0;
};

bool ReadBurnRequest(const std::vector<std::string>& args, BurnRequest& request) {
    if (args.empty()) return false;
    request.file = args[0];
    for (size_t at = 1; at < args.size(); at += 2) {
        if (at + 1 >= args.size()) return false;
        if (args[at] == "--drive")
            request.drive = std::atoi(args[at + 1].c_str());
        else if (args[at] == "--speed")
            request.speed = args[at + 1];
        else
            return false;
    }
    return true;
}

std::string RunBurnVerb(ui::TMF& form, const BurnRequest& request) {
    ui::TDiscTab& tab = *form.DiscTab;
    if (request.drive < 0 || request.drive >= tab.cbDrives->Items().Count())
        Fail("no drive " + std::to_string(request.drive));
    tab.cbDrives->SetItemIndex(request.drive);
    tab.cbDrivesChange();
    if (tab.cbSpeed->OnDropDown) tab.cbSpeed->OnDropDown();
    int speed = 0;
    if (!request.speed.empty()) {
        speed = -1;
        for (int i = 1; i < tab.cbSpeed->Items().Count() && speed < 0; ++i)
            if (tab.cbSpeed->Items().Strings(i).rfind(request.speed, 0) == 0) speed = i;
        if (speed < 0) Fail("no speed " + request.speed);
    }
    tab.cbSpeed->SetItemIndex(speed);
    prompter.answers.push_front("file:" + request.file);
    tab.btBurnFileToCD->Click();
    gui::ProcessMessages();
    return form.Label1->Caption();
}

bool ReadScript(const std::string& file, std::vector<std::string>& lines) {
    std::string text;
    if (!gui::ReadWholeFile(file, text)) return false;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        lines.push_back(line.substr(first));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    core::ProgramEnvironment environment = core::ProgramEnvironment::FromProcess();
    {
        const std::string self = environment.programPath;
        environment.programPath = self.substr(0, self.find_last_of('\\') + 1) + "tarnwick.exe";
    }
    std::string job;
    size_t at = 0;
    for (; at < args.size() && args[at].rfind("--", 0) == 0; ++at) {
        const std::string& option = args[at];
        if (at + 1 >= args.size()) Fail("missing value of " + option);
        const std::string value = args[++at];
        if (option == "--as") {
            char full[MAX_PATH * 2];
            const DWORD length = GetFullPathNameA(value.c_str(), sizeof full, full, nullptr);
            environment.programPath = length ? std::string(full, length) : value;
        } else if (option == "--os") {
            int major = 0, minor = 0;
            if (std::sscanf(value.c_str(), "%d.%d", &major, &minor) != 2) Fail("bad --os " + value);
            environment.os.major = major;
            environment.os.minor = minor;
            environment.os.ntFamily = major >= 5 || (major == 4 && minor == 0);
        } else if (option == "--answer") {
            prompter.answers.push_back(value);
        } else if (option == "--job") {
            job = value;
        } else {
            Fail("unknown option " + option);
        }
    }
    const char* usage =
        "usage: formdrv [--as PROGRAM] [--os M.N] [--answer A]... [--job NAME] "
        "script FILE [SWITCH...] | restore ZIP DEST [--mode never|older|always] [--select NAME]... "
        "[--remove PREFIX] [--no-paths] | verify ZIP | burnfile FILE [--drive N] [--speed TEXT]";
    if (at >= args.size()) Fail(usage);
    const std::string verb = args[at];
    std::vector<std::string> script;
    RestoreRequest restore;
    BurnRequest burn;
    if (verb == "script") {
        if (at + 1 >= args.size()) Fail(usage);
        if (!ReadScript(args[at + 1], script)) Fail("cannot read " + args[at + 1]);
        environment.params.assign(args.begin() + static_cast<long>(at) + 2, args.end());
    } else if (verb == "restore" || verb == "verify") {
        if (!ReadRestoreRequest(
                verb, std::vector<std::string>(args.begin() + static_cast<long>(at) + 1, args.end()),
                restore))
            Fail(usage);
    } else if (verb == "burnfile") {
        if (!ReadBurnRequest(std::vector<std::string>(args.begin() + static_cast<long>(at) + 1, args.end()),
                             burn))
            Fail(usage);
    } else {
        Fail(usage);
    }

    gui::SetPrompter(&prompter);
    gui::TApplication& application = gui::Application();
    application.HaltHandler = [](int code) {
        std::printf("ended\n");
        std::fflush(stdout);
        Exit(static_cast<UINT>(code));
    };
    keptRunValue = std::make_unique<testsupport::KeptRunValue>();
    ui::TProgram program(environment);
    if (!program.Start()) Fail("another instance of the program runs");
    ui::TMF& form = *program.MainForm();
    application.OnException = [previous = application.OnException](const std::string& what) {
        std::printf("exception: Exception: %s\n", Shown(what).c_str());
        exitCode = 3;
        if (previous) previous(what);
    };

    // The start-up sequence runs from the timer, as in the program.
    const DWORD patience = GetTickCount();
    while (!form.StartUpDone && GetTickCount() - patience < 60'000) {
        if (gui::ProcessMessages()) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    if (!form.StartUpDone) Fail("the start-up sequence did not run within 60 s");
    gui::ProcessMessages();
    if (!job.empty()) form.LoadJob(job);

    Driver driver(program);
    for (const std::string& line : script) {
        driver.Run(line);
        if (application.Terminated()) {
            std::printf("ended\n");
            std::fflush(stdout);
            return exitCode;
        }
    }
    std::string status = form.Label1->Caption();
    if (verb == "burnfile") {
        status = RunBurnVerb(form, burn);
    } else if (verb != "script") {
        status = RunRestoreVerb(form, restore);
        if (verb == "verify" && status.rfind("Verify finished, errors found", 0) == 0 && exitCode == 0)
            exitCode = 1;
    }
    std::printf("status: %s\n", Shown(status).c_str());
    std::fflush(stdout);
    form.Close();
    gui::ProcessMessages();
    return exitCode;
}
