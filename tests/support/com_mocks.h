// GoogleMock over COM interfaces: a mock derives from the interface through fake::Fake, which answers
// QueryInterface, counts references and registers in the ledger; the mock declares only the methods
// of the interface itself. Any other COM interface is mocked the same way.
//
//     auto points = fake::hold<fake::MockConnectionPoint>("events");
//     EXPECT_CALL(*points, Advise(testing::_, testing::_)).WillOnce(testing::Return(CONNECT_E_CANNOTCONNECT));
#pragma once

#include "support/fake_com.h"

#include <ocidl.h>
#include <windows.h>

#include <gmock/gmock.h>

#include <string>
#include <tuple>
#include <utility>

namespace fake {

class MockEnumVARIANT : public Fake<IEnumVARIANT> {
public:
    explicit MockEnumVARIANT(std::string name = "MockEnumVARIANT") : Fake(std::move(name)) {}

    MOCK_METHOD(HRESULT, Next, (ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched), (override));
    MOCK_METHOD(HRESULT, Skip, (ULONG celt), (override));
    MOCK_METHOD(HRESULT, Reset, (), (override));
    MOCK_METHOD(HRESULT, Clone, (IEnumVARIANT * *ppEnum), (override));
};

class MockConnectionPoint : public Fake<IConnectionPoint> {
public:
    explicit MockConnectionPoint(std::string name = "MockConnectionPoint") : Fake(std::move(name)) {}

    MOCK_METHOD(HRESULT, GetConnectionInterface, (IID * pIID), (override));
    MOCK_METHOD(HRESULT, GetConnectionPointContainer, (IConnectionPointContainer * *ppCPC), (override));
    MOCK_METHOD(HRESULT, Advise, (IUnknown * pUnkSink, DWORD* pdwCookie), (override));
    MOCK_METHOD(HRESULT, Unadvise, (DWORD dwCookie), (override));
    MOCK_METHOD(HRESULT, EnumConnections, (IEnumConnections * *ppEnum), (override));
};

class MockConnectionPointContainer : public Fake<IConnectionPointContainer> {
public:
    explicit MockConnectionPointContainer(std::string name = "MockConnectionPointContainer") : Fake(std::move(name)) {}

    MOCK_METHOD(HRESULT, EnumConnectionPoints, (IEnumConnectionPoints * *ppEnum), (override));
    MOCK_METHOD(HRESULT, FindConnectionPoint, (REFIID riid, IConnectionPoint** ppCP), (override));
};

// An action for out-pointer parameters: stores `object` in argument N with a reference for the caller.
// EXPECT_CALL(*container, FindConnectionPoint(_, _)).WillOnce(fake::ReturnInterface<1>(point.get()));
template <std::size_t N, class I>
auto ReturnInterface(I* object, HRESULT result = S_OK)
{
    return [object, result](auto&&... args) -> HRESULT {
        auto* out = std::get<N>(std::forward_as_tuple(args...));
        if (object != nullptr)
            object->AddRef();
        *out = object;
        return result;
    };
}

} // namespace fake
