// `velmora --screenshot FILE.png [--tab N] [DATA_FILE]`: starts the main window, optionally
// loads a data file, renders the window into FILE.png and returns the exit code.
#pragma once

#include <string>

int take_screenshot(const std::string& png_path, int tab, const std::string& data_file);
