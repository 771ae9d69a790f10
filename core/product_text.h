// The corrected text file of a product table: the corrected file's 21-line header with the
// processing and recipe lines, the record (or bin) lines, and beside it the flags file
// (`<stem>_flags<ext>`) and, for bins, the standard deviation and count files (`_sd`, `_n`).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "hyp_data.h"
#include "products.h"

// What the table changes in the header of a data set's corrected file (nothing when the options
// use no product step).
CorrectedHeaderExtras header_extras(const HYP_Data& d, const ProcessingOptions& o,
                                    const ProductTable& t);

// The text file and the companions write_product_text writes beside it for this table.
std::vector<std::string> product_text_paths(const std::string& path, const ProductTable& t);

// Writes the text file and its companions through AtomicFile; returns the paths written.
std::vector<std::string> write_product_text(const std::string& path, const HYP_Data& d,
                                            const ProcessingOptions& o, const ProductTable& t);

// The files write_outputs (outputs.h) writes from a table already made: the text file (from the
// table, or the legacy corrected file when no product step is asked for), the NetCDF and the
// SeaBASS file.  What was written is removed again when a later step fails.
std::vector<std::string> write_table_outputs(HYP_Data& d, const ProcessingOptions& o,
                                             const ProductTable& t, const std::string& out,
                                             const std::string& history,
                                             const std::function<void()>& checkpoint = {});
