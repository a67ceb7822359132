// Named properties of a component object, through the IProperties interface that the object answers.
#pragma once

#include "pch.h"

#include <string_view>

namespace collector::shell::detail {

// Sets the property `name` of `owner`, passing the caller's value without copying it. A refusal of
// IProperties is judged at `site`, the operation that asked.
inline void set_property(IUnknown* owner, std::wstring_view name, const _variant_t& value, const throw_site_t& site)
{
    using Ostra_Lux_Collector_Interfaces::IProperties;
    const auto properties = query_required<IProperties>(owner, site);
    call(properties.p, &IProperties::SetProperty, make_bstr(name), static_cast<const VARIANT&>(value));
}

// The property `name` of `owner`, as the component gives it.
inline _variant_t get_property(IUnknown* owner, std::wstring_view name, const throw_site_t& site)
{
    using Ostra_Lux_Collector_Interfaces::IProperties;
    const auto properties = query_required<IProperties>(owner, site);
    _variant_t value;
    call(properties.p, &IProperties::GetProperty, make_bstr(name), &value);
    return value;
}

} // namespace collector::shell::detail
