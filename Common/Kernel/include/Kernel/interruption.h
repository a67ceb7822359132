// Cooperative interruption of a thread: another thread requests it through the thread's handle, and
// the thread meets it at its next interruption_point, which throws CInterruptedException once.
#pragma once

#include "export.h"

#include <atomic>
#include <memory>

namespace ostra::lux::kernel {

class KERNEL_API interruption_handle {
public:
    // Asks the thread to stop at its next interruption point.
    void request() const noexcept;
    bool requested() const noexcept;

private:
    friend KERNEL_API interruption_handle this_thread_interruption_handle();
    explicit interruption_handle(std::shared_ptr<std::atomic<bool>> flag) noexcept;

    std::shared_ptr<std::atomic<bool>> flag_;
};

// The handle of the calling thread; it stays usable after the thread ends.
KERNEL_API interruption_handle this_thread_interruption_handle();

} // namespace ostra::lux::kernel

// Throws CInterruptedException when the calling thread's interruption was requested, and clears the
// request; otherwise returns at once.
KERNEL_API void interruption_point();
