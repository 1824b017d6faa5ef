#pragma once
// The user's locale as the date and number texts need it.

#include "core/DateText.h"

namespace core {

LocaleFormat SystemLocaleFormat();

} // namespace core
