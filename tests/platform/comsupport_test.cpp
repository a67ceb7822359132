// The compiler's COM support as the project relies on it: _bstr_t, _variant_t, _com_error,
// _com_ptr_t, the module's error handler and the narrow-text conversions. The same tests build
// against the mingw-w64 headers; the UTF-8 cases are for hosts where narrow text is UTF-8.
#include "platform/fakes.h"
#include "support/fake_error_info.h"
#include "support/fake_class_factory.h"

#include <atlbase.h>
#include <comdef.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace platform_test;

_COM_SMARTPTR_TYPEDEF(ITestAlpha, __uuidof(ITestAlpha));
_COM_SMARTPTR_TYPEDEF(ITestBeta, __uuidof(ITestBeta));

namespace {

// What the test handler throws, so that a test can tell it was called and with which HRESULT.
struct Issued {
    HRESULT hr;
};

void WINAPI throw_issued(HRESULT hr, IErrorInfo* info)
{
    if (info)
        info->Release();
    throw Issued{hr};
}

// The HRESULT that `action` hands to the installed error handler, or S_OK when it hands none.
template <class Action>
HRESULT issued_by(Action action)
{
    struct Installed {
        Installed() { _set_com_error_handler(&throw_issued); }
        ~Installed() { _set_com_error_handler(&_com_raise_error); }
    } installed;
    try {
        action();
    } catch (const Issued& issued) {
        return issued.hr;
    }
    return S_OK;
}

const wchar_t* wide(const _bstr_t& text)
{
    return static_cast<const wchar_t*>(text);
}

} // namespace

TEST(BstrT, CopiesShareOneStringThatOutlivesTheOriginalAndDetachHandsItOver)
{
    auto original = std::make_unique<_bstr_t>(L"shared");
    const _bstr_t copy = *original;
    _bstr_t assigned;
    assigned = copy;
    EXPECT_EQ(wide(copy), wide(*original));
    EXPECT_EQ(wide(assigned), wide(*original));

    original.reset();
    EXPECT_STREQ(wide(copy), L"shared");
    EXPECT_EQ(copy.length(), 6u);

    _bstr_t alone(L"mine");
    BSTR taken = alone.Detach();
    EXPECT_STREQ(taken, L"mine");
    EXPECT_TRUE(!alone);
    SysFreeString(taken);
}

TEST(BstrT, CopiesKeepEmbeddedNulsAndOwnershipFollowsTheFlags)
{
    BSTR source = SysAllocStringLen(L"a\0b", 3);
    const _bstr_t text(source, true);
    SysFreeString(source);
    ASSERT_EQ(text.length(), 3u);

    BSTR copy = text.copy();
    EXPECT_NE(copy, wide(text));
    ASSERT_EQ(SysStringLen(copy), 3u);
    EXPECT_EQ(copy[2], L'b');
    SysFreeString(copy);

    // GetAddress frees this string's reference and hands out an empty slot; a copy keeps the old text.
    _bstr_t target(L"old");
    const _bstr_t keeper = target;
    BSTR* slot = target.GetAddress();
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(L"filled");
    EXPECT_STREQ(wide(target), L"filled");
    EXPECT_STREQ(wide(keeper), L"old");

    target.Attach(SysAllocString(L"attached"));
    EXPECT_STREQ(wide(target), L"attached");
    BSTR assigned = SysAllocString(L"assigned");
    target.Assign(assigned);
    SysFreeString(assigned);
    EXPECT_STREQ(wide(target), L"assigned");
}

