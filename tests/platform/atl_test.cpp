// The ATL subset: smart-pointer reference counts, COM objects and their interface maps,
// CComSafeArray bounds and element ownership, COleDateTime and COleDateTimeSpan.
#include "platform/fakes.h"

#include <atlbase.h>
#include <atlcom.h>
#include <atlcomtime.h>
#include <atlsafe.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <limits>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

using namespace platform_test;

// Two interfaces that both derive from ITestAlpha, for an object that inherits it twice.
struct ITestGamma : ITestAlpha {
    virtual HRESULT STDMETHODCALLTYPE Gamma() = 0;
};
__CRT_UUID_DECL(ITestGamma, 0x6a1f0c2e, 0x41d3, 0x4b7a, 0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x21)
struct ITestDelta : ITestAlpha {
    virtual HRESULT STDMETHODCALLTYPE Delta() = 0;
};
__CRT_UUID_DECL(ITestDelta, 0x6a1f0c2e, 0x41d3, 0x4b7a, 0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x22)

namespace {

constexpr IID kAlphaIid = {0x6a1f0c2e, 0x41d3, 0x4b7a, {0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x01}};
constexpr IID kAliasIid = {0x6a1f0c2e, 0x41d3, 0x4b7a, {0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x23}};

// An object that inherits ITestAlpha twice, once through each of its interfaces. FinalConstruct and
// FinalRelease each take and drop a reference to it, as registering it elsewhere would: neither may
// destroy it, and FinalRelease must not destroy it again.
class ATL_NO_VTABLE CDiamond : public CComObjectRootEx<CComMultiThreadModel>, public ITestGamma, public ITestDelta {
public:
    DECLARE_PROTECT_FINAL_CONSTRUCT()
    BEGIN_COM_MAP(CDiamond)
        COM_INTERFACE_ENTRY(ITestGamma)
        COM_INTERFACE_ENTRY(ITestDelta)
        COM_INTERFACE_ENTRY2(ITestAlpha, ITestDelta)
        COM_INTERFACE_ENTRY_IID(kAliasIid, ITestGamma)
    END_COM_MAP()

    ~CDiamond() { ++destroyed; }
    HRESULT FinalConstruct()
    {
        GetUnknown()->AddRef();
        GetUnknown()->Release();
        return construct_result;
    }
    void FinalRelease()
    {
        GetUnknown()->AddRef();
        GetUnknown()->Release();
        ++final_released;
    }
    HRESULT STDMETHODCALLTYPE Alpha() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Gamma() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Delta() override { return S_OK; }

    static inline std::atomic<int> final_released{0}, destroyed{0};
    static inline HRESULT construct_result = S_OK;
};

// Year, month, day, hour, minute, second, day of the week and of the year.
std::array<int, 8> parts_of(const COleDateTime& date)
{
    return {date.GetYear(),   date.GetMonth(),  date.GetDay(),       date.GetHour(),
            date.GetMinute(), date.GetSecond(), date.GetDayOfWeek(), date.GetDayOfYear()};
}

// Lower bound, upper bound and count.
template <class T>
std::tuple<LONG, LONG, ULONG> shape_of(const CComSafeArray<T>& array)
{
    return {array.GetLowerBound(), array.GetUpperBound(), array.GetCount()};
}

// The HRESULT of the CAtlException that `action` throws, or S_OK when it throws none.
template <class Action>
HRESULT atl_thrown_by(Action action)
{
    try {
        action();
    } catch (const CAtlException& exception) {
        return exception;
    }
    return S_OK;
}

} // namespace

// What CComPtr shares with _com_ptr_t is tested over both (comsupport_test.cpp); here what it does of its own.
TEST(CComPtr, MovesEmptyTheSourceAndCopyToAndQueryInterfaceAddAReference)
{
    auto both = fake::hold<FakeAlphaBeta>("both");
    auto alpha_only = fake::hold<FakeAlpha>("alpha only");
    ITestAlpha* raw = both.get();
    CComPtr<ITestAlpha> first(raw);
    CComPtr<ITestAlpha> moved(std::move(first));
    EXPECT_EQ(first.p, nullptr);
    CComPtr<ITestAlpha> assigned(raw);
    assigned = std::move(moved);
    EXPECT_EQ(moved.p, nullptr);
    EXPECT_EQ(both->references(), 2u);

    ITestAlpha* out = nullptr;
    EXPECT_EQ(assigned.CopyTo(&out), S_OK);
    EXPECT_EQ(out, raw);
    EXPECT_EQ(both->references(), 3u);
    out->Release();

    CComPtr<ITestBeta> queried, refused;
    EXPECT_EQ(assigned.QueryInterface(&queried), S_OK);
    EXPECT_EQ(both->references(), 3u);
    EXPECT_TRUE(queried.IsEqualObject(assigned));
    const CComPtr<ITestAlpha> other(static_cast<ITestAlpha*>(alpha_only.get()));
    EXPECT_FALSE(queried.IsEqualObject(other));
    EXPECT_EQ(other.QueryInterface(&refused), E_NOINTERFACE);
    EXPECT_EQ(refused.p, nullptr);
}

