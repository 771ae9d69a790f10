// The application's top-level error report: an error that a command does not catch itself is
// shown in a message box with its text, and the application goes on.
#pragma once

#include <functional>

#include "app_services.h"

// The caption of that message box.
constexpr const char* kUncaughtErrorCaption = "Velmora";

// Runs `command`; returns false when it ended with an error (already reported).
bool run_guarded(UserDialogs& dialogs, const std::function<void()>& command);
