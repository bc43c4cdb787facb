#include "base/identity.h"

#include <cstdio>

namespace kyvern::base {

std::string CameraDeviceText(std::span<const long> serials) {
    std::string text = "Kyvern: ";
    for (std::size_t i = 0; i < serials.size(); ++i) {
        char number[32];
        // The separator goes between serials: an empty first slot must not leave one in front.
        std::snprintf(number, sizeof number, i == 0 ? "%ld" : ", %ld", serials[i]);
        text += number;
    }
    return text;
}

}  // namespace kyvern::base
