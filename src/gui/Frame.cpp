#include "gui/Frame.h"

namespace gui {

TFrame::TFrame(TParent parent, std::string name, TBounds bounds, bool visible)
    : TControl(parent, std::move(name)) {
    RegisterControlClass("TFrame", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    CreateHandle("TFrame", (visible ? WS_VISIBLE : 0u) | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, {}, bounds);
}

// Children go before the frame's window, as on a form.
TFrame::~TFrame() {
    FreeComponents();
}

} // namespace gui
