// EnumIterator over a scripted IEnumVARIANT: one element per Next, end() reached when the component
// has no more or fails, one position shared by copies, a throwing factory, enumerables without
// IEnumVARIANT; the ledger checks at each test's end that every enumerator and element was let go. The
// element type is a test type instantiated here, as an element class's source file does for its own type.
#include "shell/object_values.h"

#include "Iterator.imp"

namespace shell_test {

// An element handle as the library's classes are: it keeps its own reference to the element.
struct Probe {
    explicit Probe(IUnknown* element) : element(element) {}
    CComPtr<IUnknown> element;
};

} // namespace shell_test

template class collector::shell::EnumIterator<shell_test::Probe>;

namespace shell_test {
namespace {

using Iterator = collector::shell::EnumIterator<Probe>;

class IteratorTest : public testing::Test {
protected:
    fake::Held<fake::Unknown> a = fake::hold<fake::Unknown>("a");
    fake::Held<fake::Unknown> b = fake::hold<fake::Unknown>("b");
    fake::Held<fake::Unknown> c = fake::hold<fake::Unknown>("c");
    // The counts that the enumerations were asked for.
    std::vector<ULONG> requested;

    // An enumeration over the elements as VT_UNKNOWN, holding a reference to each.
    fake::Held<FakeElements> rows(std::vector<IUnknown*> elements, std::optional<std::size_t> fail_at = std::nullopt)
    {
        std::vector<_variant_t> values(elements.begin(), elements.end());
        return fake::hold<FakeElements>(std::move(values), &requested, fail_at);
    }

    static std::vector<IUnknown*> walk(IUnknown* enumerable)
    {
        std::vector<IUnknown*> seen;
        for (Iterator it(enumerable, Iterator::default_ctor()); it != Iterator(); ++it)
            seen.push_back(it->element.p);
        return seen;
    }
};

TEST_F(IteratorTest, WalksEachElementOnceAskingForOneAtATime)
{
    auto abc = rows({a->unknown(), b->unknown(), c->unknown()});
    EXPECT_EQ(walk(abc->unknown()), (std::vector<IUnknown*>{a->unknown(), b->unknown(), c->unknown()}));
    EXPECT_EQ(requested, (std::vector<ULONG>{1, 1, 1, 1}));

    // A failing Next ends the walk quietly.
    auto broken = rows({a->unknown(), b->unknown(), c->unknown()}, 2);
    EXPECT_EQ(walk(broken->unknown()), (std::vector<IUnknown*>{a->unknown(), b->unknown()}));
}

TEST_F(IteratorTest, EndIsEmptyAndCannotBeReadOrMoved)
{
    auto none = rows({});
    EXPECT_EQ(Iterator(none->unknown(), Iterator::default_ctor()), Iterator());

    Iterator end;
    ++end;
    EXPECT_EQ(end, Iterator());
    // How a throw site names its function is the empty task's test.
    expect_refusal([&] { (void)*end; }, L"null iterator", 106, "Monitor/Collector/Collector.Shell/Iterator.imp");
}

TEST_F(IteratorTest, CopiesShareOnePositionAndSeparateWalksCompareByElement)
{
    auto ab = rows({a->unknown(), b->unknown()});
    auto ac = rows({a->unknown(), c->unknown()});
    Iterator it(ab->unknown(), Iterator::default_ctor());
    Iterator other(ac->unknown(), Iterator::default_ctor());
    EXPECT_EQ(it, other); // both stand on a

    const Iterator copy = it;
    ++it;
    ++other;
    EXPECT_NE(it, other);
    EXPECT_EQ(copy->element.p, b->unknown());
    EXPECT_EQ(it, copy);
    ++it;
    EXPECT_EQ(it, Iterator());
    EXPECT_NE(copy, Iterator());
    EXPECT_EQ(copy->element.p, b->unknown());
}

TEST_F(IteratorTest, ThrowingFactoryLeavesThePositionAndTheElementsReferences)
{
    auto abc = rows({a->unknown(), b->unknown(), c->unknown()});
    int made = 0;
    Iterator it(abc->unknown(), [&](IUnknown* element) {
        if (++made == 2)
            throw std::runtime_error("refused");
        return new Probe(element);
    });
    EXPECT_THROW(++it, std::runtime_error);
    EXPECT_EQ(it->element.p, a->unknown());
    ++it;
    EXPECT_EQ(it->element.p, c->unknown());

    // At the first step the exception leaves the constructor, that is the owner's begin().
    auto again = rows({a->unknown()});
    EXPECT_THROW(Iterator(again->unknown(), [](IUnknown*) -> Probe* { throw std::runtime_error("refused"); }),
                 std::runtime_error);
}

TEST_F(IteratorTest, EnumerableWithoutEnumeratorGivesAnIteratorWithoutElements)
{
    for (IUnknown* enumerable : {static_cast<IUnknown*>(nullptr), a->unknown()}) {
        Iterator it(enumerable, Iterator::default_ctor());
        EXPECT_NE(it, Iterator());
        ++it;
        EXPECT_NE(it, Iterator());
        EXPECT_THROW((void)*it, COstraException);
    }
}

} // namespace
} // namespace shell_test
