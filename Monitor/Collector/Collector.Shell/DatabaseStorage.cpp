// DatabaseStorage: the stored connection settings, the two Connect forms, Disconnect, the state and
// the storage events of the collector object.
#include "pch.h"

#include "EventListener.h"
#include "SimpleSinks.h"

#include <collector/shell/DatabaseStorage.h>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

namespace {

VARIANT_BOOL variant_bool(bool on) noexcept { return on ? VARIANT_TRUE : VARIANT_FALSE; }

} // namespace

// Declared in the order in which the last handle lets go of them in reverse: the settings, then the
// storage, then the event connection.
struct DatabaseStorage::impl_t {
    detail::EventListener<detail::database_storage_sink_t> events;
    detail::CComQIPtrStrong<IDatabaseStorage, &IID_IDatabaseStorage> storage;
    _bstr_t server;
    _bstr_t instance;
    _bstr_t database;
    _bstr_t user;
    _bstr_t password;
    VARIANT_BOOL use_sql_auth = VARIANT_FALSE;
    VARIANT_BOOL multi_subnet_failover = VARIANT_FALSE;
    LONG encryption_mode = 0;
    VARIANT_BOOL trust_server_certificate = VARIANT_FALSE;

    // The collector object is the storage and its event source; `storage` keeps it alive.
    explicit impl_t(IUnknown* collector) : events(collector, IID_IDatabaseStorageEvents), storage(collector) {}
};

DatabaseStorage::DatabaseStorage(IUnknown* collector) : impl_(std::make_shared<impl_t>(collector)) {}

DatabaseStorage& DatabaseStorage::SetInstancePath(std::wstring_view path)
{
    const auto backslash = path.find(L'\\');
    const bool split = backslash != std::wstring_view::npos;
    // Both are made before either is stored, so that a failed allocation changes neither.
    _bstr_t server = detail::make_bstr(path.substr(0, backslash));
    _bstr_t instance = detail::make_bstr(split ? path.substr(backslash + 1) : std::wstring_view());
    impl_->server = std::move(server);
    impl_->instance = std::move(instance);
    return *this;
}

DatabaseStorage& DatabaseStorage::SetDbName(std::wstring_view name)
{
    impl_->database = detail::make_bstr(name);
    return *this;
}

DatabaseStorage& DatabaseStorage::SetUser(std::wstring_view name)
{
    impl_->user = detail::make_bstr(name);
    return *this;
}

DatabaseStorage& DatabaseStorage::SetPassword(std::wstring_view password)
{
    impl_->password = detail::make_bstr(password);
    return *this;
}

DatabaseStorage& DatabaseStorage::UseSqlAuth(bool on)
{
    impl_->use_sql_auth = variant_bool(on);
    return *this;
}

DatabaseStorage& DatabaseStorage::UseMultiSubnetFailover(bool on)
{
    impl_->multi_subnet_failover = variant_bool(on);
    return *this;
}

DatabaseStorage& DatabaseStorage::SetEncryptionMode(int mode)
{
    impl_->encryption_mode = mode;
    return *this;
}

DatabaseStorage& DatabaseStorage::TrustServerCertificate(bool on)
{
    impl_->trust_server_certificate = variant_bool(on);
    return *this;
}

void DatabaseStorage::Connect()
{
    const impl_t& s = *impl_;
    detail::call(s.storage.p, &IDatabaseStorage::Connect, s.server, s.instance, s.database, s.use_sql_auth, s.user,
                 s.password, s.multi_subnet_failover, s.encryption_mode, s.trust_server_certificate);
}

void DatabaseStorage::Connect(std::wstring_view server, std::wstring_view instance, std::wstring_view database,
                              bool useSqlAuth, std::wstring_view user, std::wstring_view password,
                              bool multiSubnetFailover, int encryptionMode, bool trustServerCertificate)
{
    detail::call(impl_->storage.p, &IDatabaseStorage::Connect, detail::make_bstr(server), detail::make_bstr(instance),
                 detail::make_bstr(database), variant_bool(useSqlAuth), detail::make_bstr(user),
                 detail::make_bstr(password), variant_bool(multiSubnetFailover), LONG{encryptionMode},
                 variant_bool(trustServerCertificate));
}

void DatabaseStorage::Disconnect() { detail::call(impl_->storage.p, &IDatabaseStorage::Disconnect); }

EDatabaseStorageState DatabaseStorage::GetState() const
{
    EDatabaseStorageState state{};
    detail::call(impl_->storage.p, &IDatabaseStorage::GetState, &state);
    return state;
}

void DatabaseStorage::Subscribe(const std::shared_ptr<IDatabaseStorageListener>& listener)
{
    impl_->events.connect(listener);
}

void DatabaseStorage::Unsubscribe() { impl_->events.disconnect(); }

} // namespace collector::shell
