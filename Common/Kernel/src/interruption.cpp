#include <Kernel/exception.h>
#include <Kernel/interruption.h>

namespace ostra::lux::kernel {
namespace {

const std::shared_ptr<std::atomic<bool>>& this_thread_flag()
{
    thread_local const auto flag = std::make_shared<std::atomic<bool>>(false);
    return flag;
}

} // namespace

interruption_handle::interruption_handle(std::shared_ptr<std::atomic<bool>> flag) noexcept
    : flag_(std::move(flag))
{
}

void interruption_handle::request() const noexcept { flag_->store(true); }

bool interruption_handle::requested() const noexcept { return flag_->load(); }

interruption_handle this_thread_interruption_handle() { return interruption_handle(this_thread_flag()); }

} // namespace ostra::lux::kernel

void interruption_point()
{
    if (ostra::lux::kernel::this_thread_flag()->exchange(false))
        throw CInterruptedException();
}
