// SAFEARRAY rows: an array is created from the row's header, then each step calls one function on it
// and checks the outcome; whatever is left is unlocked and destroyed at the end.
//
//   safearray <type> [vector] <count>@<lbound>...  |  safearray <type> dims0  |  nobounds  |  none
//     : created => null|ok ; features => 0x0080 ; elemsize => 4 ; vartype => I4|<HR> ; dims => 1
//     ; locks => 0 ; lbound 1 => 1|<HR> ; ubound 1 => 3|<HR> ; stored 0 => 3@1
//     ; lock|unlock|access|unaccess|destroy|clearvariant => <HR> ; redim 5@0 => <HR>
//     ; put [1] <element> => <HR> ; get [1] => <element>|<HR> ; peek [1] => <element> ; ptr [9] => <HR>
//     ; refs => <count of the row's fake>
#include "conformance/checks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace conformance {
namespace {

enum class Layout { bounds, vector, no_dimensions, no_bounds, no_array };

struct Header {
    VARTYPE vt = VT_EMPTY;
    Layout layout = Layout::bounds;
    std::vector<SAFEARRAYBOUND> bounds;
};

struct Step {
    std::string action;
    long long argument = 0;
    LONG index = 0;
    SAFEARRAYBOUND bound{};
    std::optional<Literal> element;
    // The outcome: an HRESULT, a number, an element or a bound.
    std::optional<HRESULT> hr;
    std::optional<long long> number;
    std::optional<Literal> value;
    bool null = false;
};

SAFEARRAYBOUND parse_bound(const std::string& word)
{
    const auto at = word.find('@');
    if (at == std::string::npos || at == 0)
        throw ParseError("a bound count@lbound expected, not '" + word + "'");
    return {static_cast<ULONG>(std::strtoul(word.c_str(), nullptr, 10)),
            static_cast<LONG>(std::strtol(word.c_str() + at + 1, nullptr, 10))};
}

Header parse_header(Cursor& cursor)
{
    Header header;
    const auto type = cursor.word();
    if (type == "none") {
        header.layout = Layout::no_array;
    } else {
        header.vt = parse_vartype(type);
        if (cursor.accept("vector"))
            header.layout = Layout::vector;
        else if (cursor.accept("dims0"))
            header.layout = Layout::no_dimensions;
        else if (cursor.accept("nobounds"))
            header.layout = Layout::no_bounds;
        while (!cursor.accept(":"))
            header.bounds.push_back(parse_bound(cursor.word()));
        return header;
    }
    cursor.expect(":");
    return header;
}

LONG parse_index(Cursor& cursor)
{
    cursor.expect("[");
    const auto index = static_cast<LONG>(cursor.number());
    cursor.expect("]");
    return index;
}

// The outcome after "=>": an HRESULT name, or what `read` makes of the words.
template <class Read>
void parse_result(Cursor& cursor, Step& step, Read read)
{
    cursor.expect("=>");
    step.hr = cursor.accept_hresult();
    if (!step.hr)
        read();
}

Step parse_step(Cursor& cursor, const Header& header)
{
    Step step;
    step.action = cursor.word();
    const auto& a = step.action;
    auto number = [&] { step.number = cursor.number(); };
    auto nothing = [&] { cursor.fail("an HRESULT expected"); };
    if (a == "created") {
        cursor.expect("=>");
        step.null = cursor.accept("null");
        if (!step.null)
            cursor.expect("ok");
    } else if (a == "features" || a == "elemsize" || a == "dims" || a == "locks" || a == "refs") {
        parse_result(cursor, step, number);
    } else if (a == "vartype") {
        parse_result(cursor, step, [&] { step.number = parse_vartype(cursor.word()); });
    } else if (a == "lbound" || a == "ubound") {
        step.argument = cursor.number();
        parse_result(cursor, step, number);
    } else if (a == "stored") {
        step.argument = cursor.number();
        parse_result(cursor, step, [&] { step.bound = parse_bound(cursor.word()); });
    } else if (a == "lock" || a == "unlock" || a == "access" || a == "unaccess" || a == "destroy" ||
               a == "clearvariant" || a == "ptr" || a == "redim" || a == "put") {
        if (a == "ptr" || a == "put")
            step.index = parse_index(cursor);
        if (a == "put")
            step.element = parse_element(cursor, header.vt);
        if (a == "redim")
            step.bound = parse_bound(cursor.word());
        parse_result(cursor, step, nothing);
    } else if (a == "get" || a == "peek") {
        step.index = parse_index(cursor);
        parse_result(cursor, step, [&] { step.value = parse_element(cursor, header.vt); });
    } else {
        cursor.fail("unknown SAFEARRAY step");
    }
    return step;
}

SAFEARRAY* create(const Header& header)
{
    auto bounds = header.bounds;
    switch (header.layout) {
    case Layout::no_array: return nullptr;
    case Layout::vector: return SafeArrayCreateVector(header.vt, bounds.at(0).lLbound, bounds.at(0).cElements);
    case Layout::no_dimensions: {
        SAFEARRAYBOUND unused{1, 0};
        return SafeArrayCreate(header.vt, 0, &unused);
    }
    case Layout::no_bounds: return SafeArrayCreate(header.vt, 1, nullptr);
    case Layout::bounds: break;
    }
    return SafeArrayCreate(header.vt, static_cast<UINT>(bounds.size()), bounds.data());
}

// Runs the steps against one array; `array` follows destruction.
class ArrayScript {
public:
    ArrayScript(const Header& header, RowObjects& objects) : header_(header), objects_(objects) {}
    ~ArrayScript() { dispose(); }

