#include "app_services.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "text.h"

ProcessingOptions preview_processing_options(const PreviewOptions& p, const HYP_Data& d) {
    ProcessingOptions o = ProcessingOptions::from(d);
    o.temperature = {TempSource::Constant, text::parse_typed_number(p.E_Temp), p.CB_Temp};
    o.salinity = {SalnSource::Constant, text::parse_typed_number(p.E_Saln), p.CB_Saln};
    o.scattering.apply = p.CB_ScatCorr;
    o.scattering.method =
        ProcessingOptions::method_for_list_index(p.PD_ScatType, o.scattering.method);
    o.scattering.reference_nm = text::parse_typed_number(p.E_ScatWL);
    return o;
}

void apply_post_panel_fields(const PostPanelState& p, ProcessingOptions& o) {
    o.temperature.apply = p.CB_Temp;
    o.temperature.constant = text::parse_typed_number(p.E_Temp);
    o.salinity.apply = p.CB_Saln;
    o.salinity.constant = text::parse_typed_number(p.E_Saln);
    o.scattering.apply = p.CB_ScatCorr;
    o.scattering.method =
        ProcessingOptions::method_for_list_index(p.PD_ScatType, o.scattering.method);
    o.scattering.reference_nm = text::parse_typed_number(p.E_ScatWL);
    o.water.apply = p.CB_Water;
}

std::string written_files_status(const std::vector<std::string>& paths) {
    std::string out = "Wrote ";
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::error_code ec;
        const auto bytes = std::filesystem::file_size(paths[i], ec);
        std::string size = "size unknown";
        if (!ec) {
            const double b = static_cast<double>(bytes);
            size = bytes < 1000      ? std::to_string(bytes) + " B"
                   : bytes < 1000000 ? text::format_fixed(b / 1e3, 1) + " kB"
                                     : text::format_fixed(b / 1e6, 1) + " MB";
        }
        out += (i ? ", " : "") + paths[i] + " (" + size + ")";
    }
    return out;
}

std::string default_option_text(double value) {
    return text::format_g(value, 15);
}

std::string with_path(const std::string& text, const std::string& path) {
    if (path.empty() || text.find(path) != std::string::npos)
        return text;
    return text + "\n" + path;
}

int NullDialogs::message(const std::string& text, const std::string& caption, bool ok_cancel) {
    if (report)
        report(caption, text);
    return ok_cancel ? mrCancel : mrOk;
}

const char* session_state_name(SessionState s) {
    switch (s) {
    case SessionState::Idle:
        return "idle";
    case SessionState::Starting:
        return "starting";
    case SessionState::Running:
        return "running";
    case SessionState::Stopping:
        return "stopping";
    case SessionState::Replaying:
        return "replaying";
    case SessionState::Loading:
        return "loading";
    case SessionState::Saving:
        return "saving";
    }
    return "?";
}

#define VELMORA_CONTROL(name, expr, acquiring, after_stop)                                         \
    SessionControl {                                                                               \
        name, [](Workspace& ws) -> bool& { return expr; }, Follow::acquiring, Follow::after_stop   \
    }

// Loading a data file or replaying a capture would replace the data set under the tick, and
// the post-processing commands would change it; the device file and port stay as opened.
const std::vector<SessionControl> kSessionControls = {
    VELMORA_CONTROL("A_Start", ws.window.A_Start.enabled, Off, On),
    VELMORA_CONTROL("A_Stop", ws.window.A_Stop.enabled, On, Off),
    VELMORA_CONTROL("B_Device", ws.B_Device_enabled, Off, On),
    VELMORA_CONTROL("UD_Port", ws.UD_Port_enabled, Off, On),
    VELMORA_CONTROL("E_CommPort", ws.E_CommPort_enabled, Off, On),
    VELMORA_CONTROL("FileOpen", ws.window.FileOpen.enabled, Off, On),
    VELMORA_CONTROL("OpenBinary", ws.window.OpenBinary.enabled, Off, On),
    VELMORA_CONTROL("A_LoadCTD", ws.window.A_LoadCTD.enabled, Off, On),
    VELMORA_CONTROL("Post Processing tab", ws.window.post_tab_enabled, Off, On),
    VELMORA_CONTROL("A_SaveWCorrections", ws.window.A_SaveWCorrections.enabled, Off, On),
    VELMORA_CONTROL("A_SaveBinary", ws.window.A_SaveBinary.enabled, On, Keep),
    VELMORA_CONTROL("A_SaveFromDevice", ws.window.A_SaveFromDevice.enabled, On, Keep),
    VELMORA_CONTROL("B_OpenHYP", ws.post.B_OpenHYP_enabled, Off, On),
    VELMORA_CONTROL("B_Save", ws.post.B_Save_enabled, Off, On),
    VELMORA_CONTROL("B_LoadWater", ws.post.B_LoadWater_enabled, Keep, On),
};

#undef VELMORA_CONTROL

void Workspace::apply_session_controls() {
    const bool running = session_ == SessionState::Running;
    for (const SessionControl& c : kSessionControls) {
        const Follow f = running ? c.acquiring : c.after_stop;
        if (f != Follow::Keep)
            c.flag(*this) = f == Follow::On;
    }
}

void Workspace::allow_corrections(bool allowed) {
    post.corrections_enabled = allowed;
    post.corrections_note = allowed ? "" : kAlreadyCorrectedNote;
}

bool Workspace::begin_start() {
    if (session_ != SessionState::Idle)
        return false;
    session_ = SessionState::Starting;
    return true;
}

void Workspace::started() {
    session_ = SessionState::Running;
    apply_session_controls();
}

void Workspace::start_failed() {
    session_ = SessionState::Idle;
}

void Workspace::begin_stop() {
    session_ = SessionState::Stopping;
}

void Workspace::stopped() {
    session_ = SessionState::Idle;
    apply_session_controls();
}

Workspace::Busy::Busy(Workspace& ws, SessionState state)
    : ws_(ws), entered_(ws.session_ == SessionState::Idle) {
    if (entered_)
        ws_.session_ = state;
}

Workspace::Busy::~Busy() {
    if (entered_)
        ws_.session_ = SessionState::Idle;
}

void Workspace::run_job(SessionState state, const std::string& label,
                        const std::function<void()>& job) {
    Busy busy(*this, state);
    if (job_runner)
        job_runner(label, job);
    else
        job();
}

void Workspace::run_cancellable_job(SessionState state, const std::string& label,
                                    const std::function<void()>& job) {
    cancel_requested = false;
    job_cancellable = true;
    try {
        run_job(state, label, job);
    } catch (...) {
        job_cancellable = false;
        cancel_requested = false;
        throw;
    }
    job_cancellable = false;
    cancel_requested = false;
}

void Workspace::job_checkpoint() const {
    if (cancel_requested)
        throw JobCancelled();
}
