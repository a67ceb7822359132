// The collector's services as a caller reaches them through COM: hosts, users, resources with their
// text file and events, the database storage with its checks and events, and the profile factory.
// Every test ends with no component object alive.
#include "reference/reference_fixture.h"
#include "resource_text.h"

#include <atlsafe.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace reference_test {
namespace {

using collector::reference::detail::invalid_resource_text;
using collector::reference::detail::resource_name_taken;
using collector::reference::detail::unwritable_resource_file;

std::wstring string_of(BSTR value)
{
    return value ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

// A VT_BSTR of the whole text, embedded NUL characters included.
_variant_t bstr_value(const std::wstring& value)
{
    _variant_t result;
    result.vt = VT_BSTR;
    result.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return result;
}

// A flag that `get` reads, which must succeed.
template <class I>
VARIANT_BOOL flag(I* object, HRESULT (STDMETHODCALLTYPE I::*get)(VARIANT_BOOL*))
{
    VARIANT_BOOL value = 2;
    EXPECT_EQ((object->*get)(&value), S_OK);
    return value;
}

// Asserts a failure with its HRESULT, error information that mentions `words`, and an object that
// says it supports error information for the interface.
#define EXPECT_FAILS(call, hr, words, object, iid)                              \
    do {                                                                        \
        EXPECT_EQ((call), (hr));                                                \
        const ErrorText error = last_error(object, iid);                        \
        EXPECT_TRUE(error.supported) << #call;                                  \
        EXPECT_NE(error.description.find(words), std::wstring::npos) << #call;  \
    } while (0)

// Records the events of the resource pool ("+name", "-name") and of the storage ("State n"), with the
// threads they arrived on.
class ServiceEvents : public fake::Fake<IResourcePoolEvents, IDatabaseStorageEvents> {
public:
    ServiceEvents() : Fake("service sink") {}
    HRESULT STDMETHODCALLTYPE Event1(BSTR name) override { return add(L"+" + string_of(name)); }
    HRESULT STDMETHODCALLTYPE Event2(BSTR name) override { return add(L"-" + string_of(name)); }
    HRESULT STDMETHODCALLTYPE Event1(LONG state) override { return add(L"State " + std::to_wstring(state)); }

    // The first `count` events, once they arrived (fewer after two seconds).
    std::vector<std::wstring> wait(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(2), [&] { return events_.size() >= count; });
        return events_;
    }
    bool all_on_other_threads() const
    {
        std::lock_guard lock(mutex_);
        return std::none_of(threads_.begin(), threads_.end(), [](auto id) { return id == std::this_thread::get_id(); });
    }

private:
    HRESULT add(std::wstring event)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        threads_.push_back(std::this_thread::get_id());
        arrived_.notify_all();
        return S_OK;
    }

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::wstring> events_;
    std::vector<std::thread::id> threads_;
};

class Data : public fake::Fake<IDeploymentData> {
public:
    explicit Data(std::map<std::wstring, _variant_t> values) : Fake("deployment data"), values_(std::move(values)) {}
    HRESULT STDMETHODCALLTYPE GetValue(BSTR name, VARIANT* value) override
    {
        const auto found = values_.find(string_of(name));
        return found == values_.end() ? E_INVALIDARG : VariantCopy(value, &found->second);
    }
    HRESULT STDMETHODCALLTYPE GetNames(SAFEARRAY** names) override
    {
        CComSafeArray<BSTR> array(static_cast<ULONG>(values_.size()));
        LONG i = 0;
        for (const auto& [name, value] : values_)
            array.SetAt(i++, CComBSTR(name.c_str()));
        *names = array.Detach();
        return S_OK;
    }

private:
    std::map<std::wstring, _variant_t> values_;
};

class Services : public ReferenceTest {
protected:
    // The elements of the enumerable that `get` hands out.
    template <class Pool>
    static std::vector<CComPtr<IUnknown>> walk(Pool* pool, HRESULT (STDMETHODCALLTYPE Pool::*get)(IUnknown**))
    {
        CComPtr<IUnknown> enumerable;
        EXPECT_EQ((pool->*get)(&enumerable), S_OK);
        return elements(enumerable);
    }
};

