// The values of a NetCDF file's large compressed variables, written chunk by chunk once the file
// is defined and closed: each chunk is shuffled and deflated on every processor and stored as it
// stands through HDF5, the library under netCDF-4, which on its own compresses them one after
// another on one thread, four times slower than the text file is written.  The chunks are those
// HDF5's shuffle and deflate filters make, so every reader of the file decodes them as usual.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace netcdf {

// One time × wavelength variable, defined chunked (chunk_rows × all columns) with the shuffle
// and deflate filters and left without values.
struct ChunkedValues {
    std::string name;
    const void* data = nullptr; // rows × columns elements, row by row, in the file's byte order
    std::size_t element_size = 0;
    std::size_t rows = 0, columns = 0, chunk_rows = 0; // the last chunk reaches past the end
};

// Writes the values of `vars` into the closed netCDF-4 file `path`, deflated at `level`.
// Raises VelmoraError naming the file `shown_as` on failure.
void write_chunks(const std::string& path, const std::vector<ChunkedValues>& vars, int level,
                  const std::string& shown_as);

} // namespace netcdf
