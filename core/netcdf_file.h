// A netCDF-4 file open for writing: the handle is closed when the object goes, and every call's
// status code that is not NC_NOERR becomes a VelmoraError carrying the library's reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <netcdf.h>

#include "velmora_error.h"

namespace netcdf {

// Raises VelmoraError "`what`: <the library's reason>." unless `status` is NC_NOERR.
void check(int status, std::string_view what);

class File {
  public:
    // Creates (replacing) a netCDF-4 file in define mode; errors name it `shown_as` when given
    // (the target of a file written under a temporary name).
    explicit File(const std::string& path, const std::string& shown_as = {});
    // Closes the file if close() has not; a failure then goes unreported.
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Writes what is left and closes the file; raises when the library reports a failure.
    void close();

    int id() const { return id_; }

    // --- Define mode --------------------------------------------------------------------------
    int define_dim(const std::string& name, std::size_t length);
    // A variable over `dims` (outermost first); a scalar with none.
    int define_var(const std::string& name, nc_type type, const std::vector<int>& dims);
    // Chunked storage (one length per dimension), compressed with deflate at `level`, the
    // bytes shuffled first.
    void set_chunked_deflate(int var, const std::vector<std::size_t>& chunks, int level);
    // Attributes; `var` NC_GLOBAL for the file's own.
    void put_att(int var, const std::string& name, std::string_view text);
    void put_att(int var, const std::string& name, double value);
    void put_att(int var, const std::string& name, const std::vector<std::uint8_t>& values);
    // The fill value of a variable of type `type` (NaN for a double).
    void put_fill(int var, nc_type type, double value);
    void end_define();

    // --- Data mode ------------------------------------------------------------------------------
    // The whole of a variable, in C order; `values` holds exactly as many as the variable does.
    void put(int var, const std::vector<double>& values);
    void put(int var, const std::vector<int>& values);
    void put(int var, const std::vector<std::uint8_t>& values);

    // "Unable to write the NetCDF file PATH (`doing`)".
    std::string what(std::string_view doing) const;

  private:
    void check_size(int var, std::size_t n) const;

    std::string path_;
    int id_ = -1;
};

} // namespace netcdf
