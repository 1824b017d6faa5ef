#pragma once
// The program's messages live in the string table of its resources and are referred to by
// number.

#include <string>

namespace core {

// The message's text, a CR standing for a line break; empty when there is no such message.
std::string LoadMessage(unsigned id);

} // namespace core
