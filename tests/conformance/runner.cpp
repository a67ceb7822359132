// Runs every row of the conformance table (oleaut.cases) as a test of its own, named after the row.
// A row is read as its test runs: the kind's word picks the function that reads the rest and checks it.
// Only the Windows API is called here: the same file checks the real oleaut32 in the Windows build.
#include "conformance/table.h"
#include "conformance/values.h"
#include "support/fake_com.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace conformance {

namespace {

// The table, compiled in so that both builds run it without locating files.
constexpr const char* table_text =
#include "conformance/oleaut.cases"
    ;
constexpr const char* table_path = "tests/conformance/oleaut.cases";

// By name, so that a failure reads DISP_E_OVERFLOW rather than a number.
void expect_result(HRESULT actual, HRESULT expected)
{
    EXPECT_EQ(hresult_name(actual), hresult_name(expected));
}

// The row's fake object, which the word `fake` stands for.
struct RowContext {
    fake::Held<fake::Unknown> object = fake::hold<fake::Unknown>("row fake");
    IUnknown* fake() { return object->unknown(); }
};

struct FreeString {
    void operator()(BSTR string) const { SysFreeString(string); }
};
using String = std::unique_ptr<OLECHAR, FreeString>;

String string_or_null(Cursor& cursor)
{
    const auto text = cursor.string_or_null();
    return String(text ? allocate(*text) : nullptr);
}

// The text of "string|null" as OLECHARs, kept for the call.
struct WideText {
    explicit WideText(Cursor& cursor) : narrow(cursor.string_or_null()), wide(widen(narrow.value_or(""))) {}
    const OLECHAR* get() const { return narrow ? wide.c_str() : nullptr; }
    std::optional<std::string> narrow;
    std::basic_string<OLECHAR> wide;
};

// "=> DISP_E_OVERFLOW", "=> I4 5", "=> S_OK refs 2": the call's result, the value it left in `actual`,
// and the reference count the row's fake must have afterwards.
void expect_outcome(Cursor& cursor, HRESULT hr, const VARIANT& actual, RowContext& row)
{
    cursor.expect("=>");
    const auto expected = cursor.accept_hresult();
    expect_result(hr, expected.value_or(S_OK));
    if (!expected)
        expect_value(actual, cursor, row.fake());
    if (cursor.accept("refs")) {
        EXPECT_EQ(row.object->references(), cursor.number<ULONG>()) << "references to the row's fake";
    }
    cursor.finish();
}

// A copy shares no storage with its original: not the SAFEARRAY, not a string.
void expect_independent(const VARIANT& copy, const VARIANT& original)
{
    EXPECT_FALSE(copy.vt == VT_BSTR && original.vt == VT_BSTR && copy.bstrVal && copy.bstrVal == original.bstrVal)
        << "the string was not copied";
    if (!(copy.vt & original.vt & VT_ARRAY) || !copy.parray || !original.parray)
        return;
    ASSERT_NE(copy.parray, original.parray) << "the array was not copied";
    if (copy.vt != (VT_ARRAY | VT_BSTR) || original.vt != copy.vt)
        return;
    const auto* a = static_cast<BSTR*>(copy.parray->pvData);
    const auto* b = static_cast<BSTR*>(original.parray->pvData);
    for (ULONG i = 0; i < copy.parray->rgsabound[0].cElements; ++i)
        EXPECT_TRUE(a[i] == nullptr || a[i] != b[i]) << "element " << i << " shares its string";
}

// A destination that must be cleared on success and left alone on failure.
class Destination : public Value {
public:
    Destination() : sentinel_(allocate("untouched"))
    {
        (**this).bstrVal = sentinel_;
        (**this).vt = VT_BSTR;
    }
    void expect_untouched() const
    {
        EXPECT_TRUE((**this).vt == VT_BSTR && (**this).bstrVal == sentinel_)
            << "a failed call changed its destination to " << describe(**this);
    }

private:
    BSTR sentinel_;
};

// change <value> -> <type> [flags N] [inplace] => <outcome>
// A failed change leaves its destination alone; any change leaves a separate source as it was.
void run_change(Cursor& cursor, RowContext& row)
{
    Cursor source_words = cursor;
    Value source;
    read_value(cursor, row.fake(), source);
    cursor.expect("->");
    const VARTYPE target = parse_vartype(cursor.word());
    const auto flags = cursor.option<USHORT>("flags", 0);
    const bool in_place = cursor.accept("inplace");
    Destination destination;
    VARIANT* out = in_place ? source.get() : destination.get();
    const HRESULT hr = VariantChangeType(out, source.get(), flags, target);
    expect_outcome(cursor, hr, *out, row);
    if (in_place && SUCCEEDED(hr))
        return;
    if (!in_place)
        SUCCEEDED(hr) ? expect_independent(*destination, *source) : destination.expect_untouched();
    expect_value(*source, source_words, row.fake());
}

// copy <value> => <outcome>
void run_copy(Cursor& cursor, RowContext& row)
{
    Value original;
    read_value(cursor, row.fake(), original);
    Destination copy;
    const HRESULT hr = VariantCopy(copy.get(), original.get());
    expect_outcome(cursor, hr, *copy, row);
    FAILED(hr) ? copy.expect_untouched() : expect_independent(*copy, *original);
}

// clear <value> => <outcome>: a cleared value is EMPTY, a refused one as it was.
void run_clear(Cursor& cursor, RowContext& row)
{
    Cursor value_words = cursor;
    Value value;
    read_value(cursor, row.fake(), value);
    const HRESULT hr = VariantClear(value.get());
    expect_outcome(cursor, hr, *value, row);
    if (FAILED(hr))
        return expect_value(*value, value_words, row.fake());
    EXPECT_EQ((*value).vt, VT_EMPTY);
}

// [lcid N] [flags N] => LT|EQ|GT|NULL|<HRESULT>, after the operands of VarCmp and VarBstrCmp.
template <class Compare>
void expect_comparison(Cursor& cursor, Compare compare)
{
    const auto lcid = cursor.option<LCID>("lcid", LOCALE_USER_DEFAULT);
    const auto flags = cursor.option<ULONG>("flags", 0);
    cursor.expect("=>");
    constexpr const char* names[] = {"LT", "EQ", "GT", "NULL"};
    const HRESULT result = compare(lcid, flags);
    EXPECT_EQ(result >= VARCMP_LT && result <= VARCMP_NULL ? names[result] : hresult_name(result), cursor.word());
    cursor.finish();
}

// cmp <value> vs <value> ...
void run_cmp(Cursor& cursor, RowContext& row)
{
    Value a, b;
    read_value(cursor, row.fake(), a);
    cursor.expect("vs");
    read_value(cursor, row.fake(), b);
    expect_comparison(cursor, [&](LCID lcid, ULONG flags) { return VarCmp(a.get(), b.get(), lcid, flags); });
}

// bstrcmp <string|null> vs <string|null> ...
void run_bstrcmp(Cursor& cursor, RowContext&)
{
    const String a = string_or_null(cursor);
    cursor.expect("vs");
    const String b = string_or_null(cursor);
    expect_comparison(cursor, [&](LCID lcid, ULONG flags) { return VarBstrCmp(a.get(), b.get(), lcid, flags); });
}

std::string text_of(BSTR string)
{
    return narrow(string, SysStringLen(string));
}

// fromdate <date> [flags N] => "text" | <HRESULT>
// A successful row without flags also checks VariantChangeType from VT_DATE to VT_BSTR, which gives the
// same text.
void run_fromdate(Cursor& cursor, RowContext& row)
{
    Value date;
    read_value(cursor, row.fake(), date, VT_DATE);
    const auto flags = cursor.option<ULONG>("flags", 0);
    cursor.expect("=>");
    BSTR raw = nullptr;
    const HRESULT hr = VarBstrFromDate((*date).date, LOCALE_USER_DEFAULT, flags, &raw);
    const String text(raw);
    const std::optional expected = cursor.next_quoted() ? std::optional(cursor.quoted()) : std::nullopt;
    expect_result(hr, expected ? S_OK : cursor.hresult());
    cursor.finish();
    if (!expected)
        return;
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text_of(text.get()), *expected);
    if (flags == 0) {
        Value changed;
        expect_result(VariantChangeType(changed.get(), date.get(), 0, VT_BSTR), S_OK);
        if ((*changed).vt == VT_BSTR) {
            EXPECT_EQ(text_of((*changed).bstrVal), *expected) << "through VariantChangeType";
        }
    }
}

