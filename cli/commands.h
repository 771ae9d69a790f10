// The subcommands of velmora-cli.  Each returns the process exit status:
// 0 success, 1 the operation failed (message on stderr), 2 usage error.
#pragma once

#include <string>

int cmd_info(int argc, char** argv); // a data, processed, water or device file, or a capture
int cmd_correct(int argc, char** argv);
int cmd_water(int argc, char** argv);
int cmd_devfile(int argc, char** argv);
int cmd_simulate(int argc, char** argv);
int cmd_replay(int argc, char** argv);
int cmd_acquire(int argc, char** argv);
int cmd_seabass_check(int argc, char** argv);

// argv[0] of each subcommand is the subcommand's name.

// The parts of info that need the instrument link: a device file, and a raw capture decoded
// with the device file `dev`.
int info_device(const std::string& path);
int info_capture(const std::string& dev, const std::string& capture);
