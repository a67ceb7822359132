// Method and ObjectProxy: the invocation forms and the kept result, result lists, and parameters read
// and written through proxies; the ledger checks that every component object is released.
#include "shell/record_fakes.h"

#include <tuple>

namespace shell_test {
namespace {

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
MATCHER_P(Text, text, "") { return arg.vt == VT_BSTR && std::wstring_view(arg.bstrVal) == text; }
MATCHER_P2(Holds, type, value, "")
{
    const auto wanted = static_cast<ULONGLONG>(value);
    return arg.vt == type && (type == VT_UI8   ? arg.ullVal == wanted
                              : type == VT_INT ? static_cast<ULONGLONG>(arg.intVal) == wanted
                                               : static_cast<ULONGLONG>(arg.lVal) == wanted);
}

// Answers with a copy of `value` in out argument N.
template <std::size_t N>
auto Gives(_variant_t value)
{
    return [value](auto&&... args) {
        *std::get<N>(std::forward_as_tuple(args...)) = _variant_t(value).Detach();
        return S_OK;
    };
}

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

TEST_F(MethodTest, EachFormPassesItsArgumentAndItsResultIsKeptForEveryCopy)
{
    EXPECT_TRUE(method.GetResult().empty());
    int local = 0;
    EXPECT_CALL(*component, Invoke(_)).WillOnce(Gives<0>(_variant_t(L"plain"))).WillOnce(Return(E_ACCESSDENIED));
    EXPECT_CALL(*component, InvokeWithArgument(Holds(VT_INT, -5), _)).WillOnce(Gives<1>(v4(-5)));
    EXPECT_CALL(*component, InvokeWithArgument(Holds(VT_UI8, 0), _)).WillOnce(Gives<1>(_variant_t()));
    EXPECT_CALL(*component, InvokeWithArgument(Holds(VT_UI8, reinterpret_cast<std::uintptr_t>(&local)), _))
        .WillOnce(Gives<1>(_variant_t(L"address")));

    EXPECT_EQ(method().get<std::wstring>(), L"plain");
    EXPECT_EQ(dumps(method.GetResult()), dumps({Object(_variant_t(L"plain"))}));
    Method copy = method;
    EXPECT_EQ(copy(-5).get<int>(), -5);
    EXPECT_EQ(dumps(method.GetResult()), dumps({Object(v4(-5))}));
    EXPECT_FALSE(copy(nullptr));
    EXPECT_TRUE(method.GetResult().empty());
    method(&local);
    // A failed invocation raises and leaves the last result.
    EXPECT_THROW(method(), CHResultException);
    EXPECT_EQ(dumps(copy.GetResult()), dumps({Object(_variant_t(L"address"))}));
}

// A refused IFieldMethod is the collection's test (its GetMethod hands any object on).
TEST(MethodConstruction, WithoutAnObjectRaisesEPointerAndKeepsItsOwnerAlive)
{
    auto owner = std::make_shared<int>(0);
    const std::weak_ptr<int> watched = owner;
    std::optional<Method> empty(std::in_place, std::move(owner), nullptr);
    EXPECT_EQ(refusal_of([&] { (*empty)(); }).hresult, E_POINTER);
    Method copy = *empty;
    empty.reset();
    EXPECT_FALSE(watched.expired());
    copy = Method(nullptr, nullptr);
    EXPECT_TRUE(watched.expired());
}

// A failing component leaves error information on the thread, which the library takes only when the
// object offers it for the interface of the failed call.
TEST_F(MethodTest, EachFailedOperationRaisesWithTheErrorInformationOfIFieldMethod)
{
    component->support_error_info(IID_IFieldMethod);
    const auto refusing = [](auto&&...) {
        leave_error_info(L"refused");
        return E_ACCESSDENIED;
    };
    // A failed invocation is the test of the forms above (all three share one call); each parameter
    // operation has a call of its own.
    EXPECT_CALL(*component, GetParameter(_, _)).WillOnce(refusing);
    EXPECT_CALL(*component, SetParameter(_, _)).WillOnce(refusing);
    EXPECT_CALL(*component, ClearParameter(_)).WillOnce(refusing);
    const std::function<void()> operations[] = {[&] { (void)std::as_const(method)[L"p"]; },
                                                [&] { method[L"p"] = Object(v4(1)); },
                                                [&] { method[L"p"] = Object(); }};
    for (const auto& operation : operations) {
        const refusal_t seen = refusal_of(operation);
        EXPECT_EQ(std::tuple(seen.hresult, seen.message), std::tuple(E_ACCESSDENIED, L"refused"));
    }
}

class FakeItem : public fake::Fake<IMethodResultItem> {
public:
    explicit FakeItem(_variant_t value) : Fake("item"), value(std::move(value)) {}
    _variant_t value;

    HRESULT STDMETHODCALLTYPE GetValue(VARIANT* out) override { return Gives<0>(value)(out); }
};

// A result list that is its own enumerator, answering `next_answer` with every element it fetches.
class FakeResultList : public fake::Fake<IMethodResultList, IEnumVARIANT> {
public:
    explicit FakeResultList(std::vector<_variant_t> elements) : Fake("list"), elements(std::move(elements)) {}
    std::vector<_variant_t> elements;
    VARIANT_BOOL has_items = VARIANT_TRUE;
    bool null_items = false;
    HRESULT next_answer = S_OK;
    std::size_t next = 0;

