#include "core/ProgramBox.h"

namespace core {

int ProgramBox(void* owner, const std::string& text, gui::TMsgButtons buttons, gui::TMsgIcon icon,
               int defaultButton) {
    gui::TMessageBoxRequest request;
    request.Owner = owner;
    request.Caption = ProgramCaption;
    request.Text = text;
    request.Buttons = buttons;
    request.Icon = icon;
    request.DefaultButton = defaultButton;
    return gui::Prompter().ShowMessageBox(request);
}

} // namespace core
