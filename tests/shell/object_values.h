// Values for the Object tests: VARIANTs of every type built by hand, record descriptions, array
// fields whose enumeration can be scripted to break off, and the check of a reader's refusal.
#pragma once

#include "shell/fake_elements.h"
#include "shell/site.h"

#include "support/fake_com.h"
#include "support/fake_record_info.h"

#include <collector/interfaces.h>
#include <collector/shell.h>

#include <Kernel/exception.h>

#include <boost/exception/get_error_info.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace shell_test {

using namespace collector::shell;
using namespace std::literals;
using Ostra_Lux_Collector_Interfaces::IArrayField;

// An Object of `type` whose value `fill` writes into the VARIANT's members.
template <class Fill>
Object variant_of(VARTYPE type, Fill fill)
{
    _variant_t value;
    value.vt = type;
    fill(static_cast<VARIANT&>(value));
    return Object(std::move(value));
}

inline Object empty() { return Object(); }
inline Object null() { return variant_of(VT_NULL, [](VARIANT&) {}); }
inline Object i1(signed char v) { return variant_of(VT_I1, [&](VARIANT& x) { x.cVal = static_cast<CHAR>(v); }); }
inline Object ui1(BYTE v) { return variant_of(VT_UI1, [&](VARIANT& x) { x.bVal = v; }); }
inline Object i2(SHORT v) { return variant_of(VT_I2, [&](VARIANT& x) { x.iVal = v; }); }
inline Object ui2(USHORT v) { return variant_of(VT_UI2, [&](VARIANT& x) { x.uiVal = v; }); }
inline Object i4(LONG v) { return variant_of(VT_I4, [&](VARIANT& x) { x.lVal = v; }); }
inline Object ui4(ULONG v) { return variant_of(VT_UI4, [&](VARIANT& x) { x.ulVal = v; }); }
inline Object int_(INT v) { return variant_of(VT_INT, [&](VARIANT& x) { x.intVal = v; }); }
inline Object uint_(UINT v) { return variant_of(VT_UINT, [&](VARIANT& x) { x.uintVal = v; }); }
inline Object i8(LONGLONG v) { return variant_of(VT_I8, [&](VARIANT& x) { x.llVal = v; }); }
inline Object ui8(ULONGLONG v) { return variant_of(VT_UI8, [&](VARIANT& x) { x.ullVal = v; }); }
inline Object r4(FLOAT v) { return variant_of(VT_R4, [&](VARIANT& x) { x.fltVal = v; }); }
inline Object r8(DOUBLE v) { return variant_of(VT_R8, [&](VARIANT& x) { x.dblVal = v; }); }
inline Object date(DATE v) { return variant_of(VT_DATE, [&](VARIANT& x) { x.date = v; }); }
// The raw flag: VARIANT_TRUE is -1, anything else is stored as given.
inline Object boolean(VARIANT_BOOL v) { return variant_of(VT_BOOL, [&](VARIANT& x) { x.boolVal = v; }); }
// Ten-thousandths of the currency unit.
inline Object cy(LONGLONG v) { return variant_of(VT_CY, [&](VARIANT& x) { x.cyVal.int64 = v; }); }
// scale digits after the point: decimal(15, 1) is 1.5.
inline Object decimal(ULONG digits, BYTE scale)
{
    return variant_of(VT_DECIMAL, [&](VARIANT& x) {
        std::memset(&x.decVal, 0, sizeof x.decVal);
        x.decVal.scale = scale;
        x.decVal.Lo32 = digits;
        // The type sits where wReserved is; memset cleared it.
        x.vt = VT_DECIMAL;
    });
}
// Exactly the characters of `text`, embedded NULs included.
inline Object bstr(std::wstring_view text)
{
    return variant_of(VT_BSTR, [&](VARIANT& x) { x.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); });
}
inline Object null_bstr() { return variant_of(VT_BSTR, [](VARIANT& x) { x.bstrVal = nullptr; }); }
// A by-reference value of `type` pointing at storage that outlives the object.
inline Object reference_to(VARTYPE type, void* target)
{
    return variant_of(VT_BYREF | type, [&](VARIANT& x) { x.byref = target; });
}

// A one-dimensional array of strings with the given lower bound; std::nullopt stands for a null
// element.
inline Object strings(std::initializer_list<std::optional<std::wstring_view>> elements, LONG lower = 0)
{
    SAFEARRAYBOUND bound{static_cast<ULONG>(elements.size()), lower};
    SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 1, &bound);
    BSTR* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)), S_OK);
    for (const auto& element : elements)
        *data++ = element ? SysAllocStringLen(element->data(), static_cast<UINT>(element->size())) : nullptr;
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    return variant_of(VT_ARRAY | VT_BSTR, [&](VARIANT& x) { x.parray = array; });
}

// An array of `type` with `count` zeroed elements.
inline Object array_of(VARTYPE type, ULONG count)
{
    SAFEARRAYBOUND bound{count, 0};
    SAFEARRAY* array = SafeArrayCreate(type, 1, &bound);
    return variant_of(VT_ARRAY | type, [&](VARIANT& x) { x.parray = array; });
}

// A VT_UNKNOWN value holding its own reference to `object`.
inline Object unknown(IUnknown* object)
{
    return variant_of(VT_UNKNOWN, [&](VARIANT& x) {
        if (object)
            object->AddRef();
        x.punkVal = object;
    });
}

// A record description of type `type` named `type_name` (std::nullopt: no name). The record data that
// values point at belongs to the fake, so clearing a value frees nothing.
class FakeRecordInfo : public fake::RecordInfo {
public:
    FakeRecordInfo(GUID type, std::optional<std::wstring> type_name)
        : RecordInfo("record info"), type(type), type_name(std::move(type_name)) {}

    GUID type;
    std::optional<std::wstring> type_name;
    // The record data of every value made from this description.
    GUID data{};

    HRESULT STDMETHODCALLTYPE GetGuid(GUID* out) override { return *out = type, S_OK; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override
    {
        return *out = type_name ? SysAllocString(type_name->c_str()) : nullptr, S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSize(ULONG* size) override { return *size = sizeof data, S_OK; }
};

// The type of System.Guid's record in the .NET type library.
inline constexpr GUID dotnet_guid = {0x9C5923E9, 0xDE52, 0x33EA, {0x88, 0xDE, 0x7E, 0xBC, 0x86, 0x33, 0xB9, 0xCC}};

// A VT_RECORD value described by `info`, holding its own reference to it.
inline Object record(FakeRecordInfo* info)
{
    return variant_of(VT_RECORD, [&](VARIANT& x) {
        info->AddRef();
        x.pRecInfo = info;
        x.pvRecord = &info->data;
    });
}

// An array field over `elements`, with scripted failures of its two operations.
class FakeArrayField : public fake::Fake<IArrayField> {
public:
    explicit FakeArrayField(std::vector<_variant_t> elements) : Fake("field"), elements(std::move(elements)) {}

    std::vector<_variant_t> elements;
    // What GetCount answers.
    HRESULT count_result = S_OK;
    // GetEnumerator: this result; `null_enumerator` answers success with no object.
    HRESULT enumerator_result = S_OK;
    bool null_enumerator = false;
    // The enumeration breaks off with `failure` at this position.
    std::optional<std::size_t> fail_at;
    HRESULT failure = E_FAIL;
    // The counts that the enumerations handed out were asked for.
    std::vector<ULONG> requested;
    std::vector<std::string> calls;

    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override
    {
        calls.emplace_back("GetCount");
        *count = static_cast<LONG>(elements.size());
        return count_result;
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IEnumVARIANT** out) override
    {
        calls.emplace_back("GetEnumerator");
        const bool gives = SUCCEEDED(enumerator_result) && !null_enumerator;
        *out = gives ? fake::make<FakeElements>(elements, &requested, fail_at, failure) : nullptr;
        return enumerator_result;
    }
};

// What the library's exception carried: its message and source, its HRESULT when it is a
// CHResultException (a refusal of the library's own has none), the dump of the value, the throw site,
// and the message of the nested exception, if there is one.
struct refusal_t {
    std::wstring message;
    std::wstring source;
    std::optional<HRESULT> hresult;
    std::wstring dump;
    seen_site site;
    std::optional<std::wstring> nested;
};

// Runs `operation`, which must throw the library's COstraException, and gives what it carried.
template <class Operation>
refusal_t refusal_of(Operation&& operation)
{
    refusal_t seen;
    try {
        operation();
        ADD_FAILURE() << "nothing was thrown";
    } catch (const COstraException& e) {
        seen.message = e.message();
        seen.source = e.source();
        if (const auto* failed = dynamic_cast<const CHResultException*>(&e))
            seen.hresult = failed->get_hresult();
        if (const std::wstring* dump = boost::get_error_info<value_dump_info>(e))
            seen.dump = *dump;
        seen.site = site_of(e);
        if (const std::exception_ptr* nested = boost::get_error_info<nested_exception_info>(e)) {
            try {
                std::rethrow_exception(*nested);
            } catch (const COstraException& inner) {
                seen.nested = inner.message();
            } catch (...) {
                seen.nested = std::wstring(L"(not a COstraException)");
            }
        }
    }
    return seen;
}

// `operation` throws the library's `message` from `line` of `file`, that line unchecked when 0.
inline void expect_refusal(const std::function<void()>& operation, const std::wstring& message, int line,
                           const std::string& file = {})
{
    const refusal_t seen = refusal_of(operation);
    EXPECT_EQ(seen.message, message);
    EXPECT_TRUE(file.empty() || seen.site.file == file) << seen.site.file;
    EXPECT_TRUE(line == 0 || seen.site.line == line) << seen.site.line;
}

// The dump for a test's trace; a value whose dump raises (a null string) is named by its type.
inline std::string describe(const Object& value)
{
    try {
        return testing::PrintToString(value.to_string());
    } catch (const std::exception&) {
        return "value of type " + std::to_string(value.data().vt);
    }
}

// get<T> of `object` refuses with `message`, the object's dump, a site in the readers' file, and the
// exception that it replaced (by its message) or nothing nested.
template <class T>
void expect_refused(const Object& object, std::wstring_view message,
                    std::optional<std::wstring> nested = std::nullopt)
{
    SCOPED_TRACE("refusing " + describe(object));
    const refusal_t seen = refusal_of([&] { (void)object.get<T>(); });
    EXPECT_EQ(seen.hresult, std::nullopt) << "a CHResultException instead of a refusal";
    EXPECT_EQ(seen.message, message);
    EXPECT_EQ(seen.nested, nested);
    EXPECT_EQ(seen.dump, object.to_string());
    EXPECT_EQ(seen.site.file, "Monitor/Collector/Collector.Shell/Object.cpp");
}

} // namespace shell_test
