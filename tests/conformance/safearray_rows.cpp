// SAFEARRAY rows: an array is created from the row's header, then each step calls one function on it
// and checks the outcome; whatever is left is unlocked and destroyed at the end.
//
//   safearray <type> [vector|dims0|nobounds] <count>@<lbound>...  |  safearray none
//     : created => null|ok ; features => 0x0080 ; elemsize => 4 ; dims => 1 ; locks => 0 ; refs => 2
//     ; vartype => I4|<HR> ; lbound 1 => 1|<HR> ; ubound 1 => 3|<HR> ; stored 0 => 3@1
//     ; lock|unlock|access|unaccess|destroy|clearvariant => <HR> ; redim 5@0 => <HR>
//     ; put [1] <element> => <HR> ; get [1] => <element>|<HR> ; peek [1] => <element> ; ptr [9] => <HR>
#include "conformance/rows.h"

#include <gtest/gtest.h>

#include <string_view>

namespace conformance {
namespace {

SAFEARRAYBOUND parse_bound(const std::string& word)
{
    const auto at = word.find('@');
    if (at == std::string::npos || at == 0)
        throw ParseError("a bound count@lbound expected, not '" + word + "'");
    return {static_cast<ULONG>(std::stoul(word)), static_cast<LONG>(std::stol(word.substr(at + 1)))};
}

LONG parse_index(Cursor& cursor)
{
    cursor.expect("[");
    const auto index = cursor.number_as<LONG>();
    cursor.expect("]");
    return index;
}

class Script {
public:
    Script(Cursor& cursor, RowContext& row) : row_(row) { array_ = create(cursor); }
    ~Script() { dispose(); }
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    SAFEARRAY* array() const { return array_; }

    void step(Cursor& cursor)
    {
        using Step = void (Script::*)(Cursor&);
        constexpr std::pair<std::string_view, Step> steps[] = {
            {"created", &Script::created}, {"features", &Script::features}, {"elemsize", &Script::elemsize},
            {"dims", &Script::dims},       {"locks", &Script::locks},       {"refs", &Script::refs},
            {"vartype", &Script::vartype}, {"lbound", &Script::lbound},     {"ubound", &Script::ubound},
            {"stored", &Script::stored},   {"lock", &Script::lock},         {"unlock", &Script::unlock},
            {"access", &Script::access},   {"unaccess", &Script::unaccess}, {"destroy", &Script::destroy},
            {"clearvariant", &Script::clear_variant}, {"redim", &Script::redim}, {"ptr", &Script::ptr},
            {"put", &Script::put},         {"get", &Script::get},           {"peek", &Script::peek},
        };
        const auto action = cursor.word();
        for (const auto& [name, run] : steps)
            if (action == name)
                return (this->*run)(cursor);
        cursor.fail("unknown SAFEARRAY step");
    }

private:
    SAFEARRAY* create(Cursor& cursor)
    {
        const auto type = cursor.word();
        if (type == "none") {
            cursor.expect(":");
            return nullptr;
        }
        vt_ = parse_vartype(type);
        const bool vector = cursor.accept("vector");
        const bool no_dimensions = cursor.accept("dims0");
        const bool no_bounds = cursor.accept("nobounds");
        std::vector<SAFEARRAYBOUND> bounds;
        while (!cursor.accept(":"))
            bounds.push_back(parse_bound(cursor.word()));
        SAFEARRAYBOUND unused{1, 0};
        if (vector)
            return SafeArrayCreateVector(vt_, bounds.at(0).lLbound, bounds.at(0).cElements);
        if (no_dimensions)
            return SafeArrayCreate(vt_, 0, &unused);
        if (no_bounds)
            return SafeArrayCreate(vt_, 1, nullptr);
        return SafeArrayCreate(vt_, static_cast<UINT>(bounds.size()), bounds.data());
    }

    void dispose()
    {
        if (array_ == nullptr)
            return;
        for (int guard = 0; array_->cLocks > 0 && guard < 16; ++guard) {
            EXPECT_EQ(SafeArrayUnlock(array_), S_OK);
        }
        EXPECT_EQ(SafeArrayDestroy(array_), S_OK);
    }

    // Steps that read a number: "=> 4".
    static void expect_number(Cursor& cursor, long long actual, const char* what)
    {
        cursor.expect("=>");
        EXPECT_EQ(actual, cursor.number()) << what;
    }
    // Steps that call a function: "=> S_OK".
    static void expect_call(Cursor& cursor, HRESULT hr)
    {
        cursor.expect("=>");
        expect_result(hr, cursor.hresult());
    }
    // Queries: "=> <what `read` reads>" on success, or "=> <HR>".
    template <class Read>
    static void expect_query(Cursor& cursor, HRESULT hr, long long value, Read read)
    {
        cursor.expect("=>");
        const auto expected = cursor.accept_hresult();
        expect_result(hr, expected.value_or(S_OK));
        if (!expected) {
            EXPECT_EQ(value, read());
        }
    }

