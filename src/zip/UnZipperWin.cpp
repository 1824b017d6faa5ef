#include "zip/UnZipperWin.h"

#include "gui/Screen.h"
#include "gui/Wait.h"

namespace zip {

namespace {

// Often enough for a responsive window, rarely enough to cost nothing measurable.
constexpr int kPumpIntervalMs = 20;

} // namespace

TCursorSeam ScreenCursor() {
    return [](TZipCursor cursor) {
        const gui::TCursor before = gui::Screen().Cursor();
        gui::Screen().SetCursor(cursor == TZipCursor::HourGlass ? gui::TCursor::crHourGlass
                                                                : gui::TCursor::crDefault);
        return before == gui::TCursor::crHourGlass ? TZipCursor::HourGlass : TZipCursor::Default;
    };
}

void ConnectToProgram(TUnZipper& component) {
    component.Cursor = ScreenCursor();
    component.OnProcessMessages = [] { gui::PumpIfDue(kPumpIntervalMs); };
}

} // namespace zip
