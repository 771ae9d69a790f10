// Checks of the paths a user names, made before a reader or a writer touches them: a folder is
// refused by name (read as a file it gives nonsense or an allocation of its "size"), and a file
// that cannot be opened is reported with the system's reason.
#pragma once

#include <string>

namespace file_checks {

// Raises VelmoraError "PATH: is a folder, not a file." when `path` names a folder.
void refuse_folder(const std::string& path);

// Why the file at `path` cannot be read; empty when it can.  "is a folder, not a file." or
// "Unable to open file. (REASON)", REASON being the system's ("No such file or directory").
std::string input_problem(const std::string& path);

// Why no file can be saved at `path` by writing beside it and renaming (as every whole-file save
// does); empty when one can.  "is a folder, not a file." or "Unable to open file for saving.
// (REASON)".  Devices and pipes are written straight into and are not checked.
std::string output_problem(const std::string& path);

// Opens `path` for writing as a continuous file is (created when missing, an existing file kept
// as it is until written), to learn whether it can be; empty when it can, the problem as for
// output_problem otherwise.  `created` tells whether the check made a new, empty file.
std::string direct_output_problem(const std::string& path, bool& created);

} // namespace file_checks
