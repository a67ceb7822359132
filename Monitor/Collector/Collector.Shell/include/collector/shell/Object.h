// Object: the value type of the library. Every field, key, argument, result and resource value that
// the component hands back is an Object: one VARIANT with strict typed readers, a one-line dump, and
// comparison.
#pragma once

#include "Export.h"

#include <atlcomtime.h>
#include <comdef.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <ratio>
#include <string>
#include <type_traits>
#include <vector>

namespace ostra::lux::kernel {
struct timepointoffset;
}

namespace collector::shell {

// A system_clock time point counted in 100 ns ticks (the kernel's timepoint).
using TimePoint =
    std::chrono::time_point<std::chrono::system_clock, std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>>;
// Minutes with a 32-bit count.
using Minutes = std::chrono::duration<int, std::ratio<60>>;

namespace detail {

template <class T, class... Accepted>
inline constexpr bool is_one_of = (std::is_same_v<T, Accepted> || ...);

} // namespace detail

// The types that Object::get<T> reads; no other instantiation exists.
template <class T>
concept ObjectReadable =
    detail::is_one_of<T, unsigned char, unsigned short, int, unsigned int, __int64, unsigned __int64, double,
                      std::wstring, GUID, TimePoint, ostra::lux::kernel::timepointoffset, ATL::COleDateTime,
                      ATL::COleDateTimeSpan, std::chrono::seconds, Minutes, std::vector<std::wstring>,
                      std::vector<unsigned char>>;

class COLLECTOR_SHELL_API Object {
public:
    // VT_EMPTY.
    Object() noexcept = default;
    // Takes the VARIANT over; `value` is left VT_EMPTY. Implicit, so that a _variant_t can stand
    // wherever an Object is wanted.
    Object(_variant_t&& value) noexcept;
    // Copies duplicate the VARIANT (VariantCopy); a failed copy throws.
    Object(const Object& other) = default;
    Object(Object&& other) noexcept;
    Object& operator=(Object other) noexcept;
    ~Object();

    const _variant_t& data() const noexcept { return value_; }

    // False for a null object: VT_EMPTY or VT_NULL.
    explicit operator bool() const noexcept;

    // The value as T. Each T accepts a short list of VARIANT types and converts some of them with
    // VariantChangeType; anything else throws COstraException naming what was expected, carrying the
    // object's dump (value_dump_info). A by-reference value or an array is never the named type.
    //   unsigned char        VT_UI1
    //   unsigned short       VT_UI2
    //   int                  VT_I4; VT_BOOL as 1 or 0
    //   unsigned int         VT_UINT, VT_UI4
    //   __int64              VT_I8, VT_I4, VT_UI8 (above the signed range the conversion fails)
    //   unsigned __int64     VT_UI8
    //   double               VT_R8; VT_DATE as the OLE date's number
    //   std::wstring         VT_BSTR up to its first NUL; a null BSTR is empty
    //   GUID                 the .NET GUID record (VT_RECORD); text of 36 characters without braces
    //   TimePoint            VT_I8 ticks since 1601 UTC; DMTF text (in UTC); VT_DATE; whatever
    //                        converts to VT_DATE
    //   timepointoffset      ISO 8601 text (CHResultException E_INVALIDARG, no dump, when it does not parse)
    //   COleDateTime         VT_DATE; DMTF text
    //   COleDateTimeSpan     DMTF interval text; what get<double> reads, as days (status invalid beyond
    //                        3,615,897 days)
    //   std::chrono::seconds what get<__int64> reads
    //   Minutes              what get<int> reads
    //   std::vector<std::wstring>    an IArrayField of texts (VT_UNKNOWN); VT_ARRAY | VT_BSTR
    //   std::vector<unsigned char>   an IArrayField of bytes (VT_UNKNOWN); an element outside 0..255 fails
    template <class T>
        requires ObjectReadable<T>
    T get() const;

    // One line naming the VARIANT type and showing the value, e.g. "<VT_I4>: 5" or "<VT_EMPTY>".
    std::wstring to_string() const;
    // Calls `f` once with data(); an empty `f` throws std::bad_function_call.
    void visit(const std::function<void(const _variant_t&)>& f) const;

    // Null objects are equal to each other and to nothing else; other values are equal when their
    // VARIANT types are identical and VarCmp finds them equal.
    bool operator==(const Object& other) const noexcept;
    // A null object precedes every other; other values are ordered by VarCmp, across types; a
    // failed comparison is false.
    bool operator<(const Object& other) const noexcept;

private:
    _variant_t value_;
};

// The readers, each defined once in the library. Each is exported on its own: a class's export
// reaches its member templates' specialisations on some compilers only.
template <> COLLECTOR_SHELL_API unsigned char Object::get<unsigned char>() const;
template <> COLLECTOR_SHELL_API unsigned short Object::get<unsigned short>() const;
template <> COLLECTOR_SHELL_API int Object::get<int>() const;
template <> COLLECTOR_SHELL_API unsigned int Object::get<unsigned int>() const;
template <> COLLECTOR_SHELL_API __int64 Object::get<__int64>() const;
template <> COLLECTOR_SHELL_API unsigned __int64 Object::get<unsigned __int64>() const;
template <> COLLECTOR_SHELL_API double Object::get<double>() const;
template <> COLLECTOR_SHELL_API std::wstring Object::get<std::wstring>() const;
template <> COLLECTOR_SHELL_API GUID Object::get<GUID>() const;
template <> COLLECTOR_SHELL_API TimePoint Object::get<TimePoint>() const;
template <> COLLECTOR_SHELL_API ostra::lux::kernel::timepointoffset Object::get<ostra::lux::kernel::timepointoffset>() const;
template <> COLLECTOR_SHELL_API ATL::COleDateTime Object::get<ATL::COleDateTime>() const;
template <> COLLECTOR_SHELL_API ATL::COleDateTimeSpan Object::get<ATL::COleDateTimeSpan>() const;
template <> COLLECTOR_SHELL_API std::chrono::seconds Object::get<std::chrono::seconds>() const;
template <> COLLECTOR_SHELL_API Minutes Object::get<Minutes>() const;
template <> COLLECTOR_SHELL_API std::vector<std::wstring> Object::get<std::vector<std::wstring>>() const;
template <> COLLECTOR_SHELL_API std::vector<unsigned char> Object::get<std::vector<unsigned char>>() const;

} // namespace collector::shell