// iid <string|null> => S_OK <guid> | <HRESULT>
void run_iid(Cursor& cursor, RowContext&)
{
    const WideText text(cursor);
    cursor.expect("=>");
    // What the call must not touch when it rejects the text.
    const GUID untouched = {0x5EED5EED, 0x5EED, 0x5EED, {1, 2, 3, 4, 5, 6, 7, 8}};
    GUID result = untouched;
    const HRESULT expected = cursor.hresult();
    expect_result(IIDFromString(const_cast<OLECHAR*>(text.get()), &result), expected);
    const GUID wanted = expected == S_OK ? parse_guid(cursor) : untouched;
    cursor.finish();
    if (expected == S_OK || expected == E_INVALIDARG) {
        EXPECT_TRUE(IsEqualGUID(result, wanted)) << "the GUID left by the call";
    }
}

// guid2 <guid> buffer N => <count> ["text"]
void run_guid2(Cursor& cursor, RowContext&)
{
    const GUID guid = parse_guid(cursor);
    cursor.expect("buffer");
    const auto buffer = cursor.number<int>();
    cursor.expect("=>");
    const auto expected = cursor.number<int>();
    const std::string text = cursor.done() ? "" : cursor.quoted();
    cursor.finish();
    std::basic_string<OLECHAR> out(static_cast<std::size_t>(buffer) + 1, OLECHAR('#'));
    const int written = StringFromGUID2(guid, out.data(), buffer);
    EXPECT_EQ(written, expected);
    if (written > 0 && written == expected) {
        EXPECT_EQ(narrow(out.data(), static_cast<std::size_t>(written) - 1), text);
        EXPECT_EQ(out[static_cast<std::size_t>(written) - 1], OLECHAR(0));
    }
}

