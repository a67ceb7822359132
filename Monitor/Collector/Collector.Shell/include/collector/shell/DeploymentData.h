// DeploymentData: the named settings handed to a deployment. The caller fills a map of names to
// values; the component reads the same object through IDeploymentData, so it sees the values as they
// stand when it reads them.
#pragma once

#include "Export.h"

#include <comdef.h>

#include <initializer_list>
#include <string_view>
#include <utility>

namespace collector::shell {

namespace detail {
class deployment_data_t;
struct deployment_data_access;
} // namespace detail

class COLLECTOR_SHELL_API DeploymentData {
public:
    // An empty bag.
    DeploymentData();
    // The pairs in order; a later pair with the same name replaces an earlier one. Values are copied.
    DeploymentData(std::initializer_list<std::pair<std::wstring_view, _variant_t>> values);
    // The other bag's object moves over; the other holds none afterwards.
    DeploymentData(DeploymentData&& other) noexcept;
    DeploymentData& operator=(DeploymentData&& other) noexcept;
    DeploymentData(const DeploymentData&) = delete;
    DeploymentData& operator=(const DeploymentData&) = delete;
    // The object lives on while the component still holds it.
    ~DeploymentData();

    // The value stored under `name` (exact, case-sensitive), created VT_EMPTY when absent; it stays
    // valid while the bag lives. Throws "DeploymentData is null" on a moved-from bag. Do not change the
    // bag while a deployment it was passed to is running: the component reads it unguarded.
    _variant_t& operator[](std::wstring_view name);

private:
    friend struct detail::deployment_data_access;

    // One counted reference; null once moved from.
    detail::deployment_data_t* object_;
};

} // namespace collector::shell
