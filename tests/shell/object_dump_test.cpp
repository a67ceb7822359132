// Object: the one-line dump of every VARIANT type, and equality and order across types; the ledger
// checks that a dump gives back every reference it takes.
#include "shell/object_values.h"

#include <fmt/format.h>

namespace shell_test {
namespace {

struct dumped {
    Object value;
    std::wstring text;
};

void expect_dumps(const std::vector<dumped>& rows)
{
    for (const dumped& row : rows)
        EXPECT_EQ(row.value.to_string(), row.text) << "type " << row.value.data().vt;
}

TEST(ObjectDump, NumbersInTheirOwnTypesOthersByNumber)
{
    expect_dumps({
        {empty(), L"<VT_EMPTY>"},
        {null(), L"<VT_NULL>"},
        {i2(-32768), L"<VT_I2>: -32768"},
        {i4(-2147483647 - 1), L"<VT_I4>: -2147483648"},
        // The shortest text that reads back, the float not widened.
        {r4(0.1f), L"<VT_R4>: 0.1"},
        {r8(0.1), L"<VT_R8>: 0.1"},
        // Ten-thousandths, unscaled: 1.5 of the currency.
        {cy(15000), L"<VT_CY>: 15000"},
        {i1(-5), L"<VT_I1>: -5"},
        {ui1(65), L"<VT_UI1>: 65"},
        {ui2(65535), L"<VT_UI2>: 65535"},
        {ui4(4294967295u), L"<VT_UI4>: 4294967295"},
        {i8(std::numeric_limits<LONGLONG>::min()), L"<VT_I8>: -9223372036854775808"},
        {ui8(std::numeric_limits<ULONGLONG>::max()), L"<VT_UI8>: 18446744073709551615"},
        {int_(-1), L"<VT_INT>: -1"},
        {uint_(4000000000u), L"<VT_UINT>: 4000000000"},
        {boolean(VARIANT_TRUE), L"<VT_BOOL>: TRUE"},
        {boolean(VARIANT_FALSE), L"<VT_BOOL>: FALSE"},
        // Only all bits set is true.
        {boolean(1), L"<VT_BOOL>: FALSE"},
        // Types without a name of their own: the number, and the converted text where there is one.
        {decimal(15, 1), L"<VT = 14>: 1.5"},
        {array_of(VT_I4, 2), L"<VT = 8195>"},
    });
}

TEST(ObjectDump, TextsDatesObjectsRecordsAndArrays)
{
    auto plain = fake::hold<fake::Unknown>();
    auto guid_type = fake::hold<FakeRecordInfo>(dotnet_guid, L"Guid");
    guid_type->data = {0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}};
    auto point_type = fake::hold<FakeRecordInfo>(guid_type->data, L"Point");
    auto unnamed = fake::hold<FakeRecordInfo>(GUID_NULL, std::nullopt);
    expect_dumps({
        {bstr(L"abc"), L"<VT_BSTR>: abc"},
        {bstr(L"ab\0cd"sv), L"<VT_BSTR>: ab"},
        {bstr(L""), L"<VT_BSTR>: "},
        // As the user's regional settings (en-US here) write a date.
        {date(45000.75), L"<VT_DATE>: 3/15/2023 6:00:00 PM"},
        {date(3'000'000), L"<VT_DATE>: Invalid DateTime"},
        {unknown(plain->unknown()), L"<VT_UNKNOWN>"},
        {variant_of(VT_DISPATCH, [](VARIANT& x) { x.pdispVal = nullptr; }), L"<VT_DISPATCH>"},
        {strings({L"a", L"", L"c"}), L"<VT_BSTR[3]>: (a, , c)"},
        {strings({}), L"<VT_BSTR[0]>: ()"},
        // Elements at their full length; a null one is empty.
        {strings({L"x\0y"sv, std::nullopt, L"z"}), L"<VT_BSTR[3]>: (x\0y, , z)"s},
        {array_of(VT_UNKNOWN, 2), L"<VT_UNKNOWN[]>"},
    });
    // Records are read where they are made: copying one would ask its description for a copy.
    EXPECT_EQ(record(guid_type.get()).to_string(), L"<VT_GUID>: {6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(record(point_type.get()).to_string(), L"<VT_RECORD[Point]>");
    // A null string, or a record without a name, is refused.
    EXPECT_THROW((void)null_bstr().to_string(), fmt::format_error);
    EXPECT_THROW((void)record(unnamed.get()).to_string(), fmt::format_error);
}

struct compared {
    Object left;
    Object right;
    bool equal;
    // left < right, right < left
    bool less;
    bool greater;
};

TEST(ObjectCompare, NullsFirstThenVarCmpWithinAndAcrossTypes)
{
    const compared rows[] = {
        {empty(), null(), true, false, false},
        {empty(), i4(0), false, true, false},
        {null(), bstr(L""), false, true, false},
        {i4(5), i4(5), true, false, false},
        // Across types never equal, but ordered by value.
        {i4(5), r8(5.0), false, false, false},
        {i4(4), r8(5.0), false, true, false},
        // Types that VarCmp refuses: neither equal nor ordered, even with identical values.
        {ui4(7), ui4(7), false, false, false},
    };
    for (const compared& row : rows) {
        SCOPED_TRACE(describe(row.left) + " against " + describe(row.right));
        EXPECT_EQ(row.left == row.right, row.equal);
        EXPECT_EQ(row.right == row.left, row.equal);
        EXPECT_EQ(row.left < row.right, row.less);
        EXPECT_EQ(row.right < row.left, row.greater);
    }
}

} // namespace
} // namespace shell_test
