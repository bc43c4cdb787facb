// Arbitrary bytes in a club sensor's receive buffer: the first byte picks the device, the rest
// is what arrived. No parser reads or writes outside the buffer, and whatever it accepts lies
// inside its device's range.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "links/club_sensor.h"

using kyvern::links::SensorBuffer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    int device = data[0] % 5;
    ++data;
    --size;
    SensorBuffer buffer;
    // Arrives in chunks of up to 100 bytes, as the timer's polls take it.
    while (size > 0) {
        int chunk = static_cast<int>(size < 100 ? size : 100);
        buffer.Append(data, chunk);
        data += chunk;
        size -= static_cast<std::size_t>(chunk);
    }
    if (buffer.fill < 0 || buffer.fill > SensorBuffer::kCapacity) std::abort();
    kyvern::shot::ClubData reading;
    double second = 0.0;
    switch (device) {
        case 0:
            kyvern::links::ParseLazer(buffer, reading);
            break;
        case 1:
            kyvern::links::ParseDistanceCaddy(buffer, reading);
            break;
        case 2:
            kyvern::links::ParseSwingMate(buffer, reading);
            break;
        case 3:
            kyvern::links::ParseGolfTek(buffer, reading, second);
            break;
        default:
            kyvern::links::ParseMaruman(buffer, reading);
            break;
    }
    if (buffer.fill < 0 || buffer.fill > SensorBuffer::kCapacity) std::abort();
    if (reading.clubSpeed.Present()) {
        double speed = reading.clubSpeed.Value();
        if (!(speed >= 2 && speed <= 400)) std::abort();
        if (device == 3 && !(speed > 10 && speed < 400)) std::abort();
    }
    if (reading.tempo.Present() && !(reading.tempo.Value() > 0.1 && reading.tempo.Value() < 10))
        std::abort();
    if (reading.faceRotation.Present() && !std::isfinite(reading.faceRotation.Value()))
        std::abort();
    return 0;
}