    SAFEARRAY*& array() { return array_; }

    void run(const Step& step)
    {
        const auto& a = step.action;
        if (a == "created") {
            EXPECT_EQ(array_ == nullptr, step.null) << "whether creation gave NULL";
        }
        else if (a == "features")
            expect_number(step, array_ ? array_->fFeatures : -1);
        else if (a == "elemsize")
            check_element_size(step);
        else if (a == "dims")
            expect_number(step, SafeArrayGetDim(array_));
        else if (a == "locks")
            expect_number(step, array_ ? static_cast<long long>(array_->cLocks) : -1);
        else if (a == "refs")
            expect_number(step, objects_.object->references());
        else if (a == "stored")
            check_stored(step);
        else if (a == "get" || a == "peek")
            read(step);
        else
            check_hr(step, call(step));
    }

private:
    void expect_number(const Step& step, long long actual)
    {
        EXPECT_EQ(actual, step.number.value_or(-1)) << step.action;
    }

    void check_hr(const Step& step, HRESULT hr)
    {
        expect_result(hr, step.hr.value_or(S_OK));
        if (SUCCEEDED(hr) && (step.action == "destroy" || step.action == "clearvariant"))
            array_ = nullptr;
    }

    void check_element_size(const Step& step)
    {
        expect_number(step, SafeArrayGetElemsize(array_));
        if (array_ != nullptr) {
            EXPECT_EQ(array_->cbElements, SafeArrayGetElemsize(array_)) << "cbElements";
        }
    }

    void check_stored(const Step& step)
    {
        ASSERT_NE(array_, nullptr);
        ASSERT_LT(step.argument, array_->cDims);
        const auto& stored = array_->rgsabound[step.argument];
        EXPECT_EQ(stored.cElements, step.bound.cElements) << "stored bound " << step.argument;
        EXPECT_EQ(stored.lLbound, step.bound.lLbound) << "stored bound " << step.argument;
    }

