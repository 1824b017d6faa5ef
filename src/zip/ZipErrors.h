#pragma once
// The zip library's exceptions. Whole-operation failures raise one of these; the application
// catches EZipError (or the class library's gui::Exception) to log and show the text.

#include "gui/Exceptions.h"

#include <string>

namespace zip {

// Base of every exception the zip library raises itself.
class EZipError : public gui::Exception {
  public:
    using gui::Exception::Exception;
};

// Index or capacity out of range in the library's object containers.
class EListError : public EZipError {
  public:
    using EZipError::EZipError;
};

// A class name that the container registry does not know, or an object it cannot store.
class EClassNotFound : public EZipError {
  public:
    using EZipError::EZipError;
};

// A record that cannot be written as the format requires (a stored name over 65,535 bytes).
class ERecordError : public EZipError {
  public:
    using EZipError::EZipError;
};

} // namespace zip
