#include "Table.h"

#include <fmt/color.h>
#include <fmt/format.h>

#include <algorithm>

namespace collector::cli {

namespace {

// No column is wider than this, so that one long command line leaves room for the others.
constexpr std::size_t max_column_width = 40;
constexpr std::string_view column_gap = "  ";
// A column cut to fewer characters than this is left out instead.
constexpr std::size_t min_cut_width = 5;

bool is_continuation_byte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The characters that a UTF-8 text takes on the screen, one per code point.
std::size_t display_width(std::string_view text)
{
    const auto starts = std::count_if(text.begin(), text.end(), [](char c) { return !is_continuation_byte(c); });
    return static_cast<std::size_t>(starts);
}

// `text` in at most `width` characters: cut with an ellipsis when it is longer.
std::string cut(std::string_view text, std::size_t width)
{
    if (display_width(text) <= width)
        return std::string(text);
    std::size_t end = 0;
    for (std::size_t kept = 0; kept + 1 < width; ++kept)
        do
            ++end;
        while (end < text.size() && is_continuation_byte(text[end]));
    return std::string(text.substr(0, end)) + (width > 0 ? "…" : "");
}

// `text` in exactly `width` characters: cut, or padded with spaces.
std::string fit(std::string_view text, std::size_t width)
{
    std::string fitted = cut(text, width);
    return fitted + std::string(width - display_width(fitted), ' ');
}

std::string trim_right(std::string line)
{
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

const value_t empty_value;

} // namespace

std::string_view to_string(event_kind_t kind)
{
    switch (kind) {
    case event_kind_t::added:
        return "added";
    case event_kind_t::updated:
        return "updated";
    case event_kind_t::removed:
        return "removed";
    }
    return "unknown";
}

table_t::table_t(std::string sort_field) : sort_field_(std::move(sort_field)) {}

void table_t::add_columns(const fields_t& fields)
{
    for (const auto& field : fields)
        if (std::find(columns_.begin(), columns_.end(), field.name) == columns_.end())
            columns_.push_back(field.name);
}

void table_t::apply(const record_event_t& event)
{
    const std::string key = key_text(event.key);
    if (event.kind == event_kind_t::removed) {
        ++counts_.removed;
        rows_.erase(key);
        return;
    }
    ++(event.kind == event_kind_t::added ? counts_.added : counts_.updated);
    add_columns(event.key);
    add_columns(event.fields);
    row_t row{event.key, {}};
    for (const auto* fields : {&event.key, &event.fields})
        for (const auto& field : *fields)
            row.cells.insert_or_assign(field.name, field.value);
    rows_.insert_or_assign(key, std::move(row));
}

std::vector<const table_t::row_t*> table_t::sorted_rows() const
{
    std::vector<const row_t*> rows;
    for (const auto& [key, row] : rows_)
        rows.push_back(&row);
    const auto sort_value = [this](const row_t* row) -> const value_t& {
        const auto cell = row->cells.find(sort_field_);
        return cell == row->cells.end() ? empty_value : cell->second;
    };
    const auto key_values = [](const row_t* row) {
        std::vector<value_t> values;
        for (const auto& field : row->key)
            values.push_back(field.value);
        return values;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const row_t* left, const row_t* right) {
        if (sort_value(left) != sort_value(right))
            return sort_value(left) < sort_value(right);
        return key_values(left) < key_values(right);
    });
    return rows;
}

std::string table_t::render(std::size_t width, std::size_t height, std::string_view status, bool styled) const
{
    const auto rows = sorted_rows();
    const auto cell_text = [](const row_t* row, const std::string& column) {
        const auto cell = row->cells.find(column);
        return cell == row->cells.end() ? std::string() : format_value(cell->second);
    };

    // Each column as wide as its widest text, then as many columns as the width holds.
    std::vector<std::size_t> widths;
    std::size_t used = 0;
    for (const auto& column : columns_) {
        std::size_t column_width = display_width(column);
        for (const auto* row : rows)
            column_width = std::max(column_width, display_width(cell_text(row, column)));
        column_width = std::min(column_width, max_column_width);
        const std::size_t gap = widths.empty() ? 0 : column_gap.size();
        if (used + gap + column_width > width) {
            if (width > used + gap + min_cut_width || widths.empty())
                widths.push_back(width > used + gap ? width - used - gap : 0);
            break;
        }
        widths.push_back(column_width);
        used += gap + column_width;
    }

    const auto line = [&](auto&& text_of_column) {
        std::string text;
        for (std::size_t i = 0; i < widths.size(); ++i)
            text += (i ? std::string(column_gap) : std::string()) + fit(text_of_column(columns_[i]), widths[i]);
        return trim_right(std::move(text));
    };

    std::string text;
    if (!widths.empty()) {
        const std::string header = line([](const std::string& column) { return column; });
        text = (styled ? fmt::format(fmt::emphasis::bold, "{}", header) : header) + '\n';
    }
    const std::size_t row_lines = height > 2 ? height - 2 : 1;
    for (std::size_t i = 0; i < rows.size() && i < row_lines; ++i)
        text += line([&](const std::string& column) { return cell_text(rows[i], column); }) + '\n';
    const std::string status_line = cut(status, width);
    text += (styled ? fmt::format(fmt::emphasis::reverse, "{}", status_line) : status_line) + '\n';
    return text;
}

} // namespace collector::cli
