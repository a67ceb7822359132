// Method and ObjectProxy: the three invocation forms and the kept result, result lists, parameters
// read and written through proxies, and what the component objects are left with.
#include "shell/object_values.h"

#include "support/fake_com.h"

#include <collector/shell.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <tuple>
#include <utility>

namespace shell_test {
namespace {

using collector::shell::Method;
using collector::shell::ObjectProxy;
using namespace Ostra_Lux_Collector_Interfaces;
using testing::_;
using testing::Return;

class MockFieldMethod : public fake::Fake<IFieldMethod, fake::SupportsErrorInfo> {
public:
    MockFieldMethod() : Fake("method") {}

    MOCK_METHOD(HRESULT, GetDescription, (BSTR * description), (override));
    MOCK_METHOD(HRESULT, Invoke, (VARIANT * result), (override));
    MOCK_METHOD(HRESULT, InvokeWithArgument, (VARIANT argument, VARIANT* result), (override));
    MOCK_METHOD(HRESULT, GetParameterNames, (SAFEARRAY * *names), (override));
    MOCK_METHOD(HRESULT, SetParameter, (BSTR name, VARIANT value), (override));
    MOCK_METHOD(HRESULT, GetParameter, (BSTR name, VARIANT* value), (override));
    MOCK_METHOD(HRESULT, ClearParameter, (BSTR name), (override));
};

MATCHER_P(Named, name, "") { return arg && std::wstring_view(arg, SysStringLen(arg)) == name; }
MATCHER_P2(Holds, type, value, "")
{
    const auto wanted = static_cast<ULONGLONG>(value);
    return arg.vt == type && (type == VT_UI8   ? arg.ullVal == wanted
                              : type == VT_INT ? static_cast<ULONGLONG>(arg.intVal) == wanted
                                               : static_cast<ULONGLONG>(arg.lVal) == wanted);
}
MATCHER_P(Text, text, "") { return arg.vt == VT_BSTR && std::wstring_view(arg.bstrVal) == text; }

// Answers with a copy of `value` in out argument N.
template <std::size_t N>
auto Gives(_variant_t value)
{
    return [value](auto&&... args) {
        VARIANT* out = std::get<N>(std::forward_as_tuple(args...));
        VariantInit(out);
        return VariantCopy(out, &value);
    };
}

_variant_t i4(LONG value) { return _variant_t(value, VT_I4); }
std::wstring dump(const Object& value) { return value.to_string(); }
std::vector<std::wstring> dumps(const std::vector<Object>& values)
{
    std::vector<std::wstring> texts;
    for (const Object& value : values)
        texts.push_back(value.to_string());
    return texts;
}

class MethodTest : public testing::Test {
protected:
    fake::Held<testing::StrictMock<MockFieldMethod>> component = fake::hold<testing::StrictMock<MockFieldMethod>>();
    Method method{nullptr, component->unknown()};
};

TEST_F(MethodTest, EachFormPassesItsArgumentAndItsResultBecomesTheLastResult)
{
    EXPECT_TRUE(method.GetResult().empty());
    int local = 0;
    EXPECT_CALL(*component, Invoke(_)).WillOnce(Gives<0>(_variant_t(L"plain")));
    EXPECT_CALL(*component, InvokeWithArgument(Holds(VT_INT, -5), _)).WillOnce(Gives<1>(i4(-5)));
    EXPECT_CALL(*component, InvokeWithArgument(Holds(VT_UI8, 0), _)).WillOnce(Gives<1>(_variant_t(L"null")));
    EXPECT_CALL(*component, InvokeWithArgument(Holds(VT_UI8, reinterpret_cast<std::uintptr_t>(&local)), _))
        .WillOnce(Gives<1>(_variant_t()));
    EXPECT_EQ(dump(method()), dump(Object(_variant_t(L"plain"))));
    EXPECT_EQ(dumps(method.GetResult()), dumps({Object(_variant_t(L"plain"))}));

    // Copies share the last result.
    Method copy = method;
    EXPECT_EQ(copy(-5).get<int>(), -5);
    EXPECT_EQ(dumps(method.GetResult()), dumps({Object(i4(-5))}));
    copy(nullptr);
    EXPECT_EQ(dumps(method.GetResult()), dumps({Object(_variant_t(L"null"))}));
    EXPECT_FALSE(method(&local));
    EXPECT_TRUE(method.GetResult().empty());
}

TEST_F(MethodTest, FailedInvocationRaisesWithErrorInformationAndKeepsTheResult)
{
    component->support_error_info(IID_IFieldMethod);
    EXPECT_CALL(*component, Invoke(_)).WillOnce(Gives<0>(i4(1))).WillOnce([](VARIANT*) {
        ICreateErrorInfo* create = nullptr;
        EXPECT_EQ(CreateErrorInfo(&create), S_OK);
        create->SetDescription(const_cast<LPOLESTR>(L"refused"));
        CComQIPtr<IErrorInfo> info(create);
        create->Release();
        SetErrorInfo(0, info);
        return E_ACCESSDENIED;
    });
    method();
    try {
        method();
        ADD_FAILURE() << "the failure was not raised";
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.get_hresult(), E_ACCESSDENIED);
        const _com_error* error = boost::get_error_info<com_error_info>(e);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(error->Description())), L"refused");
    }
    EXPECT_EQ(dumps(method.GetResult()), dumps({Object(i4(1))}));
}

