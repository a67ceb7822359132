// Small fakes for the tests of the layer's runtime: objects whose references the ledger counts, and a
// record type described through IRecordInfo.
#pragma once

#include "support/fake_com.h"

#include <windows.h>

namespace core_test {

struct Unknown : fake::Fake<IUnknown> {
    using Fake::Fake;
};

struct Dispatch : fake::Fake<IDispatch> {
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

struct ErrorObject : fake::Fake<IErrorInfo> {
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE GetGUID(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD*) override { return E_NOTIMPL; }
};

// The record that PairRecord describes: a number and an owned string.
struct Pair {
    LONG number;
    BSTR text;
};

// Describes Pair.
class PairRecord : public fake::Fake<IRecordInfo> {
public:
    using Fake::Fake;

    HRESULT STDMETHODCALLTYPE RecordInit(PVOID pv) override
    {
        *static_cast<Pair*>(pv) = {};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RecordClear(PVOID pv) override
    {
        SysFreeString(static_cast<Pair*>(pv)->text);
        return RecordInit(pv);
    }
    // Releases what the target holds first, as IRecordInfo::RecordCopy is documented to.
    HRESULT STDMETHODCALLTYPE RecordCopy(PVOID existing, PVOID target) override
    {
        const auto& from = *static_cast<Pair*>(existing);
        auto& to = *static_cast<Pair*>(target);
        RecordClear(target);
        to.number = from.number;
        to.text = from.text ? SysAllocString(from.text) : nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSize(ULONG* size) override
    {
        *size = sizeof(Pair);
        return S_OK;
    }
    PVOID STDMETHODCALLTYPE RecordCreate() override
    {
        void* record = CoTaskMemAlloc(sizeof(Pair));
        RecordInit(record);
        return record;
    }
    HRESULT STDMETHODCALLTYPE RecordCreateCopy(PVOID source, PVOID* target) override
    {
        *target = RecordCreate();
        return RecordCopy(source, *target);
    }
    HRESULT STDMETHODCALLTYPE RecordDestroy(PVOID record) override
    {
        RecordClear(record);
        CoTaskMemFree(record);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetGuid(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetField(PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldNoCopy(PVOID, LPCOLESTR, VARIANT*, PVOID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutField(ULONG, PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutFieldNoCopy(ULONG, PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldNames(ULONG*, BSTR*) override { return E_NOTIMPL; }
    BOOL STDMETHODCALLTYPE IsMatchingType(IRecordInfo* other) override { return other == this; }
};

// A BSTR owned for the length of a scope.
class Text {
public:
    explicit Text(const OLECHAR* text) : bstr_(SysAllocString(text)) {}
    Text(const OLECHAR* text, UINT length) : bstr_(SysAllocStringLen(text, length)) {}
    ~Text() { SysFreeString(bstr_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    BSTR get() const { return bstr_; }

private:
    BSTR bstr_;
};

} // namespace core_test
