// EnumIterator over a scripted IEnumVARIANT: one element per Next, end() reached when the component
// has no more or fails, one position shared by copies, a throwing factory, enumerables without
// IEnumVARIANT. The element type is a test type instantiated here, as an element class's source file
// does for its own type.
#include "shell/site.h"

#include "Iterator.imp"

#include "support/fake_com.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

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

struct Element : fake::Fake<IUnknown> {
    explicit Element(std::string name) : Fake(std::move(name)) {}
};

// Hands out its elements, one per Next, as VT_UNKNOWN; fails from the call numbered `fail_at` on.
class Rows : public fake::Fake<IEnumVARIANT> {
public:
    explicit Rows(std::vector<IUnknown*> elements, int fail_at = 0) : Fake("rows"), elements_(std::move(elements)), fail_at_(fail_at) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override
    {
        ++next_calls;
        counts_asked.push_back(count);
        *fetched = 0;
        if (fail_at_ != 0 && next_calls >= fail_at_)
            return E_FAIL;
        if (position_ == elements_.size())
            return S_FALSE;
        IUnknown* element = elements_[position_++];
        element->AddRef();
        out->vt = VT_UNKNOWN;
        out->punkVal = element;
        *fetched = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

    int next_calls = 0;
    std::vector<ULONG> counts_asked;

private:
    std::vector<IUnknown*> elements_;
    std::size_t position_ = 0;
    int fail_at_;
};

class IteratorTest : public testing::Test {
protected:
    fake::Held<Element> a = fake::hold<Element>("a");
    fake::Held<Element> b = fake::hold<Element>("b");
    fake::Held<Element> c = fake::hold<Element>("c");

    std::vector<IUnknown*> walk(Iterator it)
    {
        std::vector<IUnknown*> seen;
        for (; it != Iterator(); ++it)
            seen.push_back(it->element.p);
        return seen;
    }
};

TEST_F(IteratorTest, WalksEachElementOnceAskingForOneAtATime)
{
    auto rows = fake::hold<Rows>(std::vector<IUnknown*>{a->unknown(), b->unknown(), c->unknown()});
    EXPECT_EQ(walk(Iterator(rows->unknown(), Iterator::default_ctor())),
              (std::vector<IUnknown*>{a->unknown(), b->unknown(), c->unknown()}));
    EXPECT_EQ(rows->counts_asked, (std::vector<ULONG>{1, 1, 1, 1}));
    // The iterator let go of the enumerator and of every element it held.
    EXPECT_EQ(rows->references(), 1u);
    EXPECT_EQ(a->references(), 1u);
}

TEST_F(IteratorTest, EndIsEmptyAndCannotBeReadOrMoved)
{
    auto empty = fake::hold<Rows>(std::vector<IUnknown*>{});
    EXPECT_EQ(Iterator(empty->unknown(), Iterator::default_ctor()), Iterator());
    EXPECT_EQ(Iterator(), Iterator());

    Iterator end;
    ++end;
    EXPECT_EQ(end, Iterator());
    try {
        (void)*end;
        ADD_FAILURE() << "the end was read";
    } catch (const COstraException& e) {
        EXPECT_EQ(e.message(), L"null iterator");
        const seen_site site = site_of(e);
        EXPECT_EQ(site.file, "Monitor/Collector/Collector.Shell/Iterator.imp");
        EXPECT_EQ(site.line, 106);
        EXPECT_NE(site.function.find("dereference"), std::string::npos) << site.function;
        EXPECT_NE(site.function.find("Probe"), std::string::npos) << site.function;
    }
}

TEST_F(IteratorTest, CopiesShareOnePositionAndSeparateWalksCompareByElement)
{
    auto rows = fake::hold<Rows>(std::vector<IUnknown*>{a->unknown(), b->unknown()});
    auto other_rows = fake::hold<Rows>(std::vector<IUnknown*>{a->unknown(), c->unknown()});
    Iterator it(rows->unknown(), Iterator::default_ctor());
    Iterator other(other_rows->unknown(), Iterator::default_ctor());
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

TEST_F(IteratorTest, FailingNextEndsTheWalkQuietly)
{
    auto rows = fake::hold<Rows>(std::vector<IUnknown*>{a->unknown(), b->unknown(), c->unknown()}, 3);
    std::vector<IUnknown*> seen;
    EXPECT_NO_THROW(seen = walk(Iterator(rows->unknown(), Iterator::default_ctor())));
    EXPECT_EQ(seen, (std::vector<IUnknown*>{a->unknown(), b->unknown()}));
}

TEST_F(IteratorTest, ThrowingFactoryLeavesThePositionAndTheElementsReferences)
{
    auto rows = fake::hold<Rows>(std::vector<IUnknown*>{a->unknown(), b->unknown(), c->unknown()});
    int made = 0;
    Iterator it(rows->unknown(), [&](IUnknown* element) {
        if (++made == 2)
            throw std::runtime_error("refused");
        return new Probe(element);
    });
    EXPECT_THROW(++it, std::runtime_error);
    EXPECT_EQ(it->element.p, a->unknown());
    EXPECT_EQ(b->references(), 1u); // the VARIANT that carried it was cleared
    ++it;
    EXPECT_EQ(it->element.p, c->unknown());

    // At the first step the exception leaves the constructor, that is the owner's begin().
    auto again = fake::hold<Rows>(std::vector<IUnknown*>{a->unknown()});
    EXPECT_THROW(Iterator(again->unknown(), [](IUnknown*) -> Probe* { throw std::runtime_error("refused"); }),
                 std::runtime_error);
    EXPECT_EQ(again->references(), 1u);
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
    EXPECT_EQ(a->references(), 1u);
}

} // namespace
} // namespace shell_test
