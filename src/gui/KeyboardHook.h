#pragma once
// The keyboard handling that a dialog manager would do, for our own forms: the main loop,
// the pumps and the modal loop run every message through it before translating it, so the
// same keys work wherever the program happens to be pumping (raw pumps cannot use
// IsDialogMessage, which would also swallow keys our controls want).
//
// In order: the form's key preview; menu shortcuts (Ctrl/Alt combinations); Tab and
// Shift+Tab between tab stops; Enter for the default button and Esc for the cancel button
// unless the focused control wants the key; Alt+letter for a caption's mnemonic.

#include <windows.h>

namespace gui {

// True when the message was consumed and must not be dispatched.
bool PreTranslateKeyboard(MSG& message);

} // namespace gui
