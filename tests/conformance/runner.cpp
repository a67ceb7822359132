// Runs every row of the conformance table (oleaut.cases) as a test of its own, named after the row.
// Only the Windows API is called here: the same file checks the real oleaut32 in the Windows build.
#include "conformance/checks.h"
#include "conformance/table.h"
#include "conformance/values.h"
#include "support/fake_com.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>

namespace conformance {
namespace {

// ---- Objects a row can use ----------------------------------------------------------------------

class FakeError : public fake::Fake<IErrorInfo> {
public:
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override
    {
        *guid = GUID_NULL;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* text) override { return copy_name(text); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* text) override { return copy_name(text); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* text) override
    {
        *text = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* context) override
    {
        *context = 0;
        return S_OK;
    }

private:
    HRESULT copy_name(BSTR* text)
    {
        const auto wide = widen(name());
        *text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        return *text ? S_OK : E_OUTOFMEMORY;
    }
};

// ---- Expectations -----------------------------------------------------------------------------------

// "=> DISP_E_OVERFLOW", "=> I4 5", "=> S_OK refs 2": a failure, or success with a value, and the
// reference count the row's fake must have afterwards.
struct Outcome {
    HRESULT hr = S_OK;
    std::optional<Literal> value;
    std::optional<ULONG> refs;
};

Outcome parse_outcome(Cursor& cursor)
{
    cursor.expect("=>");
    Outcome outcome;
    if (const auto hr = cursor.accept_hresult())
        outcome.hr = *hr;
    else
        outcome.value = parse_literal(cursor);
    if (cursor.accept("refs"))
        outcome.refs = static_cast<ULONG>(cursor.number());
    cursor.finish();
    return outcome;
}

void expect_refs(const Outcome& outcome, const RowObjects& objects)
{
    if (outcome.refs) {
        EXPECT_EQ(objects.object->references(), *outcome.refs) << "references to the row's fake";
    }
}

// A copy shares no storage with its original: not the SAFEARRAY, not a string.
void expect_independent(const VARIANT& copy, const VARIANT& original)
{
    if ((copy.vt & VT_ARRAY) && (original.vt & VT_ARRAY) && copy.parray && original.parray) {
        EXPECT_NE(copy.parray, original.parray) << "the array was not copied";
        if (copy.vt == (VT_ARRAY | VT_BSTR) && original.vt == copy.vt && copy.parray->pvData &&
            copy.parray->pvData != original.parray->pvData) {
            const auto* a = static_cast<BSTR*>(copy.parray->pvData);
            const auto* b = static_cast<BSTR*>(original.parray->pvData);
            for (ULONG i = 0; i < copy.parray->rgsabound[0].cElements; ++i) {
                EXPECT_TRUE(a[i] == nullptr || a[i] != b[i]) << "element " << i << " shares its string";
            }
        }
    }
    if (copy.vt == VT_BSTR && original.vt == VT_BSTR && copy.bstrVal) {
        EXPECT_NE(copy.bstrVal, original.bstrVal) << "the string was not copied";
    }
}

// A destination that must be cleared on success and left alone on failure.
BSTR set_sentinel(OwnedVariant& destination)
{
    const auto text = widen("untouched");
    destination.get()->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    destination.get()->vt = VT_BSTR;
    return destination.get()->bstrVal;
}

void expect_sentinel(const OwnedVariant& destination, BSTR sentinel)
{
    EXPECT_TRUE((*destination).vt == VT_BSTR && (*destination).bstrVal == sentinel)
        << "a failed call changed its destination to " << describe(*destination);
}

// ---- VariantChangeType: change <value> -> <type> [flags N] [inplace] => <outcome> ------------------

struct ChangeRow {
    Literal source;
    VARTYPE target = VT_EMPTY;
    USHORT flags = 0;
    bool in_place = false;
    Outcome outcome;
};

void run_change(const ChangeRow& row)
{
    RowObjects objects;
    OwnedVariant source;
    build(row.source, objects.context, source);
    if (row.in_place) {
        const HRESULT hr = VariantChangeType(source.get(), source.get(), row.flags, row.target);
        expect_result(hr, row.outcome.hr);
        expect_value(*source, SUCCEEDED(hr) && row.outcome.value ? *row.outcome.value : row.source, objects.context);
    } else {
        OwnedVariant destination;
        const BSTR sentinel = set_sentinel(destination);
        const HRESULT hr = VariantChangeType(destination.get(), source.get(), row.flags, row.target);
        expect_result(hr, row.outcome.hr);
        if (FAILED(hr))
            expect_sentinel(destination, sentinel);
        else if (row.outcome.value)
            expect_value(*destination, *row.outcome.value, objects.context);
        if (SUCCEEDED(hr))
            expect_independent(*destination, *source);
        expect_value(*source, row.source, objects.context);
    }
    expect_refs(row.outcome, objects);
}

Body prepare_change(Cursor& cursor)
{
    ChangeRow row;
    row.source = parse_literal(cursor);
    cursor.expect("->");
    row.target = parse_vartype(cursor.word());
    if (cursor.accept("flags"))
        row.flags = static_cast<USHORT>(cursor.number());
    row.in_place = cursor.accept("inplace");
    row.outcome = parse_outcome(cursor);
    return [row] { run_change(row); };
}

// ---- VariantCopy: copy <value> => <outcome>; VariantClear: clear <value> => <outcome> -------------

Body prepare_copy(Cursor& cursor)
{
    const Literal source = parse_literal(cursor);
    const Outcome outcome = parse_outcome(cursor);
    return [source, outcome] {
        RowObjects objects;
        OwnedVariant original, copy;
        build(source, objects.context, original);
        const BSTR sentinel = set_sentinel(copy);
        const HRESULT hr = VariantCopy(copy.get(), original.get());
        expect_result(hr, outcome.hr);
        if (FAILED(hr))
            expect_sentinel(copy, sentinel);
        if (outcome.value)
            expect_value(*copy, *outcome.value, objects.context);
        if (SUCCEEDED(hr))
            expect_independent(*copy, *original);
        expect_refs(outcome, objects);
    };
}

Body prepare_clear(Cursor& cursor)
{
    const Literal value = parse_literal(cursor);
    const Outcome outcome = parse_outcome(cursor);
    return [value, outcome] {
        RowObjects objects;
        OwnedVariant variant;
        build(value, objects.context, variant);
        const HRESULT hr = VariantClear(variant.get());
        expect_result(hr, outcome.hr);
        if (SUCCEEDED(hr)) {
            EXPECT_EQ((*variant).vt, VT_EMPTY);
        }
        expect_refs(outcome, objects);
    };
}

// ---- VarCmp: cmp <value> vs <value> [lcid N] [flags N] => LT|EQ|GT|NULL|<HRESULT> ------------------
// ---- VarBstrCmp: bstrcmp <string|null> vs <string|null> [lcid N] [flags N] => LT|EQ|GT --------------

constexpr const char* comparison_names[] = {"LT", "EQ", "GT", "NULL"};

HRESULT parse_comparison(Cursor& cursor)
{
    cursor.expect("=>");
    const auto word = cursor.word();
    cursor.finish();
    for (HRESULT result = VARCMP_LT; result <= VARCMP_NULL; ++result)
        if (word == comparison_names[result])
            return result;
    if (const auto hr = hresult_named(word))
        return *hr;
    throw ParseError("LT, EQ, GT, NULL or an HRESULT expected, not '" + word + "'");
}

std::string comparison_name(HRESULT result)
{
    return result >= VARCMP_LT && result <= VARCMP_NULL ? comparison_names[result] : hresult_name(result);
}

struct Comparison {
    LCID lcid = LOCALE_USER_DEFAULT;
    ULONG flags = 0;
    HRESULT expected = VARCMP_EQ;
};

Comparison parse_comparison_tail(Cursor& cursor)
{
    Comparison comparison;
    if (cursor.accept("lcid"))
        comparison.lcid = static_cast<LCID>(cursor.number());
    if (cursor.accept("flags"))
        comparison.flags = static_cast<ULONG>(cursor.number());
    comparison.expected = parse_comparison(cursor);
    return comparison;
}

Body prepare_cmp(Cursor& cursor)
{
    const Literal left = parse_literal(cursor);
    cursor.expect("vs");
    const Literal right = parse_literal(cursor);
    const Comparison comparison = parse_comparison_tail(cursor);
    return [left, right, comparison] {
        RowObjects objects;
        OwnedVariant a, b;
        build(left, objects.context, a);
        build(right, objects.context, b);
        EXPECT_EQ(comparison_name(VarCmp(a.get(), b.get(), comparison.lcid, comparison.flags)),
                  comparison_name(comparison.expected));
    };
}

Body prepare_bstrcmp(Cursor& cursor)
{
    const auto left = cursor.string_or_null();
    cursor.expect("vs");
    const auto right = cursor.string_or_null();
    const Comparison comparison = parse_comparison_tail(cursor);
    return [left, right, comparison] {
        const String a(left), b(right);
        EXPECT_EQ(comparison_name(VarBstrCmp(a.get(), b.get(), comparison.lcid, comparison.flags)),
                  comparison_name(comparison.expected));
    };
}

// ---- VarBstrFromDate: fromdate <date> [flags N] => "text" | <HRESULT> --------------------------------
// A successful row also checks VariantChangeType from VT_DATE to VT_BSTR, which gives the same text.

Body prepare_fromdate(Cursor& cursor)
{
    VARIANT date;
    set_payload(date, VT_DATE, cursor.word());
    ULONG flags = 0;
    if (cursor.accept("flags"))
        flags = static_cast<ULONG>(cursor.number());
    cursor.expect("=>");
    const bool fails = !cursor.peek().quoted;
    const HRESULT expected = fails ? cursor.hresult() : S_OK;
    const std::string text = fails ? "" : cursor.quoted();
    cursor.finish();
    return [date, flags, expected, text]() mutable {
        String out(std::nullopt);
        expect_result(VarBstrFromDate(date.date, LOCALE_USER_DEFAULT, flags, out.put()), expected);
        if (FAILED(expected))
            return;
        ASSERT_NE(out.get(), nullptr);
        EXPECT_EQ(narrow(out.get(), SysStringLen(out.get())), text);

        OwnedVariant changed;
        expect_result(VariantChangeType(changed.get(), &date, 0, VT_BSTR), S_OK);
        if ((*changed).vt == VT_BSTR) {
            EXPECT_EQ(narrow((*changed).bstrVal, SysStringLen((*changed).bstrVal)), text) << "through VariantChangeType";
        }
    };
}

// ---- IIDFromString: iid <string|null> => S_OK <guid> | <HRESULT> -------------------------------------
// ---- StringFromGUID2: guid2 <guid> buffer N => <count> ["text"] --------------------------------------

Body prepare_iid(Cursor& cursor)
{
    const auto text = cursor.string_or_null();
    cursor.expect("=>");
    const HRESULT expected = cursor.hresult();
    const std::optional<GUID> guid = expected == S_OK ? std::optional<GUID>(parse_guid(cursor)) : std::nullopt;
    cursor.finish();
    return [text, expected, guid] {
        // What the call must not touch when it rejects the text's length.
        const GUID untouched = {0x5EED5EED, 0x5EED, 0x5EED, {1, 2, 3, 4, 5, 6, 7, 8}};
        GUID result = untouched;
        const auto wide = text ? std::optional(widen(*text)) : std::nullopt;
        expect_result(IIDFromString(wide ? wide->c_str() : nullptr, &result), expected);
        if (guid) {
            EXPECT_TRUE(IsEqualGUID(result, *guid)) << "the GUID read differs";
        }
        if (expected == E_INVALIDARG) {
            EXPECT_TRUE(IsEqualGUID(result, untouched)) << "a rejected string changed the GUID";
        }
    };
}

Body prepare_guid2(Cursor& cursor)
{
    const GUID guid = parse_guid(cursor);
    cursor.expect("buffer");
    const int buffer = static_cast<int>(cursor.number());
    cursor.expect("=>");
    const int expected = static_cast<int>(cursor.number());
    const std::string text = cursor.done() ? "" : cursor.quoted();
    cursor.finish();
    return [guid, buffer, expected, text] {
        std::basic_string<OLECHAR> out(static_cast<std::size_t>(buffer) + 1, OLECHAR('#'));
        const int written = StringFromGUID2(guid, out.data(), buffer);
        EXPECT_EQ(written, expected);
        if (written > 0 && written == expected) {
            EXPECT_EQ(narrow(out.data(), static_cast<std::size_t>(written) - 1), text);
            EXPECT_EQ(out[static_cast<std::size_t>(written) - 1], OLECHAR(0));
        }
    };
}

// ---- BSTR: bstr <operation> ... => null | [len N] [bytes N] ["text"] ---------------------------------
//   alloc <s|null>   alloclen <s|null> N   bytelen <s|null> N   realloc <s> <s|null>
//   realloclen <s> <s|null> N   length null

struct BstrRow {
    std::string operation;
    std::optional<std::string> first, second;
    UINT count = 0;
    bool null = false;
    std::optional<UINT> length, bytes;
    std::optional<std::string> text;
};

BSTR perform(const BstrRow& row)
{
    const auto wide = row.first ? std::optional(widen(*row.first)) : std::nullopt;
    const OLECHAR* first = wide ? wide->c_str() : nullptr;
    if (row.operation == "alloc")
        return SysAllocString(first);
    if (row.operation == "alloclen")
        return SysAllocStringLen(first, row.count);
    if (row.operation == "bytelen")
        return SysAllocStringByteLen(row.first ? row.first->c_str() : nullptr, row.count);
    if (row.operation == "length")
        return nullptr;
    String string(row.first);
    const auto replacement = row.second ? std::optional(widen(*row.second)) : std::nullopt;
    const OLECHAR* second = replacement ? replacement->c_str() : nullptr;
    const INT done = row.operation == "realloc" ? SysReAllocString(string.put(), second)
                                                : SysReAllocStringLen(string.put(), second, row.count);
    EXPECT_TRUE(done) << row.operation << " reported failure";
    return std::exchange(*string.put(), nullptr);
}

// The layout every BSTR has: a 4-byte byte count before the text, a NUL after it.
void expect_layout(BSTR b, const BstrRow& row)
{
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(b) - sizeof prefix, sizeof prefix);
    EXPECT_EQ(prefix, SysStringByteLen(b)) << "the length prefix";
    if (row.length) {
        EXPECT_EQ(SysStringLen(b), *row.length);
        EXPECT_EQ(SysStringByteLen(b), *row.length * sizeof(OLECHAR));
        EXPECT_EQ(b[*row.length], OLECHAR(0)) << "the terminator";
        if (row.text) {
            const auto expected = widen(*row.text);
            EXPECT_EQ(narrow(b, SysStringLen(b)), narrow(expected.data(), expected.size()));
        }
    }
    if (row.bytes) {
        EXPECT_EQ(SysStringByteLen(b), *row.bytes);
        EXPECT_EQ(reinterpret_cast<const char*>(b)[*row.bytes], '\0') << "the terminator";
        if (row.text) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(b), *row.bytes), *row.text);
        }
    }
}

