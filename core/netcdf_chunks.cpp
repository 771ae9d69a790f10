#include "netcdf_chunks.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include <hdf5.h>
#include <libdeflate.h>

#include "parallel.h"
#include "velmora_error.h"

// The elements are stored as they lie in memory: the file's types are little-endian.
static_assert(std::endian::native == std::endian::little);

namespace netcdf {

namespace {

// An HDF5 identifier closed when it goes.
class Handle {
  public:
    Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    ~Handle() {
        if (id_ >= 0)
            close_(id_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    hid_t get() const { return id_; }
    // Closes now; false when HDF5 reports a failure (the last writes of a file).
    bool close() {
        const hid_t id = id_;
        id_ = -1;
        return id < 0 || close_(id) >= 0;
    }

  private:
    hid_t id_;
    herr_t (*close_)(hid_t);
};

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// One chunk on its way: the shuffled bytes, then the deflated ones.  Reused from chunk to chunk.
struct Chunk {
    std::unique_ptr<libdeflate_compressor, CompressorFree> compressor;
    std::vector<unsigned char> shuffled, packed;
    bool ready = false; // false when its compression failed
};

// HDF5's shuffle filter: byte j of element k goes to j × elements + k.  The rows of the last chunk
// past the end of the variable, which no reader sees, are zero.
void shuffle_rows(const ChunkedValues& v, std::size_t first_row, std::vector<unsigned char>& out) {
    const std::size_t size = v.element_size;
    const std::size_t elements = v.chunk_rows * v.columns;
    const std::size_t rows = std::min(v.chunk_rows, v.rows - first_row);
    const std::size_t present = rows * v.columns;
    out.resize(elements * size);
    const auto* src = static_cast<const unsigned char*>(v.data) + first_row * v.columns * size;
    for (std::size_t j = 0; j < size; ++j) {
        unsigned char* dst = out.data() + j * elements;
        for (std::size_t k = 0; k < present; ++k)
            dst[k] = src[k * size + j];
        std::fill(dst + present, dst + elements, 0);
    }
}

} // namespace

void write_chunks(const std::string& path, const std::vector<ChunkedValues>& vars, int level,
                  const std::string& shown_as) {
    const std::string failed = "Unable to write the NetCDF file " + shown_as;
    // Every chunk of every variable in one run, so that no processor waits at a variable's end.
    struct Piece {
        std::size_t var, first_row;
    };
    std::vector<Piece> pieces;
    for (std::size_t k = 0; k < vars.size(); ++k)
        if (vars[k].columns > 0)
            for (std::size_t r = 0; r < vars[k].rows; r += vars[k].chunk_rows)
                pieces.push_back({k, r});
    if (pieces.empty())
        return;
    Handle file(H5Fopen(path.c_str(), H5F_ACC_RDWR, H5P_DEFAULT), H5Fclose);
    if (file.get() < 0)
        throw VelmoraError(failed + " (opening it for its values).");
    std::vector<std::unique_ptr<Handle>> sets;
    for (const ChunkedValues& v : vars) {
        sets.push_back(
            std::make_unique<Handle>(H5Dopen2(file.get(), v.name.c_str(), H5P_DEFAULT), H5Dclose));
        if (sets.back()->get() < 0)
            throw VelmoraError(failed + " (variable " + v.name + ").");
    }
    parallel::ordered_blocks<Chunk>(
        pieces.size(), parallel::thread_count(),
        [&](std::size_t b, Chunk& c) {
            const ChunkedValues& v = vars[pieces[b].var];
            c.ready = false;
            if (!c.compressor)
                c.compressor.reset(libdeflate_alloc_compressor(level));
            if (!c.compressor)
                throw VelmoraError(failed + " (no memory for compressing it).");
            shuffle_rows(v, pieces[b].first_row, c.shuffled);
            c.packed.resize(libdeflate_zlib_compress_bound(c.compressor.get(), c.shuffled.size()));
            c.packed.resize(libdeflate_zlib_compress(c.compressor.get(), c.shuffled.data(),
                                                     c.shuffled.size(), c.packed.data(),
                                                     c.packed.size()));
            if (c.packed.empty())
                throw VelmoraError(failed + " (compressing " + v.name + ").");
            c.ready = true;
        },
        [&](std::size_t b, Chunk& c) {
            if (!c.ready)
                return; // its error follows
            const hsize_t offset[2] = {static_cast<hsize_t>(pieces[b].first_row), 0};
            // Filter mask 0: every filter of the variable (shuffle, deflate) was applied.
            if (H5Dwrite_chunk(sets[pieces[b].var]->get(), H5P_DEFAULT, 0, offset, c.packed.size(),
                               c.packed.data()) < 0)
                throw VelmoraError(failed + " (writing " + vars[pieces[b].var].name + ").");
        });
    for (std::size_t k = 0; k < sets.size(); ++k)
        if (!sets[k]->close())
            throw VelmoraError(failed + " (writing " + vars[k].name + ").");
    if (!file.close())
        throw VelmoraError(failed + " (closing it).");
}

} // namespace netcdf