TEST(BstrT, ConcatenatesAndComparesByCodeUnit)
{
    const _bstr_t joined = L"<" + (_bstr_t(L"ab") + "c");
    EXPECT_STREQ(wide(joined), L"<abc");
    EXPECT_EQ(joined.length(), 4u);

    // Left, right, and the sign of their order.
    const std::tuple<const wchar_t*, const wchar_t*, int> rows[] = {
        {L"abc", L"abd", -1}, {L"ab", L"abc", -1}, {L"B", L"a", -1}, {L"same", L"same", 0}, {L"b", L"abc", 1},
    };
    for (const auto& [left_text, right_text, order] : rows) {
        const _bstr_t left(left_text), right(right_text);
        EXPECT_EQ((std::array{left < right, left == right, left > right}), (std::array{order < 0, order == 0, order > 0}))
            << ascii(left_text) << " vs " << ascii(right_text);
    }
}

#if !defined(_WIN32) // narrow text is UTF-8 here; on Windows it is the ANSI code page
TEST(BstrT, NarrowTextIsUtf8BothWays)
{
    const char* utf8 = "h\xC3\xA9llo \xE2\x82\xAC \xF0\x9F\x98\x80";
    const _bstr_t text(utf8);
    EXPECT_EQ(std::wstring(wide(text), text.length()), std::wstring(L"h\u00E9llo \u20AC \U0001F600"));
    EXPECT_STREQ(static_cast<const char*>(text), utf8);

    const _bstr_t back(L"\u00E9\U0001F600");
    EXPECT_STREQ(static_cast<const char*>(back), "\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(ComUtil, MalformedTextBecomesOneReplacementPerBadSequence)
{
    const std::pair<const char*, const wchar_t*> rows[] = {
        {"a\x80" "b", L"a\uFFFDb"},            // stray continuation byte
        {"\xE2\x82", L"\uFFFD"},               // sequence cut short
        {"\xE2\x82" "z", L"\uFFFDz"},          // cut short before a character
        {"\xC0\xAF", L"\uFFFD\uFFFD"},         // overlong lead, then a stray byte
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"}, // a surrogate encoded
        {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
        {"\xF0\x9F\x98\x80", L"\U0001F600"},
    };
    for (const auto& [utf8, expected] : rows) {
        BSTR converted = _com_util::ConvertStringToBSTR(utf8);
        EXPECT_EQ(std::wstring(converted, SysStringLen(converted)), std::wstring(expected));
        SysFreeString(converted);
    }

    const wchar_t unpaired[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
    char* narrow = _com_util::ConvertBSTRToString(const_cast<wchar_t*>(unpaired));
    EXPECT_STREQ(narrow, "a\xEF\xBF\xBD\xEF\xBF\xBD");
    delete[] narrow;

    EXPECT_EQ(_com_util::ConvertStringToBSTR(nullptr), nullptr);
    EXPECT_EQ(_com_util::ConvertBSTRToString(nullptr), nullptr);
}
#endif

TEST(VariantT, ConstructorsChooseTheVariantType)
{
    struct Row {
        const char* name;
        _variant_t value;
        VARTYPE vt;
    };
    const Row rows[] = {
        {"short", _variant_t(short(-3)), VT_I2},           {"LONG", _variant_t(LONG(70000)), VT_I4},
        {"float", _variant_t(1.5f), VT_R4},                {"double", _variant_t(2.5), VT_R8},
        {"DATE", _variant_t(45000.5, VT_DATE), VT_DATE},   {"bool", _variant_t(true), VT_BOOL},
        {"short as BOOL", _variant_t(short(7), VT_BOOL), VT_BOOL},
        {"LONG as ERROR", _variant_t(LONG(E_FAIL), VT_ERROR), VT_ERROR},
        {"BYTE", _variant_t(BYTE(200)), VT_UI1},           {"char", _variant_t('x'), VT_I1},
        {"unsigned short", _variant_t(static_cast<unsigned short>(60000)), VT_UI2},
        {"ULONG", _variant_t(ULONG(4000000000u)), VT_UI4}, {"long long", _variant_t(-5LL), VT_I8},
        {"unsigned long long", _variant_t(18000000000000000000ULL), VT_UI8},
        {"wide text", _variant_t(L"wide"), VT_BSTR},       {"narrow text", _variant_t("narrow"), VT_BSTR},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.value.vt, row.vt) << row.name;

    EXPECT_EQ(rows[6].value.boolVal, VARIANT_TRUE);
    EXPECT_EQ(rows[7].value.scode, E_FAIL);
    EXPECT_EQ(rows[11].value.ulVal, 4000000000u);
    EXPECT_STREQ(rows[15].value.bstrVal, L"narrow");

    EXPECT_EQ(issued_by([] { _variant_t bad(short(1), VT_R8); }), E_INVALIDARG);
    EXPECT_EQ(issued_by([] { _variant_t bad(LONG(1), VT_UI4); }), E_INVALIDARG);
    EXPECT_EQ(issued_by([] { _variant_t bad(1.0, VT_I4); }), E_INVALIDARG);
}

// The conversions are the table's (VariantChangeType); here extractors of each kind and their failures.
TEST(VariantT, ExtractorsConvertAndReportFailuresThroughTheHandler)
{
    EXPECT_EQ(static_cast<LONG>(_variant_t(L"42")), 42);
    EXPECT_TRUE(static_cast<bool>(_variant_t(LONG(5))));
    EXPECT_STREQ(wide(_bstr_t{_variant_t(LONG(-12))}), L"-12");

    EXPECT_EQ(issued_by([] { (void)static_cast<LONG>(_variant_t(L"abc")); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(issued_by([] { (void)static_cast<BYTE>(_variant_t(LONG(256))); }), DISP_E_OVERFLOW);

    // The default handler throws _com_error.
    try {
        (void)static_cast<LONG>(_variant_t(L"abc"));
        ADD_FAILURE() << "no exception";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), DISP_E_TYPEMISMATCH);
    }
}

TEST(VariantT, AssignmentKeepsBoolDateAndErrorTypes)
{
    _variant_t flag(true), when(45000.0, VT_DATE), code(LONG(E_FAIL), VT_ERROR), text(L"replaced");
    flag = short(0);
    when = 45001.5;
    code = LONG(E_ABORT);
    text = LONG(3);
    EXPECT_EQ((std::array{flag.vt, when.vt, code.vt, text.vt}),
              (std::array<VARTYPE, 4>{VT_BOOL, VT_DATE, VT_ERROR, VT_I4}));
    EXPECT_EQ(flag.boolVal, VARIANT_FALSE);
    EXPECT_EQ(when.date, 45001.5);
    EXPECT_EQ(code.scode, E_ABORT);
    text = L"again";
    EXPECT_STREQ(text.bstrVal, L"again");
}

TEST(VariantT, HoldsInterfacesWithBalancedReferences)
{
    auto alpha = fake::hold<FakeAlpha>("alpha");
    IUnknown* unknown = alpha->unknown();
    _variant_t held(unknown);
    EXPECT_EQ(alpha->references(), 2u);
    const _variant_t copy(held);
    EXPECT_EQ(alpha->references(), 3u);

    IUnknown* extracted = static_cast<IUnknown*>(held);
    EXPECT_EQ(extracted, unknown);
    EXPECT_EQ(alpha->references(), 4u);
    extracted->Release();

    _variant_t replaced(held);
    replaced = LONG(1);
    EXPECT_EQ(alpha->references(), 3u);
    held.Clear();
    EXPECT_EQ(held.vt, VT_EMPTY);
    EXPECT_EQ(alpha->references(), 2u);

    unknown->AddRef();
    _variant_t adopted(unknown, false);
    VARIANT detached = adopted.Detach();
    EXPECT_EQ(adopted.vt, VT_EMPTY);
    _variant_t reattached;
    reattached.Attach(detached);
    EXPECT_EQ(detached.vt, VT_EMPTY);
    EXPECT_EQ(alpha->references(), 3u);
}

TEST(VariantT, ChangeTypeConvertsInPlaceAndKeepsTheValueOnFailure)
{
    _variant_t number(L"12");
    number.ChangeType(VT_I4);
    EXPECT_EQ(number.vt, VT_I4);
    EXPECT_EQ(number.lVal, 12);

    _variant_t target;
    target.ChangeType(VT_BSTR, &number);
    EXPECT_STREQ(target.bstrVal, L"12");

    _variant_t text(L"abc");
    EXPECT_EQ(issued_by([&] { text.ChangeType(VT_I4); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(text.vt, VT_BSTR);
    EXPECT_STREQ(text.bstrVal, L"abc");
}

TEST(VariantT, EqualityComparesTypeAndValue)
{
    EXPECT_TRUE(_variant_t(LONG(5)) == _variant_t(LONG(5)));
    EXPECT_FALSE(_variant_t(LONG(5)) == _variant_t(short(5)));
    EXPECT_FALSE(_variant_t(2.0) == _variant_t(2.5));

    // Texts compare over their whole length, embedded NULs included.
    _variant_t left;
    left.vt = VT_BSTR;
    left.bstrVal = SysAllocStringLen(L"a\0b", 3);
    _variant_t right;
    right.vt = VT_BSTR;
    right.bstrVal = SysAllocStringLen(L"a\0c", 3);
    EXPECT_FALSE(left == right);
    const _variant_t same(left);
    EXPECT_TRUE(left == same);
}

// The project defines vtMissing itself in both builds: nothing else would notice a wrong value.
TEST(VariantT, VtMissingMarksAnOmittedArgument)
{
    EXPECT_EQ(vtMissing.vt, VT_ERROR);
    EXPECT_EQ(vtMissing.scode, DISP_E_PARAMNOTFOUND);
}

TEST(ComError, SharesItsErrorInfoWithCopies)
{
    auto info = fake::hold<fake::ErrorInfo>("info");
    const _com_error first(E_FAIL, info.get(), true);
    EXPECT_EQ(info->references(), 2u);
    const _com_error copy(first);
    EXPECT_EQ(info->references(), 3u);

    _com_error assigned(E_ABORT);
    assigned = copy;
    EXPECT_EQ(assigned.Error(), E_FAIL);
    EXPECT_EQ(info->references(), 4u);

    IErrorInfo* given = copy.ErrorInfo();
    EXPECT_EQ(given, static_cast<IErrorInfo*>(info.get()));
    EXPECT_EQ(info->references(), 5u);
    given->Release();

    assigned = _com_error(E_ABORT);
    EXPECT_EQ(info->references(), 3u);
}

// Description and Source are read by the kernel's raiser, whose tests pin them; here the rest.
TEST(ComError, ReadsTheTextsOfItsErrorInfo)
{
    auto info = fake::hold<fake::ErrorInfo>("info");
    const _com_error error(E_FAIL, info.get(), true);
    EXPECT_EQ(ascii(wide(error.HelpFile())), "help.chm");
    EXPECT_EQ(error.HelpContext(), 42u);
    EXPECT_EQ(error.GUID_(), fake::ErrorInfo::guid);

    const _com_error bare(E_FAIL);
    EXPECT_TRUE(!bare.Description() && !bare.Source() && !bare.HelpFile());
    EXPECT_EQ(bare.HelpContext(), 0u);
    EXPECT_EQ(bare.GUID_(), GUID_NULL);
    EXPECT_EQ(bare.ErrorInfo(), nullptr);
}

TEST(ComError, RaiseErrorThrowsAndTakesOverTheErrorInfo)
{
    auto info = fake::hold<fake::ErrorInfo>("raised");
    info->AddRef(); // the reference handed to the raiser
    try {
        _com_raise_error(E_ACCESSDENIED, info.get());
        ADD_FAILURE() << "no exception";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_ACCESSDENIED);
        EXPECT_EQ(info->references(), 2u);
    } // the ledger sees the reference given back with the exception

    EXPECT_THROW(_com_issue_error(E_NOTIMPL), _com_error);
    EXPECT_EQ(issued_by([] { _com_issue_error(E_NOTIMPL); }), E_NOTIMPL);
}

TEST(ComError, DispatchCodesAndFallbackMessages)
{
    const HRESULT dispatch = _com_error::WCodeToHRESULT(0x1234);
    EXPECT_EQ(static_cast<ULONG>(dispatch), 0x80041434u);
    EXPECT_EQ(_com_error::HRESULTToWCode(dispatch), 0x1234);
    EXPECT_EQ(static_cast<ULONG>(_com_error::WCodeToHRESULT(0xFE00)), 0x8004FFFFu);
    EXPECT_EQ(_com_error(E_FAIL).WCode(), 0);

    EXPECT_EQ(ascii(_com_error(dispatch).ErrorMessage()), "IDispatch error #4660");
    EXPECT_EQ(ascii(_com_error(static_cast<HRESULT>(0x80001234)).ErrorMessage()), "Unknown error 0x80001234");
}

// What _com_ptr_t shares with CComPtr: the counts of copies, assignments, Release and Detach, and the
// query of an assignment from another interface. What each does of its own is tested apart.
// Each family as a pair: its pointer to ITestAlpha, and to ITestBeta.
template <class Pointers>
class SmartPointer : public testing::Test {};
using Families = testing::Types<std::pair<ATL::CComPtr<ITestAlpha>, ATL::CComPtr<ITestBeta>>,
                                std::pair<ITestAlphaPtr, ITestBetaPtr>>;
TYPED_TEST_SUITE(SmartPointer, Families);

TYPED_TEST(SmartPointer, CountsReferencesThroughCopiesAssignmentsReleaseAndDetach)
{
    auto alpha = fake::hold<FakeAlpha>("alpha");
    ITestAlpha* raw = alpha.get();
    typename TypeParam::first_type first(raw);
    const typename TypeParam::first_type copy(first);
    typename TypeParam::first_type assigned;
    assigned = copy;
    EXPECT_EQ(alpha->references(), 4u);
    assigned = first; // the same object again
    EXPECT_EQ(alpha->references(), 4u);

    first.Release();
    EXPECT_EQ(static_cast<ITestAlpha*>(first), nullptr);
    EXPECT_EQ(alpha->references(), 3u);
    ITestAlpha* detached = assigned.Detach();
    EXPECT_EQ(detached, raw);
    EXPECT_EQ(static_cast<ITestAlpha*>(assigned), nullptr);
    assigned.Attach(detached); // takes the reference over; the ledger sees every one given back
    EXPECT_EQ(alpha->references(), 3u);
}

TYPED_TEST(SmartPointer, AssignmentFromAnotherInterfaceQueriesAndARefusalEmptiesThePointer)
{
    auto both = fake::hold<FakeAlphaBeta>("both");
    auto alpha_only = fake::hold<FakeAlpha>("alpha only");
    const typename TypeParam::first_type alpha(static_cast<ITestAlpha*>(both.get()));
    const typename TypeParam::first_type other(static_cast<ITestAlpha*>(alpha_only.get()));
    typename TypeParam::second_type beta;
    beta = alpha;
    EXPECT_EQ(static_cast<ITestBeta*>(beta), static_cast<ITestBeta*>(both.get()));
    EXPECT_EQ(both->references(), 3u);
    beta = other; // releases what it held
    EXPECT_EQ(static_cast<ITestBeta*>(beta), nullptr);
    EXPECT_EQ(both->references(), 2u);
}

// Moving copies (there is no move constructor); an adopted reference is not added to.
TEST(ComPtrT, MovingCopiesAndAdoptingAddsNothing)
{
    auto alpha = fake::hold<FakeAlpha>("alpha");
    ITestAlpha* raw = alpha.get();
    ITestAlphaPtr first(raw);
    std::vector<ITestAlphaPtr> many(3, first);
    EXPECT_EQ(alpha->references(), 5u);
    many.push_back(std::move(first));
    EXPECT_EQ(alpha->references(), 6u);

    first = nullptr;
    EXPECT_FALSE(static_cast<bool>(first));
    raw->AddRef();
    const ITestAlphaPtr adopted(raw, false);
    EXPECT_EQ(alpha->references(), 6u);
}

TEST(ComPtrT, ConstructionFromAnotherInterfaceQueriesWithoutIssuingARefusal)
{
    auto both = fake::hold<FakeAlphaBeta>("both");
    auto alpha_only = fake::hold<FakeAlpha>("alpha only");
    ITestAlphaPtr alpha(static_cast<ITestAlpha*>(both.get()));
    ITestBetaPtr beta(alpha);
    EXPECT_EQ(beta.GetInterfacePtr(), static_cast<ITestBeta*>(both.get()));
    EXPECT_TRUE(beta == static_cast<ITestAlpha*>(alpha)); // same object through another interface

    ITestBetaPtr none;
    EXPECT_EQ(issued_by([&] { none = ITestBetaPtr(static_cast<ITestAlpha*>(alpha_only.get())); }), S_OK);
    EXPECT_FALSE(static_cast<bool>(none));
    EXPECT_EQ(issued_by([&] { none = alpha_only->unknown(); }), S_OK);
    EXPECT_FALSE(alpha == static_cast<ITestAlpha*>(alpha_only.get()));
}

// Detach and Attach without a reference of its own are shared with CComPtr (SmartPointer).
TEST(ComPtrT, AddressOfReleasesAndAttachCanAddAReference)
{
    auto alpha = fake::hold<FakeAlpha>("alpha");
    ITestAlpha* raw = alpha.get();
    ITestAlphaPtr pointer(raw);
    ITestAlpha** slot = &pointer;
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(alpha->references(), 1u);

    raw->AddRef();
    *slot = raw; // as a callee fills an [out] parameter
    EXPECT_EQ(pointer.GetInterfacePtr(), raw);
    pointer.Attach(raw, true); // lets go of the reference it held
    EXPECT_EQ(alpha->references(), 2u);
    pointer.Release();

    EXPECT_EQ(issued_by([&] { pointer->Alpha(); }), E_POINTER);
    EXPECT_EQ(issued_by([&] { pointer.Release(); }), E_POINTER);
    EXPECT_EQ(issued_by([] { ITestAlphaPtr bad(1); }), E_POINTER);
}

TEST(ComPtrT, TakesInterfacesFromVariants)
{
    auto both = fake::hold<FakeAlphaBeta>("both");
    const _variant_t holder(both->unknown());
    const ITestBetaPtr beta(holder);
    EXPECT_EQ(beta.GetInterfacePtr(), static_cast<ITestBeta*>(both.get()));
    EXPECT_EQ(both->references(), 3u);
    EXPECT_TRUE(FAILED(issued_by([] { ITestBetaPtr bad{_variant_t(LONG(3))}; })));
}

TEST(ComPtrT, CreateInstanceFindsRegisteredClassesOnly)
{
    static constexpr CLSID clsid = {0x6a1f0c2e, 0x41d3, 0x4b7a, {0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x10}};
    const fake::Apartment apartment;
    ITestBetaPtr created;
    {
        const fake::ServedClass served(clsid, [] { return fake::make<FakeAlphaBeta>("created")->unknown(); });
        EXPECT_EQ(created.CreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER), S_OK);
        EXPECT_TRUE(static_cast<bool>(created));

        ITestBetaPtr by_text;
        EXPECT_EQ(by_text.CreateInstance(L"{6A1F0C2E-41D3-4B7A-9E01-3C557210AA10}"), S_OK);
        EXPECT_TRUE(static_cast<bool>(by_text));
        EXPECT_EQ(served.factory().instances_created(), 2);
    }
    EXPECT_EQ(created.CreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(static_cast<bool>(created));
    EXPECT_EQ(created.CreateInstance(L"No.Such.Class"), CO_E_CLASSSTRING);
}
