// The settings file: any content loads (defaults for what cannot be read), and what loads is
// saved and read back unchanged.
#include "fuzz_util.h"
#include "settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::write_input("settings.json", data, size);
    VelmoraSettings s(path);
    s.Load();
    if (s.autotemp != 0)
        fuzz::fail("the auto-temperature option loaded checked");
    if (!fuzz::clean([&] { s.Save(); }))
        fuzz::fail("saving over a loadable settings file failed");
    VelmoraSettings back(path);
    back.Load();
    if (back.tscorfile != s.tscorfile || back.devfile != s.devfile || back.ctd_time != s.ctd_time ||
        back.ctd_pres != s.ctd_pres || back.ctd_temp != s.ctd_temp || back.ctd_saln != s.ctd_saln ||
        back.commport != s.commport || back.tab_index != s.tab_index)
        fuzz::fail("settings read back differ from those saved");
    return 0;
}
