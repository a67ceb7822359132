// Runs every row of the conformance table (oleaut.cases) as a test of its own, named after the row.
// Only the Windows API is called here: the same file checks the real oleaut32 in the Windows build.
#include "conformance/table.h"
#include "support/fake_com.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace conformance {

namespace {

// The table, compiled in so that both builds run it without locating files.
constexpr const char* table_text =
#include "conformance/oleaut.cases"
    ;
constexpr const char* table_path = "tests/conformance/oleaut.cases";

// By name, so that a failure reads DISP_E_OVERFLOW rather than a number.
void expect_result(HRESULT actual, HRESULT expected) { EXPECT_EQ(hresult_name(actual), hresult_name(expected)); }

// A copy shares no storage with its original: not the SAFEARRAY, not a string. (The strings of a copied
// array are SafeArrayCopy's, which its unit test checks.)
void expect_independent(const VARIANT& copy, const VARIANT& original)
{
    EXPECT_FALSE(copy.vt == VT_BSTR && original.vt == VT_BSTR && copy.bstrVal && copy.bstrVal == original.bstrVal)
        << "the string was not copied";
    const bool arrays = (copy.vt & original.vt & VT_ARRAY) && copy.parray && original.parray;
    EXPECT_FALSE(arrays && copy.parray == original.parray) << "the array was not copied";
}

// "=> DISP_E_OVERFLOW" or "=> I4 5": the call's result, and the value it left in `actual` when it succeeded.
void expect_outcome(Cursor& cursor, HRESULT hr, const VARIANT& actual, IUnknown* fake, VARTYPE vt = VT_VARIANT)
{
    cursor.expect("=>");
    const auto expected = cursor.accept_hresult();
    expect_result(hr, expected.value_or(S_OK));
    if (!expected)
        expect_value(actual, cursor, fake, vt);
}

// change <value> -> <type> [flags N] [inplace] => <outcome> [refs N],  copy <value> => <outcome> [refs N],
// clear <value> => <outcome> [refs N], where refs counts the references the row's fake has afterwards.
// A failed call leaves its destination alone and its source as it was; a successful one shares no string or
// array with the source, which it leaves as it was unless it changed the source in place. A cleared value
// is EMPTY.
void run_variant(Cursor& cursor, fake::Unknown& row_fake, std::string_view kind)
{
    Cursor source_words = cursor;
    Value source, destination;
    read_value(cursor, row_fake.unknown(), source);
    const BSTR sentinel = destination.bstrVal = allocate("untouched");
    destination.vt = VT_BSTR;
    VARIANT* out = kind == "clear" ? &source : &destination;
    HRESULT hr = S_OK;
    if (kind == "change") {
        cursor.expect("->");
        const VARTYPE target = parse_vartype(cursor.word());
        const auto flags = cursor.option<USHORT>("flags", 0);
        out = cursor.accept("inplace") ? &source : out;
        hr = VariantChangeType(out, &source, flags, target);
    } else {
        hr = kind == "copy" ? VariantCopy(out, &source) : VariantClear(out);
    }
    expect_outcome(cursor, hr, *out, row_fake.unknown());
    if (cursor.accept("refs")) {
        EXPECT_EQ(row_fake.references(), cursor.number<ULONG>()) << "references to the row's fake";
    }
    cursor.finish();
    if (out == &destination && SUCCEEDED(hr))
        expect_independent(destination, source);
    if (out == &destination && FAILED(hr)) {
        EXPECT_TRUE(destination.vt == VT_BSTR && destination.bstrVal == sentinel)
            << "a failed call changed its destination to " << describe(destination);
    }
    if (out == &destination || FAILED(hr))
        expect_value(source, source_words, row_fake.unknown());
    if (kind == "clear" && SUCCEEDED(hr)) {
        EXPECT_EQ(source.vt, VT_EMPTY);
    }
}

// cmp <value> vs <value> [lcid N] [flags N] => LT|EQ|GT|NULL|<HRESULT>, and bstrcmp the same with two
// "string|null", for VarCmp and VarBstrCmp.
void run_compare(Cursor& cursor, fake::Unknown& row_fake, std::string_view kind)
{
    const VARTYPE vt = kind == "bstrcmp" ? VT_BSTR : VT_VARIANT;
    Value a, b;
    read_value(cursor, row_fake.unknown(), a, vt);
    cursor.expect("vs");
    read_value(cursor, row_fake.unknown(), b, vt);
    const auto lcid = cursor.option<LCID>("lcid", LOCALE_USER_DEFAULT);
    const auto flags = cursor.option<ULONG>("flags", 0);
    cursor.expect("=>");
    const HRESULT result = vt == VT_BSTR ? VarBstrCmp(a.bstrVal, b.bstrVal, lcid, flags)
                                         : VarCmp(&a, &b, lcid, flags);
    constexpr const char* names[] = {"LT", "EQ", "GT", "NULL"};
    EXPECT_EQ(result >= VARCMP_LT && result <= VARCMP_NULL ? names[result] : hresult_name(result), cursor.word());
    cursor.finish();
}

// fromdate <date> [flags N] => "text" | <HRESULT>
void run_fromdate(Cursor& cursor, fake::Unknown& row_fake, std::string_view)
{
    Value date, text;
    read_value(cursor, row_fake.unknown(), date, VT_DATE);
    const auto flags = cursor.option<ULONG>("flags", 0);
    const HRESULT hr = VarBstrFromDate(date.date, LOCALE_USER_DEFAULT, flags, &text.bstrVal);
    text.vt = VT_BSTR;
    cursor.expect("=>");
    const std::optional expected = cursor.next_quoted() ? std::optional(cursor.quoted()) : std::nullopt;
    expect_result(hr, expected ? S_OK : cursor.hresult());
    cursor.finish();
    if (!expected)
        return;
    EXPECT_EQ(text_of(text.bstrVal), *expected); // not through a BSTR of the layer's, as a value would be
}

// iid <string|null> => S_OK <guid> | <HRESULT>
void run_iid(Cursor& cursor, fake::Unknown& row_fake, std::string_view)
{
    Value text;
    read_value(cursor, row_fake.unknown(), text, VT_BSTR);
    cursor.expect("=>");
    // What the call must not touch when it rejects the text.
    const GUID untouched = {0x5EED5EED, 0x5EED, 0x5EED, {1, 2, 3, 4, 5, 6, 7, 8}};
    GUID result = untouched;
    const HRESULT expected = cursor.hresult();
    expect_result(IIDFromString(text.bstrVal, &result), expected);
    const GUID wanted = expected == S_OK ? parse_guid(cursor) : untouched;
    cursor.finish();
    if (expected == S_OK || expected == E_INVALIDARG) {
        EXPECT_TRUE(IsEqualGUID(result, wanted)) << "the GUID left by the call";
    }
}

// guid2 <guid> buffer N => <count> ["text"]
void run_guid2(Cursor& cursor, fake::Unknown&, std::string_view)
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
        EXPECT_EQ(narrow(out.data(), static_cast<std::size_t>(written)), text + "\\0") << "the text and its NUL";
    }
}

