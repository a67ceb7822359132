#include "base.h"

#include <algorithm>
#include <optional>

namespace collector::reference::detail {

std::atomic<long>& counted_t::count() noexcept
{
    static std::atomic<long> live{0};
    return live;
}

void fail(HRESULT hr, std::wstring description)
{
    throw failure_t{hr, std::move(description)};
}

HRESULT report(HRESULT hr, REFIID iid, std::wstring_view description) noexcept
{
    CComPtr<ICreateErrorInfo> info;
    if (FAILED(CreateErrorInfo(&info)))
        return hr;
    const std::wstring text(description);
    info->SetGUID(iid);
    info->SetSource(const_cast<LPOLESTR>(L"collector.reference"));
    info->SetDescription(const_cast<LPOLESTR>(text.c_str()));
    CComQIPtr<IErrorInfo> error(info);
    SetErrorInfo(0, error);
    return hr;
}

void faults_t::arm(const void* owner, std::wstring operation, unsigned occurrence, HRESULT hr,
                   std::wstring description)
{
    if (occurrence == 0)
        throw std::invalid_argument("occurrence counts from 1");
    std::lock_guard lock(mutex_);
    armed_.emplace(std::move(operation), armed_t{owner, occurrence, failure_t{hr, std::move(description)}});
}

void faults_t::check(std::wstring_view operation)
{
    std::unique_lock lock(mutex_);
    auto [it, last] = armed_.equal_range(operation);
    std::optional<failure_t> due;
    while (it != last) {
        if (--it->second.remaining > 0 || due) {
            // Two failures due at once: the later one waits for the next call.
            it->second.remaining = std::max(it->second.remaining, 1u);
            ++it;
            continue;
        }
        due = std::move(it->second.failure);
        it = armed_.erase(it);
    }
    lock.unlock();
    if (due)
        throw *due;
}

void faults_t::clear(const void* owner)
{
    std::lock_guard lock(mutex_);
    std::erase_if(armed_, [owner](const auto& entry) { return entry.second.owner == owner; });
}

faults_t& faults() noexcept
{
    static faults_t table;
    return table;
}

HRESULT copy_text(std::wstring_view text, BSTR* out)
{
    require_out(out);
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!*out)
        fail(E_OUTOFMEMORY, L"Out of memory");
    return S_OK;
}

} // namespace collector::reference::detail