Body prepare_bstr(Cursor& cursor)
{
    BstrRow row;
    row.operation = cursor.word();
    if (row.operation != "alloc" && row.operation != "alloclen" && row.operation != "bytelen" &&
        row.operation != "realloc" && row.operation != "realloclen" && row.operation != "length")
        cursor.fail("unknown BSTR operation");
    row.first = cursor.string_or_null();
    if (row.operation.rfind("realloc", 0) == 0)
        row.second = cursor.string_or_null();
    if (row.operation.find("len") != std::string::npos && row.operation != "length")
        row.count = static_cast<UINT>(cursor.number());
    cursor.expect("=>");
    row.null = cursor.accept("null");
    if (cursor.accept("len"))
        row.length = static_cast<UINT>(cursor.number());
    if (cursor.accept("bytes"))
        row.bytes = static_cast<UINT>(cursor.number());
    if (!cursor.done())
        row.text = cursor.quoted();
    cursor.finish();
    return [row] {
        String result(std::nullopt);
        *result.put() = perform(row);
        const BSTR b = result.get();
        if (row.operation == "length") {
            EXPECT_EQ(SysStringLen(nullptr), 0u);
            EXPECT_EQ(SysStringByteLen(nullptr), 0u);
            return;
        }
        ASSERT_EQ(b == nullptr, row.null) << "whether the result is NULL";
        if (b != nullptr)
            expect_layout(b, row);
    };
}

