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
    void increment();
    // Both at the end, or both standing on the same element object of the component.
    bool equal(const EnumIterator& other) const;
    T& dereference() const;

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell

// An element type's iterator is compiled once, inside the library, and exported. The header of the
// element's class declares it right after the class, before anything uses EnumIterator<Host> (an
// inline end() does), since the export must be known from the first use on:
//     COLLECTOR_SHELL_EXTERN_ENUM_ITERATOR(Host);
// and the class's source file, after including Iterator.imp, defines it:
//     COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(Host);
// Both are written at global scope, with the class's name inside namespace collector::shell.
#define COLLECTOR_SHELL_EXTERN_ENUM_ITERATOR(T) \
    extern template class COLLECTOR_SHELL_API ::collector::shell::EnumIterator<::collector::shell::T>
