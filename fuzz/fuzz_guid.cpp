// IIDFromString and CLSIDFromString on any text, StringFromGUID2 on any GUID: a text that parses is
// the GUID's own text but for the case of its letters, and a GUID's text parses back to it.
#include "FuzzInput.h"

#include <objbase.h>

#include <cstring>
#include <string>

using namespace collector::fuzz;

namespace {

constexpr std::size_t guid_text_length = 38;

std::wstring text_of(const GUID& id)
{
    OLECHAR text[guid_text_length + 1];
    check(StringFromGUID2(id, text, static_cast<int>(guid_text_length + 1)) == static_cast<int>(guid_text_length + 1),
          "a GUID's text takes 39 characters with its NUL");
    check(StringFromGUID2(id, text, static_cast<int>(guid_text_length)) == 0, "a GUID's text needs 39 characters");
    return text;
}

std::wstring upper_ascii(std::wstring text)
{
    for (auto& c : text)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

bool same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void check_parse(const std::wstring& text)
{
    // The functions read up to the first NUL.
    const std::wstring read = text.c_str();
    GUID iid, clsid;
    std::memset(&iid, 0xA5, sizeof iid);
    const GUID before = iid;
    clsid = iid;
    const HRESULT by_iid = IIDFromString(text.c_str(), &iid);
    const HRESULT by_clsid = CLSIDFromString(text.c_str(), &clsid);
    check(SUCCEEDED(by_iid) == SUCCEEDED(by_clsid), "IIDFromString and CLSIDFromString accept the same texts");
    if (SUCCEEDED(by_iid)) {
        check(same(iid, clsid), "IIDFromString and CLSIDFromString read the same GUID");
        check(text_of(iid) == upper_ascii(read), "a GUID parsed from text formats as that text");
        return;
    }
    if (read.size() != guid_text_length)
        check(by_iid == E_INVALIDARG && same(iid, before), "a text of another length is refused untouched");
    else
        check(by_iid == CO_E_IIDSTRING && by_clsid == CO_E_CLASSSTRING, "a malformed text is refused");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_input_t input(data, size);
    const GUID id = input.take<GUID>();
    GUID back;
    check(SUCCEEDED(IIDFromString(text_of(id).c_str(), &back)) && same(back, id), "a GUID's text parses back to it");
    check_parse(input.text(guid_text_length + 2));
    return 0;
}
