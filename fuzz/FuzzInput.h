// The fuzzer's bytes, read front to back as the values a target needs. Reading past the end gives
// zeros, so that every input, however short, is a complete case.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

namespace collector::fuzz {

class fuzz_input_t {
public:
    fuzz_input_t(const std::uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}

    bool empty() const noexcept { return position_ == size_; }

    template <class T>
        requires std::is_trivially_copyable_v<T>
    T take() noexcept
    {
        T value{};
        const std::size_t count = std::min(sizeof value, size_ - position_);
        if (count > 0)
            std::memcpy(&value, data_ + position_, count);
        position_ += count;
        return value;
    }

    std::uint8_t byte() noexcept { return take<std::uint8_t>(); }

    // A number in [0, count).
    std::size_t below(std::size_t count) noexcept { return byte() % count; }

    // One of the given values.
    template <class T, std::size_t N>
    T pick(const T (&choices)[N]) noexcept
    {
        return choices[below(N)];
    }

    // A text of up to `longest` characters, each one byte, except that 0xFF brings a 16-bit unit:
    // the parsers are reached through ASCII, and the escape still reaches everything else.
    std::wstring text(std::size_t longest)
    {
        std::wstring result(below(longest + 1), L'\0');
        for (auto& c : result) {
            const std::uint8_t b = byte();
            c = static_cast<wchar_t>(b == 0xFF ? take<std::uint16_t>() : b);
        }
        return result;
    }

    // The rest of the bytes, for targets that take a text as it comes.
    std::string rest()
    {
        std::string result(reinterpret_cast<const char*>(data_ + position_), size_ - position_);
        position_ = size_;
        return result;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A property of the code under test that does not hold: the input is a finding.
[[noreturn]] inline void violated(const char* property)
{
    std::fprintf(stderr, "property violated: %s\n", property);
    std::abort();
}

inline void check(bool holds, const char* property)
{
    if (!holds)
        violated(property);
}

} // namespace collector::fuzz
