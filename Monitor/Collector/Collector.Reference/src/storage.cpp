// The database storage of a collector: its connection settings are checked, and a good set moves the
// storage through Connecting to Connected; Disconnect moves it back. Each new state is announced to the
// collector's IDatabaseStorageEvents sinks, in order, on the collector's event thread.
#include "properties.h"
#include "services.h"

#include <algorithm>

namespace collector::reference::detail {
namespace {

// The collector answers IDatabaseStorage and counts each call for scripted failures before it forwards
// the call here, so the storage's own operations count nothing a second time.
constexpr wchar_t counted_by_collector[] = L"";

bool is_flag(VARIANT_BOOL flag)
{
    return flag == VARIANT_TRUE || flag == VARIANT_FALSE;
}

// Server and instance names: letters, digits and the few signs that host and instance names use.
bool is_plain_name(const std::wstring& name, std::wstring_view signs)
{
    return std::all_of(name.begin(), name.end(), [&](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
               signs.find(c) != std::wstring_view::npos;
    });
}

struct settings_t {
    std::wstring server, instance, database, user;
    bool sql_auth = false;
    LONG encryption_mode = 0;
};

// Fails with E_INVALIDARG and the reason for the first setting that cannot make a connection.
void validate(const settings_t& settings, const std::wstring& password, VARIANT_BOOL sql_auth,
              VARIANT_BOOL failover, VARIANT_BOOL trust)
{
    const auto reject = [](const std::wstring& why) { fail(E_INVALIDARG, why); };
    if (settings.server.empty())
        reject(L"The connection needs a server");
    if (!is_plain_name(settings.server, L".-_()"))
        reject(L"The server name " + settings.server + L" is not valid");
    if (!is_plain_name(settings.instance, L"_$"))
        reject(L"The instance name " + settings.instance + L" is not valid");
    if (settings.database.empty() || settings.database.size() > 128)
        reject(L"The database name must have 1 to 128 characters");
    for (const auto& [flag, name] : {std::pair{sql_auth, L"UseSqlAuth"}, std::pair{failover, L"MultiSubnetFailover"},
                                     std::pair{trust, L"TrustServerCertificate"}})
        if (!is_flag(flag))
            reject(std::wstring(L"The flag ") + name + L" is " + std::to_wstring(flag) +
                   L", neither VARIANT_TRUE nor VARIANT_FALSE");
    if (settings.sql_auth && settings.user.empty())
        reject(L"SQL authentication needs a user name");
    if (!settings.sql_auth && !(settings.user.empty() && password.empty()))
        reject(L"A user name and password are given only with SQL authentication");
    if (settings.encryption_mode < 0 || settings.encryption_mode > 2)
        reject(L"The encryption mode " + std::to_wstring(settings.encryption_mode) +
               L" is not 0 (optional), 1 (mandatory) or 2 (strict)");
}

class ATL_NO_VTABLE database_storage_t : public object_t, public IDatabaseStorage {
public:
    BEGIN_COM_MAP(database_storage_t)
        COM_INTERFACE_ENTRY(IDatabaseStorage)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(runtime_ptr runtime, std::shared_ptr<sink_list_t<IDatabaseStorageEvents>> events)
    {
        runtime_ = std::move(runtime);
        events_ = std::move(events);
    }

    HRESULT STDMETHODCALLTYPE Connect(BSTR server, BSTR instance, BSTR database, VARIANT_BOOL useSqlAuth, BSTR user,
                                      BSTR password, VARIANT_BOOL multiSubnetFailover, LONG encryptionMode,
                                      VARIANT_BOOL trustServerCertificate) override
    {
        return guarded(counted_by_collector, IID_IDatabaseStorage, [&] {
            const settings_t settings{text_of(server), text_of(instance), text_of(database),
                                      text_of(user),   useSqlAuth != VARIANT_FALSE, encryptionMode};
            validate(settings, text_of(password), useSqlAuth, multiSubnetFailover, trustServerCertificate);
            std::lock_guard lock(mutex_);
            move_to(EDatabaseStorageState::Connecting);
            move_to(EDatabaseStorageState::Connected);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override
    {
        return guarded(counted_by_collector, IID_IDatabaseStorage, [&] {
            std::lock_guard lock(mutex_);
            if (state_ != EDatabaseStorageState::Disconnected)
                move_to(EDatabaseStorageState::Disconnected);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetState(EDatabaseStorageState* state) override
    {
        return guarded(counted_by_collector, IID_IDatabaseStorage, [&] {
            require_out(state);
            std::lock_guard lock(mutex_);
            *state = state_;
            return S_OK;
        });
    }

private:
    // The caller holds mutex_, so that the events leave in the order of the states.
    void move_to(EDatabaseStorageState state)
    {
        state_ = state;
        raise(*runtime_->queue, events_,
              [value = static_cast<LONG>(state)](IDatabaseStorageEvents* sink) { sink->Event1(value); });
    }

    runtime_ptr runtime_;
    std::shared_ptr<sink_list_t<IDatabaseStorageEvents>> events_;
    std::mutex mutex_;
    EDatabaseStorageState state_ = EDatabaseStorageState::Disconnected;
};

}  // namespace

CComPtr<IDatabaseStorage> make_database_storage(const runtime_ptr& runtime,
                                                std::shared_ptr<sink_list_t<IDatabaseStorageEvents>> events)
{
    return CComPtr<IDatabaseStorage>(make<database_storage_t>(runtime, std::move(events)));
}

}  // namespace collector::reference::detail
