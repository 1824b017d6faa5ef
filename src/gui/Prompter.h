#pragma once
// Every question the program puts to the user goes through one replaceable prompter: message
// boxes, open and save dialogs, the folder browser, modal forms and popup menus. The product
// installs the system prompter, which shows the real dialogs; tests install a scripted one
// that answers in order, records what was asked and throws on anything unscripted, since a
// real modal dialog under a display-less driver would hang the test.
// Window handles travel as void* so that portable code can ask questions too.

#include <functional>
#include <string>
#include <vector>

namespace gui {

class TForm;

// Modal results; the values are the system's dialog answer ids (IDOK, IDCANCEL, ..., IDNO).
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrAbort = 3;
constexpr int mrRetry = 4;
constexpr int mrIgnore = 5;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

enum class TMsgButtons { OK, OKCancel, YesNo };
enum class TMsgIcon { None, Stop, Exclamation, Warning, Question, Information };

struct TMessageBoxRequest {
    void* Owner = nullptr; // HWND; none: the main form when there is one
    std::string Caption;
    std::string Text; // a CR is a line break
    TMsgButtons Buttons = TMsgButtons::OK;
    TMsgIcon Icon = TMsgIcon::None;
    int DefaultButton = 1; // 1 = the first button, 2 = the second
};

struct TFileDialogRequest {
    bool Save = false; // save dialog: no built-in overwrite question, callers ask themselves
    void* Owner = nullptr;
    std::string Title;
    std::string Filter; // "desc|pattern|desc|pattern"
    int FilterIndex = 1;
    std::string DefaultExt; // without the dot
    std::string InitialDir;
    std::string FileName; // preset name
    bool MultiSelect = false;
};

struct TFileDialogAnswer {
    bool Accepted = false;
    std::vector<std::string> Files; // full paths; one unless multi-select
};

struct TFolderRequest {
    void* Owner = nullptr;
    std::string Caption;
    std::string StartFolder;
};

struct TFolderAnswer {
    bool Accepted = false;
    std::string Folder; // no trailing backslash except on a drive root
};

struct TModalRequest {
    TForm* Form = nullptr;
    // The form's own modal loop; the system prompter runs it, a script replaces it.
    std::function<int()> RunModal;
};

struct TPopupRequest {
    void* Owner = nullptr; // HWND that receives the menu's messages
    void* Menu = nullptr;  // HMENU
    int X = 0, Y = 0;      // screen point
    unsigned Flags = 0;    // extra TrackPopupMenu alignment flags
    // Menu item names by command id, so a script can answer by name.
    std::function<int(const std::string& itemName)> CommandOf;
};

class TPrompter {
  public:
    virtual ~TPrompter() = default;
    // Returns the button pressed (mrOk, mrCancel, mrYes, mrNo).
    virtual int ShowMessageBox(const TMessageBoxRequest& request) = 0;
    // The same call under its familiar name; where <windows.h> renames it MessageBoxA, the
    // rename is consistent within that file and the virtual above is untouched.
    int MessageBox(const TMessageBoxRequest& request) { return ShowMessageBox(request); }
    virtual TFileDialogAnswer FileDialog(const TFileDialogRequest& request) = 0;
    virtual TFolderAnswer BrowseForFolder(const TFolderRequest& request) = 0;
    // Returns the form's modal result.
    virtual int ShowModal(const TModalRequest& request) = 0;
    // Returns the chosen item's command id, 0 when none was chosen.
    virtual int TrackPopup(const TPopupRequest& request) = 0;
};

// The prompter in use: a test's when installed, else the default (the system prompter in
// the Windows build). Throws when neither exists.
TPrompter& Prompter();
// Installs a prompter (nullptr returns to the default). The caller keeps ownership.
void SetPrompter(TPrompter* prompter);
// The platform's own prompter, set once at start-up.
void SetDefaultPrompter(TPrompter* prompter);

// The prompter installed for the lifetime of this object.
class TPrompterScope {
  public:
    explicit TPrompterScope(TPrompter& prompter);
    ~TPrompterScope();
    TPrompterScope(const TPrompterScope&) = delete;
    TPrompterScope& operator=(const TPrompterScope&) = delete;

  private:
    TPrompter* previous_;
};

} // namespace gui