// bstr <operation> ... => null | len N ["text"] | bytes N ["text"]
//   alloc <s|null>   alloclen <s|null> N   bytelen <s|null> N   realloc <s> <s|null>
//   realloclen <s> <s|null> N   length null (the lengths of a NULL BSTR)
BSTR perform_bstr(Cursor& cursor, const std::string& operation)
{
    const WideText first(cursor);
    if (operation == "alloc")
        return SysAllocString(first.get());
    if (operation == "alloclen")
        return SysAllocStringLen(first.get(), cursor.number<UINT>());
    if (operation == "bytelen")
        return SysAllocStringByteLen(first.narrow ? first.narrow->c_str() : nullptr, cursor.number<UINT>());
    if (operation == "length") {
        EXPECT_EQ(SysStringLen(nullptr), 0u);
        EXPECT_EQ(SysStringByteLen(nullptr), 0u);
        return nullptr;
    }
    if (operation != "realloc" && operation != "realloclen")
        throw cursor.error("unknown BSTR operation");
    BSTR string = first.narrow ? allocate(*first.narrow) : nullptr;
    const WideText second(cursor);
    const INT done = operation == "realloc" ? SysReAllocString(&string, second.get())
                                            : SysReAllocStringLen(&string, second.get(), cursor.number<UINT>());
    EXPECT_TRUE(done) << operation << " reported failure";
    return string;
}

// The layout every BSTR has: a 4-byte byte count before the text, a NUL after it.
void expect_layout(BSTR b, Cursor& cursor)
{
    const auto* bytes = reinterpret_cast<const char*>(b);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, bytes - sizeof prefix, sizeof prefix);
    EXPECT_EQ(prefix, SysStringByteLen(b)) << "the length prefix";
    EXPECT_EQ(bytes[SysStringByteLen(b)], '\0') << "the terminator";
    if (cursor.accept("len")) {
        const auto length = cursor.number<UINT>();
        EXPECT_EQ(b[SysStringLen(b)], OLECHAR(0)) << "the terminator";
        EXPECT_EQ(SysStringLen(b), length);
        EXPECT_EQ(SysStringByteLen(b), length * sizeof(OLECHAR));
        if (!cursor.done()) {
            const auto expected = widen(cursor.quoted());
            EXPECT_EQ(text_of(b), narrow(expected.data(), expected.size()));
        }
    } else {
        cursor.expect("bytes");
        EXPECT_EQ(SysStringByteLen(b), cursor.number<UINT>());
        if (!cursor.done()) {
            EXPECT_EQ(std::string(bytes, SysStringByteLen(b)), cursor.quoted());
        }
    }
}