// bstr <operation> ... => null | len N ["text"] | bytes N ["text"]
//   alloc <s|null>   alloclen <s|null> N   bytelen <s|null> N   realloc <s> <s|null>
//   realloclen <s> <s|null> N   length null (the lengths of a NULL BSTR)
BSTR perform_bstr(Cursor& cursor, const std::string& operation)
{
    if (operation == "bytelen") {
        const auto text = cursor.accept("null") ? std::nullopt : std::optional(cursor.quoted());
        return SysAllocStringByteLen(text ? text->c_str() : nullptr, cursor.number<UINT>());
    }
    Value first, second;
    read_value(cursor, nullptr, first, VT_BSTR);
    BSTR& string = first.bstrVal;
    if (operation == "alloc")
        return SysAllocString(string);
    if (operation == "alloclen")
        return SysAllocStringLen(string, cursor.number<UINT>());
    if (operation == "length") {
        EXPECT_EQ(SysStringLen(nullptr), 0u);
        EXPECT_EQ(SysStringByteLen(nullptr), 0u);
        return nullptr;
    }
    if (operation != "realloc" && operation != "realloclen")
        throw cursor.error("unknown BSTR operation");
    read_value(cursor, nullptr, second, VT_BSTR);
    const INT done = operation == "realloc" ? SysReAllocString(&string, second.bstrVal)
                                            : SysReAllocStringLen(&string, second.bstrVal, cursor.number<UINT>());
    EXPECT_TRUE(done) << operation << " reported failure";
    return std::exchange(string, nullptr);
}

