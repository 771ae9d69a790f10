#include "acquired_data_commands.h"

#include <optional>

#include "acquisition_setup.h"
#include "text.h"

namespace {

const char* const kDataFilter = "All Files (*.*)|*.*";

} // namespace

std::string AcquiredDataCommands::raw_capture_name(const std::string& file_name) {
    if (file_name.size() < 3)
        return "bin";
    return file_name.substr(0, file_name.size() - 3) + "bin";
}

std::string AcquiredDataCommands::preview_corrected_name(const std::string& file_name) {
    const std::string base =
        file_name.size() < 4 ? file_name : file_name.substr(0, file_name.size() - 4);
    return base + "_previewcorrected.dat";
}

void AcquiredDataCommands::A_SaveBinaryClick() {
    Workspace& ws = ctx_.ws;
    if (ws.reader->decoded_count == 0)
        return;
    std::optional<std::string> path =
        ctx_.dialogs.save_file("", kDataFilter, raw_capture_name(ws.data->file_name));
    if (!path)
        return;
    parent_reader& reader = *ws.reader;
    naming_file(*path, [&] {
        if (ws.acquiring())
            reader.save_raw(*path); // the tick keeps growing the capture: no worker thread
        else
            ws.run_job(SessionState::Saving, "Saving raw capture", [&] { reader.save_raw(*path); });
    });
    // The start time of the capture's first record goes beside it.
    const std::string start_path = capture_start_path(*path);
    naming_file(start_path, [&] { save_capture_start(*path, ws.data->start_utc); });
}

void AcquiredDataCommands::A_SaveFromDeviceExecute() {
    Workspace& ws = ctx_.ws;
    const std::string proposed = acq_.default_acquired_name();

    if (!ws.acquiring()) {
        if (std::optional<std::string> path = ctx_.dialogs.save_file("", kDataFilter, proposed)) {
            HYP_Data& data = *ws.data;
            naming_file(*path, [&] {
                ws.run_job(SessionState::Saving, "Saving data file",
                           [&] { data.save_records(*path); });
            });
        }
        return;
    }

    if (ws.contSaveFile.empty()) {
        const int choice = ctx_.dialogs.continue_saving();
        std::optional<std::string> path = ctx_.dialogs.save_file("", kDataFilter, proposed);
        if (!path)
            return;
        if (choice == mrOk) {
            // Everything so far at once; every running tick then appends the new records.
            if (acq_.begin_continuous_saving(*path))
                acq_.append_continuous();
        } else {
            naming_file(*path, [&] { ws.data->save_records(*path); });
            ws.window.caption = *path;
        }
        return;
    }

    if (ctx_.dialogs.message("You are still collecting data.  The file will only contain data "
                             "up to this point.  Continue saving?",
                             "You're still in the middle of things....", true) != mrOk)
        return;
    if (std::optional<std::string> path = ctx_.dialogs.save_file("", kDataFilter, proposed)) {
        naming_file(*path, [&] { ws.data->save_records(*path); });
        ws.window.caption = *path;
    }
}

void AcquiredDataCommands::A_SaveWCorrectionsExecute() {
    Workspace& ws = ctx_.ws;
    HYP_Data& data = *ws.data;
    std::optional<std::string> path =
        ctx_.dialogs.save_file("", kDataFilter, preview_corrected_name(data.file_name));
    if (!path)
        return;

    preview_processing_options(ws.preview, data).apply_to(data);

    // Not offered while acquiring, so nothing else touches the data set meanwhile.
    naming_file(*path, [&] {
        ws.run_job(SessionState::Saving, "Saving corrected file", [&] {
            data.fill_corrected_records();
            data.save_corrected(*path, true, false);
        });
    });
}
