// Parsing and printing of numbers in the en-US form, whatever the C locale of the process.
#include "hex_digit.h"
#include "number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace platform::convert {

namespace {

// Exponents beyond this overflow or underflow every type anyway; capping keeps the sums in an int.
constexpr int exponent_cap = 100000;

bool is_space(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }


class Scanner {
public:
    explicit Scanner(std::wstring_view text) : text_(text) {}

    bool at_end() const { return pos_ == text_.size(); }
    wchar_t peek() const { return at_end() ? L'\0' : text_[pos_]; }
    void advance() { ++pos_; }

    bool accept(wchar_t c)
    {
        if (at_end() || text_[pos_] != c)
            return false;
        ++pos_;
        return true;
    }

    bool accept_either(wchar_t lower, wchar_t upper) { return accept(lower) || accept(upper); }

    void skip_spaces()
    {
        while (!at_end() && is_space(text_[pos_]))
            ++pos_;
    }

private:
    std::wstring_view text_;
    std::size_t pos_ = 0;
};

// The signs, parenthesis and currency symbol around the digits; each may appear once.
struct Decoration {
    bool sign = false;
    bool minus = false;
    bool open_paren = false;
    bool close_paren = false;
    bool currency = false;
};

// Takes `c` as white space or as a decoration allowed before (`leading`) or after the digits.
bool take_decoration(wchar_t c, Decoration& d, bool leading)
{
    if (is_space(c))
        return true;
    if ((c == L'+' || c == L'-') && !d.sign && !d.open_paren) {
        d.sign = true;
        d.minus = c == L'-';
        return true;
    }
    if (leading && c == L'(' && !d.open_paren && !d.sign)
        return d.open_paren = true;
    if (!leading && c == L')' && d.open_paren && !d.close_paren)
        return d.close_paren = true;
    if (c == L'$' && !d.currency)
        return d.currency = true;
    return false;
}

void scan_decoration(Scanner& in, Decoration& d, bool leading)
{
    while (!in.at_end() && take_decoration(in.peek(), d, leading))
        in.advance();
}

// "&H" or "&O" and their digits, up to the end of the text but for trailing white space.
HRESULT scan_radix(Scanner& in, ParsedNumber& out)
{
    in.advance(); // '&'
    const int shift = in.accept_either(L'h', L'H') ? 4 : in.accept_either(L'o', L'O') ? 3 : 0;
    if (shift == 0)
        return DISP_E_TYPEMISMATCH;
    const int base = 1 << shift;
    std::uint64_t bits = 0;
    bool any = false;
    bool overflow = false;
    for (int digit = platform::hex_digit_value(in.peek()); digit >= 0 && digit < base; digit = platform::hex_digit_value(in.peek())) {
        overflow = overflow || (bits >> (64 - shift)) != 0;
        bits = (bits << shift) | static_cast<std::uint64_t>(digit);
        any = true;
        in.advance();
    }
    in.skip_spaces();
    if (!any || !in.at_end())
        return DISP_E_TYPEMISMATCH;
    if (overflow)
        return DISP_E_OVERFLOW;
    out = ParsedNumber{true, bits, {}};
    return S_OK;
}

// The digits of the mantissa, with the point folded into `exponent`; false when there are none.
bool scan_mantissa(Scanner& in, std::string& digits, int& exponent)
{
    bool any = false;
    for (;;) {
        if (is_digit(in.peek())) {
            digits.push_back(static_cast<char>(in.peek()));
            any = true;
        } else if (!(any && in.peek() == L',')) {
            break;
        }
        in.advance();
    }
    if (in.accept(L'.')) {
        for (; is_digit(in.peek()); in.advance()) {
            digits.push_back(static_cast<char>(in.peek()));
            any = true;
            --exponent;
        }
    }
    return any;
}

// An optional "e" part; false when an "e" is not followed by digits.
bool scan_exponent(Scanner& in, int& exponent)
{
    if (!in.accept_either(L'e', L'E'))
        return true;
    const bool negative = in.accept(L'-');
    if (!negative)
        in.accept(L'+');
    if (!is_digit(in.peek()))
        return false;
    int power = 0;
    for (; is_digit(in.peek()); in.advance())
        power = std::min(power * 10 + (in.peek() - L'0'), exponent_cap);
    exponent += negative ? -power : power;
    return true;
}

std::wstring widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

} // namespace

HRESULT parse_number(std::wstring_view text, ParsedNumber& out)
{
    Scanner in(text);
    in.skip_spaces();
    if (in.peek() == L'&')
        return scan_radix(in, out);

    Decoration decoration;
    scan_decoration(in, decoration, true);
    std::string digits;
    int exponent = 0;
    if (!scan_mantissa(in, digits, exponent) || !scan_exponent(in, exponent))
        return DISP_E_TYPEMISMATCH;
    scan_decoration(in, decoration, false);
    if (!in.at_end() || decoration.open_paren != decoration.close_paren)
        return DISP_E_TYPEMISMATCH;

    const bool negative = decoration.minus || decoration.open_paren;
    out = ParsedNumber{false, 0, make_decimal_value(negative, std::move(digits), exponent)};
    return S_OK;
}

std::wstring format_fixed(const DecimalValue& value)
{
    if (value.is_zero())
        return L"0";
    std::string text = value.negative ? "-" : "";
    const int count = static_cast<int>(value.digits.size());
    const int integer_digits = count + value.exponent;
    if (value.exponent >= 0) {
        text += value.digits;
        text.append(static_cast<std::size_t>(value.exponent), '0');
    } else if (integer_digits > 0) {
        text += value.digits.substr(0, static_cast<std::size_t>(integer_digits));
        text += '.';
        text += value.digits.substr(static_cast<std::size_t>(integer_digits));
    } else {
        text += "0.";
        text.append(static_cast<std::size_t>(-integer_digits), '0');
        text += value.digits;
    }
    return widen(text);
}

std::wstring format_real(double value, int significant_digits)
{
    if (std::isnan(value))
        return L"NAN";
    if (std::isinf(value))
        return value < 0 ? L"-INF" : L"INF";
    const DecimalValue rounded = from_real(value, significant_digits);
    if (rounded.is_zero())
        return L"0";
    const int count = static_cast<int>(rounded.digits.size());
    const int power = rounded.exponent + count - 1;
    // Fixed notation while the integer part fits the precision and the fraction needs no more digits
    // than the precision either.
    if (power < significant_digits && -rounded.exponent <= significant_digits)
        return format_fixed(rounded);

    std::string text = rounded.negative ? "-" : "";
    text += rounded.digits.front();
    if (count > 1)
        text += '.' + rounded.digits.substr(1);
    const int magnitude = std::abs(power);
    text += power < 0 ? "E-" : "E+";
    if (magnitude < 10)
        text += '0';
    text += std::to_string(magnitude);
    return widen(text);
}

} // namespace platform::convert
