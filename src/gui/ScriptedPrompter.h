#pragma once
// The prompter of tests: answers come from a script, in order, and every request is kept so a
// test can assert what was asked (or that nothing was). A request the script does not expect
// throws EUnscriptedPrompt at once, after telling OnUnscripted, so a forgotten answer fails the
// test instead of hanging it; the callback lets a test framework fail even where the exception
// is swallowed by a window procedure's guard.

#include "gui/Exceptions.h"
#include "gui/Prompter.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace gui {

class EUnscriptedPrompt : public Exception {
  public:
    using Exception::Exception;
};

enum class TPromptKind { MessageBox, FileDialog, Folder, Modal, Popup };

struct TPromptRecord {
    TPromptKind Kind = TPromptKind::MessageBox;
    bool Scripted = false;      // false: the request was refused
    TMessageBoxRequest Message; // MessageBox
    TFileDialogRequest File;    // FileDialog
    TFolderRequest Folder;      // Folder
    TForm* Form = nullptr;      // Modal
    int X = 0, Y = 0;           // Popup
    // One line for failure output: the kind and its caption/title and text.
    std::string Describe() const;
};

class TScriptedPrompter : public TPrompter {
  public:
    // Each call queues one answer; answers are used in the order queued and must meet
    // requests of the same kind.
    TScriptedPrompter& AnswerMessage(int answer);
    TScriptedPrompter& AnswerFile(std::vector<std::string> files);
    TScriptedPrompter& CancelFile();
    TScriptedPrompter& AnswerFolder(std::string folder);
    TScriptedPrompter& CancelFolder();
    // The script sees the form as the user would (its controls may be set) and returns the result.
    TScriptedPrompter& AnswerModal(std::function<int(TForm&)> script);
    TScriptedPrompter& AnswerModal(int modalResult);
    // Chooses the item by its name; an empty name chooses nothing.
    TScriptedPrompter& AnswerPopup(std::string itemName);

    int ShowMessageBox(const TMessageBoxRequest& request) override;
    TFileDialogAnswer FileDialog(const TFileDialogRequest& request) override;
    TFolderAnswer BrowseForFolder(const TFolderRequest& request) override;
    int ShowModal(const TModalRequest& request) override;
    int TrackPopup(const TPopupRequest& request) override;

    std::vector<TPromptRecord> Requests() const;
    // The texts of the message boxes asked so far, in order.
    std::vector<std::string> MessageTexts() const;
    // Answers queued and not used yet.
    size_t Pending() const;
    void Clear();

    std::function<void(const std::string& description)> OnUnscripted;

  private:
    struct Answer {
        TPromptKind kind;
        int result = 0;
        std::vector<std::string> texts; // files, folder or item name; empty: cancel
        std::function<int(TForm&)> modal;
    };
    // Records the request and takes the next answer, or throws when it does not fit.
    Answer Take(TPromptRecord record);
    TScriptedPrompter& Queue(Answer answer);

    mutable std::mutex mutex_;
    std::deque<Answer> script_;
    std::vector<TPromptRecord> requests_;
};

} // namespace gui
