#pragma once
// Exceptions raised while an entry's data are read and decoded. A decoding error inside
// the data is not one of them: the decoders return a status, and the CRC check reports it.

#include "zip/ZipErrors.h"

namespace zip {

// The user cancelled, or no stream came for the next volume.
class EUserCanceled : public EZipError {
  public:
    using EZipError::EZipError;
};

// The archive ended inside an entry's data.
class EFatalUnzipError : public EZipError {
  public:
    using EZipError::EZipError;
};

// An entry decoded to more bytes than its record says.
class EBiggerThanUncompressed : public EZipError {
  public:
    using EZipError::EZipError;
};

// The output target took fewer bytes than it was given.
class ECantWriteUCF : public EZipError {
  public:
    using EZipError::EZipError;
};

} // namespace zip
