// The collector's services where only COM reaches them: users' passwords, the resource file's exact
// values and its errors, a resource deployed to a task, and the database storage's checks.
#include "reference/reference_fixture.h"
#include "resource_text.h"

#include <filesystem>
#include <fstream>

namespace reference_test {
namespace {

using collector::reference::detail::invalid_resource_text;
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

// Asserts a failure with its HRESULT, and error information that mentions `words` from an object that
// says it supports error information for the interface.
#define EXPECT_FAILS(call, hr, words, object, iid)                                        \
    do {                                                                                  \
        EXPECT_EQ((call), (hr));                                                          \
        EXPECT_NE(last_error(object, iid).find(words), std::wstring::npos) << #call;      \
    } while (0)

using Services = ReferenceTest;

TEST_F(Services, UsersKeepPasswordsExactlyAndTheCurrentOneHasNone)
{
    const auto users = pool<IUserPool>(&ICollector::GetUserPool);
    CComPtr<IUnknown> current;
    ASSERT_EQ(users->GetCurrent(&current), S_OK);
    CComBSTR password;
    EXPECT_FAILS(CComQIPtr<IUser>(current)->GetPassword(&password), E_ACCESSDENIED, L"has no password", current,
                 IID_IUser);
    // A password is kept exactly, a null one as an empty password.
    for (const std::wstring& given : {std::wstring(L"a\0B", 3), std::wstring()}) {
        CComPtr<IUnknown> made;
        ASSERT_EQ(users->Create(CComBSTR(L"operator"), given.empty() ? nullptr : bstr_value(given).bstrVal, &made),
                  S_OK);
        password.Empty();
        EXPECT_EQ(CComQIPtr<IUser>(made)->GetPassword(&password), S_OK);
        EXPECT_EQ(string_of(password), given);
    }
}

class ResourceFile : public ReferenceTest {
protected:
    ~ResourceFile() override { std::filesystem::remove(path, ignored_); }
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("resources-" + std::to_string(std::rand()) + ".txt");
    const CComBSTR file{path.wstring().c_str()};
    std::error_code ignored_;
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
        ASSERT_EQ(resources->Add(bstr_value(name).bstrVal, value, &added), S_OK);
    }
    ASSERT_EQ(resources->Save(file), S_OK);
    ASSERT_EQ(resources->Load(file), S_OK);
    CComPtr<IUnknown> enumerable;
    ASSERT_EQ(resources->GetEnumerator(&enumerable), S_OK);
    const auto listed = elements(enumerable);
    ASSERT_EQ(listed.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        CComQIPtr<IResource> resource(listed[i]);
        CComBSTR name;
        _variant_t value;
        resource->GetName(&name);
        resource->GetResource(&value);
        EXPECT_EQ(string_of(name), values[i].first);
        EXPECT_TRUE(value == values[i].second) << i; // the type, and a text to its last character
    }
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
}

}  // namespace
}  // namespace reference_test