    void created(Cursor& cursor)
    {
        cursor.expect("=>");
        const bool null = cursor.accept("null");
        if (!null)
            cursor.expect("ok");
        EXPECT_EQ(array_ == nullptr, null) << "whether creation gave NULL";
    }
    void features(Cursor& cursor) { expect_number(cursor, array_ ? array_->fFeatures : -1, "fFeatures"); }
    void elemsize(Cursor& cursor)
    {
        if (array_ != nullptr) {
            EXPECT_EQ(array_->cbElements, SafeArrayGetElemsize(array_)) << "cbElements";
        }
        expect_number(cursor, SafeArrayGetElemsize(array_), "SafeArrayGetElemsize");
    }
    void dims(Cursor& cursor) { expect_number(cursor, SafeArrayGetDim(array_), "SafeArrayGetDim"); }
    void locks(Cursor& cursor) { expect_number(cursor, array_ ? static_cast<long long>(array_->cLocks) : -1, "cLocks"); }
    void refs(Cursor& cursor) { expect_number(cursor, row_.object->references(), "references to the row's fake"); }

    void vartype(Cursor& cursor)
    {
        VARTYPE vt = 0;
        const HRESULT hr = SafeArrayGetVartype(array_, &vt);
        expect_query(cursor, hr, vt, [&] { return parse_vartype(cursor.word()); });
    }
    void lbound(Cursor& cursor) { bound(cursor, SafeArrayGetLBound); }
    void ubound(Cursor& cursor) { bound(cursor, SafeArrayGetUBound); }
    template <class Get>
    void bound(Cursor& cursor, Get get)
    {
        LONG bound = 0;
        const HRESULT hr = get(array_, cursor.number_as<UINT>(), &bound);
        expect_query(cursor, hr, bound, [&] { return cursor.number(); });
    }
    void stored(Cursor& cursor)
    {
        const auto dimension = cursor.number();
        cursor.expect("=>");
        const auto expected = parse_bound(cursor.word());
        ASSERT_NE(array_, nullptr);
        ASSERT_LT(dimension, array_->cDims);
        const auto& actual = array_->rgsabound[dimension];
        EXPECT_EQ(actual.cElements, expected.cElements) << "stored bound " << dimension;
        EXPECT_EQ(actual.lLbound, expected.lLbound) << "stored bound " << dimension;
    }

    void lock(Cursor& cursor) { expect_call(cursor, SafeArrayLock(array_)); }
    void unlock(Cursor& cursor) { expect_call(cursor, SafeArrayUnlock(array_)); }
    void access(Cursor& cursor)
    {
        void* data = nullptr;
        expect_call(cursor, SafeArrayAccessData(array_, &data));
    }
    void unaccess(Cursor& cursor) { expect_call(cursor, SafeArrayUnaccessData(array_)); }
    void destroy(Cursor& cursor)
    {
        const HRESULT hr = SafeArrayDestroy(array_);
        if (SUCCEEDED(hr))
            array_ = nullptr;
        expect_call(cursor, hr);
    }
    // VariantClear of a VARIANT that holds the array: the VARIANT ends empty whatever the result.
    void clear_variant(Cursor& cursor)
    {
        VARIANT holder;
        VariantInit(&holder);
        holder.vt = VT_ARRAY | vt_;
        holder.parray = array_;
        const HRESULT hr = VariantClear(&holder);
        EXPECT_EQ(holder.vt, VT_EMPTY) << "the VARIANT after VariantClear";
        if (SUCCEEDED(hr))
            array_ = nullptr;
        expect_call(cursor, hr);
    }
    void redim(Cursor& cursor)
    {
        SAFEARRAYBOUND bound = parse_bound(cursor.word());
        expect_call(cursor, SafeArrayRedim(array_, &bound));
    }

    void ptr(Cursor& cursor)
    {
        LONG index = parse_index(cursor);
        void* element = nullptr;
        expect_call(cursor, SafeArrayPtrOfIndex(array_, &index, &element));
    }
    void put(Cursor& cursor)
    {
        LONG index = parse_index(cursor);
        Value element;
        read_element(cursor, vt_, row_.fake(), element);
        expect_call(cursor, SafeArrayPutElement(array_, &index, element_argument(*element, vt_)));
    }
    void get(Cursor& cursor)
    {
        LONG index = parse_index(cursor);
        Value element;
        VARIANT& out = *element;
        out.vt = vt_;
        void* destination = vt_ == VT_VARIANT ? static_cast<void*>(&out) : payload_address(out);
        if (vt_ == VT_VARIANT)
            out.vt = VT_EMPTY;
        const HRESULT hr = SafeArrayGetElement(array_, &index, destination);
        if (vt_ != VT_VARIANT && FAILED(hr))
            out.vt = VT_EMPTY;
        cursor.expect("=>");
        const auto expected = cursor.accept_hresult();
        expect_result(hr, expected.value_or(S_OK));
        if (!expected)
            expect_value(out, cursor, row_.fake(), vt_);
    }
    // The element where it is stored, without a copy.
    void peek(Cursor& cursor)
    {
        LONG index = parse_index(cursor);
        void* element = nullptr;
        ASSERT_EQ(SafeArrayPtrOfIndex(array_, &index, &element), S_OK);
        cursor.expect("=>");
        expect_value(view_of(vt_, element), cursor, row_.fake(), vt_);
    }

    RowContext& row_;
    VARTYPE vt_ = VT_EMPTY;
    SAFEARRAY* array_ = nullptr;
};

} // namespace

void run_safearray(Cursor& cursor, RowContext& row)
{
    const bool has_array = !Cursor(cursor).accept("none");
    Script script(cursor, row);
    Cursor first_step = cursor;
    if (has_array && !first_step.accept("created")) {
        ASSERT_NE(script.array(), nullptr) << "creation failed";
    }
    do
        script.step(cursor);
    while (cursor.accept(";"));
    cursor.finish();
}

} // namespace conformance
