// GUIDs as text, in the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "hex_digit.h"
#include <objbase.h>

#include <cwchar>

namespace {

constexpr std::size_t text_length = 38; // without the terminating NUL


// Reads `digits` hex digits at `text`; false on the first that is not one.
template <typename T>
bool read_hex(const OLECHAR* text, int digits, T& value)
{
    unsigned long long result = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = platform::hex_digit_value(text[i]);
        if (digit < 0)
            return false;
        result = result << 4 | static_cast<unsigned>(digit);
    }
    value = static_cast<T>(result);
    return true;
}

// Parses a 38-character text into `guid`, field by field: a malformed text leaves the fields read before
// the fault written, as ole32 does.
bool parse_guid(const OLECHAR* text, GUID& guid)
{
    if (text[0] != L'{' || text[9] != L'-' || text[14] != L'-' || text[19] != L'-' || text[24] != L'-' ||
        text[37] != L'}')
        return false;
    if (!read_hex(text + 1, 8, guid.Data1) || !read_hex(text + 10, 4, guid.Data2) ||
        !read_hex(text + 15, 4, guid.Data3))
        return false;
    // Data4: two bytes before the last dash, six after it.
    const OLECHAR* byte_text[8] = {text + 20, text + 22, text + 25, text + 27,
                                   text + 29, text + 31, text + 33, text + 35};
    for (int i = 0; i < 8; ++i)
        if (!read_hex(byte_text[i], 2, guid.Data4[i]))
            return false;
    return true;
}

template <typename T>
OLECHAR* write_hex(OLECHAR* out, T value, int digits)
{
    static constexpr char digit_chars[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i)
        *out++ = static_cast<OLECHAR>(digit_chars[(static_cast<unsigned long long>(value) >> (4 * i)) & 0xF]);
    return out;
}

// Shared by IIDFromString and CLSIDFromString, which differ in the error for a malformed text.
HRESULT guid_from_string(LPCOLESTR text, GUID* guid, HRESULT malformed)
{
    if (!guid)
        return E_INVALIDARG;
    if (!text) {
        *guid = GUID_NULL;
        return S_OK;
    }
    if (std::wcslen(text) != text_length)
        return E_INVALIDARG;
    return parse_guid(text, *guid) ? S_OK : malformed;
}

} // namespace

HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid)
{
    return guid_from_string(lpsz, lpiid, CO_E_IIDSTRING);
}

HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid)
{
    // A text of the wrong length would be looked up as a ProgID; there is no registry to find one in.
    if (lpsz && pclsid && std::wcslen(lpsz) != text_length)
        return CO_E_CLASSSTRING;
    return guid_from_string(lpsz, pclsid, CO_E_CLASSSTRING);
}

int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    if (!lpsz || cchMax < static_cast<int>(text_length + 1))
        return 0;
    OLECHAR* out = lpsz;
    *out++ = L'{';
    out = write_hex(out, rguid.Data1, 8);
    *out++ = L'-';
    out = write_hex(out, rguid.Data2, 4);
    *out++ = L'-';
    out = write_hex(out, rguid.Data3, 4);
    *out++ = L'-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            *out++ = L'-';
        out = write_hex(out, rguid.Data4[i], 2);
    }
    *out++ = L'}';
    *out = L'\0';
    return static_cast<int>(text_length + 1);
}
