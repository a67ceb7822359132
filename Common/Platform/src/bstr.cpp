// BSTR allocation, as oleaut32 lays it out: a 4-byte byte-length prefix immediately before the
// characters, and a NUL character after them that the length does not count. Lengths are kept in bytes
// so that SysAllocStringByteLen can hold an odd number of bytes whatever the size of OLECHAR.
#include <oleauto.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

namespace {

// The allocation starts one 8-byte header before the characters, so that they keep the alignment of
// malloc for any OLECHAR size; the byte length occupies the header's last four bytes.
constexpr std::size_t header_size = 8;

// Room after the payload: a full NUL OLECHAR even when the byte length is odd.
constexpr std::size_t terminator_size = 2 * sizeof(OLECHAR);

char* allocation_of(BSTR bstr) { return reinterpret_cast<char*>(bstr) - header_size; }

// An uninitialised BSTR of `bytes` bytes, NUL-terminated; NULL when the length cannot be represented.
BSTR allocate(std::size_t bytes)
{
    if (bytes > std::numeric_limits<std::uint32_t>::max() - header_size - terminator_size)
        return nullptr;
    auto* block = static_cast<char*>(std::malloc(header_size + bytes + terminator_size));
    if (!block)
        return nullptr;
    const auto length = static_cast<std::uint32_t>(bytes);
    std::memcpy(block + header_size - sizeof length, &length, sizeof length);
    std::memset(block + header_size + bytes, 0, terminator_size);
    return reinterpret_cast<BSTR>(block + header_size);
}

// A BSTR holding `bytes` bytes copied from `source`, or uninitialised ones when `source` is NULL.
BSTR allocate_copy(const void* source, std::size_t bytes)
{
    BSTR bstr = allocate(bytes);
    if (bstr && source)
        std::memcpy(bstr, source, bytes);
    return bstr;
}

// Replaces *pbstr with a copy of `bytes` bytes of `source`; with no source, the old contents are kept
// as far as they reach. The old string is freed only after the copy, since `source` may lie inside it.
INT reallocate(BSTR* pbstr, const void* source, std::size_t bytes)
{
    if (!pbstr)
        return FALSE;
    BSTR old = *pbstr;
    BSTR fresh = allocate_copy(source, bytes);
    if (!fresh)
        return FALSE;
    if (!source && old)
        std::memcpy(fresh, old, std::min<std::size_t>(bytes, SysStringByteLen(old)));
    SysFreeString(old);
    *pbstr = fresh;
    return TRUE;
}

} // namespace

BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz)
{
    return psz ? allocate_copy(psz, std::wcslen(psz) * sizeof(OLECHAR)) : nullptr;
}

BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui)
{
    if (ui > std::numeric_limits<std::uint32_t>::max() / sizeof(OLECHAR))
        return nullptr;
    return allocate_copy(strIn, std::size_t{ui} * sizeof(OLECHAR));
}

BSTR STDAPICALLTYPE SysAllocStringByteLen(LPCSTR psz, UINT len) { return allocate_copy(psz, len); }

INT STDAPICALLTYPE SysReAllocString(BSTR* pbstr, const OLECHAR* psz)
{
    return reallocate(pbstr, psz, psz ? std::wcslen(psz) * sizeof(OLECHAR) : 0);
}

INT STDAPICALLTYPE SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len)
{
    if (len > std::numeric_limits<std::uint32_t>::max() / sizeof(OLECHAR))
        return FALSE;
    return reallocate(pbstr, psz, std::size_t{len} * sizeof(OLECHAR));
}

void STDAPICALLTYPE SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(allocation_of(bstrString));
}

UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr)
{
    if (!bstr)
        return 0;
    std::uint32_t length;
    std::memcpy(&length, allocation_of(bstr) + header_size - sizeof length, sizeof length);
    return length;
}

UINT STDAPICALLTYPE SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }
