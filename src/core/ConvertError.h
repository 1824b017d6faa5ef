#pragma once
// The conversion error of text that is not a number or a date where one is required.

#include <stdexcept>

namespace core {

class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace core
