// Fake tasks, task pools and the collections they deploy: each collection is of a record class that
// the fake class pool names, so that a test picks collections by class name.
#pragma once

#include "shell/fake_pools.h"
#include "shell/object_values.h"

#include "support/fake_events.h"

#include <collector/interfaces.h>

#include <comdef.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace shell_test {

using namespace Ostra_Lux_Collector_Interfaces;

// "E_NOTIMPL" for the operations a test never reaches.
#define FAKE_UNUSED(signature) \
    HRESULT STDMETHODCALLTYPE signature override { return E_NOTIMPL; }

class NamedClass : public fake::Fake<IClass> {
public:
    explicit NamedClass(std::wstring name) : Fake("named class"), name(std::move(name)) {}
    std::wstring name;

    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return give_text(name, out); }
    FAKE_UNUSED(GetId(GUID*))
    FAKE_UNUSED(GetVersion(BSTR*))
    FAKE_UNUSED(GetScope(BSTR*))
    FAKE_UNUSED(IsSingleton(VARIANT_BOOL*))
    FAKE_UNUSED(CreateKeyTemplate(IKeyTemplate**))
};

// The class whose id is numbered_guid(n) is the n-th name registered.
class NamedClasses : public fake::Fake<IClassPool> {
public:
    NamedClasses() : Fake("named classes") {}
    std::vector<std::wstring> names;

    GUID id_of(const std::wstring& name)
    {
        names.push_back(name);
        return numbered_guid(static_cast<std::uint32_t>(names.size()));
    }
    HRESULT STDMETHODCALLTYPE GetClass(GUID id, IClass** out) override
    {
        *out = fake::make<NamedClass>(names.at(id.Data1 - 1));
        return S_OK;
    }
};

// A collection without a composition, known by its id.
class ClassedCollection : public fake::Fake<ICollection> {
public:
    ClassedCollection(GUID id, GUID class_id) : Fake("classed collection"), id(id), class_id(class_id) {}
    GUID id;
    GUID class_id;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override { return *out = id, S_OK; }
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* out) override { return *out = class_id, S_OK; }
    HRESULT STDMETHODCALLTYPE GetComposition(LONG, IComposition** out) override { return *out = nullptr, E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMethod(BSTR, IUnknown** out) override { return *out = nullptr, S_OK; }
    FAKE_UNUSED(GetName(BSTR*))
    FAKE_UNUSED(GetState(ECollectionState*))
    FAKE_UNUSED(Run())
    FAKE_UNUSED(Stop(IUnknown**))
    FAKE_UNUSED(Reset(LONG))
    FAKE_UNUSED(GetEnumerator(IUnknown**))
    FAKE_UNUSED(GetReferenceIndex(IReferenceIndex**))
};

// Makes collections of named classes with ids 1, 2, 3... in order of making.
class Collections {
public:
    fake::Held<NamedClasses> classes = fake::hold<NamedClasses>();

    IUnknown* make(const std::wstring& class_name)
    {
        return fake::make<ClassedCollection>(numbered_guid(++made_), classes->id_of(class_name))->unknown();
    }

private:
    std::uint32_t made_ = 0;
};

// A task over scripted collections; every operation is counted.
class FakeTask : public fake::Fake<ITask, IDeploymentTarget, IMethodSource, IProperties, fake::ConnectionPoints> {
public:
    explicit FakeTask(Collections& made) : Fake("task"), made(made) {}

    fake::ConnectionPoint<ITaskEvents>& events = offer<ITaskEvents>("task events");
    Collections& made;
    std::vector<CComPtr<IUnknown>> collections;
    std::map<std::string, int> calls;
    std::vector<ULONG> requested;
    // What Run and IDeploymentTarget::Deploy received.
    _variant_t run_argument;
    _variant_t target_argument;
    bool target_data = false;
    // What IDeploymentTarget::Deploy gives back when set; a new collection of the named class when not.
    _variant_t target_result;
    HRESULT method_result = S_OK;
    std::map<std::wstring, _variant_t> properties;

