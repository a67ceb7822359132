// Fake tasks and task pools, and the collections they deploy: each collection is of a record class
// of its own in the fake class pool, so that a test picks collections by class name.
#pragma once

#include "shell/record_fakes.h"

namespace shell_test {

// An operation that no test reaches.
#define FAKE_UNUSED(signature) \
    HRESULT STDMETHODCALLTYPE signature override { return E_NOTIMPL; }

// Makes collections without composition, each of a class of its own with the collection's id: 1, 2,
// 3... in order of making.
class Collections {
public:
    fake::Held<FakeClassPool> classes = fake::hold<FakeClassPool>();

    IUnknown* make(const std::wstring& class_name)
    {
        auto* made = fake::make<FakeCollection>(false);
        made->id = made->class_id = numbered_guid(++made_);
        classes->add(made->id, class_name);
        return made->unknown();
    }

private:
    std::uint32_t made_ = 0;
};

// A task with the id numbered_guid(7) over the collections that a test adds.
class FakeTask : public fake::Fake<ITask, IDeploymentTarget, IMethodSource, fake::ConnectionPoints> {
public:
    explicit FakeTask(Collections& made) : Fake("task"), made(made) {}

    fake::ConnectionPoint<ITaskEvents>& events = offer<ITaskEvents>("task events");
    Collections& made;
    std::vector<CComPtr<IUnknown>> collections;
    int searches = 0;
    // What IDeploymentTarget::Deploy gives back when set; a new collection of the named class when not.
    _variant_t target_result;
    bool target_data = false;

    void add(const std::wstring& class_name) { collections.emplace_back().Attach(made.make(class_name)); }

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override { return *out = numbered_guid(7), S_OK; }
    HRESULT STDMETHODCALLTYPE Deploy(BSTR class_name, IUnknown** out) override
    {
        return *out = made.make(class_name), S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCollections(IUnknown** out) override
    {
        ++searches;
        return enumerate(std::vector<_variant_t>(collections.begin(), collections.end()), out);
    }
    HRESULT STDMETHODCALLTYPE Deploy(VARIANT argument, IDeploymentData* data, VARIANT* result) override
    {
        target_data = data != nullptr;
        if (target_result.vt != VT_EMPTY)
            return VariantCopy(result, &target_result);
        result->vt = VT_UNKNOWN;
        result->punkVal = made.make(argument.bstrVal);
        return S_OK;
    }
    // What Run received: its type, and whether it was the expected controller.
    VARTYPE run_type = VT_ILLEGAL;
    IUnknown* run_object = nullptr;
    HRESULT STDMETHODCALLTYPE Run(VARIANT controller) override
    {
        run_type = controller.vt;
        run_object = controller.punkVal;
        return S_OK;
    }
    // Knows no method: fails and leaves the pointer null.
    HRESULT STDMETHODCALLTYPE GetMethod(BSTR, IUnknown** out) override { return *out = nullptr, E_FAIL; }
    FAKE_UNUSED(GetMethodNames(SAFEARRAY**))
    FAKE_UNUSED(Remove(GUID))
    FAKE_UNUSED(GetState(ETaskState*))
    FAKE_UNUSED(GetHostId(GUID*))
    FAKE_UNUSED(GetUserId(GUID*))
    FAKE_UNUSED(SwitchUser(GUID, GUID*))
    FAKE_UNUSED(Stop())
    FAKE_UNUSED(GetName(BSTR*))
    FAKE_UNUSED(GetType(EDeploymentTarget*))
};

// A task pool that looks tasks up and removes them with `result`, and hands out a new task or none.
class FakeTaskPool : public fake::Fake<ITaskPool> {
public:
    explicit FakeTaskPool(Collections& made) : Fake("task pool"), made(made) {}

    Collections& made;
    HRESULT result = S_OK;
    bool no_task = false;

    HRESULT STDMETHODCALLTYPE GetTask(GUID*, IUnknown** task) override
    {
        *task = no_task ? nullptr : static_cast<ITask*>(fake::make<FakeTask>(made));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsExist(GUID*, VARIANT_BOOL* out) override { return *out = VARIANT_TRUE, result; }
    HRESULT STDMETHODCALLTYPE Remove(GUID*) override { return result; }
    FAKE_UNUSED(Deploy(BSTR, GUID*, GUID*, LONG, IUnknown**))
    FAKE_UNUSED(DeployWithText(BSTR, GUID*, GUID*, VARIANT, LONG, IUnknown**))
    FAKE_UNUSED(DeployWithData(BSTR, GUID*, GUID*, LONG, IDeploymentData*, IUnknown**))
    FAKE_UNUSED(GetCount(LONG*))
    FAKE_UNUSED(FindByName(BSTR, IUnknown**))
    FAKE_UNUSED(GetTasks(IUnknown**))
};

#undef FAKE_UNUSED

} // namespace shell_test
