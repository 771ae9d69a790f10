#include "settings_store.h"

void VelmoraSettings::Load() {}
void VelmoraSettings::Save() {}
std::string VelmoraSettings::path() const { return store_path; }
std::string VelmoraSettings::default_path() { return {}; }
