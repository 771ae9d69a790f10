// The files of one correction run, as the options choose them: the corrected text file (with
// its flags, standard-deviation and count files beside it when there are any), the NetCDF file
// and the SeaBASS file.  The command line and the app write through this one function, so a
// recipe gives the same files in both.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "processing_options.h"
#include "velmora_error.h"

class HYP_Data;

// The names the run writes for the text file OUT: OUT itself, and OUT's stem with .nc and .sb.
struct OutputPaths {
    std::string text, netcdf, seabass;
};
OutputPaths output_paths(const std::string& out, const ProcessingOptions::Output& o);
// Why two of the files would be one (the text file named OUT.nc or OUT.sb), or empty.
std::string output_clash(const OutputPaths& p);

// A file of the run could not be written; `path` names it (the text file's name may not).
class OutputError : public VelmoraError {
  public:
    OutputError(std::string path, const std::string& message)
        : VelmoraError(message), path_(std::move(path)) {}
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Writes every file the options ask for from a loaded data set whose corrections are set
// (ProcessingOptions::apply_to, CTD and GPS merged).  `history` goes into the NetCDF file (the
// command line, or "Velmora app").  `checkpoint` is called between the steps and may throw to
// stop the run: the files this run has written are then removed again, and so are they when
// any step fails, and the files they replaced are put back (they are kept aside as
// NAME.velmora-old while the run lasts).  A step that fails raises OutputError naming its file.
// Returns the paths written, in order.
std::vector<std::string> write_outputs(HYP_Data& d, const ProcessingOptions& o,
                                       const std::string& out, const std::string& history,
                                       const std::function<void()>& checkpoint = {});