void run_bstr(Cursor& cursor, RowContext&)
{
    const auto operation = cursor.word();
    const String result(perform_bstr(cursor, operation));
    cursor.expect("=>");
    const bool null = cursor.accept("null");
    ASSERT_EQ(result == nullptr, null) << "whether the result is NULL";
    if (result != nullptr)
        expect_layout(result.get(), cursor);
    cursor.finish();
}

// SAFEARRAY rows: an array is created from the row's header, then each step calls one function on it
// and checks the outcome; whatever is left is unlocked and destroyed at the end.
//
//   safearray <type> [vector|dims0|nobounds] <count>@<lbound>...  |  safearray none
//     : created => null|ok ; features => 0x0080 ; elemsize => 4 ; dims => 1 ; locks => 0 ; refs => 2
//     ; vartype => I4|<HR> ; lbound 1 => 1|<HR> ; ubound 1 => 3|<HR> ; stored 0 => 3@1
//     ; lock|unlock|access|unaccess|destroy|clearvariant => <HR> ; redim 5@0 => <HR>
//     ; put [1] <element> => <HR> ; get [1] => <element>|<HR> ; peek [1] => <element> ; ptr [9] => <HR>

SAFEARRAYBOUND parse_bound(const std::string& word)
{
    const auto at = word.find('@');
    const auto count = number_from<ULONG>(std::string_view(word).substr(0, at));
    const auto lower = at == word.npos ? std::nullopt : number_from<LONG>(std::string_view(word).substr(at + 1));
    return count && lower ? SAFEARRAYBOUND{*count, *lower}
                          : throw ParseError("a bound count@lbound expected, not '" + word + "'");
}

LONG parse_index(Cursor& cursor)
{
    cursor.expect("[");
    const auto index = cursor.number<LONG>();
    cursor.expect("]");
    return index;
}

// Steps that read a number: "=> 4".
void expect_number(Cursor& cursor, long long actual, const char* what)
{
    cursor.expect("=>");
    EXPECT_EQ(actual, cursor.number()) << what;
}

// Steps that call a function: "=> S_OK".
void expect_call(Cursor& cursor, HRESULT hr)
{
    cursor.expect("=>");
    expect_result(hr, cursor.hresult());
}

// Queries: "=> <HR>", or on success what `expect_read` reads and checks.
template <class Check>
void expect_query(Cursor& cursor, HRESULT hr, Check expect_read)
{
    cursor.expect("=>");
    const auto expected = cursor.accept_hresult();
    expect_result(hr, expected.value_or(S_OK));
    if (!expected)
        expect_read();
}

struct Script {
    Script(Cursor& cursor, RowContext& row) : row(row), array(create(cursor)) {}
    ~Script()
    {
        for (int guard = 0; array != nullptr && array->cLocks > 0 && guard < 16; ++guard)
            EXPECT_EQ(SafeArrayUnlock(array), S_OK);
        if (array != nullptr) {
            EXPECT_EQ(SafeArrayDestroy(array), S_OK);
        }
    }
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    SAFEARRAY* create(Cursor& cursor)
    {
        if (cursor.accept("none")) {
            cursor.expect(":");
            return nullptr;
        }
        vt = parse_vartype(cursor.word());
        const bool vector = cursor.accept("vector");
        const bool no_dimensions = cursor.accept("dims0");
        const bool no_bounds = cursor.accept("nobounds");
        std::vector<SAFEARRAYBOUND> bounds;
        while (!cursor.accept(":"))
            bounds.push_back(parse_bound(cursor.word()));
        SAFEARRAYBOUND unused{1, 0};
        if (vector)
            return SafeArrayCreateVector(vt, bounds.at(0).lLbound, bounds.at(0).cElements);
        if (no_dimensions)
            return SafeArrayCreate(vt, 0, &unused);
        if (no_bounds)
            return SafeArrayCreate(vt, 1, nullptr);
        return SafeArrayCreate(vt, static_cast<UINT>(bounds.size()), bounds.data());
    }

    // The result of a call that destroys the array when it succeeds.
    HRESULT let_go(HRESULT hr)
    {
        if (SUCCEEDED(hr))
            array = nullptr;
        return hr;
    }

    RowContext& row;
    VARTYPE vt = VT_EMPTY;
    SAFEARRAY* array = nullptr;
};

using Step = void (*)(Script&, Cursor&);

