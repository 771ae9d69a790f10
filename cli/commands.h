// The subcommands of velmora-cli.  Each returns the process exit status:
// 0 success, 1 the operation failed (message on stderr), 2 usage error.
#pragma once

int cmd_info_data(int argc, char** argv);    // info FILE (data, processed or water file)
int cmd_info_device(int argc, char** argv);  // info DEV.dev
int cmd_info_capture(int argc, char** argv); // info --dev DEV CAPTURE
int cmd_correct(int argc, char** argv);
int cmd_water(int argc, char** argv);
int cmd_devfile(int argc, char** argv);
int cmd_simulate(int argc, char** argv);
int cmd_replay(int argc, char** argv);
int cmd_acquire(int argc, char** argv);

// argv[0] of each subcommand is the subcommand's name.
