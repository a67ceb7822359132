// The two connection-point steps of an event connection, each reduced to one HRESULT so that the
// connection object judges it at one place.
#pragma once

#include "pch.h"

namespace collector::shell::detail {

// The source's connection point for `events`: E_INVALIDARG for a null source, otherwise the first
// failure of asking for IConnectionPointContainer and of FindConnectionPoint. A point given back as
// null with success counts as E_POINTER.
inline HRESULT find_connection_point(IUnknown* source, REFIID events, CComPtr<IConnectionPoint>& point) noexcept
{
    if (!source)
        return E_INVALIDARG;
    CComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    if (SUCCEEDED(hr) && !container)
        hr = E_POINTER;
    if (SUCCEEDED(hr))
        hr = container->FindConnectionPoint(events, &point);
    if (SUCCEEDED(hr) && !point)
        hr = E_POINTER;
    return hr;
}

// Advises `sink` on the source's point for `events`. The cookie is written only on success, so that a
// failure leaves the connection unadvised whatever the point wrote.
inline HRESULT advise(IUnknown* source, REFIID events, IUnknown* sink, DWORD& cookie) noexcept
{
    CComPtr<IConnectionPoint> point;
    HRESULT hr = find_connection_point(source, events, point);
    DWORD given = 0;
    if (SUCCEEDED(hr))
        hr = point->Advise(sink, &given);
    if (SUCCEEDED(hr))
        cookie = given;
    return hr;
}

// Ends the connection `cookie`. The connection is over for the library whatever the source answers,
// so the result is given only to be ignored.
inline HRESULT unadvise(IUnknown* source, REFIID events, DWORD cookie) noexcept
{
    CComPtr<IConnectionPoint> point;
    HRESULT hr = find_connection_point(source, events, point);
    if (SUCCEEDED(hr))
        hr = point->Unadvise(cookie);
    return hr;
}

} // namespace collector::shell::detail