// ---- Error information: errorinfo : <step> => <outcome> ; ... -----------------------------------------
//   set A|B|null => HR    get [reserved N] [nullout] => S_OK A|B | S_FALSE null | HR
//   thread get => ...      refs A|B => N

struct ErrorStep {
    std::string action;
    bool other_thread = false;
    std::string object; // A, B or null
    ULONG reserved = 0;
    bool null_out = false;
    HRESULT hr = S_OK;
    ULONG refs = 0;
};

struct ErrorObjects {
    fake::Held<FakeError> a = fake::hold<FakeError>("A");
    fake::Held<FakeError> b = fake::hold<FakeError>("B");

    IErrorInfo* named(const std::string& name) const
    {
        return name == "A" ? static_cast<IErrorInfo*>(a.get()) : name == "B" ? b.get() : nullptr;
    }
    ~ErrorObjects() { EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK); }
};

void get_error(const ErrorStep& step, const ErrorObjects& objects)
{
    // Not null, so that a call which leaves the out-pointer alone shows.
    IErrorInfo* got = reinterpret_cast<IErrorInfo*>(&got);
    const HRESULT hr = GetErrorInfo(step.reserved, step.null_out ? nullptr : &got);
    expect_result(hr, step.hr);
    if (step.null_out || FAILED(hr))
        return;
    EXPECT_EQ(got, objects.named(step.object)) << "the error object handed out";
    if (got != nullptr && got != reinterpret_cast<IErrorInfo*>(&got))
        got->Release();
}

