#include "command_guard.h"

#include <exception>
#include <new>

bool run_guarded(UserDialogs& dialogs, const std::function<void()>& command) {
    std::string text;
    try {
        command();
        return true;
    } catch (const std::bad_alloc&) {
        text = "Out of memory.";
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "Unable to catch exception";
    }
    // The report itself must never end the application.
    try {
        dialogs.message(text, kUncaughtErrorCaption);
    } catch (...) {
    }
    return false;
}
