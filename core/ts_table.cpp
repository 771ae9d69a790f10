#include "hyp_data.h"

bool ts_table_loaded = false;

namespace {

// 3551 rows, 400.0 to 755.0 nm in 0.1 nm steps (see coefficients/README.md for their origin).
const ts_coef kTable[] = {
#include "ts_table_rows.inc"
};

} // namespace

void fill_ts_table(std::vector<ts_coef>& table) {
    table.insert(table.end(), std::begin(kTable), std::end(kTable));
    // Data sets may be built on several threads at once: write the flag only the first time.
    if (!ts_table_loaded)
        ts_table_loaded = true;
}
