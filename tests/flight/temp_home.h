#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/config_store.h"

namespace kyvern::testing {

// A fresh program folder for one test: KYVERN_HOME points at it while the object lives, and
// the folder goes with everything in it when the object goes.
class TempHome {
public:
    TempHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kyvern-flight-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        path_ = made ? made : "";
        if (const char* old = std::getenv("KYVERN_HOME")) {
            hadOld_ = true;
            old_ = old;
        }
        ::setenv("KYVERN_HOME", path_.c_str(), 1);
    }
    ~TempHome() {
        if (hadOld_) {
            ::setenv("KYVERN_HOME", old_.c_str(), 1);
        } else {
            ::unsetenv("KYVERN_HOME");
        }
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string Settings() const { return File("Kyvern.ini"); }
    bool Set(const char* section, const char* key, const std::string& value) const {
        return base::ConfigStore::WriteSetting(Settings(), section, key, value);
    }

private:
    std::string path_;
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace kyvern::testing
