// Error information: the object CreateErrorInfo makes and the per-thread slot.
#include "platform/core_fakes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string_view>
#include <thread>
#include <vector>

using core_test::ErrorObject;

namespace {

std::wstring_view view(BSTR bstr) { return {bstr, SysStringLen(bstr)}; }

// Takes whatever the calling thread's slot holds, so that every test starts and ends with it empty.
void drain()
{
    IErrorInfo* left = nullptr;
    if (GetErrorInfo(0, &left) == S_OK)
        left->Release();
}

} // namespace

TEST(CreateErrorInfo, KeepsWhatIsSetAndAnswersBothInterfaces)
{
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);

    BSTR text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(info->GetDescription(&text), S_OK);
    EXPECT_EQ(text, nullptr); // nothing set yet

    EXPECT_EQ(create->SetGUID(IID_IDispatch), S_OK);
    EXPECT_EQ(create->SetSource(const_cast<LPOLESTR>(L"source")), S_OK);
    EXPECT_EQ(create->SetDescription(const_cast<LPOLESTR>(L"what failed")), S_OK);
    EXPECT_EQ(create->SetHelpFile(const_cast<LPOLESTR>(L"help.chm")), S_OK);
    EXPECT_EQ(create->SetHelpContext(12), S_OK);

    GUID guid{};
    DWORD context = 0;
    EXPECT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, IID_IDispatch);
    EXPECT_EQ(info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 12u);
    for (auto [get, expected] : {std::pair{&IErrorInfo::GetSource, L"source"},
                                 {&IErrorInfo::GetDescription, L"what failed"},
                                 {&IErrorInfo::GetHelpFile, L"help.chm"}}) {
        ASSERT_EQ((info->*get)(&text), S_OK);
        EXPECT_EQ(view(text), expected);
        SysFreeString(text);
    }
    EXPECT_EQ(info->GetSource(nullptr), E_INVALIDARG);

    IUnknown* through_info = nullptr;
    IUnknown* through_create = nullptr;
    ASSERT_EQ(info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&through_info)), S_OK);
    ASSERT_EQ(create->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&through_create)), S_OK);
    EXPECT_EQ(through_info, through_create); // one identity
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(info->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    through_info->Release();
    through_create->Release();
    info->Release();
    EXPECT_EQ(create->Release(), 0u);
}

TEST(ErrorInfoSlot, HandsItsReferenceOverOnce)
{
    drain();
    auto error = fake::hold<ErrorObject>("error");
    IErrorInfo* out = reinterpret_cast<IErrorInfo*>(1);
    EXPECT_EQ(GetErrorInfo(0, &out), S_FALSE);
    EXPECT_EQ(out, nullptr);

    ASSERT_EQ(SetErrorInfo(0, error.get()), S_OK);
    EXPECT_EQ(error->references(), 2u);
    ASSERT_EQ(GetErrorInfo(0, &out), S_OK);
    EXPECT_EQ(out, error.get());
    EXPECT_EQ(error->references(), 2u); // the slot's reference, now the caller's
    EXPECT_EQ(GetErrorInfo(0, &out), S_FALSE);
    error->Release();

    ASSERT_EQ(SetErrorInfo(0, error.get()), S_OK);
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(error->references(), 1u);

    EXPECT_EQ(SetErrorInfo(1, error.get()), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(1, &out), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(error->references(), 1u);
}

TEST(ErrorInfoSlot, IsPerThreadAndReleasedWhenTheThreadEnds)
{
    drain();
    auto mine = fake::hold<ErrorObject>("mine");
    auto theirs = fake::hold<ErrorObject>("theirs");
    ASSERT_EQ(SetErrorInfo(0, mine.get()), S_OK);
    HRESULT seen_by_other = E_FAIL;
    std::thread([&] {
        IErrorInfo* out = nullptr;
        seen_by_other = GetErrorInfo(0, &out);
        SetErrorInfo(0, theirs.get()); // left in the slot when the thread ends
    }).join();
    EXPECT_EQ(seen_by_other, S_FALSE);
    EXPECT_EQ(theirs->references(), 1u);
    EXPECT_EQ(mine->references(), 2u);
    drain();
}

TEST(ErrorInfoSlot, ThreadsUseTheirSlotsAndOneObjectConcurrently)
{
    ICreateErrorInfo* shared = nullptr;
    ASSERT_EQ(CreateErrorInfo(&shared), S_OK);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(shared->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                shared->SetDescription(const_cast<LPOLESTR>(t % 2 ? L"odd" : L"even"));
                BSTR text = nullptr;
                info->GetDescription(&text);
                SysFreeString(text);
                SetErrorInfo(0, info);
                IErrorInfo* out = nullptr;
                if (GetErrorInfo(0, &out) != S_OK || out != info)
                    ++mismatches[t];
                if (out)
                    out->Release();
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
    info->Release();
    EXPECT_EQ(shared->Release(), 0u);
}
