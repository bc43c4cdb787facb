#include "sim/frame_renderer.h"

#include <algorithm>
#include <cmath>

#include "base/math_constants.h"
#include "capture/camera_table.h"
#include "frame/camera_model.h"

namespace kyvern::sim {

namespace {

constexpr double kTravelBetweenFlashes = 5.0;  // inches
constexpr double kMaxStrobeInterval = 0.004;   // seconds

bool Finite(const Xyz& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

Xyz Unit(const Xyz& v) { return v.Divided(v.Length()); }

// v turned right-handedly about the unit axis u by angle radians.
Xyz Rotate(const Xyz& v, const Xyz& u, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return v.Scaled(c).Plus(u.Cross(v).Scaled(s)).Plus(u.Scaled(u.Dot(v) * (1.0 - c)));
}

// Where a pinhole puts the centre, and how wide the ball is at that depth.
Xyz Project(const Xyz& centre, double diameter, int width, int height) {
    const double pixelsPerInchAtUnitDepth = frame::kFocalLength / frame::PixelPitch(width);
    const double scale = pixelsPerInchAtUnitDepth / -centre.z;
    return {width / 2.0 + centre.x * scale, height / 2.0 - centre.y * scale, diameter * scale};
}

// How much smaller than the pinhole's the lens draws a ball whose image centre is at pix.
double Shrink(const Xyz& pix, const ShotSetup& setup) {
    if (setup.pinhole) return 1.0;
    const double rho = std::hypot(pix.x - setup.width / 2, pix.y - setup.height / 2);
    return 1.0 + frame::kRadialShrink * rho;
}

// Small, fast and the same on every platform, so that a seed always gives the same frame.
class NoiseSource {
public:
    explicit NoiseSource(std::uint64_t seed) : state_(seed) {}

    double Gaussian() {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
        double u1 = 0.0;
        do {
            u1 = Uniform();
        } while (u1 <= 0.0);
        const double u2 = Uniform();
        const double r = std::sqrt(-2.0 * std::log(u1));
        spare_ = r * std::sin(2.0 * base::kExactPi * u2);
        hasSpare_ = true;
        return r * std::cos(2.0 * base::kExactPi * u2);
    }

private:
    std::uint64_t Next() {  // splitmix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return double(Next() >> 11) * 0x1.0p-53; }

    std::uint64_t state_;
    double spare_ = 0.0;
    bool hasSpare_ = false;
};

// One exposure of the ball: where it is, how it is turned and how the strobe lights it.
struct Exposure {
    Xyz centre;
    Xyz normal;
    double radius = 0.0;
    double nearRadius2 = 0.0;  // rays closer than this to the centre are sampled finely
    Xyz pix;                   // the pinhole's image of the centre, pixels
    double shrink = 1.0;       // the lens's image of the ball is this much smaller, about pix

    // The pinhole's ray that the lens shows at frame position (x, y) for this exposure.
    Xyz Ray(double x, double y, const ShotSetup& setup, double pitch) const {
        if (shrink != 1.0) {
            x = pix.x + (x - pix.x) * shrink;
            y = pix.y + (y - pix.y) * shrink;
        }
        return {(x - setup.width / 2.0) * pitch, -(y - setup.height / 2.0) * pitch,
                -frame::kFocalLength};
    }

    // The light this flash sends back along the ray, in gray levels.
    double Radiance(const Xyz& ray, const ShotSetup& setup, double referenceDistance2) const {
        const Lighting& light = setup.lighting;
        const double a = ray.Dot(ray);
        const double b = ray.Dot(centre);
        const double c = centre.Dot(centre) - radius * radius;
        const double discriminant = b * b - a * c;
        if (discriminant < 0.0) return light.backgroundLevel / 2.0;  // the scene behind
        const double t = (b - std::sqrt(discriminant)) / a;
        const Xyz point = ray.Scaled(t);
        const Xyz surface = point.Minus(centre).Divided(radius);
        const Xyz toLight = light.lightPosition.Minus(point);
        const double distance2 = toLight.Dot(toLight);
        const double cosine = surface.Dot(toLight) / std::sqrt(distance2);
        const double direct = std::max(0.0, cosine) * referenceDistance2 / distance2;
        double level = light.ballLevel * (light.ambient + (1.0 - light.ambient) * direct);
        if (std::fabs(surface.Dot(normal)) * radius < setup.lineWidth / 2.0) {
            level *= light.lineReflectance;
        }
        return level;
    }
};

}  // namespace

bool FrameRenderer::Solve(const ShotSetup& setup, ShotTruth& truth) {
    const bool sizeKnown =
        (setup.width == 1024 && setup.height == 768) || (setup.width == 640 && setup.height == 480);
    const Lighting& light = setup.lighting;
    const double values[] = {setup.ballDiameter, setup.ballSpeed,       setup.launchAngle,
                             setup.sideAngle,    setup.backSpin,        setup.sideSpin,
                             setup.rifleSpin,    setup.lineWidth,       setup.t1,
                             setup.t2,           setup.noise,           light.ballLevel,
                             light.ambient,      light.backgroundLevel, light.lineReflectance};
    for (double v : values) {
        if (!std::isfinite(v)) return false;
    }
    if (!sizeKnown || setup.ballDiameter <= 0.0 || setup.ballSpeed < 0.0 ||
        std::fabs(setup.launchAngle) >= 90.0 || std::fabs(setup.sideAngle) >= 90.0 ||
        setup.lineWidth < 0.0 || !(setup.t2 > setup.t1) || setup.noise < 0.0 ||
        setup.supersampling < 1 || setup.supersampling > 16 || !Finite(setup.ball0) ||
        !Finite(light.lightPosition) || !Finite(setup.lineNormal) ||
        setup.lineNormal.Length() < 1e-9) {
        return false;
    }

    ShotTruth t;
    t.interval = setup.t2 - setup.t1;
    const Xyz heading = Unit(Xyz(1.0, std::tan(setup.launchAngle * base::kExactDegreesToRadians),
                                 std::tan(setup.sideAngle * base::kExactDegreesToRadians)));
    t.ball0 = setup.ball0;
    t.ball1 = setup.ball0.Plus(heading.Scaled(setup.ballSpeed * 12.0 * t.interval));
    // Both exposures wholly in front of the lens.
    if (t.ball0.z > -setup.ballDiameter || t.ball1.z > -setup.ballDiameter) return false;

    const Xyz spin(setup.rifleSpin, setup.sideSpin, setup.backSpin);
    t.spinRate = spin.Length();
    t.turn = t.spinRate * 6.0 * t.interval;  // rpm to degrees per second, over the interval
    t.aliased = t.turn >= kAliasedTurn;
    t.normal0 = Unit(setup.lineNormal);
    t.normal1 = t.spinRate > 0.0
                    ? Rotate(t.normal0, Unit(spin), t.turn * base::kExactDegreesToRadians)
                    : t.normal0;
    t.pix0 = Project(t.ball0, setup.ballDiameter, setup.width, setup.height);
    t.pix1 = Project(t.ball1, setup.ballDiameter, setup.width, setup.height);
    t.pix0.z /= Shrink(t.pix0, setup);
    t.pix1.z /= Shrink(t.pix1, setup);
    truth = t;
    return true;
}

bool FrameRenderer::Render(const ShotSetup& setup, frame::CapturedImage& frame) {
    ShotTruth truth;
    if (!Solve(setup, truth)) return false;

    const int width = setup.width;
    const int height = setup.height;
    const double pitch = frame::PixelPitch(width);
    const double focal = frame::kFocalLength;
    const Lighting& light = setup.lighting;

    Exposure flashes[2];
    const Xyz centres[2] = {truth.ball0, truth.ball1};
    const Xyz normals[2] = {truth.normal0, truth.normal1};
    for (int k = 0; k < 2; ++k) {
        Exposure& e = flashes[k];
        e.centre = centres[k];
        e.normal = normals[k];
        e.radius = setup.ballDiameter / 2.0;
        e.pix = Project(e.centre, setup.ballDiameter, width, height);
        e.shrink = Shrink(e.pix, setup);
        // Two pixel footprints beyond the rim catch every partly covered pixel.
        const double footprint = pitch * e.centre.Length() / focal * e.shrink;
        e.nearRadius2 = (e.radius + 2.0 * footprint) * (e.radius + 2.0 * footprint);
    }
    // The strobe's level is set by the point of ball 0 nearest to it.
    const double reference = light.lightPosition.Minus(truth.ball0).Length() - flashes[0].radius;
    const double reference2 = std::max(reference * reference, 1e-12);

    const int samples = setup.supersampling;
    const double step = 1.0 / samples;
    NoiseSource noise(setup.seed);
    std::uint8_t* pixels = frame.Pixels();
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            bool near = false;
            for (const Exposure& e : flashes) {
                const Xyz ray = e.Ray(column, row, setup, pitch);
                const double rayLength2 = ray.Dot(ray);
                const double along = ray.Dot(e.centre);
                const double miss2 = e.centre.Dot(e.centre) - along * along / rayLength2;
                near = near || miss2 < e.nearRadius2;
            }
            double level = light.backgroundLevel;
            if (near) {
                // Each flash shows its own exposure of the ball over half the background.
                double sum = 0.0;
                for (int sy = 0; sy < samples; ++sy) {
                    for (int sx = 0; sx < samples; ++sx) {
                        const double x = column - 0.5 + (sx + 0.5) * step;
                        const double y = row - 0.5 + (sy + 0.5) * step;
                        sum += flashes[0].Radiance(flashes[0].Ray(x, y, setup, pitch), setup,
                                                   reference2) +
                               flashes[1].Radiance(flashes[1].Ray(x, y, setup, pitch), setup,
                                                   reference2);
                    }
                }
                level = sum / (samples * samples);
            }
            level += setup.noise > 0.0 ? setup.noise * noise.Gaussian() : 0.0;
            pixels[std::size_t(row) * width + column] =
                std::uint8_t(std::clamp(std::floor(level + 0.5), 0.0, 255.0));
        }
    }