TEST(MethodConstruction, NeedsIFieldMethodAndKeepsItsOwnerAlive)
{
    auto plain = fake::hold<FakeUnknown>("plain");
    try {
        Method refused(nullptr, plain->unknown());
        ADD_FAILURE() << "an object without IFieldMethod made a method";
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.message(), L"Unable to QueryInterface");
        EXPECT_EQ(e.get_hresult(), E_NOINTERFACE);
    }
    EXPECT_EQ(plain->references(), 1u);

    auto owner = std::make_shared<int>(0);
    const std::weak_ptr<int> watched = owner;
    std::optional<Method> empty(std::in_place, std::move(owner), nullptr);
    EXPECT_FALSE(watched.expired());
    const std::function<void()> calls[] = {[&] { (*empty)(); }, [&] { (*empty)[L"p"] = Object(i4(1)); }};
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "a method without an object made a call";
        } catch (const CHResultException& e) {
            EXPECT_EQ(e.get_hresult(), E_POINTER);
        }
    }
    empty.reset();
    EXPECT_TRUE(watched.expired());
}

class FakeItem : public fake::Fake<IMethodResultItem> {
public:
    explicit FakeItem(_variant_t value, HRESULT answer = S_OK) : Fake("item"), value(std::move(value)), answer(answer) {}
    _variant_t value;
    HRESULT answer;

    HRESULT STDMETHODCALLTYPE GetValue(VARIANT* out) override { return FAILED(answer) ? answer : Gives<0>(value)(out); }
};

// A result list over `elements`, whose enumerator answers `next_answer` with every element.
class FakeResultList : public fake::Fake<IMethodResultList> {
public:
    explicit FakeResultList(std::vector<_variant_t> elements) : Fake("list"), elements(std::move(elements)) {}
    std::vector<_variant_t> elements;
    VARIANT_BOOL has_items = VARIANT_TRUE;
    HRESULT has_items_answer = S_OK;
    HRESULT items_answer = S_OK;
    bool null_items = false;
    HRESULT next_answer = S_OK;
    std::vector<ULONG> requested;

    HRESULT STDMETHODCALLTYPE HasItems(VARIANT_BOOL* out) override
    {
        *out = has_items;
        return has_items_answer;
    }
    HRESULT STDMETHODCALLTYPE GetItems(IEnumVARIANT** out) override
    {
        *out = FAILED(items_answer) || null_items ? nullptr : fake::make<Items>(*this);
        return items_answer;
    }

private:
    class Items : public fake::Fake<IEnumVARIANT> {
    public:
        explicit Items(FakeResultList& list) : Fake("items"), list_(list) {}
        HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override
        {
            list_.requested.push_back(count);
            *fetched = next_ < list_.elements.size() ? 1 : 0;
            if (*fetched)
                Gives<0>(list_.elements[next_++])(out);
            return *fetched ? list_.next_answer : S_FALSE;
        }
        HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

    private:
        FakeResultList& list_;
        std::size_t next_ = 0;
    };
};

_variant_t unknown_value(IUnknown* object) { return _variant_t(object); }

TEST_F(MethodTest, ResultListGivesTheValuesOfItsItemsOnlyWhenItSaysItHasItems)
{
    auto first = fake::hold<FakeItem>(_variant_t(L"first"));
    auto second = fake::hold<FakeItem>(i4(2));
    auto stranger = fake::hold<FakeUnknown>("stranger");
    auto list = fake::hold<FakeResultList>(std::vector<_variant_t>{
        unknown_value(first->unknown()), i4(7), unknown_value(stranger->unknown()), unknown_value(second->unknown())});
    EXPECT_CALL(*component, Invoke(_)).WillOnce(Gives<0>(unknown_value(list->unknown())));
    method();

    const auto items = dumps({Object(_variant_t(L"first")), Object(i4(2))});
    struct Row {
        const char* what;
        VARIANT_BOOL has_items;
        bool null_items;
        HRESULT next_answer;
        std::vector<std::wstring> expected;
    };
    const Row rows[] = {
        {"items", VARIANT_TRUE, false, S_OK, items},
        // The enumerator's count alone ends the walk.
        {"items fetched with failures", VARIANT_TRUE, false, E_FAIL, items},
        {"no items", VARIANT_FALSE, false, S_OK, {}},
        {"true but not VARIANT_TRUE", 1, false, S_OK, {}},
        {"no enumerator", VARIANT_TRUE, true, S_OK, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        list->has_items = row.has_items;
        list->null_items = row.null_items;
        list->next_answer = row.next_answer;
        list->requested.clear();
        EXPECT_EQ(dumps(method.GetResult()), row.expected);
        if (!row.expected.empty()) {
            EXPECT_EQ(list->requested, std::vector<ULONG>(5, 1));
        }
    }

    // An object that is no result list is the single result.
    EXPECT_CALL(*component, Invoke(_)).WillOnce(Gives<0>(unknown_value(stranger->unknown())));
    method();
    const std::vector<Object> single = method.GetResult();
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].data().punkVal, stranger->unknown());
}

