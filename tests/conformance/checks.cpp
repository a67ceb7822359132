#include "conformance/checks.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace conformance {

void expect_result(HRESULT actual, HRESULT expected)
{
    EXPECT_EQ(hresult_name(actual), hresult_name(expected));
}

void expect_value(const VARIANT& actual, const Literal& expected, Context& context)
{
    OwnedVariant wanted;
    build(expected, context, wanted);
    EXPECT_TRUE(same(actual, *wanted, expected.approx)) << "  expected: " << describe(*wanted)
                                                         << "\n    actual: " << describe(actual);
}

String::String(const std::optional<std::string>& text)
{
    if (!text)
        return;
    const auto wide = widen(*text);
    value_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (value_ == nullptr)
        throw std::runtime_error("SysAllocStringLen failed");
}

} // namespace conformance
