// The files of one correction run: the corrected text file (legacy or from the product table),
// the NetCDF file and the SeaBASS file.
#include "outputs.h"

#include <cstdio>
#include <exception>

#include "hyp_data.h"
#include "netcdf_writer.h"
#include "product_text.h"
#include "products.h"
#include "seabass.h"

OutputPaths output_paths(const std::string& out, const ProcessingOptions::Output& o) {
    OutputPaths p;
    if (o.text)
        p.text = out;
    if (o.netcdf)
        p.netcdf = sibling_path(out, "", ".nc");
    if (o.seabass)
        p.seabass = sibling_path(out, "", ".sb");
    return p;
}

std::vector<std::string> write_outputs(HYP_Data& d, const ProcessingOptions& o,
                                       const std::string& out, const std::string& history,
                                       const std::function<void()>& checkpoint) {
    if (!uses_products(o) && !o.output.netcdf && !o.output.seabass) {
        // The corrected file exactly as it has always been written.
        d.fill_corrected_records();
        if (checkpoint)
            checkpoint();
        if (!o.output.text)
            return {};
        d.save_corrected(out, true, o.output.chl_column);
        return {out};
    }
    const ProductTable t = make_products(d, o);
    if (checkpoint)
        checkpoint();
    return write_table_outputs(d, o, t, out, history, checkpoint);
}

std::vector<std::string> write_table_outputs(HYP_Data& d, const ProcessingOptions& o,
                                             const ProductTable& t, const std::string& out,
                                             const std::string& history,
                                             const std::function<void()>& checkpoint) {
    const OutputPaths paths = output_paths(out, o.output);
    // A SeaBASS file that cannot be written stops the run before any file is written.
    if (!paths.seabass.empty())
        seabass::refuse_unwritable(t);
    std::vector<std::string> written;
    auto step = [&] {
        if (checkpoint)
            checkpoint();
    };
    try {
        if (!paths.text.empty()) {
            if (uses_products(o)) {
                for (std::string& p : write_product_text(paths.text, d, o, t))
                    written.push_back(std::move(p));
            } else {
                d.save_corrected(paths.text, true, o.output.chl_column);
                written.push_back(paths.text);
            }
            step();
        }
        if (!paths.netcdf.empty()) {
            write_netcdf(paths.netcdf, t, history);
            written.push_back(paths.netcdf);
            step();
        }
        if (!paths.seabass.empty()) {
            seabass::write_file(paths.seabass, t);
            written.push_back(paths.seabass);
            step();
        }
    } catch (...) {
        for (const std::string& p : written)
            std::remove(p.c_str());
        throw;
    }
    return written;
}