TEST(CComQIPtr, QueriesWhenGivenAnotherInterface)
{
    auto both = fake::hold<FakeAlphaBeta>("both");
    auto alpha_only = fake::hold<FakeAlpha>("alpha only");
    CComQIPtr<ITestBeta> beta(both->unknown());
    EXPECT_EQ(beta.p, static_cast<ITestBeta*>(both.get()));
    const CComQIPtr<ITestBeta> missing(alpha_only->unknown());
    EXPECT_TRUE(!missing);

    const CComQIPtr<ITestBeta> direct(static_cast<ITestBeta*>(both.get()));
    const CComQIPtr<ITestAlpha, &kAlphaIid> by_id(static_cast<IUnknown*>(direct));
    EXPECT_EQ(by_id.p, static_cast<ITestAlpha*>(both.get()));
    // CComQIPtr<IUnknown> asks for the identity, whatever interface it is given.
    const CComQIPtr<IUnknown> identity(static_cast<IUnknown*>(static_cast<ITestBeta*>(both.get())));
    EXPECT_EQ(identity.p, both->unknown());
    EXPECT_EQ(both->references(), 5u);

    beta = alpha_only->unknown();
    EXPECT_TRUE(!beta);
    EXPECT_EQ(both->references(), 4u);
}

TEST(ComMap, AnswersTheListedInterfacesAndRefusesOthers)
{
    auto* object = new CComObjectNoLock<CDiamond>();
    EXPECT_EQ(object->AddRef(), 1u);

    // Interface asked for, and the pointer expected.
    const std::tuple<const char*, IID, void*> rows[] = {
        {"IUnknown", __uuidof(IUnknown), static_cast<IUnknown*>(static_cast<ITestGamma*>(object))},
        {"ITestGamma", __uuidof(ITestGamma), static_cast<ITestGamma*>(object)},
        {"ITestDelta", __uuidof(ITestDelta), static_cast<ITestDelta*>(object)},
        {"ITestAlpha, the branch the second entry names", __uuidof(ITestAlpha),
         static_cast<ITestAlpha*>(static_cast<ITestDelta*>(object))},
        {"alias of ITestGamma", kAliasIid, static_cast<ITestGamma*>(object)},
    };
    for (const auto& [name, iid, expected] : rows) {
        void* out = nullptr;
        ASSERT_EQ(object->QueryInterface(iid, &out), S_OK) << name;
        EXPECT_EQ(out, expected) << name;
        EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u) << name;
    }
    EXPECT_EQ(static_cast<void*>(object->GetUnknown()), std::get<2>(rows[0]));

    void* out = &out;
    EXPECT_EQ(object->QueryInterface(__uuidof(IDispatch), &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->QueryInterface(__uuidof(ITestAlpha), nullptr), E_POINTER);

    EXPECT_EQ(object->Release(), 0u); // and destroys it, which the next test counts
}

TEST(CComObjectNoLock, DestroysItselfOnceWhenTheLastReferenceGoes)
{
    CDiamond::destroyed = 0;
    CDiamond::final_released = 0;
    auto* object = new CComObjectNoLock<CDiamond>();
    object->AddRef();

    // Counts stay exact under concurrent AddRef/Release.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([object] {
            for (int i = 0; i < 20000; ++i) {
                object->AddRef();
                object->Release();
            }
        });
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(CDiamond::destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(CDiamond::final_released, 1);
    EXPECT_EQ(CDiamond::destroyed, 1);
}

