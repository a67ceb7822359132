// Reading the library's records and keys into plain values, so that they can be kept, compared and
// shown after the objects are gone, on any thread.
#pragma once

#include "Value.h"

#include <collector/shell.h>

#include <string>
#include <vector>

namespace collector::cli {

struct record_snapshot_t {
    fields_t key;
    // The data fields, references resolved to the class and key of their target.
    fields_t fields;
    // The names of the method fields.
    std::vector<std::string> methods;
};

fields_t read_key(const shell::Key& key);
record_snapshot_t read_record(const shell::Record& record);
// A field's value; a reference becomes its target's class and key.
value_t read_value(const shell::Field& field);

} // namespace collector::cli
