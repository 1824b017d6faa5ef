#include "gui/ScriptedPrompter.h"

namespace gui {

namespace {

const char* KindName(TPromptKind kind) {
    switch (kind) {
    case TPromptKind::MessageBox:
        return "message box";
    case TPromptKind::FileDialog:
        return "file dialog";
    case TPromptKind::Folder:
        return "folder browser";
    case TPromptKind::Modal:
        return "modal form";
    case TPromptKind::Popup:
        return "popup menu";
    }
    return "prompt";
}

} // namespace

std::string TPromptRecord::Describe() const {
    std::string line = KindName(Kind);
    switch (Kind) {
    case TPromptKind::MessageBox:
        line += " \"" + Message.Caption + "\": " + Message.Text;
        break;
    case TPromptKind::FileDialog:
        line += " \"" + File.Title + "\" (" + File.Filter + ")";
        break;
    case TPromptKind::Folder:
        line += " \"" + Folder.Caption + "\" at " + Folder.StartFolder;
        break;
    case TPromptKind::Modal:
    case TPromptKind::Popup:
        break;
    }
    return line;
}

TScriptedPrompter& TScriptedPrompter::Queue(Answer answer) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(answer));
    return *this;
}

TScriptedPrompter& TScriptedPrompter::AnswerMessage(int answer) {
    return Queue({TPromptKind::MessageBox, answer, {}, {}});
}

TScriptedPrompter& TScriptedPrompter::AnswerFile(std::vector<std::string> files) {
    return Queue({TPromptKind::FileDialog, 0, std::move(files), {}});
}

TScriptedPrompter& TScriptedPrompter::CancelFile() {
    return Queue({TPromptKind::FileDialog, 0, {}, {}});
}

TScriptedPrompter& TScriptedPrompter::AnswerFolder(std::string folder) {
    return Queue({TPromptKind::Folder, 0, {std::move(folder)}, {}});
}

TScriptedPrompter& TScriptedPrompter::CancelFolder() {
    return Queue({TPromptKind::Folder, 0, {}, {}});
}

TScriptedPrompter& TScriptedPrompter::AnswerModal(std::function<int(TForm&)> script) {
    return Queue({TPromptKind::Modal, 0, {}, std::move(script)});
}

TScriptedPrompter& TScriptedPrompter::AnswerModal(int modalResult) {
    return Queue({TPromptKind::Modal, modalResult, {}, {}});
}

TScriptedPrompter& TScriptedPrompter::AnswerPopup(std::string itemName) {
    std::vector<std::string> texts;
    if (!itemName.empty()) texts.push_back(std::move(itemName));
    return Queue({TPromptKind::Popup, 0, std::move(texts), {}});
}

TScriptedPrompter::Answer TScriptedPrompter::Take(TPromptRecord record) {
    std::unique_lock lock(mutex_);
    const bool fits = !script_.empty() && script_.front().kind == record.Kind;
    record.Scripted = fits;
    requests_.push_back(record);
    if (fits) {
        Answer answer = std::move(script_.front());
        script_.pop_front();
        return answer;
    }
    std::string problem = "Unscripted " + record.Describe();
    if (!script_.empty())
        problem += std::string(" (the script expects a ") + KindName(script_.front().kind) + ")";
    lock.unlock();
    if (OnUnscripted) OnUnscripted(problem);
    throw EUnscriptedPrompt(problem);
}

int TScriptedPrompter::ShowMessageBox(const TMessageBoxRequest& request) {
    TPromptRecord record;
    record.Kind = TPromptKind::MessageBox;
    record.Message = request;
    return Take(std::move(record)).result;
}

TFileDialogAnswer TScriptedPrompter::FileDialog(const TFileDialogRequest& request) {
    TPromptRecord record;
    record.Kind = TPromptKind::FileDialog;
    record.File = request;
    Answer answer = Take(std::move(record));
    TFileDialogAnswer result;
    result.Accepted = !answer.texts.empty();
    result.Files = std::move(answer.texts);
    return result;
}

TFolderAnswer TScriptedPrompter::BrowseForFolder(const TFolderRequest& request) {
    TPromptRecord record;
    record.Kind = TPromptKind::Folder;
    record.Folder = request;
    Answer answer = Take(std::move(record));
    TFolderAnswer result;
    result.Accepted = !answer.texts.empty();
    if (result.Accepted) result.Folder = answer.texts.front();
    return result;
}

int TScriptedPrompter::ShowModal(const TModalRequest& request) {
    TPromptRecord record;
    record.Kind = TPromptKind::Modal;
    record.Form = request.Form;
    Answer answer = Take(std::move(record));
    if (!answer.modal) return answer.result;
    if (!request.Form) throw EUnscriptedPrompt("A modal script was given no form");
    return answer.modal(*request.Form);
}

int TScriptedPrompter::TrackPopup(const TPopupRequest& request) {
    TPromptRecord record;
    record.Kind = TPromptKind::Popup;
    record.X = request.X;
    record.Y = request.Y;
    Answer answer = Take(std::move(record));
    if (answer.texts.empty()) return 0;
    const int command = request.CommandOf ? request.CommandOf(answer.texts.front()) : 0;
    if (command == 0) throw EUnscriptedPrompt("The popup menu has no item \"" + answer.texts.front() + "\"");
    return command;
}

std::vector<TPromptRecord> TScriptedPrompter::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> TScriptedPrompter::MessageTexts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const TPromptRecord& record : requests_)
        if (record.Kind == TPromptKind::MessageBox) texts.push_back(record.Message.Text);
    return texts;
}

size_t TScriptedPrompter::Pending() const {
    std::lock_guard lock(mutex_);
    return script_.size();
}

void TScriptedPrompter::Clear() {
    std::lock_guard lock(mutex_);
    script_.clear();
    requests_.clear();
}

} // namespace gui
