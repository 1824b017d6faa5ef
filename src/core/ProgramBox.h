#pragma once
// The program's own message boxes: titled with its name, on the given window, through the
// prompter. Whether to show one while the window is hidden is the caller's rule.

#include "gui/Prompter.h"

#include <string>

namespace core {

inline constexpr char ProgramCaption[] = "Tarnwick";

// The button pressed (gui::mrYes, gui::mrOk...).
int ProgramBox(void* owner, const std::string& text, gui::TMsgButtons buttons = gui::TMsgButtons::OK,
               gui::TMsgIcon icon = gui::TMsgIcon::None, int defaultButton = 1);

} // namespace core