TEST(CComObject, CreateInstanceRunsFinalConstructAndDropsFailures)
{
    CDiamond::destroyed = 0;
    CDiamond::construct_result = S_OK;
    CComObject<CDiamond>* created = nullptr;
    ASSERT_EQ(CComObject<CDiamond>::CreateInstance(&created), S_OK);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(CDiamond::destroyed, 0);
    EXPECT_EQ(created->AddRef(), 1u); // created with a count of zero
    EXPECT_EQ(created->Release(), 0u);
    EXPECT_EQ(CDiamond::destroyed, 1);

    CDiamond::construct_result = E_ACCESSDENIED;
    EXPECT_EQ(CComObject<CDiamond>::CreateInstance(&created), E_ACCESSDENIED);
    EXPECT_EQ(created, nullptr);
    EXPECT_EQ(CDiamond::destroyed, 2);
    CDiamond::construct_result = S_OK;

    EXPECT_EQ(CComObject<CDiamond>::CreateInstance(nullptr), E_POINTER);
}

TEST(CComSafeArray, BoundsCountsAndIndexChecks)
{
    CComSafeArray<LONG> numbers;
    EXPECT_EQ(numbers.GetCount(), 0u);
    ASSERT_EQ(numbers.Create(3, 1), S_OK);
    EXPECT_EQ(shape_of(numbers), std::tuple(1, 3, 3u));
    EXPECT_EQ(numbers.GetDimensions(), 1u);
    EXPECT_EQ(numbers.GetType(), VT_I4);
    for (LONG i = 1; i <= 3; ++i)
        ASSERT_EQ(numbers.SetAt(i, i * 10), S_OK);
    EXPECT_EQ(numbers.GetAt(1), 10);
    EXPECT_EQ(numbers[3], 30);

    for (const LONG outside : {0, 4, -1}) {
        EXPECT_EQ(numbers.SetAt(outside, 1), E_INVALIDARG) << outside;
        EXPECT_EQ(atl_thrown_by([&] { numbers.GetAt(outside); }), E_INVALIDARG) << outside;
    }

    EXPECT_EQ(numbers.Add(40), S_OK);
    EXPECT_EQ(shape_of(numbers), std::tuple(1, 4, 4u));
    EXPECT_EQ(numbers[4], 40);
    EXPECT_EQ(numbers.Resize(2, 5), S_OK);
    EXPECT_EQ(shape_of(numbers), std::tuple(5, 6, 2u));

    CComSafeArray<LONG> moved(std::move(numbers));
    EXPECT_EQ(numbers.m_psa, nullptr);
    EXPECT_EQ(shape_of(moved), std::tuple(5, 6, 2u));
    EXPECT_EQ(shape_of(CComSafeArray<LONG>(ULONG{0})), std::tuple(0, -1, 0u));
}

TEST(CComSafeArray, StaysLockedWhileHeldAndAttachesOnlyItsElementType)
{
    CComSafeArray<BSTR> held(2);
    EXPECT_EQ(SafeArrayDestroy(held.m_psa), DISP_E_ARRAYISLOCKED);
    SAFEARRAY* detached = held.Detach();
    EXPECT_EQ(held.m_psa, nullptr);
    EXPECT_EQ(SafeArrayDestroy(detached), S_OK);

    SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 2);
    CComSafeArray<LONG> numbers;
    EXPECT_EQ(numbers.Attach(texts), E_INVALIDARG);
    EXPECT_EQ(numbers.Attach(nullptr), E_INVALIDARG);
    EXPECT_EQ(numbers.m_psa, nullptr);
    CComSafeArray<BSTR> owner;
    EXPECT_EQ(owner.Attach(texts), S_OK);
    EXPECT_EQ(owner.m_psa, texts);

    // VT_INT elements are stored as VT_I4 ones are.
    SAFEARRAY* ints = SafeArrayCreateVector(VT_INT, 0, 1);
    EXPECT_EQ(numbers.Attach(ints), S_OK);
    EXPECT_EQ(CComSafeArray<LONGLONG>(1u).GetType(), VT_I8);
}

