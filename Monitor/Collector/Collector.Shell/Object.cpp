// Object: the typed readers of a VARIANT. Each reader accepts a short, fixed list of VARIANT types
// and refuses everything else with a message naming what it expected and the value's dump.
#include "pch.h"

#include "ObjectParts.h"

#include <collector/shell/Object.h>

#include <Kernel/chrono>

#include <limits>
#include <utility>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;
using ostra::lux::kernel::safe_wstring_view;

namespace {

// Throws `message` about `object`, with its dump, located at `site` (and so with the exception being
// handled, if the site names one, as the nested exception).
[[noreturn]] void refuse(const Object& object, const wchar_t* message, const detail::throw_site_t& site)
{
    tstring dump = object.to_string();
    COstraException refusal(ostra::lux::kernel::exception_init, message, {}, 1);
    refusal << value_dump_info(std::move(dump));
    detail::throw_at_site(std::move(refusal), site);
}

// `value` converted by VariantChangeType; a failure is raised through the COM error raiser.
_variant_t converted(const _variant_t& value, VARTYPE type)
{
    _variant_t result;
    result.ChangeType(type, &value);
    return result;
}

// VariantChangeType copies the bits between the signed and unsigned integers of one width (UI8 above
// 2^63 - 1 becomes a negative I8; I1 -1 and BOOL TRUE become UI1 255). Where a reader wants the value,
// it checks the range itself and fails as a failed conversion does.
void overflow() { _com_issue_error(DISP_E_OVERFLOW); }

// The text of a VT_BSTR up to its first NUL; a null string is empty.
std::wstring text_of(BSTR text) { return std::wstring(safe_wstring_view(text)); }

} // namespace

Object::Object(_variant_t&& value) noexcept : value_(value, false) {}

Object::Object(Object&& other) noexcept : value_(other.value_, false) {}

Object& Object::operator=(Object other) noexcept
{
    std::swap(static_cast<VARIANT&>(value_), static_cast<VARIANT&>(other.value_));
    return *this;
}

Object::~Object() = default;

Object::operator bool() const noexcept { return value_.vt != VT_EMPTY && value_.vt != VT_NULL; }

template <>
unsigned char Object::get<unsigned char>() const
{
    if (value_.vt != VT_UI1)
        refuse(*this, L"Object is not UI1", COLLECTOR_THROW_SITE);
    return value_.bVal;
}

template <>
unsigned short Object::get<unsigned short>() const
{
    if (value_.vt != VT_UI2)
        refuse(*this, L"Object is not UI2", COLLECTOR_THROW_SITE);
    return value_.uiVal;
}

template <>
int Object::get<int>() const
{
    // VARIANT_TRUE is -1; the reader gives 1.
    if (value_.vt == VT_BOOL)
        return value_.boolVal != VARIANT_FALSE ? 1 : 0;
    if (value_.vt != VT_I4)
        refuse(*this, L"Object is neither I4 nor BOOL", COLLECTOR_THROW_SITE);
    return converted(value_, VT_INT).intVal;
}

template <>
unsigned int Object::get<unsigned int>() const
{
    if (value_.vt == VT_UINT)
        return value_.uintVal;
    if (value_.vt != VT_UI4)
        refuse(*this, L"Object is neither UINT nor UI4", COLLECTOR_THROW_SITE);
    return converted(value_, VT_UINT).uintVal;
}

template <>
__int64 Object::get<__int64>() const
{
    if (value_.vt == VT_I8)
        return value_.llVal;
    if (value_.vt != VT_I4 && value_.vt != VT_UI8)
        refuse(*this, L"Object is neither I4 nor I8", COLLECTOR_THROW_SITE);
    if (value_.vt == VT_UI8 && value_.ullVal > static_cast<unsigned __int64>(std::numeric_limits<__int64>::max()))
        overflow();
    return converted(value_, VT_I8).llVal;
}

template <>
unsigned __int64 Object::get<unsigned __int64>() const
{
    if (value_.vt != VT_UI8)
        refuse(*this, L"Object is not UI8", COLLECTOR_THROW_SITE);
    return value_.ullVal;
}

template <>
double Object::get<double>() const
{
    if (value_.vt == VT_DATE)
        return value_.date;
    if (value_.vt != VT_R8)
        refuse(*this, L"Object is neither R8 nor DATE", COLLECTOR_THROW_SITE);
    return value_.dblVal;
}

template <>
std::wstring Object::get<std::wstring>() const
{
    if (value_.vt != VT_BSTR)
        refuse(*this, L"Object is not BSTR", COLLECTOR_THROW_SITE);
    return text_of(value_.bstrVal);
}

template <>
GUID Object::get<GUID>() const
{
    if (value_.vt == VT_RECORD) {
        const std::optional<GUID> id = detail::guid_record(value_);
        if (!id)
            refuse(*this, L"Object is not VT_GUID", COLLECTOR_THROW_SITE);
        return *id;
    }
    // IIDFromString wants the braces; a text that brings its own does not parse.
    const std::wstring braced = L"{" + get<std::wstring>() + L"}";
    GUID id;
    if (FAILED(IIDFromString(braced.c_str(), &id)))
        refuse(*this, L"Object is not UUID", COLLECTOR_THROW_SITE);
    return id;
}

template <>
TimePoint Object::get<TimePoint>() const
{
    switch (value_.vt) {
    case VT_I8: // ticks since 1601, as FILETIME counts them
        return to_timepoint(ostra::lux::kernel::ticks(value_.llVal));
    case VT_BSTR: // DMTF, brought to UTC
        return dmtf_to_timepointoffset(safe_wstring_view(value_.bstrVal)).utc();
    case VT_DATE:
        return to_timepoint(value_.date);
    default:
        return to_timepoint(static_cast<const VARIANT&>(value_));
    }
}