void run_error_step(const ErrorStep& step, const ErrorObjects& objects)
{
    if (step.action == "set") {
        expect_result(SetErrorInfo(0, objects.named(step.object)), step.hr);
    } else if (step.action == "refs") {
        const auto& held = step.object == "A" ? objects.a : objects.b;
        EXPECT_EQ(held->references(), step.refs) << "references to " << step.object;
    } else if (step.other_thread) {
        std::thread([&] { get_error(step, objects); }).join();
    } else {
        get_error(step, objects);
    }
}

ErrorStep parse_error_step(Cursor& cursor)
{
    ErrorStep step;
    step.other_thread = cursor.accept("thread");
    step.action = cursor.word();
    if (step.action == "set" || step.action == "refs") {
        step.object = cursor.word();
    } else if (step.action == "get") {
        if (cursor.accept("reserved"))
            step.reserved = static_cast<ULONG>(cursor.number());
        step.null_out = cursor.accept("nullout");
    } else {
        cursor.fail("set, get or refs expected");
    }
    cursor.expect("=>");
    if (step.action == "refs") {
        step.refs = static_cast<ULONG>(cursor.number());
        return step;
    }
    step.hr = cursor.hresult();
    if (step.action == "get" && !step.null_out && SUCCEEDED(step.hr))
        step.object = cursor.word();
    return step;
}

