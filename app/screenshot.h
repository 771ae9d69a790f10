// `velmora --screenshot FILE.png [--tab N] [--recipe R.json] [--view NAME] [--size WxH]
// [DATA_FILE]`: starts
// the main window, optionally loads a data file and opens a recipe on it (with the files the
// recipe names), then renders the main window, or the plot window of the view named, into
// FILE.png and returns the exit code.
#pragma once

#include <string>

struct ScreenshotRequest {
    std::string png_path;
    int tab = -1; // 0 or 1; -1 keeps the tab the window opens on
    std::string data_file, recipe;
    // "" for the main window, else a plot window: time, spectral, depth, binned, residual.
    std::string view;
    int width = 0, height = 0; // the window's size; 0: as it opens
};

// Whether `name` names a view --view takes.
bool screenshot_view_known(const std::string& name);

int take_screenshot(const ScreenshotRequest& request);