TEST(CComSafeArray, CopiesOrAdoptsTextsAndFreesWhatItHolds)
{
    CComSafeArray<BSTR> texts;
    BSTR original = SysAllocString(L"first");
    ASSERT_EQ(texts.Add(original), S_OK);
    EXPECT_NE(texts.GetAt(0), original);
    EXPECT_STREQ(texts.GetAt(0), L"first");
    SysFreeString(original);

    BSTR adopted = SysAllocString(L"second");
    ASSERT_EQ(texts.Add(adopted, FALSE), S_OK);
    EXPECT_EQ(texts.GetAt(1), adopted);
    // The array frees "second" when it takes the replacement.
    ASSERT_EQ(texts.SetAt(1, SysAllocString(L"third"), FALSE), S_OK);
    EXPECT_STREQ(texts.GetAt(1), L"third");

    const CComSafeArray<BSTR> copy(texts);
    EXPECT_NE(copy.GetAt(1), texts.GetAt(1));
    EXPECT_STREQ(copy.GetAt(1), L"third");

    CComSafeArray<BSTR> appended(copy);
    ASSERT_EQ(appended.Add(texts), S_OK);
    EXPECT_EQ(appended.GetCount(), 4u);
    EXPECT_STREQ(appended.GetAt(3), L"third");
    EXPECT_NE(appended.GetAt(3), texts.GetAt(1));

    ASSERT_EQ(texts.Resize(1), S_OK);
    EXPECT_EQ(texts.GetCount(), 1u);
    EXPECT_STREQ(texts.GetAt(0), L"first");
}

TEST(CComSafeArray, HoldsInterfacesAndVariantsWithBalancedReferences)
{
    auto alpha = fake::hold<FakeAlpha>("alpha");
    IUnknown* unknown = alpha->unknown();
    CComSafeArray<IUnknown*> objects(2u);
    ASSERT_EQ(objects.SetAt(0, unknown), S_OK);
    ASSERT_EQ(objects.SetAt(1, unknown, FALSE), S_OK); // interfaces are AddRef'd whatever bCopy says
    EXPECT_EQ(alpha->references(), 3u);
    ASSERT_EQ(objects.SetAt(0, nullptr), S_OK);
    EXPECT_EQ(alpha->references(), 2u);

    VARIANT borrowed{};
    borrowed.vt = VT_UNKNOWN;
    borrowed.punkVal = unknown;
    CComSafeArray<VARIANT> values(1u);
    ASSERT_EQ(values.SetAt(0, borrowed), S_OK);
    ASSERT_EQ(values.Add(borrowed), S_OK);
    EXPECT_EQ(alpha->references(), 4u);

    CComSafeArray<VARIANT> appended;
    ASSERT_EQ(appended.Add(values), S_OK);
    EXPECT_EQ(alpha->references(), 6u);
}

TEST(CComBSTR, OwnsCopiesAppendsAndCompares)
{
    const CComBSTR text(L"abc");
    CComBSTR copy(text);
    EXPECT_NE(copy.m_str, text.m_str);
    EXPECT_TRUE(copy == text);

    copy += L"def";
    copy += text;
    EXPECT_TRUE(copy == L"abcdefabc");
    EXPECT_EQ(copy.Length(), 9u);
    EXPECT_TRUE(text < copy);

    const CComBSTR embedded(3, L"a\0b");
    EXPECT_EQ(CComBSTR(embedded).Length(), 3u);
    EXPECT_FALSE(embedded == L"a");

    CComBSTR moved(std::move(copy));
    EXPECT_EQ(copy.m_str, nullptr);
    EXPECT_TRUE(copy == nullptr);
    EXPECT_TRUE(copy == CComBSTR(L"")); // NULL and "" are the same text

    EXPECT_TRUE(CComBSTR(__uuidof(ITestAlpha)) == L"{6A1F0C2E-41D3-4B7A-9E01-3C557210AA01}");
}

