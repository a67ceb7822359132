// collector-cli's text conversions on any input: a command-line argument read as wide text and
// written back is UTF-8, and is the argument itself when that was UTF-8; any wide text, lone
// surrogates included, is written as UTF-8.
#include "FuzzInput.h"

#include <Text.h>

#include <nlohmann/json.hpp>

using namespace collector::fuzz;

namespace {

// nlohmann's dump() refuses text that is not UTF-8: an oracle that owes nothing to the code under test.
bool is_utf8(const std::string& text)
{
    try {
        nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::type_error&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_input_t input(data, size);
    // Any 32-bit units, which is what wchar_t holds here: surrogates, values beyond Unicode.
    std::wstring wide(input.below(16), L'\0');
    for (auto& c : wide)
        c = static_cast<wchar_t>(input.below(4) == 0 ? input.take<std::uint32_t>() : input.take<std::uint16_t>());
    check(is_utf8(collector::cli::narrow(wide)), "any wide text is written as UTF-8");

    // An argument as the command line gives it: up to its first NUL.
    const std::string argument = input.rest().c_str();
    const std::string back = collector::cli::narrow(collector::cli::widen(argument));
    check(is_utf8(back), "an argument read and written back is UTF-8");
    if (is_utf8(argument))
        check(back == argument, "a UTF-8 argument reads and writes back as itself");
    return 0;
}
