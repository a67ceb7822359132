// What the kinds of row share: the row's fake object and the check of an HRESULT.
#pragma once

#include "conformance/table.h"
#include "conformance/values.h"
#include "support/fake_com.h"

#include <windows.h>

#include <functional>

namespace conformance {

// The row's fake object, which the word `fake` stands for.
struct RowContext {
    fake::Held<fake::Unknown> object = fake::hold<fake::Unknown>("row fake");
    IUnknown* fake() { return object->unknown(); }
};

// By name, so that a failure reads DISP_E_OVERFLOW rather than a number.
void expect_result(HRESULT actual, HRESULT expected);

// safearray <header> : <step> => <outcome> ; ...   (safearray_rows.cpp)
void run_safearray(Cursor& cursor, RowContext& row);

// <step> ; <step> ; ... to the end of the row.
void run_steps(Cursor& cursor, const std::function<void()>& step);

} // namespace conformance