template <>
ostra::lux::kernel::timepointoffset Object::get<ostra::lux::kernel::timepointoffset>() const
{
    if (value_.vt == VT_BSTR) {
        try {
            // The whole string, as long as it records itself to be.
            return iso8601_to_timepointoffset(safe_wstring_view(value_.bstrVal, SysStringLen(value_.bstrVal)));
        } catch (const CHResultException&) {
            // Replaced below by the reader's own failure, which says what was being read.
        }
    }
    detail::throw_at_site(CHResultException(L"Unable to convert object. Invalid date.", {}, E_INVALIDARG, nullptr, false),
                          COLLECTOR_THROW_SITE);
}

template <>
ATL::COleDateTime Object::get<ATL::COleDateTime>() const
{
    if (value_.vt == VT_DATE) {
        ATL::COleDateTime date(value_.date);
        date.SetStatus(ATL::COleDateTime::valid);
        return date;
    }
    try {
        const ATL::COleDateTime date = dmtf_to_oledatetime(get<std::wstring>(), false);
        if (date.GetStatus() != ATL::COleDateTime::valid)
            detail::throw_condition(L"Invalid datetime", COLLECTOR_THROW_SITE);
        return date;
    } catch (const std::exception&) {
        refuse(*this, L"Object is not CIM_DATETIME", COLLECTOR_NESTED_THROW_SITE);
    }
}

template <>
ATL::COleDateTimeSpan Object::get<ATL::COleDateTimeSpan>() const
{
    try {
        if (value_.vt == VT_BSTR)
            return dmtf_to_oletimespan(safe_wstring_view(value_.bstrVal));
        // The widest span between two OLE dates, in days.
        constexpr double widest = 3'615'897;
        const double days = get<double>();
        ATL::COleDateTimeSpan span(days);
        span.SetStatus(days < -widest || days > widest ? ATL::COleDateTimeSpan::invalid : ATL::COleDateTimeSpan::valid);
        return span;
    } catch (const std::exception&) {
        refuse(*this, L"Object is not CIM_DATETIME", COLLECTOR_NESTED_THROW_SITE);
    }
}

template <>
std::chrono::seconds Object::get<std::chrono::seconds>() const
{
    try {
        return std::chrono::seconds(get<__int64>());
    } catch (const std::exception&) {
        refuse(*this, L"Object is not std::chrono::seconds", COLLECTOR_NESTED_THROW_SITE);
    }
}

template <>
Minutes Object::get<Minutes>() const
{
    try {
        return Minutes(get<int>());
    } catch (const std::exception&) {
        refuse(*this, L"Object is not std::chrono::minutes", COLLECTOR_NESTED_THROW_SITE);
    }
}

namespace {

// The elements of an array field (a VT_UNKNOWN value answering IArrayField), each read by `read`;
// nothing when the value is no array field or an element cannot be read. Elements are fetched one at
// a time until the enumerator fails or runs out, so that a field whose enumeration breaks off gives
// the elements read so far; a failed count is raised.
template <class Element, class Read>
std::optional<std::vector<Element>> read_array_field(const VARIANT& value, Read read)
{
    if (value.vt != VT_UNKNOWN || !value.punkVal)
        return std::nullopt;
    CComPtr<IArrayField> field;
    if (FAILED(value.punkVal->QueryInterface(IID_IArrayField, reinterpret_cast<void**>(&field))) || !field)
        return std::nullopt;
    CComPtr<IEnumVARIANT> elements;
    if (FAILED(field->GetEnumerator(&elements)) || !elements)
        return std::nullopt;
    LONG count = 0;
    detail::call(field.p, &IArrayField::GetCount, &count);

    std::vector<Element> result;
    result.reserve(static_cast<std::size_t>(std::max<LONG>(count, 0)));
    try {
        for (;;) {
            _variant_t element;
            ULONG fetched = 0;
            if (FAILED(elements->Next(1, &element, &fetched)) || fetched == 0)
                return result;
            result.push_back(read(element));
        }
    } catch (...) {
        // An element that cannot be read makes the whole field unreadable as this type; the caller
        // reports it as what it expected.
        return std::nullopt;
    }
}

std::wstring element_text(const _variant_t& element)
{
    return text_of(element.vt == VT_BSTR ? element.bstrVal : converted(element, VT_BSTR).bstrVal);
}

unsigned char element_byte(const _variant_t& element)
{
    if (element.vt == VT_UI1)
        return element.bVal;
    // Through a signed type that holds both -1 and 255, so that a negative element does not wrap.
    const SHORT value = converted(element, VT_I2).iVal;
    if (value < 0 || value > 255)
        overflow();
    return static_cast<unsigned char>(value);
}

} // namespace

template <>
std::vector<std::wstring> Object::get<std::vector<std::wstring>>() const
{
    if (auto texts = read_array_field<std::wstring>(value_, element_text))
        return std::move(*texts);
    if (value_.vt != (VT_ARRAY | VT_BSTR))
        refuse(*this, L"Object is neither BSTR[] nor IArrayField<BSTR>", COLLECTOR_THROW_SITE);
    const detail::borrowed_strings_t strings(value_.parray);
    std::vector<std::wstring> texts;
    texts.reserve(strings.size());
    for (ULONG index = 0; index < strings.size(); ++index)
        texts.push_back(text_of(strings[index]));
    return texts;
}

template <>
std::vector<unsigned char> Object::get<std::vector<unsigned char>>() const
{
    auto bytes = read_array_field<unsigned char>(value_, element_byte);
    if (!bytes)
        refuse(*this, L"Object is not IArrayField<BYTE>", COLLECTOR_THROW_SITE);
    return std::move(*bytes);
}

} // namespace collector::shell