TEST_F(Services, HostPoolHoldsTheLocalHostAndCreatesOthers)
{
    const auto hosts = pool<IHostPool>(&ICollector::GetHostPool);
    auto listed = walk(hosts.p, &IHostPool::GetHosts);
    ASSERT_EQ(listed.size(), 1u);
    CComQIPtr<IHost> local(listed[0]);
    EXPECT_EQ(flag(local.p, &IHost::IsLocal), VARIANT_TRUE);
    GUID id{};
    EXPECT_EQ(local->GetId(&id), S_OK);

    CComPtr<IUnknown> again;
    EXPECT_EQ(hosts->GetHost(id, &again), S_OK);
    EXPECT_TRUE(again.IsEqualObject(local));

    // A default host comes first; a plain one after; neither is local.
    CComPtr<IUnknown> plain, preferred;
    EXPECT_EQ(hosts->Create(CComBSTR(L"plain"), &plain), S_OK);
    EXPECT_EQ(hosts->CreateDefault(CComBSTR(L"preferred"), &preferred), S_OK);
    listed = walk(hosts.p, &IHostPool::GetHosts);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_TRUE(listed[0].IsEqualObject(preferred));
    EXPECT_TRUE(listed[2].IsEqualObject(plain));
    EXPECT_EQ(flag(CComQIPtr<IHost>(plain).p, &IHost::IsLocal), VARIANT_FALSE);

    CComPtr<IUnknown> none;
    EXPECT_FAILS(hosts->GetHost(GUID{1, 0, 0, {}}, &none), E_INVALIDARG, L"No host", hosts, IID_IHostPool);
    EXPECT_FAILS(hosts->Create(nullptr, &none), E_INVALIDARG, L"needs a name", hosts, IID_IHostPool);
    EXPECT_FAILS(local->SetName(CComBSTR(L"")), E_INVALIDARG, L"needs a name", local, IID_IHost);
    EXPECT_FAILS(local->GetId(nullptr), E_POINTER, L"Null", local, IID_IHost);
    EXPECT_EQ(none, nullptr);
}

TEST_F(Services, UserPoolKeepsPasswordsApartFromTheCurrentUser)
{
    const auto users = pool<IUserPool>(&ICollector::GetUserPool);
    CComPtr<IUnknown> current_object;
    ASSERT_EQ(users->GetCurrent(&current_object), S_OK);
    CComQIPtr<IUser> current(current_object);
    EXPECT_EQ(flag(current.p, &IUser::IsCurrent), VARIANT_TRUE);
    EXPECT_EQ(flag(current.p, &IUser::HasPassword), VARIANT_FALSE);
    CComBSTR password;
    EXPECT_FAILS(current->GetPassword(&password), E_ACCESSDENIED, L"no password", current, IID_IUser);

    // A password is kept exactly, a null one as an empty password.
    for (const std::wstring& given : {std::wstring(L"a\0B", 3), std::wstring()}) {
        CComPtr<IUnknown> made;
        ASSERT_EQ(users->Create(CComBSTR(L"operator"), given.empty() ? nullptr : bstr_value(given).bstrVal, &made),
                  S_OK);
        CComQIPtr<IUser> user(made);
        EXPECT_EQ(flag(user.p, &IUser::HasPassword), VARIANT_TRUE);
        EXPECT_EQ(flag(user.p, &IUser::IsCurrent), VARIANT_FALSE);
        password.Empty();
        EXPECT_EQ(user->GetPassword(&password), S_OK);
        EXPECT_EQ(string_of(password), given);
    }

    GUID id{};
    CComQIPtr<IUser>(current)->GetId(&id);
    CComPtr<IUnknown> found, none;
    EXPECT_EQ(users->GetUser(id, &found), S_OK);
    EXPECT_TRUE(found.IsEqualObject(current));
    EXPECT_FAILS(users->GetUser(GUID{2, 0, 0, {}}, &none), E_INVALIDARG, L"No user", users, IID_IUserPool);
    EXPECT_FAILS(users->CreateDefault(CComBSTR(L""), nullptr, &none), E_INVALIDARG, L"needs a name", users,
                 IID_IUserPool);
    EXPECT_FAILS(users->GetUsers(nullptr), E_POINTER, L"Null", users, IID_IUserPool);
}

