#pragma once

#include <string>

#include "base/config_store.h"
#include "support/temp_dir.h"

namespace kyvern::testing {

// A program folder and a runtime folder of their own for one test (KYVERN_HOME and
// KYVERN_RUNTIME_DIR point at them while the object lives), so that parallel runs never meet
// on a settings file or a socket.
class TempHome {
public:
    TempHome()
        : home_("KYVERN_HOME", dir_.Path()),
          runtime_("KYVERN_RUNTIME_DIR", runDir_.Path() + "/run") {}
    const std::string& Path() const { return dir_.Path(); }
    std::string File(const std::string& name) const { return dir_.File(name); }
    std::string Settings() const { return dir_.File("Kyvern.ini"); }
    bool Set(const char* section, const char* key, const std::string& value) const {
        return base::ConfigStore::WriteSetting(Settings(), section, key, value);
    }
    std::string Get(const char* section, const char* key) const {
        return base::ConfigStore::ReadSetting(Settings(), section, key, "<missing>", 260);
    }

private:
    TempDir dir_;
    TempDir runDir_;
    ScopedEnv home_;
    ScopedEnv runtime_;
};

}  // namespace kyvern::testing
