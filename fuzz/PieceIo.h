#pragma once
// The decoders' input and output for fuzzing: the input handed out in pieces of a chosen size
// (0 = one piece), the output collected, and optionally capped so a stream of long matches
// cannot run for ever.

#include "zip/DecodeIo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fuzzsupport {

struct TCapReached {};

class TPieceIo : public zip::TDecodeIo {
  public:
    TPieceIo(const uint8_t* data, size_t size, size_t piece, size_t outputCap = SIZE_MAX)
        : data_(data), size_(size), piece_(piece ? piece : size), outputCap_(outputCap) {}
    std::span<const uint8_t> FillInput() override {
        const size_t n = std::min(piece_, size_ - position_);
        const std::span<const uint8_t> piece(data_ + position_, n);
        position_ += n;
        return piece;
    }
    void FlushOutput(const uint8_t* data, size_t count) override {
        output.insert(output.end(), data, data + count);
        if (output.size() > outputCap_) throw TCapReached{};
    }
    std::vector<uint8_t> output;

  private:
    const uint8_t* data_;
    size_t size_, piece_, position_ = 0, outputCap_;
};

} // namespace fuzzsupport