    frame.Reset();
    frame.valid = true;
    frame.analyzed = false;
    frame.width = width;
    frame.height = height;
    frame.bytesPerPixel = 1;
    frame.t1 = setup.t1;
    frame.t2 = setup.t2;
    frame.result.balls[0].time = setup.t1;
    frame.result.balls[1].time = setup.t2;
    frame.serialNumber = setup.serialNumber;
    frame.cameraIndex = setup.cameraIndex;
    frame.cameraPosition = setup.cameraPosition;
    frame.cameraRotation = setup.cameraRotation;
    truth_ = truth;
    return true;
}

double StrobeIntervalFor(double ballSpeed) {
    if (!(ballSpeed > 0.0)) return kMaxStrobeInterval;
    const double interval = kTravelBetweenFlashes / (ballSpeed * 12.0);
    const double micros = std::max(1.0, std::floor(interval * 1e6));
    return std::min(micros / 1e6, kMaxStrobeInterval);
}

double StrobeIntervalOf(std::string_view speedMode) {
    const capture::SpeedMode* mode = capture::SpeedModeOfName(speedMode);
    return mode ? mode->strobeInterval : 0.0;
}

Xyz CentredStart(const ShotSetup& setup, double distance) {
    const double interval = setup.t2 - setup.t1;
    const Xyz heading = Unit(Xyz(1.0, std::tan(setup.launchAngle * base::kExactDegreesToRadians),
                                 std::tan(setup.sideAngle * base::kExactDegreesToRadians)));
    const Xyz travel = heading.Scaled(setup.ballSpeed * 12.0 * interval);
    return Xyz(0.0, 0.0, -distance).Minus(travel.Scaled(0.5));
}

Xyz NormalAcrossSpin(double backSpin, double sideSpin, double rifleSpin) {
    const Xyz spin(rifleSpin, sideSpin, backSpin);
    const double rate = spin.Length();
    if (!(rate > 0.0)) return {-1.0, 0.0, 0.0};
    const Xyz axis = spin.Divided(rate);
    for (const Xyz& wanted : {Xyz(-1.0, 0.0, 0.0), Xyz(0.0, 1.0, 0.0)}) {
        const Xyz across = wanted.Minus(axis.Scaled(axis.Dot(wanted)));
        if (across.Length() > 1e-6) return Unit(across);
    }
    return {-1.0, 0.0, 0.0};  // not reached: the axis cannot lie along both
}

}  // namespace kyvern::sim
