#pragma once
// The product's prompter: the system's message box, common file dialogs, folder browser,
// the form's own modal loop and TrackPopupMenu.

#include "gui/Prompter.h"

namespace gui {

TPrompter& SystemPrompter();

// "desc|pattern|desc|pattern" as the common dialogs want it: NUL-separated, double-NUL ended.
std::string DialogFilter(const std::string& filter);
// The selection buffer of a multi-select dialog (folder NUL name NUL name NUL NUL, or one
// full path) as full paths.
std::vector<std::string> SelectedFiles(const char* buffer, size_t size);

} // namespace gui
