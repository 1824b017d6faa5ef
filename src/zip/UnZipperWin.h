#pragma once
// The unzip component's seams on the program's own screen and message loop: the hourglass
// is the program-wide cursor, and messages are pumped on a time budget (an empty pump costs
// tens of microseconds under Wine, and the decoders ask once per 32 KiB piece).

#include "zip/UnZipper.h"

namespace zip {

// The program's cursor as the component's cursor seam.
TCursorSeam ScreenCursor();

// Gives the component the program's cursor and message pump.
void ConnectToProgram(TUnZipper& component);

} // namespace zip
