// Reference over fake component values: what each VARTYPE gives, chains over arrays of records,
// objects that answer several interfaces, elements that are not records, and the empty reference.
#include "shell/record_fakes.h"

namespace shell_test {
namespace {

// An IUnknown array over `elements` (each element holding its own reference) with a lower bound.
_variant_t unknowns(const std::vector<IUnknown*>& elements, LONG lower = 0)
{
    SAFEARRAYBOUND bound{static_cast<ULONG>(elements.size()), lower};
    _variant_t value;
    value.parray = SafeArrayCreate(VT_UNKNOWN, 1, &bound);
    value.vt = VT_ARRAY | VT_UNKNOWN;
    IUnknown** data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(value.parray, reinterpret_cast<void**>(&data)), S_OK);
    for (IUnknown* element : elements)
        (*data++ = element) ? element->AddRef() : 0;
    EXPECT_EQ(SafeArrayUnaccessData(value.parray), S_OK);
    return value;
}

class ReferenceTest : public RecordFamilyTest {
protected:
    FakeClass& profile = pool->add(profile_class, L"Profile");

    // A record of class Process with key (ProcessId, id) and class id Profile when asked as an
    // object or reference, answering the interfaces that `refused` leaves.
    fake::Held<FakeRecord> target(LONG id, std::vector<IID> refused = {IID_IObject, IID_IReference})
    {
        auto made = fake::hold<FakeRecord>(std::move(refused));
        made->key.Attach(fake::make<FakeKey>(process_class, field_list{{L"ProcessId", v4(id)}}));
        made->class_id = profile_class;
        return made;
    }

    Reference reference_to(const _variant_t& value) { return Reference(Object(_variant_t(value)), 0, pool.get()); }

    // The process ids of the records along the chain that starts at `first`.
    static std::vector<int> walk(Reference first)
    {
        std::vector<int> ids;
        for (Reference at = std::move(first); at; at = at.GetReference())
            ids.push_back(at.GetKey()[L"ProcessId"].get<int>());
        return ids;
    }
};

TEST_F(ReferenceTest, OnlyObjectsAndObjectArraysAreReferences)
{
    EXPECT_FALSE(reference_to(_variant_t()));
    EXPECT_FALSE(Reference(null(), 0, pool.get()));
    auto plain = fake::hold<fake::Unknown>("plain");
    const std::pair<Object, std::pair<const wchar_t*, int>> refused[] = {
        {bstr(L"Parent"), {L"Value is not IUnknown[]", 138}},
        {array_of(VT_VARIANT, 1), {L"Value is not IUnknown[]", 138}},
        {unknown(plain->unknown()), {L"Value is neither IReference nor IRecord nor IObject", 135}},
        {unknown(nullptr), {L"Value is neither IReference nor IRecord nor IObject", 135}},
    };
    for (const auto& [value, expected] : refused) {
        SCOPED_TRACE(describe(value));
        const refusal_t seen = refusal_of([&] { Reference(value, 0, pool.get()); });
        EXPECT_EQ(seen.message, expected.first);
        EXPECT_EQ(seen.dump, value.to_string());
        EXPECT_EQ(seen.site.file, "Monitor/Collector/Collector.Shell/Reference.cpp");
        EXPECT_EQ(seen.site.line, expected.second);
    }
}

TEST_F(ReferenceTest, ArraysAreWalkedAsChainsFromTheirFirstElement)
{
    const auto a = target(1), b = target(2), c = target(3);
    // Counted from 5: the first element is the chain's start whatever the lower bound.
    const field_list fields = {{L"None", unknowns({}, 5)},
                               {L"One", unknowns({a->unknown()}, 5)},
                               {L"Three", unknowns({a->unknown(), b->unknown(), c->unknown()}, 5)}};
    const auto key = fake::hold<FakeKey>(process_class, fields);
    const Key holder(key->unknown(), pool.get());
    EXPECT_EQ(walk(holder.FindReference(L"None")), std::vector<int>{});
    EXPECT_EQ(walk(holder.FindReference(L"One")), std::vector<int>{1});
    EXPECT_EQ(walk(holder.FindReference(L"Three")), (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(holder.FindReference(L"Missing"));
    const Reference second = Reference(Object(unknowns({a->unknown(), b->unknown()})), 1, pool.get());
    EXPECT_EQ(second.GetRecord().GetKey()[L"ProcessId"].get<int>(), 2);
    EXPECT_EQ(second.ClassName(), L"Process"); // through the element's key
}

TEST_F(ReferenceTest, RecordValueIsItsOwnTargetAndEndsTheChain)
{
    const auto parent = target(7);
    const Reference reference = reference_to(_variant_t(parent->unknown()));
    EXPECT_TRUE(reference.GetRecord().GetKey() == reference.GetKey());
    EXPECT_EQ(reference.ClassName(), L"Process");
    EXPECT_FALSE(reference.GetReference());

    parent->key.Release();
    expect_refusal([&] { reference_to(_variant_t(parent->unknown())).GetClass(); }, L"Record has no key", 61);
}

TEST_F(ReferenceTest, AReferenceNamesItsTargetBeforeBeingIt)
{
    // Answers IReference and IRecord: a reference, which gives class and key but no record.
    const auto both = target(8, {IID_IObject});
    const Reference named = reference_to(_variant_t(both->unknown()));
    EXPECT_FALSE(named.GetRecord());
    EXPECT_EQ(named.GetKey()[L"ProcessId"].get<int>(), 8);
    EXPECT_EQ(named.ClassName(), L"Profile");
    EXPECT_FALSE(named.GetReference());

    // Answers IObject only: no key, and a key-less record of the object's class.
    const auto object = target(9, {IID_IRecord, IID_IReference});
    const Reference plain = reference_to(_variant_t(object->unknown()));
    EXPECT_FALSE(plain.GetKey());
    EXPECT_EQ(plain.GetClass().GetName(), L"Profile");
    EXPECT_EQ(plain.GetRecord().ClassName(), L"Profile");
    EXPECT_FALSE(plain.GetRecord().GetKey());
    EXPECT_FALSE(plain.GetReference());
}

TEST_F(ReferenceTest, ArrayElementsThatAreNotRecordsHaveNeitherKeyNorClass)
{
    const auto object = target(9, {IID_IRecord, IID_IReference});
    const Reference first = reference_to(unknowns({object->unknown(), nullptr}));
    for (const Reference& element : {first, first.GetReference()}) {
        ASSERT_TRUE(element);
        EXPECT_FALSE(element.GetRecord());
        EXPECT_EQ(refusal_of([&] { element.GetKey(); }).hresult, E_POINTER);
        EXPECT_EQ(refusal_of([&] { element.ClassName(); }).hresult, E_POINTER);
    }
    EXPECT_FALSE(first.GetReference().GetReference());
}

TEST_F(ReferenceTest, EmptyReferenceRefusesEveryMember)
{
    const Reference empty = reference_to(_variant_t());
    expect_null_refusals(L"Reference", {
        {[&] { empty.GetClass(); }, 152}, {[&] { empty.ClassName(); }, 159}, {[&] { empty.GetKey(); }, 169},
        {[&] { empty.GetRecord(); }, 176}, {[&] { empty.GetReference(); }, 183},
    });
}

} // namespace
} // namespace shell_test
