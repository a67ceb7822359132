// The parts of a VARIANT that both Object's readers and its dump look into: GUIDs delivered as .NET
// records, and arrays of strings.
#pragma once

#include "pch.h"

#include <atlsafe.h>

#include <cstring>
#include <optional>

namespace collector::shell::detail {

// The record type of System.Guid in the .NET type library: its record data is the GUID itself.
inline constexpr GUID dotnet_guid_record = {0x9C5923E9, 0xDE52, 0x33EA, {0x88, 0xDE, 0x7E, 0xBC, 0x86, 0x33, 0xB9, 0xCC}};

// The record type of a VT_RECORD value (what its record description says, the result code being of
// no interest); GUID_NULL when it has no description.
inline GUID record_type(const VARIANT& value)
{
    GUID type = GUID_NULL;
    if (value.pRecInfo)
        value.pRecInfo->GetGuid(&type);
    return type;
}

// The GUID that a VT_RECORD value carries, when its record type is the .NET GUID and it has data.
inline std::optional<GUID> guid_record(const VARIANT& value)
{
    if (value.vt != VT_RECORD || !value.pvRecord || !IsEqualGUID(record_type(value), dotnet_guid_record))
        return std::nullopt;
    GUID id;
    std::memcpy(&id, value.pvRecord, sizeof id);
    return id;
}

// A VARIANT's own array of strings, locked while it is read and left to the VARIANT afterwards.
// Elements are read by the indices 0 to size() - 1, as the component's arrays start at 0; an index
// outside the array, or an array of another element type, raises E_INVALIDARG through AtlThrow.
class borrowed_strings_t {
public:
    explicit borrowed_strings_t(SAFEARRAY* array)
    {
        if (const HRESULT hr = strings_.Attach(array); FAILED(hr))
            AtlThrow(hr);
    }
    ~borrowed_strings_t() { strings_.Detach(); }
    borrowed_strings_t(const borrowed_strings_t&) = delete;
    borrowed_strings_t& operator=(const borrowed_strings_t&) = delete;

    // Upper bound - lower bound + 1 of the first dimension.
    ULONG size() const { return strings_.GetCount(0); }
    // Borrowed, possibly null.
    BSTR operator[](ULONG index) const { return strings_.GetAt(static_cast<LONG>(index)); }

private:
    ATL::CComSafeArray<BSTR> strings_;
};

} // namespace collector::shell::detail
