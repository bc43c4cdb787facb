#pragma once

#include <array>
#include <string>

#include "flight/flight_result.h"

namespace kyvern::shot {

// The launch of one shot as the scene solution found it (ft/s, degrees, rpm).
struct LaunchConditions {
    double ballSpeed = 0.0;
    double ballSpeedMph = 0.0;
    double launchAngle = 0.0;
    double sideAngle = 0.01;
    double totalSpin = 0.0;
    double backSpin = 0.0;
    double sideSpin = 0.0;
    // How far the measurement can be trusted (1 for a shot not measured by the analysis, such
    // as one typed in), and whether its spin is too doubtful to pass on as measured.
    double confidence = 1.0;
    bool spinDoubtful = false;
    // A putt: speed, launch and start line measured, no spin; its flight is its roll.
    bool putt = false;

    // Stores a launch with the holding rules: the speed in mph beside the speed in ft/s, and
    // a side angle of magnitude below 0.01 held as +0.01 so that it is never zero.
    void Set(double speed, double launch, double side, double total, double back, double sideS);
    static double HeldSideAngle(double sideAngle);
};

// The back spin (rpm) a shot of this ball speed (mph) and launch (degrees) is expected to have:
// what goes out where the measured one may not.
inline double PredictedBackSpin(double ballSpeedMph, double launchAngle) {
    return 3.8 * ballSpeedMph + 635.0 + 285.0 * launchAngle;
}

// The spins (rpm) the values derived from a shot stand on: the measured ones, or for a
// doubtful spin the predicted back spin and no side spin, so that no flight, club value or
// score is shown as measured from a spin that was not.
struct TrustedSpins {
    TrustedSpins(double ballSpeed, double launchAngle, double backSpin, double sideSpin,
                 bool doubtful)
        : back(doubtful ? PredictedBackSpin(ballSpeed * 3600.0 / 5280.0, launchAngle) : backSpin),
          side(doubtful ? 0.0 : sideSpin) {}
    // A putt's spins are its own (none are measured).
    explicit TrustedSpins(const LaunchConditions& l)
        : TrustedSpins(l.ballSpeed, l.launchAngle, l.backSpin, l.sideSpin,
                       l.spinDoubtful && !l.putt) {}
    double back;
    double side;
};

// One club value and whether it was filled; an unfilled value reads as 0.
class ClubValue {
public:
    double Value() const { return present_ ? value_ : 0.0; }
    bool Present() const { return present_; }
    void Set(double value) {
        value_ = value;
        present_ = true;
    }
    // Overwrites the value and leaves the flag as it is.
    void Overwrite(double value) { value_ = value; }
    void Clear() {
        value_ = 0.0;
        present_ = false;
    }

private:
    double value_ = 0.0;
    bool present_ = false;
};

// The club's delivery: measured by a sensor or inferred by the impact model.
struct ClubData {
    ClubValue clubSpeed;      // ft/s
    ClubValue pathAngle;      // degrees
    ClubValue faceAngle;      // degrees
    ClubValue effectiveLoft;  // degrees
    ClubValue angleOfAttack;  // degrees
    ClubValue faceRotation;   // the sensor's own unit
    ClubValue tempo;          // the sensor's own unit
    ClubValue dxFromToe;      // the sensor's own unit
    ClubValue clubMass;       // grams
    ClubValue clubLoft;       // degrees
    // The last impact model evaluation found the effective loft far from the configured loft.
    bool loftMismatch = false;

    // Clears the eight club values, their flags and the loft notice (mass and loft stay).
    void Clear();
};

// The six plot colours a shot may be drawn in.
inline constexpr std::array<const char*, 6> kPlotColourNames{"None", "Black", "Blue",
                                                             "Red",  "Green", "Yellow"};

// One measured shot as it travels through the system, in the internal units.
struct ShotRecord {
    LaunchConditions launch;
    ClubData club;
    flight::FlightResult flight;
    double launchEfficiency = 0.0;    // per cent: 0, or 5 to 100
    double powerTransferIndex = 0.0;  // ball speed / club speed: 0, or 0.5 to 2.5
    double shotScore = 0.0;           // whichever of the two the settings select
    double groupScore = 0.0;          // per cent, for the shot's group

    std::string user;
    std::string session;
    std::string item;
    long shotNumber = 0;
    std::string when;    // "%d/%b/%Y %H:%M:%S"
    std::string units;   // the display units the row was written in
    int plotColour = 0;  // index into kPlotColourNames
};

}  // namespace kyvern::shot
