// The parts of a DMTF interval, shared by its readers into durations and into OLE spans.
#pragma once

#include <Kernel/time.h>

namespace ostra::lux::kernel::detail {

struct dmtf_interval {
    std::int64_t days;
    ticks time_of_day;
};

// Throws CHResultException E_INVALIDARG for a text that is not a DMTF interval.
dmtf_interval parse_dmtf_interval(std::wstring_view text);

} // namespace ostra::lux::kernel::detail