class ResourceFile : public Services {
protected:
    ~ResourceFile() override
    {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("resources-" + std::to_string(std::rand()) + ".txt");
    const CComBSTR file{path.wstring().c_str()};
};

TEST_F(ResourceFile, SaveAndLoadKeepEveryValueExactly)
{
    const auto resources = pool<IResourcePool>(&ICollector::GetResourcePool);
    const std::wstring odd_text(L"tab\there\nnul\0end \\ \u00e9\u4e2d", 20);
    std::vector<std::pair<std::wstring, _variant_t>> values = {
        {L"text", bstr_value(odd_text)},          {L"double", _variant_t(0.1)},  {L"i4", _variant_t(LONG(-7))},
        {L"i8", _variant_t(LONGLONG(INT64_MAX))}, {L"flag", _variant_t(true)}, {L"nothing", _variant_t()},
        {std::wstring(L"odd\tname\0", 9), _variant_t(L"x")}};
    for (const auto& [name, value] : values) {
        CComPtr<IUnknown> added;
        CComBSTR bname;
        bname.Attach(SysAllocStringLen(name.data(), static_cast<UINT>(name.size())));
        ASSERT_EQ(resources->Add(bname, value, &added), S_OK);
    }
    ASSERT_EQ(resources->Save(file), S_OK);

    // Loading replaces what the pool holds.
    CComPtr<IUnknown> extra;
    ASSERT_EQ(resources->Add(CComBSTR(L"extra"), _variant_t(LONG(1)), &extra), S_OK);
    ASSERT_EQ(resources->Load(file), S_OK);
    const auto listed = walk(resources.p, &IResourcePool::GetEnumerator);
    ASSERT_EQ(listed.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        CComQIPtr<IResource> resource(listed[i]);
        CComBSTR name;
        _variant_t value;
        resource->GetName(&name);
        resource->GetResource(&value);
        EXPECT_EQ(string_of(name), values[i].first);
        EXPECT_EQ(value.vt, values[i].second.vt);
        if (value.vt == VT_BSTR)
            EXPECT_EQ(string_of(value.bstrVal), string_of(values[i].second.bstrVal));
        else
            EXPECT_TRUE(value == values[i].second) << i;
    }
}

TEST_F(ResourceFile, MergeOverwritesOrKeepsAndAnnouncesOnTheEventThread)
{
    const auto resources = pool<IResourcePool>(&ICollector::GetResourcePool);
    std::ofstream(path) << "# merged\nshared\ti4\t2\nnew\ttext\tfresh\n";
    auto sink = fake::hold<ServiceEvents>();
    {
        const DWORD cookie = advise(resources, __uuidof(IResourcePoolEvents), sink->unknown());
        CComPtr<IUnknown> added;
        ASSERT_EQ(resources->Add(CComBSTR(L"shared"), _variant_t(LONG(1)), &added), S_OK);
        ASSERT_EQ(resources->Merge(file, EMergeMode::KeepExisting), S_OK);
        const auto value_of = [&](const wchar_t* name) {
            CComPtr<IUnknown> found;
            _variant_t value;
            EXPECT_EQ(resources->Find(CComBSTR(name), &found), S_OK);
            CComQIPtr<IResource>(found)->GetResource(&value);
            return value;
        };
        EXPECT_EQ(LONG(value_of(L"shared")), 1);
        ASSERT_EQ(resources->Merge(file, EMergeMode::Overwrite), S_OK);
        EXPECT_EQ(LONG(value_of(L"shared")), 2);
        EXPECT_EQ(resources->Remove(CComBSTR(L"new")), S_OK);
        const std::vector<std::wstring> expected = {L"+shared", L"+new", L"-shared", L"-new", L"+shared", L"+new", L"-new"};
        EXPECT_EQ(sink->wait(expected.size()), expected);
        EXPECT_TRUE(sink->all_on_other_threads());
        unadvise(resources, __uuidof(IResourcePoolEvents), cookie);
    }

    CComPtr<IUnknown> none;
    EXPECT_FAILS(resources->Merge(file, static_cast<EMergeMode>(9)), E_INVALIDARG, L"merge mode", resources,
                 IID_IResourcePool);
    EXPECT_FAILS(resources->Find(CComBSTR(L"new"), &none), E_INVALIDARG, L"No resource", resources, IID_IResourcePool);
    EXPECT_FAILS(resources->Add(CComBSTR(L"shared"), _variant_t(LONG(3)), &none), resource_name_taken,
                 L"exists", resources, IID_IResourcePool);
    EXPECT_FAILS(resources->Add(CComBSTR(L"object"), _variant_t(static_cast<IUnknown*>(resources)), &none),
                 DISP_E_TYPEMISMATCH, L"holds", resources, IID_IResourcePool);
}

TEST_F(ResourceFile, BadFilesFailWithTheLineAndLeaveThePoolAlone)
{
    const auto resources = pool<IResourcePool>(&ICollector::GetResourcePool);
    CComPtr<IUnknown> kept;
    ASSERT_EQ(resources->Add(CComBSTR(L"kept"), _variant_t(LONG(1)), &kept), S_OK);
    const struct {
        const char* content;
        const wchar_t* words;
    } rows[] = {
        {"a\ti4\t1\nb\ti4\n", L"Line 2"},        {"a\ti4\t99999999999\n", L"not a number"},
        {"a\tr9\t1\n", L"does not match"},        {"a\ttext\t\\u{zz}\n", L"not a character"},
        {"a\ti4\t1\na\ti4\t2\n", L"given twice"}, {"a\ttext\t\xc3\xa9\n", L"escape"},
    };
    for (const auto& row : rows) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << row.content;
        EXPECT_FAILS(resources->Load(file), invalid_resource_text, row.words, resources,
                     IID_IResourcePool);
    }
    CComPtr<IUnknown> found;
    EXPECT_EQ(resources->Find(CComBSTR(L"kept"), &found), S_OK);

