// A scripted enumeration of VARIANTs, the one that every fake collection of the shell tests hands out.
#pragma once

#include "support/fake_com.h"

#include <comdef.h>

#include <optional>
#include <vector>

namespace shell_test {

// An enumeration over copies of `elements`, one per Next, that answers `failure` instead of the
// element at position `fail_at` (and at every later call). It notes every count asked for in
// `requested` where one is given, which outlives it.
class FakeElements : public fake::Fake<IEnumVARIANT> {
public:
    FakeElements(std::vector<_variant_t> elements, std::vector<ULONG>* requested,
                 std::optional<std::size_t> fail_at = std::nullopt, HRESULT failure = E_FAIL)
        : Fake("elements"), elements_(std::move(elements)), requested_(requested), fail_at_(fail_at), failure_(failure)
    {
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override
    {
        if (requested_)
            requested_->push_back(count);
        *fetched = 0;
        if (fail_at_ && next_ == *fail_at_)
            return failure_;
        if (next_ == elements_.size())
            return S_FALSE;
        VariantInit(out);
        if (const HRESULT hr = VariantCopy(out, &elements_[next_++]); FAILED(hr))
            return hr;
        *fetched = 1;
        return count == 1 ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    std::vector<_variant_t> elements_;
    std::vector<ULONG>* requested_;
    std::size_t next_ = 0;
    std::optional<std::size_t> fail_at_;
    HRESULT failure_;
};

} // namespace shell_test
