// DeploymentData seen from the component's side: names listed in UTF-16 code-unit order as an array
// of BSTR, values read by exact name, and the bag's object outliving the bag while the component
// holds it.
#include "shell/record_fakes.h"

#include "DeploymentDataObject.h"

namespace shell_test {
namespace {

using collector::shell::detail::deployment_data_of;
using testing::ElementsAre;

_bstr_t name(std::wstring_view text) { return _bstr_t(copy_of(std::wstring(text)), false); }

// GetValue's answer and value, with an out VARIANT that holds an object it has no reference to:
// clearing it instead of overwriting it would over-release the object, which the ledger reports. A
// failure must leave it as it came.
std::pair<HRESULT, _variant_t> value_of(IDeploymentData* data, BSTR key)
{
    auto sentinel = fake::hold<fake::Unknown>("sentinel");
    VARIANT out;
    out.vt = VT_UNKNOWN;
    out.punkVal = sentinel->unknown();
    const HRESULT hr = data->GetValue(key, &out);
    const bool untouched = out.vt == VT_UNKNOWN && out.punkVal == sentinel->unknown();
    EXPECT_TRUE(SUCCEEDED(hr) || untouched) << "a failed read changed its out value";
    return {hr, FAILED(hr) ? _variant_t() : _variant_t(out, false)};
}

std::wstring text_at(IDeploymentData* data, std::wstring_view key)
{
    const _variant_t value = value_of(data, name(key)).second;
    EXPECT_EQ(value.vt, VT_BSTR);
    return value.vt == VT_BSTR ? text_of(value.bstrVal) : L"";
}

TEST(DeploymentDataNames, ListedInCodeUnitOrderWhateverTheInsertionOrder)
{
    DeploymentData bag;
    const auto data = deployment_data_of(bag);
    ASSERT_TRUE(data);
    EXPECT_TRUE(names_of(data).empty());

    // A character beyond U+FFFF is a surrogate pair in UTF-16 and sorts before U+E000..U+FFFF, although
    // its code point is larger; a lone surrogate is a unit as it stands, on either side of the pair.
    for (const std::wstring_view inserted : {L"b"sv, L"\uFF21"sv, L"\U0001F600"sv, L"a"sv, L"B"sv, L"\u00E4"sv,
                                             L"ab"sv, L""sv, L"a\0b"sv, L"\xDFFF"sv, L"\xD800"sv})
        bag[inserted] = v4(1);
    EXPECT_THAT(names_of(data), ElementsAre(L""sv, L"B"sv, L"a"sv, L"a\0b"sv, L"ab"sv, L"b"sv, L"\u00E4"sv, L"\xD800"sv,
                                            L"\U0001F600"sv, L"\xDFFF"sv, L"\uFF21"sv));
}

TEST(DeploymentDataValues, ReadByExactNameAsCopiesOfTheBagAsItStands)
{
    DeploymentData bag{{L"Host", _variant_t(L"alpha")}, {L"port", v4(1)}, {L"port", v4(8080)}, {L"", _variant_t(true)}};
    const auto data = deployment_data_of(bag);
    EXPECT_EQ(text_at(data, L"Host"), L"alpha");

    // The name ends at its first NUL, a null name is the empty one, and a later pair wins.
    EXPECT_EQ(value_of(data, name(L"port\0ignored"sv)).second.lVal, 8080);
    EXPECT_EQ(value_of(data, nullptr).second.vt, VT_BOOL);
    for (const std::wstring_view absent : {L"host"sv, L"HOST"sv, L"Host "sv, L"por"sv})
        EXPECT_EQ(value_of(data, name(absent)).first, E_INVALIDARG);
    EXPECT_EQ(data->GetValue(name(L"Host"), nullptr), E_POINTER);
    EXPECT_EQ(data->GetNames(nullptr), E_POINTER);

    // Reading a name through the bag creates it, empty; later writes are what the component reads.
    _variant_t& created = bag[L"created"];
    EXPECT_EQ(created.vt, VT_EMPTY);
    EXPECT_THAT(names_of(data), ElementsAre(L"", L"Host", L"created", L"port"));
    EXPECT_EQ(value_of(data, name(L"created")).second.vt, VT_EMPTY);
    created = L"written";
    EXPECT_EQ(text_at(data, L"created"), L"written");
}

TEST(DeploymentDataObject, MovesHandTheObjectOverAndTheComponentMayHoldItLonger)
{
    DeploymentData first{{L"from", _variant_t(L"first")}};
    // How its COM map answers queries is the automation layer's test.
    const CComPtr<IDeploymentData> first_object = deployment_data_of(first);
    DeploymentData moved(std::move(first));
    EXPECT_EQ(deployment_data_of(moved), first_object);
    EXPECT_FALSE(deployment_data_of(first));
    expect_refusal([&] { first[L"from"]; }, L"DeploymentData is null", 0,
                   "Monitor/Collector/Collector.Shell/DeploymentData.cpp");

    moved = DeploymentData{{L"from", _variant_t(L"second")}};
    EXPECT_EQ(text_at(deployment_data_of(moved), L"from"), L"second");
    // The replaced object was let go, and still serves whoever holds it.
    EXPECT_EQ(first_object.p->AddRef(), 2u);
    first_object.p->Release();
    EXPECT_EQ(text_at(first_object, L"from"), L"first");
}

} // namespace
} // namespace shell_test