TEST_F(MethodTest, ResultListFailuresRaise)
{
    auto failing = fake::hold<FakeItem>(i4(0), DISP_E_EXCEPTION);
    auto list = fake::hold<FakeResultList>(std::vector<_variant_t>{unknown_value(failing->unknown())});
    EXPECT_CALL(*component, Invoke(_)).WillOnce(Gives<0>(unknown_value(list->unknown())));
    method();
    const std::pair<HRESULT*, HRESULT> failures[] = {
        {&list->has_items_answer, E_OUTOFMEMORY}, {&list->items_answer, E_ACCESSDENIED}, {nullptr, DISP_E_EXCEPTION}};
    for (const auto& [answer, expected] : failures) {
        if (answer)
            *answer = expected;
        try {
            method.GetResult();
            ADD_FAILURE() << "nothing raised for " << std::hex << expected;
        } catch (const CHResultException& e) {
            EXPECT_EQ(e.get_hresult(), expected);
        }
        if (answer)
            *answer = S_OK;
    }
}

TEST_F(MethodTest, ParametersTravelByNameAndNullValuesClearThem)
{
    testing::InSequence in_order;
    EXPECT_CALL(*component, GetParameter(Named(L"limit"), _)).WillOnce(Gives<1>(i4(10)));
    EXPECT_CALL(*component, GetParameter(Named(L""), _)).WillOnce(Gives<1>(_variant_t(L"unnamed")));
    EXPECT_CALL(*component, SetParameter(Named(L"filter"), Text(L"a*"))).WillOnce(Return(S_OK));
    EXPECT_CALL(*component, ClearParameter(Named(L"filter"))).Times(2).WillRepeatedly(Return(S_OK));
    EXPECT_CALL(*component, SetParameter(Named(L"filter"), _)).WillOnce(Return(E_INVALIDARG));

    EXPECT_EQ(std::as_const(method)[L"limit"].get<int>(), 10);
    const Object unnamed = method[L""];
    EXPECT_EQ(unnamed.get<std::wstring>(), L"unnamed");
    method[L"filter"] = Object(_variant_t(L"a*"));
    method[L"filter"] = Object();
    _variant_t null;
    null.vt = VT_NULL;
    method[L"filter"] = Object(std::move(null));
    EXPECT_THROW(method[L"filter"] = Object(i4(3)), CHResultException);
}

TEST_F(MethodTest, ProxyAssignmentCopiesAnotherParameterAndSkipsTheSameOne)
{
    ObjectProxy a = method[L"a"];
    const ObjectProxy& same = a;
    Method copy = method;
    // StrictMock: none of these reaches the component.
    a = same;
    a = method[L"a"];
    a = copy[L"a"];

    testing::InSequence in_order;
    EXPECT_CALL(*component, GetParameter(Named(L"b"), _)).WillOnce(Gives<1>(i4(3)));
    EXPECT_CALL(*component, SetParameter(Named(L"a"), Holds(VT_I4, 3))).WillOnce(Return(S_OK));
    EXPECT_CALL(*component, GetParameter(Named(L"A"), _)).WillOnce(Gives<1>(_variant_t()));
    EXPECT_CALL(*component, ClearParameter(Named(L"a"))).WillOnce(Return(S_OK));
    a = method[L"b"];
    a = method[L"A"];

    // Another method over the same object is another implementation.
    Method other(nullptr, component->unknown());
    EXPECT_CALL(*component, GetParameter(Named(L"a"), _)).WillOnce(Gives<1>(i4(4)));
    EXPECT_CALL(*component, SetParameter(Named(L"a"), Holds(VT_I4, 4))).WillOnce(Return(S_OK));
    a = other[L"a"];
}

TEST_F(MethodTest, ProxiesOfAGoneMethodReadEmptyAndWriteNothing)
{
    std::optional<Method> gone(std::in_place, nullptr, component->unknown());
    ObjectProxy orphan = (*gone)[L"p"];
    gone.reset();
    EXPECT_EQ(component->references(), 2u);

    EXPECT_FALSE(static_cast<Object>(orphan));
    orphan = Object(i4(1));
    // The live parameter is read and its value dropped; a live one assigned from a gone one is cleared.
    EXPECT_CALL(*component, GetParameter(Named(L"p"), _)).WillOnce(Gives<1>(i4(2)));
    orphan = method[L"p"];
    EXPECT_CALL(*component, ClearParameter(Named(L"p"))).WillOnce(Return(S_OK));
    method[L"p"] = orphan;
}

} // namespace
} // namespace shell_test
