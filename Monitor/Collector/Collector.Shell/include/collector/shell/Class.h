// Class: the read-only descriptor of a record class that the component holds.
#pragma once

#include "Export.h"

#include <collector/interfaces.h>

#include <memory>
#include <string>

namespace collector::shell {

// Copies share the component's class object. Every member asks the component afresh.
class COLLECTOR_SHELL_API Class {
public:
    struct impl_t;

    // For the owners that resolve classes: `cls` must answer IClass ("Unable to QueryInterface"
    // otherwise).
    explicit Class(IUnknown* cls);

    GUID GetId() const;
    std::wstring GetName() const;
    std::wstring GetVersion() const;
    std::wstring GetScope() const;
    bool IsSingleton() const;

private:
    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
