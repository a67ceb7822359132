// The named properties that the collector and its pools offer through IProperties.
#pragma once

#include "pch.h"

#include <string_view>

namespace collector::shell::detail {

// Sets a property of `object`, which must offer IProperties (judged at `site`). The component receives
// the caller's VARIANT by value; the caller keeps ownership of its contents.
inline void set_property(IUnknown* object, std::wstring_view name, const _variant_t& value, const throw_site_t& site)
{
    using Ostra_Lux_Collector_Interfaces::IProperties;
    const auto properties = query_required<IProperties>(object, site);
    call(properties.p, &IProperties::SetProperty, make_bstr(name), static_cast<const VARIANT&>(value));
}

// The value of a property of `object`, as the component gives it.
inline _variant_t get_property(IUnknown* object, std::wstring_view name, const throw_site_t& site)
{
    using Ostra_Lux_Collector_Interfaces::IProperties;
    const auto properties = query_required<IProperties>(object, site);
    _variant_t value;
    call(properties.p, &IProperties::GetProperty, make_bstr(name), &value);
    return value;
}

} // namespace collector::shell::detail
