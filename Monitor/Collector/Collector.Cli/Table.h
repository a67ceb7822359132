// The live table of `watch`: the records of one class as the events left them, rendered sorted by a
// field and fitted to a window, with a status line under it.
#pragma once

#include "Value.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace collector::cli {

enum class event_kind_t { added, updated, removed };

std::string_view to_string(event_kind_t kind);

// One change of a record, read off the library's objects on the thread that delivered it.
struct record_event_t {
    event_kind_t kind;
    fields_t key;
    // Empty for a removed record, whose key is all that is left.
    fields_t fields;
};

class table_t {
public:
    // How many events of each kind the table has applied.
    struct counts_t {
        std::size_t added = 0;
        std::size_t updated = 0;
        std::size_t removed = 0;
    };

    // Rows are ordered by `sort_field`, then by key; by key alone when it is empty.
    explicit table_t(std::string sort_field);

    // An added or updated record replaces its row; a removed one takes it away.
    void apply(const record_event_t& event);

    std::size_t size() const noexcept { return rows_.size(); }
    const counts_t& counts() const noexcept { return counts_; }

    // The header, as many rows as fit in `height` lines with `status` as the last, every line at most
    // `width` characters: columns that do not fit are left out, long values cut. `styled` sets the
    // header in bold and the status line in reverse video; without it the text has no escape sequence.
    std::string render(std::size_t width, std::size_t height, std::string_view status, bool styled) const;

private:
    struct row_t {
        fields_t key;
        std::map<std::string, value_t, std::less<>> cells;
    };

    std::vector<const row_t*> sorted_rows() const;
    void add_columns(const fields_t& fields);

    std::string sort_field_;
    // Column names in the order first seen, key fields first.
    std::vector<std::string> columns_;
    std::map<std::string, row_t, std::less<>> rows_;
    counts_t counts_;
};

} // namespace collector::cli