TEST(COleDateTime, PartsRoundTripThroughTheDateValue)
{
    struct Row {
        int year, month, day, hour, minute, second;
        DATE value;
        int day_of_week, day_of_year;
    };
    const Row rows[] = {
        {1899, 12, 30, 0, 0, 0, 0.0, 7, 364},
        {1899, 12, 29, 6, 0, 0, -1.25, 6, 363},
        {1900, 1, 1, 0, 0, 0, 2.0, 2, 1},
        {2023, 3, 15, 18, 0, 0, 45000.75, 4, 74},
        {2024, 12, 31, 23, 59, 59, 45657 + 86399.0 / 86400, 3, 366},
        {1776, 7, 4, 12, 0, 0, -45103.5, 5, 186},
        {100, 1, 1, 0, 0, 0, -657434.0, 6, 1},
        {9999, 12, 31, 23, 59, 59, 2958465 + 86399.0 / 86400, 6, 365},
    };
    for (const Row& row : rows) {
        const COleDateTime built(row.year, row.month, row.day, row.hour, row.minute, row.second);
        ASSERT_EQ(built.GetStatus(), COleDateTime::valid) << row.value;
        EXPECT_NEAR(built.m_dt, row.value, 1e-9) << row.value;

        const COleDateTime read(row.value);
        EXPECT_EQ(parts_of(read), (std::array{row.year, row.month, row.day, row.hour, row.minute, row.second,
                                              row.day_of_week, row.day_of_year}))
            << row.value;
    }

    // Parts are read to the nearest second, carrying into the next day.
    EXPECT_EQ(COleDateTime(45000 + 0.5 / 86400).GetSecond(), 1);
    EXPECT_EQ(parts_of(COleDateTime(45000 + 86399.6 / 86400)), (std::array{2023, 3, 16, 0, 0, 0, 5, 75}));

    // Day 0 is the last day of the previous month.
    COleDateTime day_zero;
    EXPECT_EQ(day_zero.SetDate(2024, 3, 0), 0);
    EXPECT_EQ(parts_of(day_zero), (std::array{2024, 2, 29, 0, 0, 0, 5, 60}));
}

