#include "capture/camera_backends.h"

#include <array>

#include "base/config_store.h"

#ifdef KYVERN_HAVE_GENICAM
#include "capture/genicam/genicam_driver.h"
#endif
#ifdef KYVERN_HAVE_IIDC
#include "capture/iidc/iidc_driver.h"
#endif

namespace kyvern::capture {
namespace {

std::unique_ptr<CameraDriver> MakeBuilt(std::string_view name) {
#ifdef KYVERN_HAVE_GENICAM
    if (base::EqualsNoCase(name, "GenICam")) return std::make_unique<GenicamDriver>();
#endif
#ifdef KYVERN_HAVE_IIDC
    if (base::EqualsNoCase(name, "IIDC")) return std::make_unique<IidcDriver>();
#endif
    (void)name;
    return nullptr;
}

}  // namespace

std::vector<std::string> HardwareBackends() {
    std::vector<std::string> names;
#ifdef KYVERN_HAVE_GENICAM
    names.emplace_back("GenICam");
#endif
#ifdef KYVERN_HAVE_IIDC
    names.emplace_back("IIDC");
#endif
    return names;
}

std::unique_ptr<CameraDriver> MakeHardwareDriver(std::string_view name) {
    if (!base::EqualsNoCase(name, "Auto")) return MakeBuilt(name);
    std::unique_ptr<CameraDriver> first;
    for (const std::string& backend : HardwareBackends()) {
        auto driver = MakeBuilt(backend);
        if (!driver) continue;
        std::array<CameraInfo, kCameraSlots> infos;
        int count = kCameraSlots;
        if (driver->EnumerateCameras(infos, count) && count > 0) return driver;
        if (!first) first = std::move(driver);
    }
    return first;
}

}  // namespace kyvern::capture
