// A C library locale whose decimal separator is a comma, for tests that prove files do not
// depend on it: an installed one (de_DE.UTF-8, fr_FR.UTF-8, ...), or de_DE.UTF-8 generated with
// localedef into a folder of the test's own.
#pragma once

#include <clocale>
#include <cstdlib>
#include <string>

#include <locale.h>

// Test fixtures and oracles are printed and parsed with printf and strtod in the C locale,
// whatever locale the suite runs under; this thread uses the C locale while the scope lasts.
class CLocaleScope {
  public:
    CLocaleScope() : c_(::newlocale(LC_ALL_MASK, "C", nullptr)), old_(::uselocale(c_)) {}
    ~CLocaleScope() {
        ::uselocale(old_);
        ::freelocale(c_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t c_;
    locale_t old_;
};

struct CommaLocaleName {
    std::string name;    // for LC_ALL; empty when none could be had
    std::string locpath; // for LOCPATH when generated, else empty

    // "LOCPATH='...' LC_ALL=name" for a shell command line.
    std::string shell_env() const {
        return (locpath.empty() ? std::string() : "LOCPATH='" + locpath + "' ") + "LC_ALL=" + name;
    }
};

namespace comma_locale_detail {

inline bool gives_comma(const std::string& name) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const bool comma = std::setlocale(LC_ALL, name.c_str()) != nullptr &&
                       std::localeconv()->decimal_point[0] == ',';
    std::setlocale(LC_ALL, before.c_str());
    return comma;
}

} // namespace comma_locale_detail

// `scratch`: an existing folder the generated locale may be written into.
inline CommaLocaleName find_comma_locale(const std::string& scratch) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
        if (comma_locale_detail::gives_comma(name))
            return {name, {}};
    const std::string cmd =
        "localedef -i de_DE -f UTF-8 '" + scratch + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return {};
    const char* old = std::getenv("LOCPATH");
    const std::string saved = old ? old : "";
    ::setenv("LOCPATH", scratch.c_str(), 1);
    const bool ok = comma_locale_detail::gives_comma("de_DE.UTF-8");
    if (old)
        ::setenv("LOCPATH", saved.c_str(), 1);
    else
        ::unsetenv("LOCPATH");
    return ok ? CommaLocaleName{"de_DE.UTF-8", scratch} : CommaLocaleName{};
}
