// The fuzz input read as a stream of choices: every read is defined past its end (zeros), so a
// target never needs to check how much is left.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin_fuzz {

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }
    std::size_t Left() const { return Empty() ? 0 : size_ - pos_; }

    std::uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
    std::uint32_t U32() { return U16() | static_cast<std::uint32_t>(U16()) << 16; }
    bool Bool() { return (Byte() & 1) != 0; }
    // 0 .. n - 1.
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : Byte() % n; }

    // Up to `max` bytes, the count taken from the input.
    std::vector<std::uint8_t> Bytes(std::size_t max) {
        std::vector<std::uint8_t> bytes(std::min<std::size_t>(Below(max + 1), Left()));
        for (auto& b : bytes)
            b = Byte();
        return bytes;
    }
    // Up to `max` characters drawn from `alphabet`.
    std::u16string Text(std::u16string_view alphabet, std::size_t max) {
        std::u16string text(std::min<std::size_t>(Below(max + 1), Left()), u'\0');
        for (auto& c : text)
            c = alphabet[Below(alphabet.size())];
        return text;
    }
    // Up to `max` UTF-16 units of any value, surrogates and NUL included.
    std::u16string AnyText(std::size_t max) {
        std::u16string text(std::min<std::size_t>(Below(max + 1), Left() / 2), u'\0');
        for (auto& c : text)
            c = static_cast<char16_t>(U16());
        return text;
    }
    // Whatever is left.
    std::vector<std::uint8_t> Rest() {
        std::vector<std::uint8_t> rest(data_ + std::min(pos_, size_), data_ + size_);
        pos_ = size_;
        return rest;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A property that does not hold: libFuzzer keeps the input that broke it.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

}  // namespace tavrin_fuzz
