#include "text_buffers.h"

#include <algorithm>

namespace corvo::host {

std::u16string widen(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (char const byte : text) {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
    }
    return wide;
}

corvo_char16* WideBuffer::zeroed() {
    if (storage_.size() != units_) {
        storage_.assign(units_, 0);
    } else {
        std::fill(storage_.begin(), storage_.end(), corvo_char16{0});
    }
    return storage_.data();
}

std::string WideBuffer::text() const {
    std::string narrow;
    for (corvo_char16 const unit : storage_) {
        if (unit == 0) {
            break;
        }
        narrow.push_back(static_cast<char>(unit & 0xFF));
    }
    return narrow;
}

}  // namespace corvo::host
