// Temporary: the services arrive in their own files on the reference2 branch, which deletes this file.
#include "services.h"

namespace collector::reference::detail {

namespace {
[[noreturn]] void pending(const wchar_t* service)
{
    fail(E_NOTIMPL, std::wstring(service) + L" is not available yet");
}
} // namespace

CComPtr<IUnknown> make_host_pool(const runtime_ptr&) { pending(L"The host pool"); }
CComPtr<IUnknown> make_user_pool(const runtime_ptr&) { pending(L"The user pool"); }
CComPtr<IUnknown> make_resource_pool(const runtime_ptr&) { pending(L"The resource pool"); }

CComPtr<IDatabaseStorage> make_database_storage(const runtime_ptr&,
                                                std::shared_ptr<sink_list_t<IDatabaseStorageEvents>>)
{
    pending(L"The database storage");
}

CComPtr<IClassFactory> make_profile_class(const std::shared_ptr<world_t>&) { return nullptr; }

void install_live_classes(world_t&) {}

} // namespace collector::reference::detail