    HRESULT call(const Step& step)
    {
        const auto& a = step.action;
        LONG index = step.index;
        void* unused = nullptr;
        if (a == "vartype" || a == "lbound" || a == "ubound")
            return query(step);
        if (a == "lock")
            return SafeArrayLock(array_);
        if (a == "unlock")
            return SafeArrayUnlock(array_);
        if (a == "access")
            return SafeArrayAccessData(array_, &unused);
        if (a == "unaccess")
            return SafeArrayUnaccessData(array_);
        if (a == "destroy")
            return SafeArrayDestroy(array_);
        if (a == "ptr")
            return SafeArrayPtrOfIndex(array_, &index, &unused);
        if (a == "redim") {
            SAFEARRAYBOUND bound = step.bound;
            return SafeArrayRedim(array_, &bound);
        }
        if (a == "put")
            return put(step);
        return clear_variant();
    }

    // Queries whose value is checked when they succeed.
    HRESULT query(const Step& step)
    {
        LONG bound = 0;
        VARTYPE vt = 0;
        const auto dimension = static_cast<UINT>(step.argument);
        const HRESULT hr = step.action == "vartype" ? SafeArrayGetVartype(array_, &vt)
                           : step.action == "lbound" ? SafeArrayGetLBound(array_, dimension, &bound)
                                                     : SafeArrayGetUBound(array_, dimension, &bound);
        if (step.number) {
            expect_result(hr, S_OK);
            EXPECT_EQ(step.action == "vartype" ? vt : bound, *step.number) << step.action;
        }
        return hr;
    }

    HRESULT put(const Step& step)
    {
        OwnedVariant element;
        build(*step.element, objects_.context, element);
        LONG index = step.index;
        return SafeArrayPutElement(array_, &index, element_argument(*element.get(), header_.vt));
    }

    // VariantClear of a VARIANT that holds the array: the VARIANT ends empty whatever the result.
    HRESULT clear_variant()
    {
        VARIANT holder;
        VariantInit(&holder);
        holder.vt = VT_ARRAY | header_.vt;
        holder.parray = array_;
        const HRESULT hr = VariantClear(&holder);
        EXPECT_EQ(holder.vt, VT_EMPTY) << "the VARIANT after VariantClear";
        return hr;
    }

    void read(const Step& step)
    {
        LONG index = step.index;
        if (step.action == "peek") {
            void* element = nullptr;
            ASSERT_EQ(SafeArrayPtrOfIndex(array_, &index, &element), S_OK);
            VARIANT view;
            VariantInit(&view);
            view.vt = header_.vt;
            if (header_.vt == VT_VARIANT)
                view = *static_cast<VARIANT*>(element);
            else
                std::memcpy(payload_address(view), element, SafeArrayGetElemsize(array_));
            view.vt = header_.vt == VT_VARIANT ? view.vt : header_.vt;
            expect_value(view, *step.value, objects_.context);
            return;
        }
        OwnedVariant element;
        VARIANT& out = *element.get();
        out.vt = header_.vt;
        void* destination = header_.vt == VT_VARIANT ? static_cast<void*>(&out) : payload_address(out);
        const HRESULT hr = SafeArrayGetElement(array_, &index, destination);
        if (header_.vt != VT_VARIANT)
            out.vt = SUCCEEDED(hr) ? header_.vt : VARTYPE(VT_EMPTY);
        expect_result(hr, step.hr.value_or(S_OK));
        if (SUCCEEDED(hr) && step.value)
            expect_value(out, *step.value, objects_.context);
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

    const Header& header_;
    RowObjects& objects_;
    SAFEARRAY* array_ = nullptr;
};

} // namespace

Body prepare_safearray(Cursor& cursor)
{
    const Header header = parse_header(cursor);
    std::vector<Step> steps{parse_step(cursor, header)};
    while (cursor.accept(";"))
        steps.push_back(parse_step(cursor, header));
    cursor.finish();
    return [header, steps] {
        RowObjects objects;
        ArrayScript script(header, objects);
        script.array() = create(header);
        if (header.layout != Layout::no_array && steps.front().action != "created") {
            ASSERT_NE(script.array(), nullptr) << "creation failed";
        }
        for (const auto& step : steps)
            script.run(step);
    };
}

} // namespace conformance
