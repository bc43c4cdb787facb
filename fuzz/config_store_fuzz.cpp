// Arbitrary settings text: a value written with SetValue is the value FindValue reads back,
// and reading never crashes whatever the text holds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/config_store.h"

using kyvern::base::ConfigStore;

namespace {

// A short name made of letters and digits, taken from the input's first bytes.
std::string Name(const std::uint8_t*& data, std::size_t& size, std::size_t length) {
    static constexpr char kAlphabet[] = "abcABC019xyz";
    std::string out;
    for (std::size_t i = 0; i < length && size > 0; ++i, ++data, --size) {
        out += kAlphabet[*data % (sizeof kAlphabet - 1)];
    }
    return out.empty() ? "k" : out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string section = Name(data, size, 3);
    std::string key = Name(data, size, 3);
    std::string value = Name(data, size, 4);
    std::string_view text(reinterpret_cast<const char*>(data), size);

    std::string before;
    ConfigStore::FindValue(text, section, key, before);

    std::string updated = ConfigStore::SetValue(text, section, key, value);
    std::string after;
    if (!ConfigStore::FindValue(updated, section, key, after) || after != value) std::abort();
    // Setting it again changes nothing more.
    if (ConfigStore::SetValue(updated, section, key, value) != updated) std::abort();
    return 0;
}
