// DatabaseStorage: the connection of the collector to the database that keeps its data. Settings are
// gathered with chained setters and used by Connect(); the nine-argument Connect passes its own.
#pragma once

#include "Export.h"
#include "Listeners.h"

#include <collector/interfaces.h>

#include <objbase.h>

#include <memory>
#include <string_view>

namespace collector::shell {

// The collector's storage state, passed on unchanged.
using EDatabaseStorageState = Ostra_Lux_Collector_Interfaces::EDatabaseStorageState;

class COLLECTOR_SHELL_API DatabaseStorage {
public:
    // The setters keep their value for the next Connect() and call nothing; copies share them. A
    // setting never made is passed as a null text, false or 0.

    // "server" or "server\instance": the server is what comes before the first backslash, the
    // instance everything after it (empty, not null, when there is no backslash).
    DatabaseStorage& SetInstancePath(std::wstring_view path);
    DatabaseStorage& SetDbName(std::wstring_view name);
    DatabaseStorage& SetUser(std::wstring_view name);
    DatabaseStorage& SetPassword(std::wstring_view password);
    DatabaseStorage& UseSqlAuth(bool on);
    DatabaseStorage& UseMultiSubnetFailover(bool on);
    // The collector's value, passed on unchanged.
    DatabaseStorage& SetEncryptionMode(int mode);
    DatabaseStorage& TrustServerCertificate(bool on);

    void Connect();
    // Connects with these settings; the stored ones are neither used nor changed.
    void Connect(std::wstring_view server, std::wstring_view instance, std::wstring_view database, bool useSqlAuth,
                 std::wstring_view user, std::wstring_view password, bool multiSubnetFailover, int encryptionMode,
                 bool trustServerCertificate);
    void Disconnect();
    EDatabaseStorageState GetState() const;

    // Sends the storage events to `listener`, held weakly, as Collector::Subscribe does.
    void Subscribe(const std::shared_ptr<IDatabaseStorageListener>& listener);
    void Unsubscribe();

    struct impl_t;

private:
    friend class Collector;

    // Throws "Unable to QueryInterface" when `collector` offers no storage.
    explicit DatabaseStorage(IUnknown* collector);
    explicit DatabaseStorage(std::shared_ptr<impl_t> impl) noexcept : impl_(std::move(impl)) {}

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
