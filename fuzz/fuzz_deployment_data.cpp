// DeploymentData filled under fuzzed names, read back the way the component reads it: every distinct
// name is one entry, GetNames lists them once each in UTF-16 code-unit order, GetValue finds each.
#include "FuzzInput.h"

#include <DeploymentDataObject.h>

#include <collector/shell.h>

#include <map>
#include <string>

using namespace collector::fuzz;
using collector::shell::DeploymentData;

namespace {

// Characters that make names collide, nest and sort across the surrogate range; a NUL cuts a name
// short for GetValue, and a character beyond U+FFFF is a surrogate pair in UTF-16.
constexpr wchar_t alphabet[] = {L'a', L'A', L'b', L'\0', static_cast<wchar_t>(0xD7FF), static_cast<wchar_t>(0xD800),
                                static_cast<wchar_t>(0xDC00), static_cast<wchar_t>(0xE000),
                                static_cast<wchar_t>(0xFFFF), static_cast<wchar_t>(0x10000),
                                static_cast<wchar_t>(0x10FFFF)};

std::wstring fuzzed_name(fuzz_input_t& input)
{
    std::wstring name(input.below(5), L'\0');
    for (auto& c : name)
        c = input.pick(alphabet);
    return name;
}

// The name as UTF-16 code units, whatever the width of wchar_t.
std::u16string utf16_of(const std::wstring& name)
{
    std::u16string units;
    for (const wchar_t c : name) {
        const auto code = static_cast<char32_t>(c);
        if (code > 0xFFFF) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
    }
    return units;
}

struct utf16_order_t {
    bool operator()(const std::wstring& a, const std::wstring& b) const
    {
        const std::u16string ua = utf16_of(a), ub = utf16_of(b);
        return ua != ub ? ua < ub : a < b;
    }
};

std::wstring text_of(BSTR text) { return std::wstring(text, SysStringLen(text)); }

void check_names(Ostra_Lux_Collector_Interfaces::IDeploymentData& object,
                 const std::map<std::wstring, LONG, utf16_order_t>& model)
{
    SAFEARRAY* names = nullptr;
    check(SUCCEEDED(object.GetNames(&names)) && names, "the names are listed");
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(names, 1, &lower);
    SafeArrayGetUBound(names, 1, &upper);
    check(lower == 0 && upper + 1 == static_cast<LONG>(model.size()), "every distinct name is listed once");
    BSTR* listed = nullptr;
    check(SUCCEEDED(SafeArrayAccessData(names, reinterpret_cast<void**>(&listed))), "the list is readable");
    auto expected = model.begin();
    for (LONG index = 0; index <= upper; ++index, ++expected)
        check(text_of(listed[index]) == expected->first, "the names are listed in UTF-16 code-unit order");
    SafeArrayUnaccessData(names);
    SafeArrayDestroy(names);
}

void check_values(Ostra_Lux_Collector_Interfaces::IDeploymentData& object,
                  const std::map<std::wstring, LONG, utf16_order_t>& model)
{
    for (const auto& [name, value] : model) {
        // GetValue reads its BSTR up to the first NUL: the name it finds is that prefix.
        const std::wstring asked = name.c_str();
        const auto found = model.find(asked);
        _bstr_t bstr(asked.c_str());
        VARIANT got;
        VariantInit(&got);
        const HRESULT hr = object.GetValue(bstr, &got);
        if (found == model.end()) {
            check(hr == E_INVALIDARG, "a name that is not there is not found");
            continue;
        }
        check(SUCCEEDED(hr) && got.vt == VT_I4 && got.lVal == found->second, "a name finds its value");
        VariantClear(&got);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_input_t input(data, size);
    DeploymentData bag;
    std::map<std::wstring, LONG, utf16_order_t> model;
    for (std::size_t count = input.below(12); count > 0; --count) {
        const std::wstring name = fuzzed_name(input);
        const LONG value = input.take<LONG>();
        bag[name] = value;
        model[name] = value;
    }
    for (const auto& [name, value] : model)
        check(bag[name].vt == VT_I4 && bag[name].lVal == value, "the bag keeps the last value under each name");

    const auto object = collector::shell::detail::deployment_data_of(bag);
    check(object != nullptr, "a bag has its object");
    check_names(*object, model);
    check_values(*object, model);
    return 0;
}
