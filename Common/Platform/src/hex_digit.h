// The value of one hexadecimal digit of a wide text, shared by the GUID and number readers.
#pragma once

namespace platform {

// 0 to 15 for a hexadecimal digit (either case), -1 for anything else.
constexpr int hex_digit_value(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

} // namespace platform