    void add(const std::wstring& class_name) { collections.emplace_back().Attach(made.make(class_name)); }

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override { return *out = numbered_guid(7), S_OK; }
    HRESULT STDMETHODCALLTYPE Deploy(BSTR class_name, IUnknown** out) override
    {
        ++calls["Deploy"];
        *out = made.make(class_name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SwitchUser(GUID user, GUID* previous) override
    {
        *previous = numbered_guid(user.Data1 + 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Run(VARIANT controller) override
    {
        run_argument = controller;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCollections(IUnknown** out) override
    {
        ++calls["GetCollections"];
        std::vector<_variant_t> elements(collections.begin(), collections.end());
        *out = fake::make<FakeElements>(std::move(elements), requested)->unknown();
        return S_OK;
    }
    FAKE_UNUSED(Remove(GUID))
    FAKE_UNUSED(GetState(ETaskState*))
    FAKE_UNUSED(GetHostId(GUID*))
    FAKE_UNUSED(GetUserId(GUID*))
    FAKE_UNUSED(Stop())

    FAKE_UNUSED(GetName(BSTR*))
    FAKE_UNUSED(GetType(EDeploymentTarget*))
    HRESULT STDMETHODCALLTYPE Deploy(VARIANT argument, IDeploymentData* data, VARIANT* result) override
    {
        target_argument = argument;
        target_data = data != nullptr;
        if (target_result.vt != VT_EMPTY)
            return VariantCopy(result, &target_result);
        result->vt = VT_UNKNOWN;
        result->punkVal = made.make(argument.bstrVal);
        return S_OK;
    }

    FAKE_UNUSED(GetMethodNames(SAFEARRAY**))
    HRESULT STDMETHODCALLTYPE GetMethod(BSTR, IUnknown** out) override { return *out = nullptr, method_result; }

    FAKE_UNUSED(GetPropertyNames(SAFEARRAY**))
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* value) override
    {
        return VariantCopy(value, &properties[name]);
    }
    HRESULT STDMETHODCALLTYPE SetProperty(BSTR name, VARIANT value) override
    {
        properties[name] = value;
        return S_OK;
    }
};

// A task pool whose operations record their arguments and hand out new fake tasks.
class FakeTaskPool : public fake::Fake<ITaskPool, fake::ConnectionPoints> {
public:
    explicit FakeTaskPool(Collections& made) : Fake("task pool"), made(made) {}

    fake::ConnectionPoint<ITaskPoolEvents>& events = offer<ITaskPoolEvents>("task pool events");
    Collections& made;
    // What the last Deploy form received: name, identifiers, text (VT_EMPTY but for DeployWithText),
    // flag or value, and whether deployment data came with it.
    struct deployment_t {
        std::wstring name;
        GUID first{}, second{};
        _variant_t text;
        LONG flag = -1;
        bool data = false;
    } last;
    // Every task operation answers with this; a null task when `no_task`.
    HRESULT result = S_OK;
    bool no_task = false;
    VARIANT_BOOL exists = VARIANT_FALSE;
    std::vector<ULONG> requested;

    HRESULT STDMETHODCALLTYPE Deploy(BSTR name, GUID* first, GUID* second, LONG flag, IUnknown** task) override
    {
        last = {name, *first, *second, {}, flag, false};
        return hand_out(task);
    }
    HRESULT STDMETHODCALLTYPE DeployWithText(BSTR name, GUID* first, GUID* second, VARIANT text, LONG flag,
                                             IUnknown** task) override
    {
        last = {name, *first, *second, text, flag, false};
        return hand_out(task);
    }
    HRESULT STDMETHODCALLTYPE DeployWithData(BSTR name, GUID* first, GUID* second, LONG value, IDeploymentData* data,
                                             IUnknown** task) override
    {
        last = {name, *first, *second, {}, value, data != nullptr};
        return hand_out(task);
    }
    HRESULT STDMETHODCALLTYPE IsExist(GUID*, VARIANT_BOOL* out) override { return *out = exists, result; }
    HRESULT STDMETHODCALLTYPE GetTask(GUID*, IUnknown** task) override { return hand_out(task); }
    HRESULT STDMETHODCALLTYPE Remove(GUID*) override { return result; }
    HRESULT STDMETHODCALLTYPE GetTasks(IUnknown** out) override
    {
        std::vector<_variant_t> tasks;
        for (int i = 0; i < 2; ++i)
            tasks.emplace_back(fake::make<FakeTask>(made)->unknown(), false);
        *out = fake::make<FakeElements>(std::move(tasks), requested)->unknown();
        return result;
    }
    FAKE_UNUSED(GetCount(LONG*))
    FAKE_UNUSED(FindByName(BSTR, IUnknown**))

private:
    HRESULT hand_out(IUnknown** task)
    {
        *task = no_task || FAILED(result) ? nullptr : static_cast<ITask*>(fake::make<FakeTask>(made));
        return result;
    }
};

#undef FAKE_UNUSED

} // namespace shell_test