    HRESULT STDMETHODCALLTYPE HasItems(VARIANT_BOOL* out) override { return *out = has_items, S_OK; }
    HRESULT STDMETHODCALLTYPE GetItems(IEnumVARIANT** out) override
    {
        next = 0;
        *out = nullptr;
        if (!null_items)
            *out = this, AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG, VARIANT* out, ULONG* fetched) override
    {
        *fetched = next < elements.size() ? 1 : 0;
        return *fetched && SUCCEEDED(Gives<0>(elements[next++])(out)) ? next_answer : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }
};

TEST_F(MethodTest, ResultListGivesTheValuesOfItsItemsOnlyWhenItSaysItHasItems)
{
    auto first = fake::hold<FakeItem>(_variant_t(L"first"));
    auto second = fake::hold<FakeItem>(v4(2));
    auto stranger = fake::hold<fake::Unknown>("stranger");
    auto list = fake::hold<FakeResultList>(std::vector<_variant_t>{
        _variant_t(first->unknown()), v4(7), _variant_t(stranger->unknown()), _variant_t(second->unknown())});
    _variant_t null;
    null.vt = VT_NULL;
    EXPECT_CALL(*component, Invoke(_))
        .WillOnce(Gives<0>(_variant_t(static_cast<IMethodResultList*>(list.get()))))
        .WillOnce(Gives<0>(_variant_t(stranger->unknown())))
        .WillOnce(Gives<0>(null));
    method();

    const auto items = dumps({Object(_variant_t(L"first")), Object(v4(2))});
    const std::tuple<const char*, VARIANT_BOOL, bool, HRESULT, std::vector<std::wstring>> rows[] = {
        {"items", VARIANT_TRUE, false, S_OK, items},
        {"items fetched with failures", VARIANT_TRUE, false, E_FAIL, items},
        {"no items", VARIANT_FALSE, false, S_OK, {}},
        {"true but not VARIANT_TRUE", 1, false, S_OK, {}},
        {"no enumerator", VARIANT_TRUE, true, S_OK, {}},
    };
    for (const auto& [what, has_items, null_items, next_answer, expected] : rows) {
        list->has_items = has_items;
        list->null_items = null_items;
        list->next_answer = next_answer;
        EXPECT_EQ(dumps(method.GetResult()), expected) << what;
    }

    // An object that is no result list is the single result; so is a null result, not an empty list.
    method();
    const std::vector<Object> single = method.GetResult();
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].data().punkVal, stranger->unknown());
    method();
    EXPECT_EQ(dumps(method.GetResult()), std::vector<std::wstring>{L"<VT_NULL>"});
}

TEST_F(MethodTest, ParametersTravelByNameAndNullValuesClearThem)
{
    testing::InSequence in_order;
    EXPECT_CALL(*component, GetParameter(Named(L"limit"), _)).WillOnce(Gives<1>(v4(10)));
    EXPECT_CALL(*component, GetParameter(Named(L""), _)).WillOnce(Gives<1>(_variant_t(L"unnamed")));
    EXPECT_CALL(*component, SetParameter(Named(L"filter"), Text(L"a*"))).WillOnce(Return(S_OK));
    EXPECT_CALL(*component, ClearParameter(Named(L"filter"))).Times(2).WillRepeatedly(Return(S_OK));

    EXPECT_EQ(std::as_const(method)[L"limit"].get<int>(), 10);
    EXPECT_EQ(static_cast<Object>(method[L""]).get<std::wstring>(), L"unnamed");
    method[L"filter"] = Object(_variant_t(L"a*"));
    method[L"filter"] = Object();
    method[L"filter"] = null();
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
    EXPECT_CALL(*component, GetParameter(Named(L"b"), _)).WillOnce(Gives<1>(v4(3)));
    EXPECT_CALL(*component, SetParameter(Named(L"a"), Holds(VT_I4, 3))).WillOnce(Return(S_OK));
    EXPECT_CALL(*component, GetParameter(Named(L"A"), _)).WillOnce(Gives<1>(_variant_t()));
    EXPECT_CALL(*component, ClearParameter(Named(L"a"))).WillOnce(Return(S_OK));
    // Another method over the same object is another implementation.
    EXPECT_CALL(*component, GetParameter(Named(L"a"), _)).WillOnce(Gives<1>(v4(4)));
    EXPECT_CALL(*component, SetParameter(Named(L"a"), Holds(VT_I4, 4))).WillOnce(Return(S_OK));
    a = method[L"b"];
    a = method[L"A"];
    Method other(nullptr, component->unknown());
    a = other[L"a"];
}

TEST_F(MethodTest, ProxiesOfAGoneMethodReadEmptyAndWriteNothing)
{
    std::optional<Method> gone(std::in_place, nullptr, component->unknown());
    ObjectProxy orphan = (*gone)[L"p"];
    gone.reset();
    EXPECT_EQ(component->references(), 2u);

    EXPECT_FALSE(static_cast<Object>(orphan));
    orphan = Object(v4(1));
    // The live parameter is read and its value dropped; a live one assigned from a gone one is cleared.
    EXPECT_CALL(*component, GetParameter(Named(L"p"), _)).WillOnce(Gives<1>(v4(2)));
    orphan = method[L"p"];
    EXPECT_CALL(*component, ClearParameter(Named(L"p"))).WillOnce(Return(S_OK));
    method[L"p"] = orphan;
}

} // namespace
} // namespace shell_test
