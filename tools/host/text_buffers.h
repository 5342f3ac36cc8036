// The UTF-16 side of the ea_ exports: texts handed in, and caller buffers they write into
// without a length or a terminating zero.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "CorvoStreaming_DLL.h"

namespace corvo::host {

// Always enough for the query exports.
inline constexpr std::size_t kQueryUnits = 8388609;
// Refresh answers stay far below this.
inline constexpr std::size_t kRefreshUnits = std::size_t{1} << 20;

// One unit per byte: the library keeps the low byte of each unit it reads.
std::u16string widen(const std::string& text);

class WideBuffer {
  public:
    explicit WideBuffer(std::size_t units) : units_(units) {}

    // Zero-filled before every call, since the export writes no terminating zero.
    corvo_char16* zeroed();
    // The text up to the first zero unit, each unit narrowed to its low byte.
    std::string text() const;

  private:
    std::size_t units_;
    std::vector<corvo_char16> storage_;  // allocated at first use
};

}  // namespace corvo::host
