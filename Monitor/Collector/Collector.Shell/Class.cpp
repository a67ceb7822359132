// Class: the descriptor of a record class, and the class lookups that keys, records and references
// share.
#include "pch.h"

#include "RecordImpl.h"

#include <collector/shell/Class.h>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct Class::impl_t {
    detail::CComQIPtrStrong<IClass, &IID_IClass> cls;

    explicit impl_t(IUnknown* cls_) : cls(cls_) {}

    // The class's interface, which a class built from a null pointer lacks.
    IClass* operations() const
    {
        if (!cls)
            _com_issue_error(E_POINTER);
        return cls.p;
    }
};

Class::Class(IUnknown* cls) : impl_(std::make_shared<impl_t>(cls)) {}

GUID Class::GetId() const
{
    GUID id{};
    detail::call(impl_->operations(), &IClass::GetId, &id);
    return id;
}

std::wstring Class::GetName() const { return detail::read_text(impl_->operations(), &IClass::GetName); }

std::wstring Class::GetVersion() const { return detail::read_text(impl_->operations(), &IClass::GetVersion); }

std::wstring Class::GetScope() const { return detail::read_text(impl_->operations(), &IClass::GetScope); }

bool Class::IsSingleton() const
{
    VARIANT_BOOL singleton = VARIANT_FALSE;
    detail::call(impl_->operations(), &IClass::IsSingleton, &singleton);
    return singleton != VARIANT_FALSE;
}

namespace detail {

CComPtr<IClass> find_class(IClassPool* pool, const GUID& id)
{
    if (!pool)
        _com_issue_error(E_POINTER);
    CComPtr<IClass> cls;
    call(pool, &IClassPool::GetClass, id, &cls);
    return cls;
}

tstring class_name_of(IClassPool* pool, const GUID& id)
{
    const CComPtr<IClass> cls = find_class(pool, id);
    if (!cls)
        _com_issue_error(E_POINTER);
    return read_text(cls.p, &IClass::GetName);
}

} // namespace detail
} // namespace collector::shell