    std::filesystem::remove(path);
    EXPECT_FAILS(resources->Load(file), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), L"does not exist", resources,
                 IID_IResourcePool);
    const CComBSTR unwritable((path / "no" / "such.txt").wstring().c_str());
    EXPECT_FAILS(resources->Save(unwritable), unwritable_resource_file, L"cannot be written", resources,
                 IID_IResourcePool);
}

// A task deploys the collection of the record class that a text resource names.
TEST_F(Services, ResourceDeploysItsValueToATask)
{
    const auto resources = pool<IResourcePool>(&ICollector::GetResourcePool);
    CComPtr<IUnknown> known, unknown, task, collection;
    ASSERT_EQ(resources->Add(CComBSTR(L"known"), _variant_t(L"Process"), &known), S_OK);
    ASSERT_EQ(resources->Add(CComBSTR(L"unknown"), _variant_t(L"NoSuchClass"), &unknown), S_OK);
    ASSERT_EQ(pool<ITaskPool>(&ICollector::GetTaskPool)->Deploy(CComBSTR(L"t"), nullptr, nullptr, 0, &task), S_OK);
    CComQIPtr<IDeploymentTarget> target(task);

    _variant_t result;
    ASSERT_EQ(CComQIPtr<IResource>(known)->Deploy(target, nullptr, &result), S_OK);
    ASSERT_EQ(result.vt, VT_UNKNOWN);
    EXPECT_TRUE(CComQIPtr<ICollection>(result.punkVal));
    result.Clear();
    EXPECT_FAILS(CComQIPtr<IResource>(unknown)->Deploy(target, nullptr, &result), E_INVALIDARG, L"NoSuchClass", known,
                 IID_IResource);
    EXPECT_FAILS(CComQIPtr<IResource>(known)->Deploy(nullptr, nullptr, &result), E_POINTER, L"target", known,
                 IID_IResource);
}

TEST_F(Services, StorageChecksItsSettings)
{
    CComQIPtr<IDatabaseStorage> storage(collector);
    const struct {
        const wchar_t *server, *instance, *database;
        VARIANT_BOOL sql;
        const wchar_t *user, *password;
        VARIANT_BOOL failover;
        LONG encryption;
        VARIANT_BOOL trust;
        const wchar_t* words;
    } rows[] = {
        {nullptr, nullptr, L"db", 0, nullptr, nullptr, 0, 0, 0, L"needs a server"},
        {L"bad host", nullptr, L"db", 0, nullptr, nullptr, 0, 0, 0, L"server name"},
        {L"host", L"in\\st", L"db", 0, nullptr, nullptr, 0, 0, 0, L"instance name"},
        {L"host", nullptr, L"", 0, nullptr, nullptr, 0, 0, 0, L"database name"},
        {L"host", nullptr, L"db", 1, L"sa", L"pw", 0, 0, 0, L"UseSqlAuth is 1"},
        {L"host", nullptr, L"db", 0, nullptr, nullptr, 0, 0, 2, L"TrustServerCertificate is 2"},
        {L"host", nullptr, L"db", VARIANT_TRUE, L"", L"pw", 0, 0, 0, L"needs a user"},
        {L"host", nullptr, L"db", 0, L"sa", nullptr, 0, 0, 0, L"only with SQL"},
        {L"host", nullptr, L"db", 0, nullptr, nullptr, 0, 3, 0, L"encryption mode 3"},
    };
    for (const auto& row : rows) {
        EXPECT_FAILS(storage->Connect(CComBSTR(row.server), CComBSTR(row.instance), CComBSTR(row.database), row.sql,
                                      CComBSTR(row.user), CComBSTR(row.password), row.failover, row.encryption,
                                      row.trust),
                     E_INVALIDARG, row.words, storage, IID_IDatabaseStorage);
    }
    EDatabaseStorageState state = EDatabaseStorageState::Error;
    EXPECT_EQ(storage->GetState(&state), S_OK);
    EXPECT_EQ(state, EDatabaseStorageState::Disconnected);
    EXPECT_EQ(storage->Connect(CComBSTR(L"db-1.example"), CComBSTR(L"SQL_1"), CComBSTR(L"Collected"), VARIANT_TRUE,
                               CComBSTR(L"sa"), CComBSTR(L""), VARIANT_TRUE, 2, VARIANT_FALSE),
              S_OK);
}

