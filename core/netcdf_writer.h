// The NetCDF-4 (CF conventions) file of a product table.
#pragma once

#include <string>

struct ProductTable;

// Writes the table to `path` (through a temporary file put in place only when complete);
// `history` is the command line or "Velmora app".  Raises VelmoraError on failure.
void write_netcdf(const std::string& path, const ProductTable& t, const std::string& history);
