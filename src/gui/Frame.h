#pragma once
// A frame: a borderless container that owns its own components (controls, and non-visual
// parts such as a writer component) and finds them by name. The owner frees and re-creates
// it as a whole; a frame that is never shown costs one hidden child window.

#include "gui/Control.h"

namespace gui {

class TFrame : public TControl, public TComponentOwner {
  public:
    TFrame(TParent parent, std::string name, TBounds bounds, bool visible = true);
    ~TFrame() override;
};

} // namespace gui
