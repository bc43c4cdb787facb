#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "frame/captured_image.h"

namespace kyvern::capture {

using frame::kCameraSlots;

// Video modes the camera table knows: 8-bit mono frames of 640 x 480 and 1024 x 768. Any
// other number is a mode whose frames are not converted.
inline constexpr int kVideoMode640x480 = 5;
inline constexpr int kVideoMode1024x768 = 8;

// Camera properties the table sets: 12 is the exposure (shutter) time, its absolute value in
// milliseconds; 13 is the gain, in the camera's own units.
inline constexpr int kPropertyShutter = 12;
inline constexpr int kPropertyGain = 13;

// Bus messages a driver delivers to the table's callback.
inline constexpr int kBusMessageArrival = 3;
inline constexpr int kBusMessageRemoval = 4;

// What enumeration tells about one camera; the serial number comes first.
struct CameraInfo {
    std::uint32_t serialNumber = 0;
    std::string vendor;
    std::string model;
};

// One grabbed frame as the driver delivers it. The pixels belong to the driver and stay valid
// until the next grab on the same slot.
struct GrabbedImage {
    int videoMode = 0;
    int rows = 0;
    int columns = 0;
    int rowBytes = 0;  // bytes from one row to the next
    const std::uint8_t* data = nullptr;
};

// The bus-message callback: the user value given at registration and the message number.
using BusCallback = std::function<void(int userValue, int message)>;

// The camera library beneath the camera table. Each slot 0 to 3 has its own context; a
// driver may run its grabs of different slots on different threads at once. Every operation
// returns true on success.
class CameraDriver {
public:
    virtual ~CameraDriver() = default;

    // The driver's name as the settings choose it ("Simulated", "IIDC", "GenICam").
    virtual std::string Name() const = 0;

    virtual bool CreateContext(int slot) = 0;
    virtual bool DestroyContext(int slot) = 0;

    // Adds (add = true) or removes the bus-message callback. After a removal returns, the
    // callback is not running and will not be called again. It runs on the driver's thread.
    virtual bool ModifyCallback(int slot, BusCallback callback, int userValue, bool add) = 0;

    // Fills up to infos.size() records; count receives the number of cameras found, at most
    // the room given.
    virtual bool EnumerateCameras(std::array<CameraInfo, kCameraSlots>& infos, int& count) = 0;

    // Opens the camera at this bus index into the slot's context.
    virtual bool Initialize(int slot, int busIndex) = 0;
    virtual bool GetCurrentVideoMode(int slot, int& mode, int& frameRate) = 0;
    virtual bool Start(int slot, int mode, int frameRate) = 0;
    // Stops the camera; a grab that blocks on this slot returns false soon after.
    virtual bool Stop(int slot) = 0;

    virtual bool QueryTrigger(int slot, bool& present) = 0;
    virtual bool GetTrigger(int slot, int& polarity, int& source, int& rawValue, int& mode) = 0;
    virtual bool SetTrigger(int slot, bool on, int polarity, int source, int mode,
                            int parameter) = 0;

    virtual bool GetCameraProperty(int slot, int property, long& valueA, long& valueB,
                                   bool& autoMode) = 0;
    virtual bool SetCameraProperty(int slot, int property, long valueA, long valueB,
                                   bool autoMode) = 0;
    virtual bool SetCameraAbsProperty(int slot, int property, float value) = 0;
    virtual bool SetCameraRegister(int slot, std::uint32_t address, std::uint32_t value) = 0;

    // Blocks until the camera delivers a frame, it is stopped, or an error occurs.
    virtual bool GrabImage(int slot, GrabbedImage& image) = 0;
    // The colour handling below defaults to what a monochrome camera needs: no colour
    // processing, no tile format, a Mono8 conversion and no white balance.
    virtual bool GetColorProcessingMethod(int slot, int& method);
    virtual bool GetColorTileFormat(int slot, int& tile);
    // Converts the image to 3 bytes per pixel, row after row, into destination, which holds
    // capacity bytes; false when it does not fit.
    virtual bool ConvertImage(int slot, const GrabbedImage& image, std::uint8_t* destination,
                              std::size_t capacity);
    virtual bool InplaceWhiteBalance(int slot, std::uint8_t* pixels, int rows, int columns);
};

// The conversion of an 8-bit mono image that every driver here delivers: each gray byte
// becomes three equal bytes. False when the image is empty or does not fit.
bool ConvertMono8(const GrabbedImage& image, std::uint8_t* destination, std::size_t capacity);

}  // namespace kyvern::capture
