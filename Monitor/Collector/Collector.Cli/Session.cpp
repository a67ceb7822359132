#include "Session.h"

#include "Snapshot.h"
#include "Terminal.h"
#include "Text.h"

#include <Kernel/exception.h>

namespace collector::cli {

namespace {

constexpr std::wstring_view task_name = L"collector-cli";

GUID local_host_id(const shell::Collector& collector)
{
    for (const shell::Host& host : collector.GetHostPool())
        if (host.IsLocal())
            return host.GetId();
    return shell::EMPTY_GUID;
}

// The program's task runs on this machine as the current user.
shell::Task deploy_task(const shell::Collector& collector)
{
    const GUID user_id = collector.GetUserPool().GetCurrent().GetId();
    return collector.GetTaskPool().Deploy(task_name, local_host_id(collector), user_id, false);
}

} // namespace

session_t::session_t(shell::ECollectorSource source) : collector_(source)
{
    collector_.Start();
    running_ = true;
    task_ = deploy_task(collector_);
    task_.Run();
}

session_t::~session_t()
{
    try {
        stop();
    } catch (const std::exception&) {
        // Already failing or ending: the first failure is the one reported.
    }
}

shell::Collection session_t::follow(std::wstring_view class_name,
                                     const std::shared_ptr<shell::ICollectionListener>& listener)
{
    shell::Collection collection = task_.Deploy(class_name, true);
    if (listener)
        collection.Subscribe(listener);
    collection.Run();
    return collection;
}

void session_t::stop()
{
    if (!running_)
        return;
    running_ = false;
    if (task_)
        task_.Stop();
    collector_.Stop();
}

shell::Record find_record(const shell::Collection& collection, std::wstring_view key, std::chrono::milliseconds wait,
                          const stop_request_t& stop)
{
    const std::string wanted = narrow(key);
    constexpr std::chrono::milliseconds retry{100};
    for (auto waited = std::chrono::milliseconds::zero();; waited += retry) {
        for (shell::Record& record : collection)
            if (key_text(read_key(record.GetKey())) == wanted)
                return record;
        if (waited >= wait || stop.requested())
            break;
        stop.wait_for(retry);
    }
    throw COstraException(ostra::lux::kernel::exception_init, L"No record with that key", tstring(key), 1);
}

} // namespace collector::cli
