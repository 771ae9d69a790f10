#include "replay_controller.h"

#include <memory>
#include <optional>
#include <utility>

#include "acquisition_setup.h"

void ReplayController::M_OpenBinaryClick() {
    if (ctx_.ws.acquiring())
        return; // the tick owns the data set and the reader until Stop
    std::optional<std::string> path =
        ctx_.dialogs.open_file("Open Raw Binary Data", "Binary Files|*.bin|All Files|*.*");
    if (!path)
        return;
    replay(*path);
}

bool ReplayController::replay(const std::string& capture_path) {
    Workspace& ws = ctx_.ws;
    const std::string dev_path = ws.E_Device;
    const DeviceKind kind = peek_device_kind(dev_path);
    if (kind == DeviceKind::Neither) {
        ctx_.dialogs.message(with_path("Invalid device file", dev_path),
                             "Unable to parse device file");
        return false;
    }

    // The new reader decodes aside; the data set and the reader in place change only once
    // records have come out of the capture, so a failed replay leaves both as they were.
    const Workspace::Busy busy(ws, SessionState::Replaying);
    std::unique_ptr<parent_reader> reader = acq_.make_reader(kind);
    CaptureFeed feed;
    TakenRecords taken;
    try {
        naming_file(dev_path, [&] { reader->open_device_file(dev_path); });
        ws.window.tab_index = 0;
        // The capture is read in blocks as the port would deliver it and closed on every way
        // out.  A record the decoder rejects is skipped, as the acquisition tick skips it.
        naming_file(capture_path, [&] { feed = feed_capture(*reader, capture_path, &taken); });
    } catch (const std::exception& e) {
        ctx_.dialogs.message(e.what(), "");
        return false;
    }
    if (feed.decode_errors > 0)
        ctx_.dialogs.message(feed.first_error, "");

    if (taken.records.empty()) {
        ctx_.dialogs.message(
            with_path("Unable to read binary file.  Do you have the right devfile specified?",
                      capture_path),
            "Unable to collect data from file");
        return false;
    }

    HYP_Data& data = *ws.data;
    // The channel description follows the capture's device file, so the records, wavelength
    // lists and file-order maps always agree; the file name, CTD and water data stay.
    const std::string file_name = data.file_name;
    setup_data_from_devfile(data, reader->dev);
    data.file_name = file_name;
    data.serial_number = static_cast<std::int32_t>(reader->dev.serial_number);
    data.fac_cal_temp = reader->dev.factory_cal_temp;
    data.instrument_type = kind == DeviceKind::FLW ? InstrumentType::FLW : InstrumentType::HYP;
    data.temp_source = TempSource::Constant;
    data.saln_source = SalnSource::Constant;
    replace_records(data, std::move(taken));
    data.start_utc = read_capture_start(capture_path); // kept beside the capture, if at all
    data.setup_ts_coefs();
    data.set_scat_ref(715);
    data.do_water = data.do_temp = data.do_saln = data.do_scat = false;
    data.ctd_merged = false;
    // Positions and products belonged to the records replaced.
    data.gps_merged = false;
    data.lat_list.clear();
    data.lon_list.clear();
    data.gps_file_name.clear();
    data.record_products.reset();
    data.binned_products.reset();
    ws.dataValid = true;
    ws.allow_corrections(true);
    ws.window.A_ReferenceSpectra.enabled = kind == DeviceKind::FLW;
    acq_.install_reader(std::move(reader));

    ctx_.views.AttachData(ws.data.get());
    ctx_.views.SetLiveMode(false);
    return true;
}
