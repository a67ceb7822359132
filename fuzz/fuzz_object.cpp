// Object over fuzzed VARIANTs (arrays of VARIANTs and texts included): every typed reader either
// answers or throws a library exception, readers that share a source agree, the dump names the type,
// equality and order agree with each other, and collector-cli's view of the value is text that its
// JSON output can carry.
#include "VariantBuilder.h"

#include <Value.h>

#include <collector/shell.h>

#include <Kernel/chrono>

#include <nlohmann/json.hpp>

#include <cstring>
#include <optional>

using namespace collector::fuzz;
using collector::shell::Object;

namespace {

// The reader's value, or nothing when it refused the object.
template <class T>
std::optional<T> read(const Object& object)
{
    try {
        return object.get<T>();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void read_everything(const Object& object)
{
    namespace shell = collector::shell;
    const auto vt = object.data().vt;
    const auto number = read<int>(object);
    const auto wide = read<__int64>(object);
    check(!number || vt == VT_BOOL || wide == *number, "an I4 reads the same as int and as __int64");
    const auto seconds = read<std::chrono::seconds>(object);
    check(seconds.has_value() == wide.has_value() && (!seconds || seconds->count() == *wide),
          "seconds are what __int64 reads");
    const auto minutes = read<shell::Minutes>(object);
    check(minutes.has_value() == number.has_value() && (!minutes || minutes->count() == *number),
          "minutes are what int reads");
    const auto real = read<double>(object);
    check(!real || std::memcmp(&*real, &object.data().dblVal, sizeof *real) == 0, "a double is read as it is stored");
    const auto text = read<std::wstring>(object);
    check(!text || *text == (object.data().bstrVal ? object.data().bstrVal : L""), "a text is read up to its first NUL");

    read<unsigned char>(object);
    read<unsigned short>(object);
    read<unsigned int>(object);
    read<unsigned __int64>(object);
    read<GUID>(object);
    read<shell::TimePoint>(object);
    read<ostra::lux::kernel::timepointoffset>(object);
    read<ATL::COleDateTime>(object);
    read<ATL::COleDateTimeSpan>(object);
    read<std::vector<std::wstring>>(object);
    read<std::vector<unsigned char>>(object);
}

// Arrays of texts are read by the indices 0 to count - 1: one that starts elsewhere cannot be.
bool starts_at_zero(SAFEARRAY* array)
{
    LONG lower = -1;
    return array && SafeArrayGetDim(array) == 1 && SUCCEEDED(SafeArrayGetLBound(array, 1, &lower)) && lower == 0;
}

void check_dump(const Object& object)
{
    std::wstring dump;
    try {
        dump = object.to_string();
    } catch (const std::exception&) {
        // The formatter refuses a null text and a record type without a name.
        const VARIANT& v = object.data();
        check((v.vt == VT_BSTR && !v.bstrVal) || v.vt == VT_RECORD ||
                  (v.vt == (VT_ARRAY | VT_BSTR) && !starts_at_zero(v.parray)),
              "every other value has a dump");
        return;
    }
    check(dump.rfind(L"<VT", 0) == 0, "a dump starts by naming the type");
}

void check_order(const Object& a, const Object& b)
{
    check(!(a < a), "no value precedes itself");
    check(!(a < b && b < a), "of two values at most one precedes the other");
    if (a == b)
        check(b == a && !(a < b) && !(b < a), "equal values are equal both ways and unordered");
    const Object copy = a;
    check((copy == a) == (a == a), "a copy compares as its original");
}

void check_cli_view(const Object& object)
{
    collector::cli::value_t value;
    try {
        value = collector::cli::to_value(object);
    } catch (const std::exception&) {
        return;
    }
    const std::string text = collector::cli::format_value(value);
    const nlohmann::json line{{"value", collector::cli::to_json(value)}, {"text", text}};
    try {
        line.dump();
    } catch (const nlohmann::json::type_error&) {
        violated("collector-cli writes a value as UTF-8");
    }
}

// A copy of the built VARIANT as an Object; nothing for a type that VariantCopy refuses.
std::optional<Object> object_of(const built_variant_t& built)
{
    _variant_t copy;
    if (FAILED(VariantCopy(&copy, &built.get())))
        return std::nullopt;
    return Object(std::move(copy));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_input_t input(data, size);
    const built_variant_t first(input);
    const built_variant_t second(input);
    const std::optional<Object> a = object_of(first);
    const std::optional<Object> b = object_of(second);
    if (!a || !b)
        return 0;
    read_everything(*a);
    check_dump(*a);
    check_order(*a, *b);
    check_cli_view(*a);
    return 0;
}
