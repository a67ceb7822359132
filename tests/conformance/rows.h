// What the kinds of row share: the row's fake object and the check of an HRESULT.
#pragma once

#include "conformance/table.h"
#include "conformance/values.h"
#include "support/fake_com.h"

#include <windows.h>

namespace conformance {

class RowFake : public fake::Fake<IUnknown> {
public:
    using Fake::Fake;
};

// The row's fake object, which the word `fake` stands for.
struct RowContext {
    fake::Held<RowFake> object = fake::hold<RowFake>("row fake");
    IUnknown* fake() { return object->unknown(); }
};

// By name, so that a failure reads DISP_E_OVERFLOW rather than a number.
void expect_result(HRESULT actual, HRESULT expected);

// safearray <header> : <step> => <outcome> ; ...   (safearray_rows.cpp)
void run_safearray(Cursor& cursor, RowContext& row);

} // namespace conformance