// The SAFEARRAY steps by name; each reads its arguments and outcome.
const std::pair<std::string_view, Step> steps[] = {
    {"created",
     [](Script& s, Cursor& c) {
         c.expect("=>");
         EXPECT_EQ(c.word(), s.array ? "ok" : "null") << "what creation gave";
     }},
    {"features", [](Script& s, Cursor& c) { expect_number(c, s.array ? s.array->fFeatures : -1, "fFeatures"); }},
    {"elemsize",
     [](Script& s, Cursor& c) {
         if (s.array != nullptr) {
             EXPECT_EQ(s.array->cbElements, SafeArrayGetElemsize(s.array)) << "cbElements";
         }
         expect_number(c, SafeArrayGetElemsize(s.array), "SafeArrayGetElemsize");
     }},
    {"dims", [](Script& s, Cursor& c) { expect_number(c, SafeArrayGetDim(s.array), "SafeArrayGetDim"); }},
    {"locks", [](Script& s, Cursor& c) { expect_number(c, s.array ? s.array->cLocks : -1LL, "cLocks"); }},
    {"refs",
     [](Script& s, Cursor& c) { expect_number(c, s.row.object->references(), "references to the row's fake"); }},
    {"vartype",
     [](Script& s, Cursor& c) {
         VARTYPE vt = 0;
         const HRESULT hr = SafeArrayGetVartype(s.array, &vt);
         expect_query(c, hr, [&] { EXPECT_EQ(vartype_name(vt), c.word()); });
     }},
    {"lbound",
     [](Script& s, Cursor& c) {
         LONG bound = 0;
         const HRESULT hr = SafeArrayGetLBound(s.array, c.number<UINT>(), &bound);
         expect_query(c, hr, [&] { EXPECT_EQ(bound, c.number<LONG>()) << "lower bound"; });
     }},
    {"ubound",
     [](Script& s, Cursor& c) {
         LONG bound = 0;
         const HRESULT hr = SafeArrayGetUBound(s.array, c.number<UINT>(), &bound);
         expect_query(c, hr, [&] { EXPECT_EQ(bound, c.number<LONG>()) << "upper bound"; });
     }},
    {"stored",
     [](Script& s, Cursor& c) {
         const auto dimension = c.number<USHORT>();
         c.expect("=>");
         const auto expected = parse_bound(c.word());
         ASSERT_NE(s.array, nullptr);
         ASSERT_LT(dimension, s.array->cDims);
         EXPECT_EQ(s.array->rgsabound[dimension].cElements, expected.cElements) << "stored bound " << dimension;
         EXPECT_EQ(s.array->rgsabound[dimension].lLbound, expected.lLbound) << "stored bound " << dimension;
     }},
    {"lock", [](Script& s, Cursor& c) { expect_call(c, SafeArrayLock(s.array)); }},
    {"unlock", [](Script& s, Cursor& c) { expect_call(c, SafeArrayUnlock(s.array)); }},
    {"access",
     [](Script& s, Cursor& c) {
         void* data = nullptr;
         const HRESULT hr = SafeArrayAccessData(s.array, &data);
         if (SUCCEEDED(hr)) {
             EXPECT_EQ(data, s.array->pvData) << "the data handed out";
         }
         expect_call(c, hr);
     }},
    {"unaccess", [](Script& s, Cursor& c) { expect_call(c, SafeArrayUnaccessData(s.array)); }},
    {"destroy", [](Script& s, Cursor& c) { expect_call(c, s.let_go(SafeArrayDestroy(s.array))); }},
    // VariantClear of a VARIANT that holds the array: the VARIANT ends empty whatever the result.
    {"clearvariant",
     [](Script& s, Cursor& c) {
         VARIANT holder;
         VariantInit(&holder);
         holder.vt = VT_ARRAY | s.vt;
         holder.parray = s.array;
         const HRESULT hr = s.let_go(VariantClear(&holder));
         EXPECT_EQ(holder.vt, VT_EMPTY) << "the VARIANT after VariantClear";
         expect_call(c, hr);
     }},
    {"redim",
     [](Script& s, Cursor& c) {
         SAFEARRAYBOUND bound = parse_bound(c.word());
         expect_call(c, SafeArrayRedim(s.array, &bound));
     }},
    {"ptr",
     [](Script& s, Cursor& c) {
         LONG index = parse_index(c);
         void* element = nullptr;
         expect_call(c, SafeArrayPtrOfIndex(s.array, &index, &element));
     }},
    {"put",
     [](Script& s, Cursor& c) {
         LONG index = parse_index(c);
         Value element;
         read_value(c, s.row.fake(), element, s.vt);
         expect_call(c, SafeArrayPutElement(s.array, &index, element_argument(*element, s.vt)));
     }},
    // A copy of the element, never the string that stays in the array.
    {"get",
     [](Script& s, Cursor& c) {
         LONG index = parse_index(c);
         Value element;
         VARIANT& out = *element;
         out.vt = s.vt == VT_VARIANT ? VARTYPE(VT_EMPTY) : s.vt;
         const HRESULT hr = SafeArrayGetElement(s.array, &index, s.vt == VT_VARIANT ? &out : payload_address(out));
         if (s.vt != VT_VARIANT && FAILED(hr))
             out.vt = VT_EMPTY;
         void* stored = nullptr;
         if (s.vt == VT_BSTR && out.bstrVal && SUCCEEDED(SafeArrayPtrOfIndex(s.array, &index, &stored))) {
             EXPECT_NE(out.bstrVal, *static_cast<BSTR*>(stored)) << "the string was handed out without a copy";
         }
         expect_query(c, hr, [&] { expect_value(out, c, s.row.fake(), s.vt); });
     }},
    // The element where it is stored, without a copy.
    {"peek",
     [](Script& s, Cursor& c) {
         LONG index = parse_index(c);
         void* element = nullptr;
         ASSERT_EQ(SafeArrayPtrOfIndex(s.array, &index, &element), S_OK);
         c.expect("=>");
         expect_value(view_of(s.vt, element), c, s.row.fake(), s.vt);
     }},
};

