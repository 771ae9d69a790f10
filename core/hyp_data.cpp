#include "hyp_data.h"

HYP_Data::HYP_Data() {
    fill_ts_table(ts_table);
}

// Destroying a data set closes the continuous file (the ofstream member flushes and closes).
HYP_Data::~HYP_Data() = default;
