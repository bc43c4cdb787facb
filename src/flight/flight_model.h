#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/settings_schema.h"
#include "base/status.h"
#include "flight/ball_type.h"
#include "flight/flight_result.h"
#include "flight/weather.h"
#include "frame/xyz.h"

namespace kyvern::flight {

// What the equations of motion need of the ball and the air.
struct FlightConstants {
    std::int32_t typeId = 0;
    double windX = 0.0;
    double windY = 0.0;
    double windZ = 0.0;
    double diameterFt = 0.0;
    double viscosity = 0.0;
    double density = 0.0;
    double areaFt2 = 0.0;
    double massSlug = 0.0;
};

// The ball and the air a pass flies its shots with.
struct FlightOptions {
    BallOptions ball;
    Weather weather;
};
FlightOptions ReadFlightOptions(base::OptionsReader& reader);
FlightOptions ReadFlightOptions(const base::SettingsSnapshot& snapshot);

// How a ball leaves the club: speed in ft/s, angles in degrees, spins in rpm.
struct FlightLaunch {
    double ballSpeed = 0.0;
    double launchAngle = 0.0;
    double backSpin = 0.0;
    double sideSpin = 0.0;
    double sideAngle = 0.0;
};

// Predicts a launched ball's flight: RK4 through gravity, drag, Magnus lift and spin decay to
// the ground, then a bounce-and-roll estimate. The ball and the weather it is made with are
// kept for every Compute. All storage is fixed-size.
class FlightModel {
public:
    static constexpr int kMaxPoints = FlightResult::kMaxPoints;
    // Flight points end here; 19 roll points and the resting point follow within kMaxPoints.
    static constexpr int kFlightPointLimit = 175;
    static constexpr int kRollPoints = 19;
    static constexpr double kStep = 0.1;  // seconds

    // The schema's defaults unless given: a golf ball in still air at sea level.
    explicit FlightModel(const FlightOptions& options = {});
    FlightModel(const BallType& ball, const Weather& weather);

    // Speed in ft/s, angles in degrees, spins in rpm.
    void Compute(double ballSpeed, double launchAngle, double backSpin, double sideSpin,
                 double sideAngle);

    // A flight computed elsewhere (a putt's roll) as the model's result, for those that read
    // the model; the air and the ball stay.
    void Adopt(const FlightResult& result) { result_ = result; }

    // The summary Compute gives for each launch, bit for bit, several flights at a time where
    // the processor allows; Result() is then the last launch's, as after its Compute. The
    // forces and FloorCount() are only Compute's.
    void Summaries(const FlightLaunch* launches, int count, FlightSummary* summaries);

    // CarryFeet() of Compute(ballSpeed, launchAngles[k], backSpins[k], 0, 0) for each k < count,
    // bit for bit, several flights at a time where the processor allows.
    void CarriesFeet(double ballSpeed, const double* launchAngles, const double* backSpins,
                     int count, double* carries);

    // Results in yards (distances) and seconds.
    double Carry() const { return result_.carry; }
    double CarryOffline() const { return result_.carryOffline; }
    double Total() const { return result_.total; }
    double TotalOffline() const { return result_.totalOffline; }
    double Roll() const { return result_.roll; }
    double MaxHeight() const { return result_.maxHeight; }
    double FlightTime() const { return result_.flightTime; }
    // The same distances in feet.
    double CarryFeet() const { return result_.carry * 3.0; }
    double CarryOfflineFeet() const { return result_.carryOffline * 3.0; }
    double TotalFeet() const { return result_.total * 3.0; }
    double TotalOfflineFeet() const { return result_.totalOffline * 3.0; }
    double RollFeet() const { return result_.roll * 3.0; }
    double MaxHeightFeet() const { return result_.maxHeight * 3.0; }

    // Results and trajectory together (points in feet, spin in rpm).
    const FlightResult& Result() const { return result_; }
    int PointCount() const { return result_.pointCount; }

    // The trajectory table: a header and one line per point between the origin and the
    // resting point, replacing the file whole; a failure says which file and why.
    [[nodiscard]] base::Status WriteTrajectory(const std::string& path) const;

    // The weather as read and clamped when the model was made.
    double Altitude() const { return weather_.altitude; }
    double Temperature() const { return weather_.temperature; }
    double Humidity() const { return weather_.humidity; }
    double Barometer() const { return weather_.barometer; }
    double WindSpeed() const { return weather_.windSpeed; }
    double WindDir() const { return weather_.windDir; }
    const frame::Xyz& Wind() const { return wind_; }
    double Density() const { return air_.density; }
    double Viscosity() const { return air_.viscosity; }
    std::int32_t BallTypeId() const { return ballTypeId_; }
    double DragForce() const { return dragForce_; }
    double LiftForce() const { return liftForce_; }

    // How many times Compute ran on this model.
    long ComputeCount() const { return computeCount_; }
    // Derivative evaluations of the last Compute in which a coefficient floor took effect.
    long FloorCount() const { return floorCount_; }

    static const char* Version() { return "FlightModel v2.3.1"; }

    // The coefficient laws by ball type; Re in units of 1e5, spin in rpm, s the spin
    // parameter. The golf laws are kept between their floor and their cap.
    static double DragCoefficient(std::int32_t typeId, double re, double rpm, double s,
                                  bool* floored = nullptr);
    static double LiftCoefficient(std::int32_t typeId, double re, double rpm, double s,
                                  bool* floored = nullptr);
    static constexpr double kDragFloor = 0.05;
    static constexpr double kLiftFloor = -0.4;

private:
    using State = std::array<double, 9>;  // x, y, z, vx, vy, vz, wx, wy, wz

    void Setup(const BallType& ball, const Weather& weather);
    void PrepareAir();
    FlightConstants Constants() const;
    void Derivative(const FlightConstants& c, const double* y, double* dy);
    void AppendPoint(double x, double z, double height, double spin, bool hasSpin);
    // Clears the result for a flight of this launch; false when the ball is too slow to fly.
    bool Start(const FlightLaunch& launch, State& y);
    // Lands the flight whose last two states these are, t seconds after the launch, and rolls it.
    void Land(const State& previous, const State& y, double t);

    std::int32_t ballTypeId_ = 0;
    Weather weather_;
    frame::Xyz wind_;
    AirProperties air_;
    double diameterFt_ = 0.0;
    double weightOz_ = 0.0;
    double teeHeightIn_ = 0.0;
    double massSlug_ = 0.0;
    double areaFt2_ = 0.0;
    double dragForce_ = 0.0;
    double liftForce_ = 0.0;

    double ballSpeed_ = 0.0;
    double launchRad_ = 0.0;
    double sideRad_ = 0.0;
    double backSpin_ = 0.0;
    double sideSpin_ = 0.0;

    State state_{};
    State landing_{};
    FlightResult result_;
    long computeCount_ = 0;
    long floorCount_ = 0;
};

}  // namespace kyvern::flight