// <header> : <step> ; <step> ; ... to the end of the row.
void run_safearray(Cursor& cursor, RowContext& row)
{
    const bool has_array = cursor.peek() != "none";
    Script script(cursor, row);
    if (has_array && cursor.peek() != "created") {
        ASSERT_NE(script.array, nullptr) << "creation failed";
    }
    do {
        const auto action = cursor.word();
        const auto* step = std::ranges::find(steps, action, &std::pair<std::string_view, Step>::first);
        if (step == std::end(steps))
            throw cursor.error("unknown SAFEARRAY step");
        step->second(script, cursor);
    } while (cursor.accept(";"));
    cursor.finish();
}

using Kind = void (*)(Cursor&, RowContext&);

void run_row(Cursor& cursor, RowContext& row)
{
    constexpr std::pair<std::string_view, Kind> kinds[] = {
        {"change", run_change},     {"copy", run_copy}, {"clear", run_clear},         {"cmp", run_cmp},
        {"bstrcmp", run_bstrcmp},   {"fromdate", run_fromdate}, {"iid", run_iid}, {"guid2", run_guid2},
        {"bstr", run_bstr},         {"safearray", run_safearray},
    };
    // A native row is one where Wine 8.0's oleaut32, which the Windows build runs against, drifts from
    // Windows; the layer follows Windows.
    if (cursor.accept("native")) {
#if defined(_WIN32)
        GTEST_SKIP() << "Wine 8.0 drifts from Windows here";
#endif
    }
    const auto kind = cursor.word();
    const auto* found = std::ranges::find(kinds, kind, &std::pair<std::string_view, Kind>::first);
    if (found == std::end(kinds))
        throw cursor.error("unknown kind of row");
    found->second(cursor, row);
}

class RowTest : public testing::Test {
public:
    explicit RowTest(Row row) : row_(std::move(row)) {}
    void TestBody() override
    {
        const testing::ScopedTrace trace(table_path, row_.line, row_.text);
        try {
            if (!row_.problem.empty())
                throw ParseError(row_.problem);
            RowContext context;
            Cursor cursor(row_.tokens);
            run_row(cursor, context);
        } catch (const std::exception& error) {
            FAIL() << "the row stopped: " << error.what();
        }
    }

private:
    Row row_;
};

// Suites carry a prefix of their own: CTest names must stay unique next to the layer's unit tests,
// whose suites are named after the same functions.
[[maybe_unused]] const bool registered = [] {
    for (const auto& row : read_table(table_text)) {
        testing::RegisterTest(("Oleaut" + row.suite).c_str(), row.name.c_str(), nullptr, nullptr, table_path, row.line,
                              [row]() -> testing::Test* { return new RowTest(row); });
    }
    return true;
}();

} // namespace
} // namespace conformance