TEST(COleDateTime, InvalidPartsAndValuesMarkTheObjectInvalid)
{
    struct Row {
        int year, month, day, hour, minute, second;
    };
    const Row rows[] = {
        {2023, 2, 29, 0, 0, 0}, {2023, 4, 31, 0, 0, 0}, {2023, 1, 32, 0, 0, 0},  {2023, 13, 1, 0, 0, 0},
        {2023, 0, 1, 0, 0, 0},  {99, 12, 31, 0, 0, 0},  {10000, 1, 1, 0, 0, 0},  {2023, 1, 1, 24, 0, 0},
        {2023, 1, 1, 0, 60, 0}, {2023, 1, 1, 0, 0, 60}, {2023, 1, 1, -1, 0, 0},  {100, 1, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        COleDateTime date(2023, 3, 15, 0, 0, 0);
        SCOPED_TRACE(testing::Message() << row.year << "-" << row.month << "-" << row.day << " " << row.hour << ":"
                                        << row.minute << ":" << row.second);
        EXPECT_EQ(date.SetDateTime(row.year, row.month, row.day, row.hour, row.minute, row.second), 1);
        EXPECT_EQ(std::tuple(date.GetStatus(), date.m_dt, date.GetYear()),
                  std::tuple(COleDateTime::invalid, 45000.0, int(COleDateTime::error)));
    }

    for (const DATE outside : {-657435.0, 2958466.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(COleDateTime(outside).GetStatus(), COleDateTime::invalid) << outside;
    EXPECT_EQ(COleDateTime(-657434.5).GetYear(), 100);
}

TEST(COleDateTime, ArithmeticAndOrderFollowTimeAcrossDayZero)
{
    const COleDateTime morning(-1.25), evening(-1.75); // 1899-12-29 06:00 and 18:00
    EXPECT_LT(morning, evening);
    EXPECT_GT(morning.m_dt, evening.m_dt);

    const COleDateTimeSpan twelve_hours(0, 12, 0, 0);
    EXPECT_EQ((morning + twelve_hours).m_dt, -1.75);
    EXPECT_EQ((morning + COleDateTimeSpan(1, 0, 0, 0)).m_dt, 0.25);
    EXPECT_EQ((COleDateTime(0.25) - twelve_hours).m_dt, -1.75);
    EXPECT_EQ((evening - morning).GetTotalHours(), 12.0);
    EXPECT_EQ((COleDateTime(0.25) - morning).GetTotalHours(), 24.0);
    EXPECT_EQ((twelve_hours - COleDateTimeSpan(0, 1, 0, 0)).GetTotalHours(), 11.0);
    EXPECT_EQ((twelve_hours / 4.0).GetHours(), 3);
    EXPECT_TRUE(twelve_hours == COleDateTimeSpan(0, 0, 720, 0));

    COleDateTime moving(2023, 3, 15, 18, 0, 0);
    moving -= COleDateTimeSpan(45000, 18, 0, 0);
    EXPECT_EQ(moving.m_dt, 0.0);
    moving += COleDateTimeSpan(0, -6, 0, 0);
    EXPECT_EQ(moving, evening);
}

// Of dates and spans alike: invalid values equal nothing and order with nothing; null ones equal each other.
// Results take the worse status of their operands through one helper, checked here on dates.
TEST(COleDateTime, StatusesPropagateThroughArithmeticAndComparison)
{
    const COleDateTime valid(2023, 3, 15, 0, 0, 0), invalid(2023, 2, 30, 0, 0, 0), other_invalid = invalid;
    COleDateTime nulled;
    nulled.SetStatus(COleDateTime::null);
    const COleDateTimeSpan day(1, 0, 0, 0), broken = day / 0.0;
    COleDateTimeSpan null_span;
    null_span.SetStatus(COleDateTimeSpan::null);

    EXPECT_EQ((invalid + day).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ((nulled + day).GetStatus(), COleDateTime::null);
    EXPECT_EQ((valid + COleDateTimeSpan(1e9)).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ((COleDateTime(9999, 12, 31, 0, 0, 0) + day).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ((valid - nulled).GetStatus(), COleDateTimeSpan::null);
    EXPECT_EQ(broken.GetStatus(), COleDateTimeSpan::invalid);

    EXPECT_FALSE(invalid == other_invalid);
    EXPECT_TRUE(nulled == COleDateTime(nulled));
    EXPECT_FALSE(invalid < valid);
    EXPECT_FALSE(valid < invalid);
    EXPECT_TRUE(valid == COleDateTime(45000.0));
    EXPECT_FALSE(broken == COleDateTimeSpan(broken));
    EXPECT_TRUE(null_span == COleDateTimeSpan(null_span));
    EXPECT_FALSE(broken < day);
}

TEST(COleDateTime, ParsesAndFormatsThroughOleAutomation)
{
    COleDateTime parsed;
    ASSERT_TRUE(parsed.ParseDateTime(L"2023-03-15 18:00:00"));
    EXPECT_EQ(parsed.m_dt, 45000.75);
    EXPECT_FALSE(parsed.ParseDateTime(L"abc"));
    EXPECT_EQ(parsed.GetStatus(), COleDateTime::invalid);
    EXPECT_FALSE(parsed.ParseDateTime(nullptr));

    EXPECT_EQ(COleDateTime(45000.75).Format(), L"3/15/2023 6:00:00 PM");
    EXPECT_EQ(COleDateTime(2023, 3, 15, 18, 30, 5).Format(L"%Y-%m-%d %H:%M:%S"), L"2023-03-15 18:30:05");
    COleDateTime nulled;
    nulled.SetStatus(COleDateTime::null);
    EXPECT_EQ(nulled.Format(), L"");

    for (const auto& [text, status] : {std::pair{L"2023-03-15", COleDateTime::valid}, std::pair{L"abc", COleDateTime::invalid}}) {
        Var holder;
        holder.vt = VT_BSTR;
        holder.bstrVal = SysAllocString(text);
        EXPECT_EQ(COleDateTime(holder).GetStatus(), status);
    }
}

TEST(COleDateTimeSpan, PartsAndWholeTotalsKeepTheSign)
{
    struct Row {
        const char* name;
        COleDateTimeSpan span;
        LONG days, hours, minutes, seconds;
        double total_days, total_hours, total_minutes, total_seconds;
    };
    const Row rows[] = {
        {"3d 1h 5m 12s", COleDateTimeSpan(3, 1, 5, 12), 3, 1, 5, 12, 3, 73, 4385, 263112},
        {"negative", COleDateTimeSpan(-1, -2, -3, -4), -1, -2, -3, -4, -1, -26, -1563, -93784},
        {"half a day", COleDateTimeSpan(0.5), 0, 12, 0, 0, 0, 12, 720, 43200},
        {"rounded up to a day", COleDateTimeSpan(1.0 - 0.4 / 86400), 1, 0, 0, 0, 1, 24, 1440, 86400},
    };
    for (const Row& row : rows) {
        const COleDateTimeSpan& span = row.span;
        EXPECT_EQ(span.GetStatus(), COleDateTimeSpan::valid) << row.name;
        EXPECT_EQ((std::array{span.GetDays(), span.GetHours(), span.GetMinutes(), span.GetSeconds()}),
                  (std::array{row.days, row.hours, row.minutes, row.seconds}))
            << row.name;
        EXPECT_EQ(
            (std::array{span.GetTotalDays(), span.GetTotalHours(), span.GetTotalMinutes(), span.GetTotalSeconds()}),
            (std::array{row.total_days, row.total_hours, row.total_minutes, row.total_seconds}))
            << row.name;
    }
}
