#pragma once
// Common base of objects that can copy their state from another of their kind. Containers
// stream themselves through their own ReadItems/WriteItems over a TStream, so there is no
// filer here: only Assign.

#include "gui/Exceptions.h"

#include <typeinfo>

namespace gui {

class TPersistent {
  public:
    virtual ~TPersistent() = default;

    // Copies the state of source; a kind that cannot take it from source throws.
    virtual void Assign(const TPersistent& source) {
        throw Exception(std::string("Cannot assign a ") + typeid(source).name() + " to a " +
                        typeid(*this).name());
    }
};

} // namespace gui
