// Object: the one-line dump of a value, visit, and comparison.
#include "pch.h"

#include "ObjectParts.h"

#include <collector/shell/Guid.h>
#include <collector/shell/Object.h>

#include <fmt/xchar.h>

#include <exception>
#include <functional>

namespace collector::shell {

namespace {

// An OLE date as the user's regional settings write it.
std::wstring date_text(DATE date)
{
    BSTR text = nullptr;
    if (FAILED(VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, &text)))
        return L"Invalid DateTime";
    const _bstr_t owned(text, false);
    return std::wstring(static_cast<const wchar_t*>(owned), owned.length());
}

std::wstring record_text(const VARIANT& value)
{
    if (const std::optional<GUID> id = detail::guid_record(value))
        return fmt::format(L"<VT_GUID>: {}", *id);
    BSTR name = nullptr;
    if (value.pRecInfo)
        value.pRecInfo->GetName(&name);
    const _bstr_t owned(name, false);
    // A record type without a name is refused by the formatter ("string pointer is null").
    return fmt::format(L"<VT_RECORD[{}]>", static_cast<const wchar_t*>(owned));
}

// Every element at its full recorded length, so that an empty or null element shows as nothing
// between its separators.
std::wstring strings_text(SAFEARRAY* array)
{
    const detail::borrowed_strings_t strings(array);
    std::wstring text = fmt::format(L"<VT_BSTR[{}]>: (", strings.size());
    for (ULONG index = 0; index < strings.size(); ++index) {
        if (index > 0)
            text += L", ";
        const BSTR element = strings[index];
        text.append(element ? element : L"", SysStringLen(element));
    }
    return text + L")";
}

// Any other type, by its number and the text that VariantChangeType gives it, or by its number alone
// when it has none.
std::wstring converted_text(const _variant_t& value)
{
    try {
        _variant_t text;
        text.ChangeType(VT_BSTR, &value);
        return fmt::format(L"<VT = {}>: {}", value.vt, static_cast<const wchar_t*>(text.bstrVal));
    } catch (const std::exception&) {
        return fmt::format(L"<VT = {}>", value.vt);
    }
}

HRESULT compare(const _variant_t& left, const _variant_t& right)
{
    // VarCmp reads both values; its signature predates const.
    return VarCmp(const_cast<_variant_t*>(&left), const_cast<_variant_t*>(&right), LOCALE_USER_DEFAULT, 0);
}

} // namespace

std::wstring Object::to_string() const
{
    const _variant_t& v = value_;
    switch (v.vt) {
    case VT_EMPTY: return L"<VT_EMPTY>";
    case VT_NULL: return L"<VT_NULL>";
    case VT_I2: return fmt::format(L"<VT_I2>: {}", v.iVal);
    case VT_I4: return fmt::format(L"<VT_I4>: {}", v.lVal);
    case VT_R4: return fmt::format(L"<VT_R4>: {}", v.fltVal);
    case VT_R8: return fmt::format(L"<VT_R8>: {}", v.dblVal);
    // The currency's raw count of ten-thousandths.
    case VT_CY: return fmt::format(L"<VT_CY>: {}", v.cyVal.int64);
    case VT_DATE: return L"<VT_DATE>: " + date_text(v.date);
    // Up to the first NUL; a null string is refused by the formatter ("string pointer is null").
    case VT_BSTR: return fmt::format(L"<VT_BSTR>: {}", static_cast<const wchar_t*>(v.bstrVal));
    case VT_DISPATCH: return L"<VT_DISPATCH>";
    case VT_BOOL: return fmt::format(L"<VT_BOOL>: {}", v.boolVal == VARIANT_TRUE ? L"TRUE" : L"FALSE");
    case VT_UNKNOWN: return L"<VT_UNKNOWN>";
    // Numbers, not characters.
    case VT_I1: return fmt::format(L"<VT_I1>: {}", static_cast<int>(static_cast<signed char>(v.cVal)));
    case VT_UI1: return fmt::format(L"<VT_UI1>: {}", static_cast<unsigned>(v.bVal));
    case VT_UI2: return fmt::format(L"<VT_UI2>: {}", v.uiVal);
    case VT_UI4: return fmt::format(L"<VT_UI4>: {}", v.ulVal);
    case VT_I8: return fmt::format(L"<VT_I8>: {}", v.llVal);
    case VT_UI8: return fmt::format(L"<VT_UI8>: {}", v.ullVal);
    case VT_INT: return fmt::format(L"<VT_INT>: {}", v.intVal);
    case VT_UINT: return fmt::format(L"<VT_UINT>: {}", v.uintVal);
    case VT_RECORD: return record_text(v);
    case VT_ARRAY | VT_BSTR: return strings_text(v.parray);
    case VT_ARRAY | VT_UNKNOWN: return L"<VT_UNKNOWN[]>";
    default: return converted_text(v);
    }
}

void Object::visit(const std::function<void(const _variant_t&)>& f) const { f(value_); }

bool Object::operator==(const Object& other) const noexcept
{
    // Null objects are false.
    if (!*this || !other)
        return !*this && !other;
    // The whole type, flags included: values of different types are never equal.
    return value_.vt == other.value_.vt && compare(value_, other.value_) == VARCMP_EQ;
}

bool Object::operator<(const Object& other) const noexcept
{
    if (!other)
        return false;
    if (!*this)
        return true;
    return compare(value_, other.value_) == VARCMP_LT;
}

} // namespace collector::shell
