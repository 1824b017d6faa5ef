#pragma once
// The class library's exceptions. Every error the layer raises is a gui::Exception, so the
// application's last-chance handler can show its text; stream errors keep the system error
// code beside the text, because callers decide on it (a full disk asks for the next volume,
// a sharing violation is reported as "in use").

#include <cstdint>
#include <stdexcept>
#include <string>

namespace gui {

class Exception : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class EStreamError : public Exception {
  public:
    explicit EStreamError(const std::string& message, uint32_t systemError = 0)
        : Exception(message), systemError_(systemError) {}
    // The Win32 error code behind the failure; 0 when there was none (a short transfer).
    uint32_t SystemError() const { return systemError_; }

  private:
    uint32_t systemError_;
};

class EReadError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

class EWriteError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

class EFOpenError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

class EFCreateError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

} // namespace gui
