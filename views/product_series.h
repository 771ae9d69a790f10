// What the plot views draw of the processed products (HYP_Data::record_products and
// binned_products): one column or one row of a product matrix, split by its QC flags.  Plain
// data without widgets, so that the tests check the splitting apart from the charts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class HYP_Data;
struct ProductTable;

// Points of one chart channel with the position in the matrix each came from (the row of a
// column, the channel of a row): a click on a point names its record.
struct IndexedPoints {
    std::vector<double> key, value;
    std::vector<std::size_t> index;

    std::size_t size() const { return index.size(); }
    void clear();
    void add(double k, double v, std::size_t i);
};

// The drawable values of one column or row, split by their QC flags.
struct FlaggedPoints {
    IndexedPoints shown;         // every value drawn, flagged 3 and 4 too unless hidden
    IndexedPoints suspect, fail; // the values flagged 3 and 4 among them
    std::size_t missing = 0;     // left out: flagged 9, or no finite value
    std::size_t hidden = 0;      // left out: flagged 3 or 4 while flagged values are hidden

    void clear();
};

// The record products when they can stand for the records: one row per record of `d`, with
// the matrices and flags sized for them.  Null otherwise (not processed, live acquisition,
// records added since processing): the views then correct the records themselves.
const ProductTable* record_products_for(const HYP_Data& d);

// Depth bins of `d`, sized right; null without them.
const ProductTable* depth_bins_for(const HYP_Data& d);

// Column `column` of the rows × `channels` matrix `m` against key[row], for the rows that have
// a finite key.  `flags` is empty (no QC) or shaped as `m`.
void split_column(const std::vector<double>& m, const std::vector<std::uint8_t>& flags,
                  std::size_t channels, std::size_t column, const std::vector<double>& key,
                  bool hide_flagged, FlaggedPoints& out);

// Row `row` of the matrix `m` against its channels' wavelengths (as many as the matrix has
// channels).
void split_row(const std::vector<double>& m, const std::vector<std::uint8_t>& flags,
               const std::vector<double>& wavelengths, std::size_t row, bool hide_flagged,
               FlaggedPoints& out);

// "3 (suspect)" for a QC flag value.
std::string qc_flag_text(std::uint8_t flag);
