// The functions of the compiler's COM support that its support library would define: text conversion
// between narrow strings and BSTRs, and `vtMissing`. Built into `platform` on non-Windows hosts
// (against this layer's headers) and into `com_support` for Windows (against the compiler's headers).
//
// Narrow text is UTF-8 on non-Windows hosts and the ANSI code page on Windows. Malformed UTF-8 and
// unpaired surrogates become U+FFFD, one for each maximal malformed sequence.
#include <comdef.h>

#include <cstring>
#include <string>
#include <type_traits>

namespace {

#if defined(_WIN32)

HRESULT last_error_hresult()
{
    return HRESULT_FROM_WIN32(GetLastError());
}

HRESULT widen(const char* text, std::wstring& wide)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length == 0)
        return last_error_hresult();
    wide.resize(static_cast<std::size_t>(length));
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length) == 0)
        return last_error_hresult();
    wide.resize(static_cast<std::size_t>(length) - 1);
    return S_OK;
}

HRESULT narrow(const wchar_t* wide, std::string& text)
{
    const int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length == 0)
        return last_error_hresult();
    text.resize(static_cast<std::size_t>(length));
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), length, nullptr, nullptr) == 0)
        return last_error_hresult();
    text.resize(static_cast<std::size_t>(length) - 1);
    return S_OK;
}

#else

constexpr char32_t replacement = 0xFFFD;

// The range that the byte after `lead` must fall in, which excludes overlong forms, surrogates and
// values above U+10FFFF; the other continuation bytes are 0x80-0xBF.
struct Lead {
    int length;
    unsigned char second_min;
    unsigned char second_max;
    char32_t bits;
};

Lead classify(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2, 0x80, 0xBF, static_cast<char32_t>(lead & 0x1F)};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {3, static_cast<unsigned char>(lead == 0xE0 ? 0xA0 : 0x80),
                static_cast<unsigned char>(lead == 0xED ? 0x9F : 0xBF), static_cast<char32_t>(lead & 0x0F)};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {4, static_cast<unsigned char>(lead == 0xF0 ? 0x90 : 0x80),
                static_cast<unsigned char>(lead == 0xF4 ? 0x8F : 0xBF), static_cast<char32_t>(lead & 0x07)};
    return {0, 0, 0, 0};
}

// Decodes one code point at text[i], advancing i past it (or past the malformed sequence).
char32_t decode_one(const unsigned char* text, std::size_t& i)
{
    const unsigned char lead = text[i++];
    if (lead < 0x80)
        return lead;
    const Lead form = classify(lead);
    if (form.length == 0)
        return replacement;
    char32_t value = form.bits;
    for (int k = 1; k < form.length; ++k) {
        const unsigned char min = k == 1 ? form.second_min : 0x80;
        const unsigned char max = k == 1 ? form.second_max : 0xBF;
        if (text[i] < min || text[i] > max)
            return replacement;
        value = (value << 6) | (text[i++] & 0x3F);
    }
    return value;
}

void append_wide(std::wstring& wide, char32_t value)
{
    if constexpr (sizeof(wchar_t) == 2) {
        if (value >= 0x10000) {
            value -= 0x10000;
            wide.push_back(static_cast<wchar_t>(0xD800 + (value >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + (value & 0x3FF)));
            return;
        }
    }
    wide.push_back(static_cast<wchar_t>(value));
}

HRESULT widen(const char* text, std::wstring& wide)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t i = 0; bytes[i] != 0;)
        append_wide(wide, decode_one(bytes, i));
    return S_OK;
}

bool is_surrogate(char32_t value, char32_t first)
{
    return value >= first && value <= first + 0x3FF;
}

// Reads one code point at wide[i], advancing i past it; unpaired surrogates read as U+FFFD.
char32_t read_one(const wchar_t* wide, std::size_t& i)
{
    const auto unit = [&](std::size_t at) {
        return static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wide[at]));
    };
    const char32_t first = unit(i++);
    if (sizeof(wchar_t) == 2 && is_surrogate(first, 0xD800) && is_surrogate(unit(i), 0xDC00))
        return 0x10000 + ((first - 0xD800) << 10) + (unit(i++) - 0xDC00);
    if (is_surrogate(first, 0xD800) || is_surrogate(first, 0xDC00) || first > 0x10FFFF)
        return replacement;
    return first;
}

void append_utf8(std::string& text, char32_t value)
{
    if (value < 0x80) {
        text.push_back(static_cast<char>(value));
        return;
    }
    const int length = value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
    static constexpr unsigned char lead_marks[] = {0, 0, 0xC0, 0xE0, 0xF0};
    text.push_back(static_cast<char>(lead_marks[length] | (value >> (6 * (length - 1)))));
    for (int k = length - 2; k >= 0; --k)
        text.push_back(static_cast<char>(0x80 | ((value >> (6 * k)) & 0x3F)));
}

HRESULT narrow(const wchar_t* wide, std::string& text)
{
    for (std::size_t i = 0; wide[i] != 0;)
        append_utf8(text, read_one(wide, i));
    return S_OK;
}

#endif

} // namespace

BSTR WINAPI _com_util::ConvertStringToBSTR(const char* pSrc)
{
    if (!pSrc)
        return nullptr;
    std::wstring wide;
    const HRESULT hr = widen(pSrc, wide);
    if (FAILED(hr)) {
        _com_issue_error(hr);
        return nullptr;
    }
    BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!result)
        _com_issue_error(E_OUTOFMEMORY);
    return result;
}

char* WINAPI _com_util::ConvertBSTRToString(BSTR pSrc)
{
    if (!pSrc)
        return nullptr;
    std::string text;
    const HRESULT hr = narrow(pSrc, text);
    if (FAILED(hr)) {
        _com_issue_error(hr);
        return nullptr;
    }
    char* result = new char[text.size() + 1];
    std::memcpy(result, text.c_str(), text.size() + 1);
    return result;
}

_variant_t vtMissing(DISP_E_PARAMNOTFOUND, VT_ERROR);
