// The conformance table, compiled in so that both builds run it without locating files.
#include "conformance/table.h"

namespace conformance {

const char* const table_text =
#include "conformance/oleaut.cases"
    ;

} // namespace conformance
