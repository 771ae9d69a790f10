#include "netcdf_file.h"

namespace netcdf {

void check(int status, std::string_view what) {
    if (status == NC_NOERR)
        return;
    std::string m(what);
    m += ": ";
    m += nc_strerror(status);
    m += '.';
    throw VelmoraError(m);
}

File::File(const std::string& path, const std::string& shown_as)
    : path_(shown_as.empty() ? path : shown_as) {
    int id = -1;
    check(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id), what("creating it"));
    id_ = id;
}

File::~File() {
    if (id_ >= 0)
        nc_close(id_);
}

void File::close() {
    const int id = id_;
    id_ = -1;
    check(nc_close(id), what("closing it"));
}

std::string File::what(std::string_view doing) const {
    std::string m = "Unable to write the NetCDF file ";
    m += path_;
    m += " (";
    m += doing;
    m += ')';
    return m;
}

int File::define_dim(const std::string& name, std::size_t length) {
    int dim = -1;
    check(nc_def_dim(id_, name.c_str(), length, &dim), what("dimension " + name));
    return dim;
}

int File::define_var(const std::string& name, nc_type type, const std::vector<int>& dims) {
    int var = -1;
    check(nc_def_var(id_, name.c_str(), type, static_cast<int>(dims.size()), dims.data(), &var),
          what("variable " + name));
    return var;
}

void File::set_chunked_deflate(int var, const std::vector<std::size_t>& chunks, int level) {
    check(nc_def_var_chunking(id_, var, NC_CHUNKED, chunks.data()), what("chunk sizes"));
    check(nc_def_var_deflate(id_, var, 1, 1, level), what("compression"));
}

void File::put_att(int var, const std::string& name, std::string_view text) {
    check(nc_put_att_text(id_, var, name.c_str(), text.size(), text.data()),
          what("attribute " + name));
}

void File::put_att(int var, const std::string& name, double value) {
    check(nc_put_att_double(id_, var, name.c_str(), NC_DOUBLE, 1, &value),
          what("attribute " + name));
}

void File::put_att(int var, const std::string& name, const std::vector<std::uint8_t>& values) {
    std::vector<signed char> bytes(values.begin(), values.end());
    check(nc_put_att_schar(id_, var, name.c_str(), NC_BYTE, bytes.size(), bytes.data()),
          what("attribute " + name));
}

void File::put_fill(int var, nc_type type, double value) {
    check(nc_put_att_double(id_, var, "_FillValue", type, 1, &value), what("attribute _FillValue"));
}

void File::end_define() {
    check(nc_enddef(id_), what("ending its definitions"));
}

namespace {

// The number of values variable `var` holds.
std::size_t values_of(int file, int var) {
    int ndims = 0;
    int dims[NC_MAX_VAR_DIMS];
    if (nc_inq_varndims(file, var, &ndims) != NC_NOERR || ndims > NC_MAX_VAR_DIMS ||
        nc_inq_vardimid(file, var, dims) != NC_NOERR)
        return 0;
    std::size_t n = 1;
    for (int i = 0; i < ndims; ++i) {
        std::size_t len = 0;
        if (nc_inq_dimlen(file, dims[i], &len) != NC_NOERR)
            return 0;
        n *= len;
    }
    return n;
}

} // namespace

// A list of another length than the variable's would be read past its end or written short.
void File::check_size(int var, std::size_t n) const {
    if (n != values_of(id_, var))
        throw VelmoraError(what("a variable's values do not fill it"));
}

void File::put(int var, const std::vector<double>& values) {
    check_size(var, values.size());
    if (!values.empty())
        check(nc_put_var_double(id_, var, values.data()), what("writing values"));
}

void File::put(int var, const std::vector<int>& values) {
    check_size(var, values.size());
    if (!values.empty())
        check(nc_put_var_int(id_, var, values.data()), what("writing values"));
}

void File::put(int var, const std::vector<std::uint8_t>& values) {
    check_size(var, values.size());
    if (!values.empty())
        check(nc_put_var_uchar(id_, var, values.data()), what("writing values"));
}

} // namespace netcdf
