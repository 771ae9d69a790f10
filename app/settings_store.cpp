#include "settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>
#include <QStandardPaths>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "processing_options.h"
#include "text.h"
#include "velmora_error.h"

// The file mirrors a typed key/value store: a JSON string is a text value, a JSON whole number
// a 32-bit integer value; anything else under a value name is "another type".
namespace {

const QString kSectionKey = QString::fromUtf8(VelmoraSettings::kSection);

struct WrongType {};

std::optional<QJsonObject> read_section(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError err{};
    QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    QJsonValue sec = doc.object().value(kSectionKey);
    if (!sec.isObject())
        return std::nullopt;
    return sec.toObject();
}

// A missing value reads as empty text; a value of another type raises.
std::string read_text(const std::optional<QJsonObject>& sec, const char* name) {
    if (!sec || !sec->contains(name))
        return {};
    QJsonValue v = sec->value(name);
    if (!v.isString())
        throw WrongType{};
    return v.toString().toStdString();
}

// A missing value or a value of another type raises.  Stored integers are 32 bits wide, as
// unsigned or signed; they read back as signed.
std::int32_t read_integer(const std::optional<QJsonObject>& sec, const char* name) {
    if (!sec || !sec->contains(name))
        throw WrongType{};
    QJsonValue v = sec->value(name);
    if (!v.isDouble())
        throw WrongType{};
    double d = v.toDouble();
    if (std::floor(d) != d || d < -2147483648.0 || d > 4294967295.0)
        throw WrongType{};
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(d)));
}

} // namespace

std::string VelmoraSettings::default_path() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + "/.config";
    return (dir + "/velmora/settings.json").toStdString();
}

std::string VelmoraSettings::path() const {
    if (!store_path.empty())
        return store_path;
    if (const char* env = std::getenv("VELMORA_SETTINGS"); env && *env)
        return env;
    return default_path();
}

void VelmoraSettings::Load() {
    const auto sec = read_section(QString::fromStdString(path()));

    std::string text;
    try {
        text = read_text(sec, "tscorfile");
    } catch (const WrongType&) {
        text = "0";
    }
    tscorfile = text == "0" ? std::string() : text;

    try {
        devfile = read_text(sec, "devfile");
    } catch (const WrongType&) {
        devfile = "0";
    }

    // The first value that cannot be read ends the list: it and the later ones keep their values.
    try {
        ctd_time = read_integer(sec, "ctd_time");
        ctd_pres = read_integer(sec, "ctd_pres");
        ctd_temp = read_integer(sec, "ctd_temp");
        ctd_saln = read_integer(sec, "ctd_saln");
        commport = static_cast<std::int16_t>(read_integer(sec, "commport"));
        tab_index = read_integer(sec, "tab_index");
        autotemp = read_integer(sec, "autotemp");
    } catch (const WrongType&) {
    }
    // The option always starts unchecked, whatever was stored.
    autotemp = 0;

    // The CTD time format and lag: a value that cannot be read keeps its default.
    try {
        if (const std::string f = read_text(sec, "ctd_time_format"); ctd_time_format_named(f))
            ctd_time_format = f;
    } catch (const WrongType&) {
    }
    try {
        const std::string lag = read_text(sec, "ctd_lag_s");
        std::size_t used = 0;
        const double v = text::parse_double(lag, &used);
        if (used > 0 && used == lag.size() && std::isfinite(v))
            ctd_lag_s = v;
    } catch (const WrongType&) {
    }

    // The window's layout and the time axis: each value on its own, a bad one keeps its default.
    try {
        window_geometry = read_text(sec, "window_geometry");
    } catch (const WrongType&) {
    }
    try {
        splitter_sizes = read_text(sec, "splitter_sizes");
    } catch (const WrongType&) {
    }
    try {
        seabass_metadata = read_text(sec, "seabass_metadata");
    } catch (const WrongType&) {
    }
    try {
        const std::int32_t t = read_integer(sec, "time_axis");
        if (t >= 0 && t <= 2)
            time_axis = t;
    } catch (const WrongType&) {
    }
}

void VelmoraSettings::Save() {
    const QString file = QString::fromStdString(path());
    const QString dir = QFileInfo(file).absolutePath();

    // Other sections and values in the file are kept.
    QJsonObject root;
    {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly)) {
            QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
            if (doc.isObject())
                root = doc.object();
        }
    }
    QJsonObject sec = root.value(kSectionKey).toObject();
    sec["tscorfile"] = QString::fromStdString(tscorfile);
    sec["devfile"] = QString::fromStdString(devfile);
    sec["ctd_time"] = ctd_time;
    sec["ctd_pres"] = ctd_pres;
    sec["ctd_temp"] = ctd_temp;
    sec["ctd_saln"] = ctd_saln;
    sec["ctd_time_format"] = QString::fromStdString(ctd_time_format);
    sec["ctd_lag_s"] = QString::fromStdString(text::format_g(ctd_lag_s, 17));
    sec["commport"] = static_cast<std::int32_t>(commport);
    sec["tab_index"] = tab_index;
    sec["autotemp"] = autotemp;
    sec["window_geometry"] = QString::fromStdString(window_geometry);
    sec["splitter_sizes"] = QString::fromStdString(splitter_sizes);
    sec["time_axis"] = time_axis;
    sec["seabass_metadata"] = QString::fromStdString(seabass_metadata);
    root[kSectionKey] = sec;

    // Written to a temporary file and renamed over the old one, so a crash never leaves half.
    if (!QDir().mkpath(dir))
        throw VelmoraError("Unable to write to registry!");
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        throw VelmoraError("Unable to write to registry!");
    out.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    if (!out.commit())
        throw VelmoraError("Unable to write to registry!");
}