// ... => null | len N ["text"] | bytes N ["text"]: whether the result is NULL, else the layout every BSTR has
// (a 4-byte byte count before the text, a NUL after it, as many characters as the bytes fill), its length in
// characters or bytes, and its text.
void run_bstr(Cursor& cursor, fake::Unknown&, std::string_view)
{
    const auto operation = cursor.word();
    Value result;
    const BSTR b = result.bstrVal = perform_bstr(cursor, operation);
    result.vt = VT_BSTR;
    cursor.expect("=>");
    const bool null = cursor.accept("null");
    ASSERT_EQ(b == nullptr, null) << "whether the result is NULL";
    if (null)
        return cursor.finish();
    const auto* bytes = reinterpret_cast<const char*>(b);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, bytes - sizeof prefix, sizeof prefix);
    EXPECT_EQ(prefix, SysStringByteLen(b)) << "the length prefix";
    EXPECT_EQ(bytes[SysStringByteLen(b)], '\0') << "the terminator";
    EXPECT_EQ(SysStringLen(b), SysStringByteLen(b) / sizeof(OLECHAR)) << "whole characters only";
    if (cursor.accept("len")) {
        const auto length = cursor.number<UINT>();
        EXPECT_EQ(b[SysStringLen(b)], OLECHAR(0)) << "the terminator";
        EXPECT_EQ(SysStringByteLen(b), length * sizeof(OLECHAR));
        if (!cursor.done()) { // not through a BSTR of the allocator under test
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
    cursor.finish();
}

// SAFEARRAY rows: an array is created from the row's header, then each step calls one function on it
// and checks the outcome; whatever is left is unlocked and destroyed at the end.
//
//   safearray <type> [vector|dims0|nobounds] <count>@<lbound>...  |  safearray none
//     : created => null|ok ; features => 0x0080 ; elemsize => 4 ; dims => 1 ; locks => 0 ; refs => 2
//     ; vartype => I4|<HR> ; lbound 1 => 1|<HR> ; ubound 1 => 3|<HR> ; stored 0 => 3@1
//     ; lock|unlock|access|unaccess|destroy|clearvariant => <HR> ; redim 5@0 => <HR>
//     ; put [1] <element> => <HR> ; get [1] => <element>|<HR> ; ptr [1] => <element>|<HR>

SAFEARRAYBOUND parse_bound(const std::string& word)
{
    const auto at = word.find('@');
    const auto count = number_from<ULONG>(std::string_view(word).substr(0, at));
    const auto lower = at == word.npos ? std::nullopt : number_from<LONG>(std::string_view(word).substr(at + 1));
    return count && lower ? SAFEARRAYBOUND{*count, *lower}
                          : throw ParseError("a bound count@lbound expected, not '" + word + "'");
}

struct Script {
    Script(Cursor& cursor, fake::Unknown& row_fake) : row_fake(row_fake), array(create(cursor)) {}
    ~Script()
    {
        for (int guard = 0; array != nullptr && array->cLocks > 0 && guard < 16; ++guard)
            EXPECT_EQ(SafeArrayUnlock(array), S_OK);
        if (array != nullptr) {
            EXPECT_EQ(SafeArrayDestroy(array), S_OK);
        }
    }

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

    fake::Unknown& row_fake;
    VARTYPE vt = VT_EMPTY;
    SAFEARRAY* array = nullptr;
    LONG index = 0; // the last step's "[index]"
};

// A step's outcome as the table writes it after "=>" (a number, a type, a bound, an HRESULT name), or
// nothing when the step has read and checked a value itself.
using Outcome = std::optional<std::string>;
using Step = Outcome (*)(Script&, Cursor&);

// What a query found when it succeeded, its HRESULT otherwise.
std::string found(HRESULT hr, const auto& value) { return hr == S_OK ? fmt::format("{}", value) : hresult_name(hr); }

Outcome bound(Script& s, Cursor& c, decltype(&SafeArrayGetLBound) query)
{
    LONG bound = 0;
    const HRESULT hr = query(s.array, c.number<UINT>(), &bound);
    return found(hr, bound);
}

const std::pair<std::string_view, Step> steps[] = {
    {"created", [](Script& s, Cursor&) -> Outcome { return s.array ? "ok" : "null"; }},
    {"features",
     [](Script& s, Cursor&) -> Outcome { return s.array ? fmt::format("0x{:04X}", s.array->fFeatures) : "none"; }},
    {"elemsize",
     [](Script& s, Cursor&) -> Outcome {
         const UINT size = SafeArrayGetElemsize(s.array);
         const bool stored = s.array == nullptr || s.array->cbElements == size;
         return stored ? std::to_string(size) : fmt::format("{} but cbElements {}", size, s.array->cbElements);
     }},
    {"dims", [](Script& s, Cursor&) -> Outcome { return std::to_string(SafeArrayGetDim(s.array)); }},
    {"locks", [](Script& s, Cursor&) -> Outcome { return s.array ? std::to_string(s.array->cLocks) : "none"; }},
    {"refs", [](Script& s, Cursor&) -> Outcome { return std::to_string(s.row_fake.references()); }},
    {"vartype",
     [](Script& s, Cursor&) -> Outcome {
         VARTYPE vt = 0;
         const HRESULT hr = SafeArrayGetVartype(s.array, &vt);
         return found(hr, vartype_name(vt));
     }},
    {"lbound", [](Script& s, Cursor& c) { return bound(s, c, SafeArrayGetLBound); }},
    {"ubound", [](Script& s, Cursor& c) { return bound(s, c, SafeArrayGetUBound); }},
    // The bounds as the array stores them, the last dimension first.
    {"stored",
     [](Script& s, Cursor& c) -> Outcome {
         const auto dimension = c.number<USHORT>();
         if (s.array == nullptr || dimension >= s.array->cDims)
             return "no such dimension";
         return fmt::format("{}@{}", s.array->rgsabound[dimension].cElements, s.array->rgsabound[dimension].lLbound);
     }},
    {"lock", [](Script& s, Cursor&) -> Outcome { return hresult_name(SafeArrayLock(s.array)); }},
    {"unlock", [](Script& s, Cursor&) -> Outcome { return hresult_name(SafeArrayUnlock(s.array)); }},
    {"access",
     [](Script& s, Cursor&) -> Outcome {
         void* data = nullptr;
         const HRESULT hr = SafeArrayAccessData(s.array, &data);
         return SUCCEEDED(hr) && data != s.array->pvData ? "other data than the array's" : hresult_name(hr);
     }},
    {"unaccess", [](Script& s, Cursor&) -> Outcome { return hresult_name(SafeArrayUnaccessData(s.array)); }},
    {"destroy", [](Script& s, Cursor&) -> Outcome { return hresult_name(s.let_go(SafeArrayDestroy(s.array))); }},
    // VariantClear of a VARIANT that holds the array: the VARIANT ends empty whatever the result.
    {"clearvariant",
     [](Script& s, Cursor&) -> Outcome {
         VARIANT holder;
         VariantInit(&holder);
         holder.vt = VT_ARRAY | s.vt;
         holder.parray = s.array;
         const HRESULT hr = s.let_go(VariantClear(&holder));
         EXPECT_EQ(holder.vt, VT_EMPTY) << "the VARIANT after VariantClear";
         return hresult_name(hr);
     }},
    {"redim",
     [](Script& s, Cursor& c) -> Outcome {
         SAFEARRAYBOUND bound = parse_bound(c.word());
         return hresult_name(SafeArrayRedim(s.array, &bound));
     }},
    // The element where it is stored, without a copy: "=> <element>|<HRESULT>".
    {"ptr",
     [](Script& s, Cursor& c) -> Outcome {
         void* element = nullptr;
         const HRESULT hr = SafeArrayPtrOfIndex(s.array, &s.index, &element);
         expect_outcome(c, hr, hr == S_OK ? view_of(s.vt, element) : VARIANT{}, s.row_fake.unknown(), s.vt);
         return std::nullopt;
     }},
    {"put",
     [](Script& s, Cursor& c) -> Outcome {
         Value element;
         read_value(c, s.row_fake.unknown(), element, s.vt);
         return hresult_name(SafeArrayPutElement(s.array, &s.index, element_argument(element, s.vt)));
     }},
    // A copy of the element, never the string that stays in the array: "=> <element>|<HRESULT>".
    {"get",
     [](Script& s, Cursor& c) -> Outcome {
         Value element;
         VARIANT& out = element;
         out.vt = s.vt == VT_VARIANT ? VARTYPE(VT_EMPTY) : s.vt;
         const HRESULT hr = SafeArrayGetElement(s.array, &s.index, s.vt == VT_VARIANT ? &out : payload_address(out));
         if (s.vt != VT_VARIANT && FAILED(hr))
             out.vt = VT_EMPTY;
         void* stored = nullptr;
         if (s.vt == VT_BSTR && out.bstrVal && SUCCEEDED(SafeArrayPtrOfIndex(s.array, &s.index, &stored))) {
             EXPECT_NE(out.bstrVal, *static_cast<BSTR*>(stored)) << "the string was handed out without a copy";
         }
         expect_outcome(c, hr, out, s.row_fake.unknown(), s.vt);
         return std::nullopt;
     }},
};

// <header> : <step> ; <step> ; ... to the end of the row.
void run_safearray(Cursor& cursor, fake::Unknown& row_fake, std::string_view)
{
    const bool has_array = cursor.peek() != "none";
    Script script(cursor, row_fake);
    if (has_array && cursor.peek() != "created") {
        ASSERT_NE(script.array, nullptr) << "creation failed";
    }
    do {
        const auto action = cursor.word();
        if (cursor.accept("[")) {
            script.index = cursor.number<LONG>();
            cursor.expect("]");
        }
        const auto* step = std::ranges::find(steps, action, &std::pair<std::string_view, Step>::first);
        if (step == std::end(steps))
            throw ParseError("unknown SAFEARRAY step '" + action + "'");
        if (const auto outcome = step->second(script, cursor)) {
            cursor.expect("=>");
            EXPECT_EQ(*outcome, cursor.word()) << action;
        }
    } while (cursor.accept(";"));
    cursor.finish();
}

using Kind = void (*)(Cursor&, fake::Unknown&, std::string_view kind);

constexpr std::pair<std::string_view, Kind> kinds[] = {
    {"change", run_variant}, {"copy", run_variant}, {"clear", run_variant}, {"cmp", run_compare},
    {"bstrcmp", run_compare}, {"fromdate", run_fromdate}, {"iid", run_iid}, {"guid2", run_guid2},
    {"bstr", run_bstr}, {"safearray", run_safearray},
};

class RowTest : public testing::Test {
public:
    explicit RowTest(Row row) : row_(std::move(row)) {}
    // The kind's word picks the function that reads the rest of the row. A native row is one where Wine
    // 8.0's oleaut32, which the Windows build runs against, drifts from Windows; the layer follows Windows.
    void TestBody() override
    {
        const testing::ScopedTrace trace(table_path, row_.line, row_.text);
        Cursor cursor(row_.text);
#if defined(_WIN32)
        if (cursor.peek() == "native") {
            GTEST_SKIP() << "Wine 8.0 drifts from Windows here";
        }
#endif
        try {
            cursor.accept("native");
            const auto kind = cursor.word();
            const auto* found = std::ranges::find(kinds, kind, &std::pair<std::string_view, Kind>::first);
            if (found == std::end(kinds))
                throw ParseError("unknown kind of row '" + kind + "'");
            const auto row_fake = fake::hold<fake::Unknown>("row fake"); // the word `fake` in the row
            found->second(cursor, *row_fake, kind);
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
