#include "gui/SystemPrompter.h"

#include "gui/Application.h"
#include "gui/Exceptions.h"
#include "gui/Form.h"

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

namespace gui {

namespace {

// Message boxes speak the language of the program's texts, English.
constexpr WORD messageBoxLanguage = 9;

HWND OwnerOf(void* owner) {
    if (owner) return static_cast<HWND>(owner);
    TForm* mainForm = Application().MainForm;
    return mainForm ? mainForm->Handle() : Application().Handle();
}

UINT MessageBoxStyle(const TMessageBoxRequest& request) {
    UINT style = MB_OK;
    if (request.Buttons == TMsgButtons::OKCancel) style = MB_OKCANCEL;
    if (request.Buttons == TMsgButtons::YesNo) style = MB_YESNO;
    switch (request.Icon) {
    case TMsgIcon::Stop:
        style |= MB_ICONSTOP;
        break;
    case TMsgIcon::Exclamation:
        style |= MB_ICONEXCLAMATION;
        break;
    case TMsgIcon::Warning:
        style |= MB_ICONWARNING;
        break;
    case TMsgIcon::Question:
        style |= MB_ICONQUESTION;
        break;
    case TMsgIcon::Information:
        style |= MB_ICONINFORMATION;
        break;
    case TMsgIcon::None:
        break;
    }
    if (request.DefaultButton == 2) style |= MB_DEFBUTTON2;
    return style | MB_APPLMODAL;
}

int CALLBACK StartFolderCallback(HWND window, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data) SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

class TSystemPrompter : public TPrompter {
  public:
    int ShowMessageBox(const TMessageBoxRequest& request) override {
        const int answer =
            MessageBoxExA(OwnerOf(request.Owner), request.Text.c_str(), request.Caption.c_str(),
                          MessageBoxStyle(request), messageBoxLanguage);
        return answer ? answer : mrCancel;
    }

    TFileDialogAnswer FileDialog(const TFileDialogRequest& request) override {
        const std::string filter = DialogFilter(request.Filter);
        std::vector<char> buffer(request.MultiSelect ? 65536 : MAX_PATH * 4, '\0');
        request.FileName.copy(buffer.data(), buffer.size() - 1);
        OPENFILENAMEA dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = OwnerOf(request.Owner);
        dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
        dialog.nFilterIndex = static_cast<DWORD>(request.FilterIndex);
        dialog.lpstrFile = buffer.data();
        dialog.nMaxFile = static_cast<DWORD>(buffer.size());
        dialog.lpstrInitialDir = request.InitialDir.empty() ? nullptr : request.InitialDir.c_str();
        dialog.lpstrTitle = request.Title.empty() ? nullptr : request.Title.c_str();
        dialog.lpstrDefExt = request.DefaultExt.empty() ? nullptr : request.DefaultExt.c_str();
        dialog.Flags =
            OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLESIZING | OFN_NOCHANGEDIR | OFN_EXPLORER;
        if (!request.Save) dialog.Flags |= OFN_FILEMUSTEXIST;
        if (request.MultiSelect) dialog.Flags |= OFN_ALLOWMULTISELECT;
        TFileDialogAnswer answer;
        answer.Accepted = request.Save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
        if (!answer.Accepted) {
            if (const DWORD error = CommDlgExtendedError())
                throw Exception("The file dialog failed (error " + std::to_string(error) + ")");
            return answer;
        }
        answer.Files = SelectedFiles(buffer.data(), buffer.size());
        return answer;
    }

    TFolderAnswer BrowseForFolder(const TFolderRequest& request) override {
        BROWSEINFOA browse{};
        char display[MAX_PATH] = {};
        browse.hwndOwner = OwnerOf(request.Owner);
        browse.pszDisplayName = display;
        browse.lpszTitle = request.Caption.c_str();
        browse.ulFlags = BIF_RETURNONLYFSDIRS;
        browse.lpfn = &StartFolderCallback;
        browse.lParam =
            request.StartFolder.empty() ? 0 : reinterpret_cast<LPARAM>(request.StartFolder.c_str());
        TFolderAnswer answer;
        LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
        if (!chosen) return answer;
        char path[MAX_PATH] = {};
        answer.Accepted = SHGetPathFromIDListA(chosen, path) != FALSE;
        CoTaskMemFree(chosen);
        answer.Folder = path;
        if (answer.Folder.size() > 3 && answer.Folder.back() == '\\') answer.Folder.pop_back();
        return answer;
    }

    int ShowModal(const TModalRequest& request) override {
        if (!request.RunModal) throw Exception("A modal form was shown without its modal loop");
        return request.RunModal();
    }

    int TrackPopup(const TPopupRequest& request) override {
        return static_cast<int>(TrackPopupMenu(static_cast<HMENU>(request.Menu),
                                               TPM_RETURNCMD | TPM_RIGHTBUTTON | request.Flags, request.X,
                                               request.Y, 0, OwnerOf(request.Owner), nullptr));
    }
};

} // namespace

TPrompter& SystemPrompter() {
    static TSystemPrompter prompter;
    return prompter;
}

std::string DialogFilter(const std::string& filter) {
    if (filter.empty()) return {};
    std::string converted = filter;
    for (char& c : converted)
        if (c == '|') c = '\0';
    converted.push_back('\0');
    converted.push_back('\0');
    return converted;
}

std::vector<std::string> SelectedFiles(const char* buffer, size_t size) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < size && buffer[at]) {
        const size_t length = strnlen(buffer + at, size - at);
        parts.emplace_back(buffer + at, length);
        at += length + 1;
    }
    if (parts.size() <= 1) return parts;
    std::string folder = parts.front();
    if (folder.back() != '\\') folder += '\\';
    std::vector<std::string> files;
    for (size_t i = 1; i < parts.size(); ++i)
        files.push_back(folder + parts[i]);
    return files;
}

} // namespace gui
