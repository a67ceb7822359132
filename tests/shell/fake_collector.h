// A fake collector component: the run-state operations, the state, the properties, the pools, the
// database storage and the collector's events, with scripted results and error information,
// registered for one class id while a test runs.
#pragma once

#include "shell/record_fakes.h"

#include "support/fake_class_factory.h"

namespace shell_test {

class FakeCollector
    : public fake::Fake<ICollector, IProperties, IDatabaseStorage, fake::SupportsErrorInfo, fake::ConnectionPoints> {
public:
    FakeCollector() : Fake("collector") {}

    fake::ConnectionPoint<ICollectorEvents>& events = offer<ICollectorEvents>("collector events");
    fake::ConnectionPoint<IDatabaseStorageEvents>& storage_events = offer<IDatabaseStorageEvents>("storage events");

    // What every operation of ICollector (but Shutdown) returns.
    HRESULT result = S_OK;
    // Error information that a failing operation leaves on the thread, when not empty.
    std::wstring error_description;
    ECollectorState state = ECollectorState::Initial;
    std::map<std::wstring, _variant_t> properties;
    std::map<std::string, int> calls;
    // The arguments of each IDatabaseStorage::Connect: the five texts (a null BSTR as nullopt), then the
    // two flags, the encryption mode and the last flag.
    struct Connection {
        std::vector<std::optional<std::wstring>> texts;
        std::vector<LONG> numbers;
    };
    std::vector<Connection> connections;

    // What the pool getters hand out (each getter counts as a call and answers `result`); null when
    // not set.
    CComPtr<IUnknown> host_pool, user_pool, resource_pool, task_pool, class_pool;

    HRESULT STDMETHODCALLTYPE GetHostPool(IUnknown** out) override { return hand_out("GetHostPool", host_pool, out); }
    HRESULT STDMETHODCALLTYPE GetUserPool(IUnknown** out) override { return hand_out("GetUserPool", user_pool, out); }
    HRESULT STDMETHODCALLTYPE GetResourcePool(IUnknown** out) override
    {
        return hand_out("GetResourcePool", resource_pool, out);
    }
    HRESULT STDMETHODCALLTYPE GetTaskPool(IUnknown** out) override { return hand_out("GetTaskPool", task_pool, out); }
    HRESULT STDMETHODCALLTYPE GetClassPool(IUnknown** out) override
    {
        return hand_out("GetClassPool", class_pool, out);
    }
    HRESULT STDMETHODCALLTYPE GetVersion(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Restart() override { return answer("Restart"); }
    HRESULT STDMETHODCALLTYPE Start() override { return answer("Start"); }
    HRESULT STDMETHODCALLTYPE Stop() override { return answer("Stop"); }
    HRESULT STDMETHODCALLTYPE Suspend() override { return answer("Suspend"); }
    HRESULT STDMETHODCALLTYPE Terminate() override { return answer("Terminate"); }
    HRESULT STDMETHODCALLTYPE GetState(ECollectorState* out) override { return *out = state, answer("GetState"); }
    HRESULT STDMETHODCALLTYPE Shutdown() override { return ++calls["Shutdown"], E_FAIL; }

    HRESULT STDMETHODCALLTYPE GetPropertyNames(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* value) override
    {
        const auto found = properties.find(text_of(name));
        return found == properties.end() ? answer("GetProperty") : VariantCopy(value, &found->second);
    }
    HRESULT STDMETHODCALLTYPE SetProperty(BSTR name, VARIANT value) override
    {
        properties[text_of(name)] = value;
        return answer("SetProperty");
    }

    HRESULT STDMETHODCALLTYPE Connect(BSTR server, BSTR instance, BSTR database, VARIANT_BOOL useSqlAuth, BSTR user,
                                      BSTR password, VARIANT_BOOL multiSubnetFailover, LONG encryptionMode,
                                      VARIANT_BOOL trustServerCertificate) override
    {
        Connection& made = connections.emplace_back();
        for (const BSTR text : {server, instance, database, user, password})
            made.texts.push_back(text ? std::optional(text_of(text)) : std::nullopt);
        made.numbers = {useSqlAuth, multiSubnetFailover, encryptionMode, trustServerCertificate};
        return answer("Connect");
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return answer("Disconnect"); }
    HRESULT STDMETHODCALLTYPE GetState(EDatabaseStorageState*) override { return E_NOTIMPL; }

private:
    HRESULT hand_out(const char* operation, CComPtr<IUnknown>& object, IUnknown** out)
    {
        *out = nullptr;
        const HRESULT hr = answer(operation);
        return SUCCEEDED(hr) && object ? (object.CopyTo(out), hr) : hr;
    }

    HRESULT answer(const char* operation)
    {
        ++calls[operation];
        if (FAILED(result) && !error_description.empty())
            leave_error_info(error_description);
        return result;
    }
};

// Serves FakeCollectors for one class in one context; `last` is the most recent one, alive while the
// Collector that created it lives.
class ServedCollector {
public:
    explicit ServedCollector(REFCLSID clsid, DWORD context = CLSCTX_INPROC_SERVER)
        : served_(clsid, [this] { return (last = fake::make<FakeCollector>())->unknown(); }, context)
    {
    }

    int instances_created() const { return served_.factory().instances_created(); }

    std::atomic<FakeCollector*> last{nullptr};

private:
    fake::ServedClass served_;
};

// A test with a collector of a served fake component, in the test's own apartment. The collector is
// optional so that a test can end it before the component.
class ServedCollectorTest : public testing::Test {
protected:
    fake::Apartment apartment;
    ServedCollector served{CLSID_RestCollector};
    std::optional<Collector> collector{std::in_place, ECollectorSource::Rest};
    FakeCollector& component = *served.last.load();
};

} // namespace shell_test