Body prepare_errorinfo(Cursor& cursor)
{
    cursor.expect(":");
    std::vector<ErrorStep> steps{parse_error_step(cursor)};
    while (cursor.accept(";"))
        steps.push_back(parse_error_step(cursor));
    cursor.finish();
    return [steps] {
        EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK) << "starting from an empty slot";
        const ErrorObjects objects;
        for (const auto& step : steps)
            run_error_step(step, objects);
    };
}

Body prepare(const std::string& kind, Cursor& cursor)
{
    constexpr std::pair<const char*, Body (*)(Cursor&)> kinds[] = {
        {"change", prepare_change}, {"copy", prepare_copy},   {"clear", prepare_clear},
        {"cmp", prepare_cmp},       {"bstrcmp", prepare_bstrcmp}, {"fromdate", prepare_fromdate},
        {"iid", prepare_iid},       {"guid2", prepare_guid2}, {"bstr", prepare_bstr},
        {"errorinfo", prepare_errorinfo}, {"safearray", prepare_safearray},
    };
    for (const auto& [name, prepare_kind] : kinds)
        if (kind == name)
            return prepare_kind(cursor);
    cursor.fail("unknown kind of row '" + kind + "'");
}

constexpr const char* table_path = "tests/conformance/oleaut.cases";

class RowTest : public testing::Test {
public:
    RowTest(Body body, int line, std::string text) : body_(std::move(body)), line_(line), text_(std::move(text)) {}
    void TestBody() override
    {
        const testing::ScopedTrace row(table_path, line_, text_);
        body_();
    }

private:
    Body body_;
    int line_;
    std::string text_;
};

// Suites carry a prefix of their own: CTest names must stay unique next to the layer's unit tests,
// whose suites are named after the same functions.
void register_row(const std::string& suite, const std::string& name, int line, const std::string& text, Body body)
{
    const std::string prefixed = "Oleaut" + suite;
    testing::RegisterTest(prefixed.c_str(), name.c_str(), nullptr, nullptr, table_path, line,
                          [=]() -> testing::Test* { return new RowTest(body, line, text); });
}

// A row that cannot be read becomes a failing test of its own rather than a silent gap.
Body broken(const std::string& why)
{
    return [why] { FAIL() << "unreadable row: " << why; };
}

bool register_table()
{
    std::vector<Row> rows;
    try {
        rows = read_table(table_text);
    } catch (const ParseError& error) {
        register_row("Table", "Unreadable", 0, "", broken(error.what()));
        return false;
    }
    for (const auto& row : rows) {
        Body body;
        try {
            Cursor cursor(row.tokens, row.line);
            body = prepare(cursor.word(), cursor);
        } catch (const std::exception& error) {
            body = broken(error.what());
        }
        register_row(row.suite, row.name, row.line, row.text, std::move(body));
    }
    return true;
}

[[maybe_unused]] const bool registered = register_table();

} // namespace
} // namespace conformance
