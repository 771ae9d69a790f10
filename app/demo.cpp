#include "demo.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include <cerrno>
#include <csignal>
#include <unistd.h>

#include <QCoreApplication>

#include "app_services.h"
#include "devfile.h"
#include "text.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> data_dirs() {
    std::vector<fs::path> dirs;
    if (const char* env = std::getenv("VELMORA_DATA_DIR"); env && *env)
        dirs.emplace_back(env);
    if (QCoreApplication::instance()) {
        const fs::path app = QCoreApplication::applicationDirPath().toStdString();
        dirs.push_back(app / "data");
        dirs.push_back(app.parent_path() / "data");
        dirs.push_back(app.parent_path() / "share" / "velmora" / "data");
        dirs.push_back(app.parent_path() / "share" / "velmora");
    }
    // The checkout this program was built from.
    dirs.push_back(fs::path(__FILE__).parent_path().parent_path() / "data");
    return dirs;
}

// Removes the folders of earlier demonstrations whose process is gone (one that was killed never
// ran its own clean-up).
void remove_stale_demo_folders(const fs::path& tmp) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(tmp, ec)) {
        const std::string name = e.path().filename().string();
        const std::string prefix = "velmora-demo-";
        if (name.rfind(prefix, 0) != 0)
            continue;
        bool ok = false;
        const long long pid = text::parse_long(std::string_view(name).substr(prefix.size()), &ok);
        if (ok && pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
            errno == ESRCH)
            fs::remove_all(e.path(), ec);
    }
}

} // namespace

DemoSession::~DemoSession() {
    if (stream)
        stream->stop();
    std::error_code ec;
    if (!link.empty())
        fs::remove_all(fs::path(link).parent_path(), ec);
}

std::string find_sample_devfile(const std::string& model) {
    const DeviceKind wanted =
        text::starts_with_nocase(model, "flw") ? DeviceKind::FLW : DeviceKind::HYP;
    for (const fs::path& dir : data_dirs()) {
        std::error_code ec;
        if (!fs::is_directory(dir, ec))
            continue;
        std::vector<fs::path> candidates;
        for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
            std::string ext = e.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (ext == ".dev" && e.is_regular_file(ec))
                candidates.push_back(e.path());
        }
        std::sort(candidates.begin(), candidates.end());
        for (const fs::path& p : candidates)
            if (peek_device_kind(p.string()) == wanted)
                return p.string();
    }
    return {};
}

std::unique_ptr<DemoSession> start_demo(const std::string& model) {
    std::string m = model.empty() ? "hyp" : model;
    std::transform(m.begin(), m.end(), m.begin(), ::tolower);
    if (m != "hyp" && m != "flw")
        throw VelmoraError("Unknown demonstration instrument \"" + model + "\": use hyp or flw.");
    auto demo = std::make_unique<DemoSession>();
    demo->device_file = find_sample_devfile(m);
    if (demo->device_file.empty())
        throw VelmoraError("No sample " + m + " device file found for the demonstration.");

    std::error_code ec;
    const fs::path tmp = fs::temp_directory_path(ec);
    remove_stale_demo_folders(tmp);
    const fs::path dir = tmp / ("velmora-demo-" + std::to_string(::getpid()));
    fs::create_directories(dir, ec);
    demo->link = (dir / "port").string();
    demo->port = kDemoPort;

    sim::Options o;
    o.model = m == "flw" ? sim::Model::FLW : sim::Model::HYP;
    o.dev_path = demo->device_file;
    demo->stream = sim::PtyStream::start(o, demo->link);
    const std::string var = "VELMORA_COM" + std::to_string(kDemoPort);
    ::setenv(var.c_str(), demo->link.c_str(), 1);
    return demo;
}

void apply_demo(const DemoSession& demo, Workspace& ws) {
    ws.E_Device = demo.device_file;
    ws.UD_Port = demo.port;
    ws.window.tab_index = 0;
}