TEST_F(Services, StorageAnnouncesItsStatesAndHonoursAScriptedFailure)
{
    CComQIPtr<IDatabaseStorage> storage(collector);
    auto sink = fake::hold<ServiceEvents>();
    const DWORD cookie = advise(collector, __uuidof(IDatabaseStorageEvents), sink->unknown());
    const auto connect = [&] {
        return storage->Connect(CComBSTR(L"host"), nullptr, CComBSTR(L"db"), VARIANT_FALSE, nullptr, nullptr,
                                VARIANT_FALSE, 0, VARIANT_FALSE);
    };
    registration->FailCall(L"IDatabaseStorage::Connect", 1, E_ABORT, L"The network is down");
    EXPECT_FAILS(connect(), E_ABORT, L"The network is down", storage, IID_IDatabaseStorage);

    ASSERT_EQ(connect(), S_OK);
    EDatabaseStorageState state{};
    EXPECT_EQ(storage->GetState(&state), S_OK);
    EXPECT_EQ(state, EDatabaseStorageState::Connected);
    ASSERT_EQ(storage->Disconnect(), S_OK);
    ASSERT_EQ(storage->Disconnect(), S_OK);
    const std::vector<std::wstring> expected = {L"State 1", L"State 2", L"State 0"};
    EXPECT_EQ(sink->wait(expected.size()), expected);
    EXPECT_TRUE(sink->all_on_other_threads());
    unadvise(collector, __uuidof(IDatabaseStorageEvents), cookie);
}

TEST_F(Services, ProfileHoldsItsTextsAndTheDeploymentSettings)
{
    CComPtr<IUnknown> created;
    ASSERT_EQ(CoCreateInstance(CLSID_ProfileFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&created)),
              S_OK);
    EXPECT_EQ(OleRun(created), S_OK);
    CComQIPtr<IProfileFactory> factory(created);
    ASSERT_TRUE(factory);
    auto data = fake::hold<Data>(std::map<std::wstring, _variant_t>{{L"Depth", _variant_t(LONG(3))}});
    int context = 0;
    CComPtr<IUnknown> profile;
    ASSERT_EQ(factory->CreateProfile(CComBSTR(L"nightly"), CComBSTR(L"Process"), CComBSTR(L"<cfg/>"), data.get(),
                                     &context, &profile),
              S_OK);
    CComQIPtr<IObject> object(profile);
    ASSERT_TRUE(object);
    const std::pair<const wchar_t*, _variant_t> expected[] = {{L"Name", _variant_t(L"nightly")},
                                                              {L"Target", _variant_t(L"Process")},
                                                              {L"Text", _variant_t(L"<cfg/>")},
                                                              {L"Depth", _variant_t(LONG(3))}};
    for (const auto& [name, value] : expected) {
        _variant_t read;
        EXPECT_EQ(object->GetValue(CComBSTR(name), &read), S_OK);
        EXPECT_TRUE(read == value) << name;
    }
    profile.Release();
    EXPECT_EQ(factory->CreateProfile(CComBSTR(L"bare"), nullptr, nullptr, nullptr, nullptr, &profile), S_OK);

    CComPtr<IUnknown> none;
    auto clash = fake::hold<Data>(std::map<std::wstring, _variant_t>{{L"Text", _variant_t(LONG(1))}});
    EXPECT_FAILS(factory->CreateProfile(CComBSTR(L"x"), nullptr, nullptr, clash.get(), nullptr, &none), E_INVALIDARG,
                 L"a field of the profile", factory, IID_IProfileFactory);
    EXPECT_FAILS(factory->CreateProfile(nullptr, nullptr, nullptr, nullptr, nullptr, &none), E_INVALIDARG,
                 L"needs a name", factory, IID_IProfileFactory);
    EXPECT_FAILS(factory->CreateProfile(CComBSTR(L"x"), nullptr, nullptr, nullptr, nullptr, nullptr), E_POINTER, L"Null",
                 factory, IID_IProfileFactory);
}

}  // namespace
}  // namespace reference_test
