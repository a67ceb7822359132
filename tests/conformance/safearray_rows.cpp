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

class Script {
public:
    Script(Cursor& cursor, RowContext& row) : row_(row) { array_ = create(cursor); }
    ~Script()
    {
        if (array_ == nullptr)
            return;
        for (int guard = 0; array_->cLocks > 0 && guard < 16; ++guard)
            EXPECT_EQ(SafeArrayUnlock(array_), S_OK);
        EXPECT_EQ(SafeArrayDestroy(array_), S_OK);
    }
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    SAFEARRAY* array() const { return array_; }

    void step(Cursor& cursor)
    {
        const auto action = cursor.word();
        LONG value = 0;
        void* data = nullptr;
        if (action == "created")
            return created(cursor);
        if (action == "features")
            return expect_number(cursor, array_ ? array_->fFeatures : -1, "fFeatures");
        if (action == "elemsize") {
            if (array_ != nullptr) {
                EXPECT_EQ(array_->cbElements, SafeArrayGetElemsize(array_)) << "cbElements";
            }
            return expect_number(cursor, SafeArrayGetElemsize(array_), "SafeArrayGetElemsize");
        }
        if (action == "dims")
            return expect_number(cursor, SafeArrayGetDim(array_), "SafeArrayGetDim");
        if (action == "locks")
            return expect_number(cursor, array_ ? static_cast<long long>(array_->cLocks) : -1, "cLocks");
        if (action == "refs")
            return expect_number(cursor, row_.object->references(), "references to the row's fake");
        if (action == "vartype") {
            VARTYPE vt = 0;
            const HRESULT hr = SafeArrayGetVartype(array_, &vt);
            return expect_query(cursor, hr, [&] { EXPECT_EQ(vt, parse_vartype(cursor.word())); });
        }
        if (action == "lbound" || action == "ubound") {
            const auto dimension = cursor.number_as<UINT>();
            const HRESULT hr = (action == "lbound" ? SafeArrayGetLBound : SafeArrayGetUBound)(array_, dimension, &value);
            return expect_query(cursor, hr, [&] { EXPECT_EQ(value, cursor.number()); });
        }
        if (action == "stored")
            return stored(cursor);
        if (action == "lock")
            return expect_call(cursor, SafeArrayLock(array_));
        if (action == "unlock")
            return expect_call(cursor, SafeArrayUnlock(array_));
        if (action == "access") {
            const HRESULT hr = SafeArrayAccessData(array_, &data);
            if (SUCCEEDED(hr)) {
                EXPECT_EQ(data, array_->pvData) << "the data handed out";
            }
            return expect_call(cursor, hr);
        }
        if (action == "unaccess")
            return expect_call(cursor, SafeArrayUnaccessData(array_));
        if (action == "destroy")
            return expect_call(cursor, let_go(SafeArrayDestroy(array_)));
        if (action == "clearvariant")
            return clear_variant(cursor);
        if (action == "redim") {
            SAFEARRAYBOUND bound = parse_bound(cursor.word());
            return expect_call(cursor, SafeArrayRedim(array_, &bound));
        }
        if (action == "ptr") {
            value = parse_index(cursor);
            return expect_call(cursor, SafeArrayPtrOfIndex(array_, &value, &data));
        }
        if (action == "put")
            return put(cursor);
        if (action == "get")
            return get(cursor);
        if (action == "peek")
            return peek(cursor);
        throw cursor.error("unknown SAFEARRAY step");
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
        return SafeArrayCreate(vt_, no_bounds ? 1 : static_cast<UINT>(bounds.size()), no_bounds ? nullptr : bounds.data());
    }

    // The result of a call that destroys the array when it succeeds.
    HRESULT let_go(HRESULT hr)
    {
        if (SUCCEEDED(hr))
            array_ = nullptr;
        return hr;
    }

    void created(Cursor& cursor)
    {
        cursor.expect("=>");
        const bool null = cursor.accept("null");
        if (!null)
            cursor.expect("ok");
        EXPECT_EQ(array_ == nullptr, null) << "whether creation gave NULL";
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
    // VariantClear of a VARIANT that holds the array: the VARIANT ends empty whatever the result.
    void clear_variant(Cursor& cursor)
    {
        VARIANT holder;
        VariantInit(&holder);
        holder.vt = VT_ARRAY | vt_;
        holder.parray = array_;
        const HRESULT hr = let_go(VariantClear(&holder));
        EXPECT_EQ(holder.vt, VT_EMPTY) << "the VARIANT after VariantClear";
        expect_call(cursor, hr);
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
        out.vt = vt_ == VT_VARIANT ? VARTYPE(VT_EMPTY) : vt_;
        const HRESULT hr = SafeArrayGetElement(array_, &index, vt_ == VT_VARIANT ? &out : payload_address(out));
        if (vt_ != VT_VARIANT && FAILED(hr))
            out.vt = VT_EMPTY;
        void* stored = nullptr;
        if (vt_ == VT_BSTR && out.bstrVal && SUCCEEDED(SafeArrayPtrOfIndex(array_, &index, &stored))) {
            EXPECT_NE(out.bstrVal, *static_cast<BSTR*>(stored)) << "the string was handed out without a copy";
        }
        expect_query(cursor, hr, [&] { expect_value(out, cursor, row_.fake(), vt_); });
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
    if (has_array && !Cursor(cursor).accept("created")) {
        ASSERT_NE(script.array(), nullptr) << "creation failed";
    }
    run_steps(cursor, [&] { script.step(cursor); });
}

} // namespace conformance
