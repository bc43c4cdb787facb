#pragma once

#include <cstdio>
#include <string>

#include "store/stored_shot.h"

namespace kyvern::testing {

// Shot i of a known content: every field set, club values present on even shots only, and a
// trajectory of 20 + i % 7 points. Its id is prefix + i.
inline store::StoredShot SampleShot(int i, const std::string& prefix = "shot-") {
    static constexpr const char* kItems[] = {"Driver", "7 Iron", "Pitching Wedge"};
    store::StoredShot s;
    s.id = prefix + std::to_string(i);
    s.timeMs = 1709648525000 + i * 60000LL;
    s.player = i % 4 == 3 ? "Ben" : "Ann";
    s.session = i < 10 ? "Morning" : "Evening";
    s.item = kItems[i % 3];
    s.bay = i % 2 ? "Bay 2" : "Bay 1";
    s.cameraSerials = {"CAM-" + std::to_string(100 + i), "CAM-7"};
    s.ball = "Golf Ball";
    s.weather.altitude = 350.0 + i;
    s.weather.temperature = 68.25;
    s.weather.humidity = 41.0;
    s.weather.barometer = 30.01;
    s.weather.windSpeed = 4.5;
    s.weather.windDir = 270.0;
    s.distanceUnit = i % 3;
    s.speedUnit = i % 4;
    s.precision = i % 2 ? "Refined" : "Standard";
    s.ballSpeed = 200.0 + i * 0.1;
    s.launchAngle = 11.0 + i * 0.01;
    s.sideAngle = -1.25;
    s.totalSpin = 2850.5;
    s.backSpin = 2800.0 + i;
    s.sideSpin = -300.0;
    s.spinDoubtful = i % 5 == 2;
    if (i % 2 == 0) {
        s.clubSpeed = 140.0 + i * 0.3;
        s.attackAngle = -2.1;
        s.pathAngle = 1.7;
        s.faceAngle = 0.0;  // present and zero: not the same as absent
        s.effectiveLoft = 13.25;
        s.clubMass = 205.0;
        s.clubLoft = 10.5;
        s.confidence = 0.875;
    }
    s.flight.carry = 230.0 + i * 1.0 / 3.0;
    s.flight.carryOffline = -4.0 + i;
    s.flight.total = 250.0 + i;
    s.flight.totalOffline = -5.5;
    s.flight.roll = 20.0;
    s.flight.maxHeight = 31.5;
    s.flight.flightTime = 6.2;
    for (int p = 0; p < 20 + i % 7; ++p) {
        const double t = p * 0.1;
        s.trajectory.push_back({t, 50.0 * t + i, 30.0 * t - 4.9 * t * t, 0.1 * p});
    }
    s.imageFile = "pic" + std::to_string(i) + ".bmp";
    return s;
}

}  // namespace kyvern::testing
