// EnumIterator<T>: the single-pass iterator of every begin() of the library, over one enumeration of
// the component. Each step turns the next element into a T; every end() is the empty iterator.
// Copies share one position: when one copy steps, all of them see the new element, and only the copy
// that steps past the last element becomes equal to end(). An iterator and its copies are used on one
// thread at a time.
#pragma once

#include "Export.h"

#include <objbase.h>

#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>

// The core operations of each element type's iterator are compiled once, in the library, and exported
// from it. Programs call them through the library's import library, so they need no import
// attribute, which leaves a test free to instantiate the template for an element type of its own.
#if defined(_WIN32) && !defined(COLLECTOR_SHELL_BUILDING)
#  define COLLECTOR_SHELL_ITERATOR_API
#else
#  define COLLECTOR_SHELL_ITERATOR_API COLLECTOR_SHELL_API
#endif

namespace collector::shell {

template <class T>
class EnumIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = T*;
    using reference = T&;
    // Turns a borrowed element into a new T, which the iterator then owns.
    using factory_t = std::function<T*(IUnknown*)>;
    struct impl_t;

    // The end of every enumeration.
    EnumIterator() noexcept = default;
    // The owners' begin(): walks `enumerable` (an object that answers IEnumVARIANT, kept by the caller)
    // and stands on its first element, if any. An enumerable that is null or answers no IEnumVARIANT
    // gives an iterator without elements that is not end().
    EnumIterator(IUnknown* enumerable, factory_t factory);

    // The factory of element types that are constructed from the element's IUnknown*.
    template <class Tag = int>
    static factory_t default_ctor(Tag = {});

    // The current element, valid until the next step of any copy. Throws "null iterator" at the end.
    T& operator*() const { return dereference(); }
    T* operator->() const { return &dereference(); }
    EnumIterator& operator++()
    {
        increment();
        return *this;
    }
    // Copies share the position, so no copy could hold the element before the step: nothing is
    // given back.
    void operator++(int) { increment(); }
    friend bool operator==(const EnumIterator& left, const EnumIterator& right) { return left.equal(right); }

private:
    // The core that the library exports for each element type; the operators above are built on it.
    COLLECTOR_SHELL_ITERATOR_API void increment();
    // Both at the end, or both standing on the same element object of the component.
    COLLECTOR_SHELL_ITERATOR_API bool equal(const EnumIterator& other) const;
    COLLECTOR_SHELL_ITERATOR_API T& dereference() const;

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
