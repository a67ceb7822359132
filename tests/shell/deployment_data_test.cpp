// DeploymentData seen from the component's side: names listed in UTF-16 code-unit order as an array
// of BSTR, values read by exact name, and the bag's object outliving the bag while the component
// holds it.
#include "shell/site.h"

#include "DeploymentDataObject.h"

#include <collector/shell.h>

#include <Kernel/exception.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shell_test {
namespace {

using namespace std::literals;
using collector::shell::DeploymentData;
using collector::shell::detail::deployment_data_of;
using Ostra_Lux_Collector_Interfaces::IDeploymentData;
using testing::ElementsAre;

// What GetNames hands out, after checking that it is a zero-based vector of BSTR; the array is
// destroyed here, as the component would.
std::vector<std::wstring> names_of(IDeploymentData* data)
{
    SAFEARRAY* array = nullptr;
    EXPECT_EQ(data->GetNames(&array), S_OK);
    if (!array)
        return {};
    VARTYPE type = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(array, &type), S_OK);
    EXPECT_EQ(type, VT_BSTR);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    LONG lower = -1;
    LONG upper = -2;
    EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    std::vector<std::wstring> names;
    BSTR* elements = nullptr;
    EXPECT_EQ(SafeArrayAccessData(array, reinterpret_cast<void**>(&elements)), S_OK);
    for (LONG i = 0; i <= upper - lower; ++i)
        names.emplace_back(elements[i], SysStringLen(elements[i]));
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    return names;
}

_variant_t i4(LONG value) { return _variant_t(value, VT_I4); }

_bstr_t name(std::wstring_view text) { return _bstr_t(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())), false); }

// GetValue's answer and the VARIANT it left; `out` starts as VT_I4 -1 so that an untouched one shows.
std::pair<HRESULT, _variant_t> value_of(IDeploymentData* data, BSTR key)
{
    _variant_t out = i4(-1);
    VARIANT raw = out.Detach();
    const HRESULT hr = data->GetValue(key, &raw);
    return {hr, _variant_t(raw, false)};
}

std::wstring text_of(const _variant_t& value)
{
    EXPECT_EQ(value.vt, VT_BSTR);
    return value.vt == VT_BSTR ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : L"";
}

TEST(DeploymentDataNames, ListedInCodeUnitOrderWhateverTheInsertionOrder)
{
    DeploymentData bag;
    const auto data = deployment_data_of(bag);
    ASSERT_TRUE(data);
    EXPECT_TRUE(names_of(data).empty());

    // A character beyond U+FFFF is a surrogate pair in UTF-16 and sorts before U+E000..U+FFFF, although
    // its code point is larger; the empty name sorts first.
    for (const std::wstring_view inserted : {L"b"sv, L"\uFF21"sv, L"\U0001F600"sv, L"a"sv, L"B"sv, L"\u00E4"sv,
                                             L"ab"sv, L""sv, L"a\0b"sv})
        bag[inserted] = i4(1);
    EXPECT_THAT(names_of(data), ElementsAre(L""sv, L"B"sv, L"a"sv, L"a\0b"sv, L"ab"sv, L"b"sv, L"\u00E4"sv,
                                            L"\U0001F600"sv, L"\uFF21"sv));
}

TEST(DeploymentDataValues, ReadByExactNameAsIndependentCopies)
{
    DeploymentData bag{{L"Host", _variant_t(L"alpha")}, {L"port", i4(8080)}, {L"", _variant_t(true)}};
    const auto data = deployment_data_of(bag);

    auto [hr, host] = value_of(data, name(L"Host"));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(text_of(host), L"alpha");
    host.Clear();
    EXPECT_EQ(text_of(bag[L"Host"]), L"alpha");

    // The name ends at its first NUL, and a null name is the empty one.
    auto [cut_hr, port] = value_of(data, name(L"port\0ignored"sv));
    EXPECT_EQ(cut_hr, S_OK);
    EXPECT_EQ(port.vt, VT_I4);
    EXPECT_EQ(port.lVal, 8080);
    auto [null_hr, unnamed] = value_of(data, nullptr);
    EXPECT_EQ(null_hr, S_OK);
    EXPECT_EQ(unnamed.vt, VT_BOOL);

    // Absent names fail and leave the out VARIANT as it was.
    for (const std::wstring_view absent : {L"host"sv, L"HOST"sv, L"Host "sv, L"por"sv}) {
        const auto [absent_hr, untouched] = value_of(data, name(absent));
        EXPECT_EQ(absent_hr, E_INVALIDARG) << absent.data();
        EXPECT_EQ(untouched.vt, VT_I4);
        EXPECT_EQ(untouched.lVal, -1);
    }
    EXPECT_EQ(data->GetValue(name(L"Host"), nullptr), E_POINTER);
    EXPECT_EQ(data->GetNames(nullptr), E_POINTER);
}

TEST(DeploymentDataValues, ComponentSeesTheBagAsItStandsWhenItReads)
{
    DeploymentData bag{{L"mode", i4(1)}, {L"mode", _variant_t(L"second")}};
    const auto data = deployment_data_of(bag);
    EXPECT_EQ(text_of(value_of(data, name(L"mode")).second), L"second");

    // Reading a name through the bag creates it, empty.
    EXPECT_EQ(bag[L"created"].vt, VT_EMPTY);
    EXPECT_THAT(names_of(data), ElementsAre(L"created", L"mode"));
    const auto [hr, created] = value_of(data, name(L"created"));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(created.vt, VT_EMPTY);

    _variant_t& slot = bag[L"created"];
    bag[L"later"] = i4(2);
    slot = L"written";
    EXPECT_EQ(text_of(value_of(data, name(L"created")).second), L"written");
}

TEST(DeploymentDataObject, AnswersOnlyItsInterfaceAndOutlivesTheBagWhileHeld)
{
    CComPtr<IDeploymentData> held;
    {
        DeploymentData bag{{L"kept", _variant_t(L"yes")}};
        held = deployment_data_of(bag);
        CComPtr<IUnknown> identity;
        EXPECT_EQ(held->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
        CComPtr<IDispatch> dispatch;
        EXPECT_EQ(held->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), E_NOINTERFACE);
    }
    EXPECT_EQ(text_of(value_of(held, name(L"kept")).second), L"yes");
    // The component's reference is the only one left.
    held.p->AddRef();
    EXPECT_EQ(held.p->Release(), 1u);
}

TEST(DeploymentDataObject, MovesHandTheObjectOverAndLeaveNothingBehind)
{
    DeploymentData first{{L"from", _variant_t(L"first")}};
    const CComPtr<IDeploymentData> first_object = deployment_data_of(first);

    DeploymentData moved(std::move(first));
    EXPECT_EQ(deployment_data_of(moved), first_object);
    EXPECT_FALSE(deployment_data_of(first));
    try {
        first[L"from"];
        ADD_FAILURE() << "a moved-from bag gave a value";
    } catch (const COstraException& e) {
        EXPECT_EQ(e.message(), L"DeploymentData is null");
        EXPECT_EQ(site_of(e).file, "Monitor/Collector/Collector.Shell/DeploymentData.cpp");
    }

    DeploymentData second{{L"from", _variant_t(L"second")}};
    const CComPtr<IDeploymentData> second_object = deployment_data_of(second);
    moved = std::move(second);
    EXPECT_EQ(text_of(moved[L"from"]), L"second");
    EXPECT_FALSE(deployment_data_of(second));
    // The replaced object was let go: only this test holds it now.
    first_object.p->AddRef();
    EXPECT_EQ(first_object.p->Release(), 1u);

    first = std::move(moved);
    EXPECT_EQ(deployment_data_of(first), second_object);
}

} // namespace
} // namespace shell_test
