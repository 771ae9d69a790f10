// The files of one correction run: the corrected text file (legacy or from the product table),
// the NetCDF file and the SeaBASS file.
#include "outputs.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

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

std::string output_clash(const OutputPaths& p) {
    if (p.text.empty())
        return {};
    if (p.text == p.netcdf)
        return p.text + ": the NetCDF file would overwrite the text file; give the text file "
                        "another extension.";
    if (p.text == p.seabass)
        return p.text + ": the SeaBASS file would overwrite the text file; give the text file "
                        "another extension.";
    return {};
}

namespace {

// The earlier files a run replaces, moved aside while it lasts: put back when it fails,
// removed when it has written every file.
class KeptAside {
  public:
    explicit KeptAside(const std::vector<std::string>& paths) {
        for (const std::string& p : paths) {
            std::error_code ec;
            if (!std::filesystem::is_regular_file(p, ec))
                continue;
            std::string aside = p + ".velmora-old";
            for (int k = 1; std::filesystem::exists(aside, ec); ++k)
                aside = p + ".velmora-old" + std::to_string(k);
            std::filesystem::rename(p, aside, ec);
            if (ec) {
                put_back();
                throw OutputError(p, "Unable to open file for saving.  Is this file opened in "
                                     "another program?");
            }
            kept_.emplace_back(p, aside);
        }
    }
    ~KeptAside() { put_back(); }
    KeptAside(const KeptAside&) = delete;
    KeptAside& operator=(const KeptAside&) = delete;

    // Every file was written: the earlier ones go.
    void drop() noexcept {
        for (const auto& [path, aside] : kept_)
            std::remove(aside.c_str());
        kept_.clear();
    }

  private:
    void put_back() noexcept {
        for (const auto& [path, aside] : kept_) {
            std::error_code ec;
            std::filesystem::rename(aside, path, ec);
        }
        kept_.clear();
    }
    std::vector<std::pair<std::string, std::string>> kept_;
};

} // namespace

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
    if (const std::string clash = output_clash(paths); !clash.empty())
        throw VelmoraError(clash);
    // A SeaBASS file that cannot be written stops the run before any file is written.
    if (!paths.seabass.empty()) {
        try {
            seabass::refuse_unwritable(t);
        } catch (const VelmoraError& e) {
            throw OutputError(paths.seabass, e.what());
        }
    }
    const bool products = uses_products(o);
    std::vector<std::string> planned;
    if (!paths.text.empty())
        planned = products ? product_text_paths(paths.text, t) : std::vector{paths.text};
    for (const std::string* p : {&paths.netcdf, &paths.seabass})
        if (!p->empty())
            planned.push_back(*p);
    KeptAside earlier(planned);

    std::vector<std::string> written;
    // One file after the other; a failure is said about the file it concerns.
    auto step = [&](const std::string& path, auto&& write) {
        try {
            write();
        } catch (const OutputError&) {
            throw;
        } catch (const VelmoraError& e) {
            throw OutputError(path, e.what());
        }
        if (checkpoint)
            checkpoint();
    };
    try {
        if (!paths.text.empty())
            step(paths.text, [&] {
                if (products) {
                    for (std::string& p : write_product_text(paths.text, d, o, t))
                        written.push_back(std::move(p));
                } else {
                    d.save_corrected(paths.text, true, o.output.chl_column);
                    written.push_back(paths.text);
                }
            });
        if (!paths.netcdf.empty())
            step(paths.netcdf, [&] {
                write_netcdf(paths.netcdf, t, history);
                written.push_back(paths.netcdf);
            });
        if (!paths.seabass.empty())
            step(paths.seabass, [&] {
                seabass::write_file(paths.seabass, t);
                written.push_back(paths.seabass);
            });
    } catch (...) {
        // A file at a planned path now is this run's (the earlier files are aside).
        for (const std::string& p : planned) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(p, ec))
                std::filesystem::remove(p, ec);
        }
        throw;
    }
    earlier.drop();
    return written;
}
