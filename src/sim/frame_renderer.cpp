#include "sim/frame_renderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

#include "base/math_constants.h"
#include "capture/camera_table.h"
#include "frame/camera_model.h"
#include "sim/ball_markings.h"
#include "sim/noise_source.h"
#include "sim/scene_backdrop.h"

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

constexpr int kMaxPoses = 64;          // instants per flash, at most
constexpr double kPoseSpacing = 0.75;  // pixels the ball's image moves between instants
constexpr std::uint64_t kRowSalt = 0x524F574F46465345ull;

// The ball at one instant of a flash.
struct Pose {
    Xyz centre;
    Xyz normal;      // the line's
    Turn toBall;     // the camera frame into the ball's own frame
    Turn toPattern;  // the camera frame into the dimple pattern's frame
};

// How the ball's surface is drawn besides its shape and the line.
struct Finish {
    const BallPrints* prints = nullptr;
    bool dimples = false;
    double dimpleAlbedo = 0.0;  // share darker at a dimple's centre
    double dimpleLean = 0.0;    // the normal's lean towards a dimple's centre, per unit chord
    double highlight = 0.0;     // gray levels at the highlight's peak, 0 for none
    int exponent = 1;
};

// One exposure of the ball: where it is, how it is turned and how the strobe lights it.
struct Exposure {
    double radius = 0.0;
    double nearRadius2 = 0.0;  // rays closer than this to the centre are sampled finely
    Xyz centre;                // at the middle of the flash
    Xyz pix;                   // the pinhole's image of the centre, pixels
    double shrink = 1.0;       // the lens's image of the ball is this much smaller, about pix
    double gain = 1.0;         // this flash's strength over the first's

    // The pinhole's ray that the lens shows at frame position (x, y) for this exposure.
    Xyz Ray(double x, double y, const ShotSetup& setup, double pitch) const {
        if (shrink != 1.0) {
            x = pix.x + (x - pix.x) * shrink;
            y = pix.y + (y - pix.y) * shrink;
        }
        return {(x - setup.width / 2.0) * pitch, -(y - setup.height / 2.0) * pitch,
                -frame::kFocalLength};
    }

    // The light this flash sends back along the ray from the ball in this pose, in gray
    // levels; halfBackground where the ray misses it.
    double Radiance(const Xyz& ray, const Pose& pose, const ShotSetup& setup,
                    double referenceDistance2, double halfBackground, const Finish& finish) const {
        const Lighting& light = setup.lighting;
        const Xyz& centre = pose.centre;
        const double a = ray.Dot(ray);
        const double b = ray.Dot(centre);
        const double c = centre.Dot(centre) - radius * radius;
        const double discriminant = b * b - a * c;
        if (discriminant < 0.0) return halfBackground;  // the scene behind
        const double t = (b - std::sqrt(discriminant)) / a;
        const Xyz point = ray.Scaled(t);
        const Xyz surface = point.Minus(centre).Divided(radius);
        // A dimple darkens its floor and leans its walls towards its centre.
        Xyz facing = surface;
        double albedo = 1.0;
        if (finish.dimples) {
            Xyz toCentre;
            double share = 0.0;
            if (InDimple(pose.toPattern.Apply(surface), toCentre, share)) {
                albedo = 1.0 - finish.dimpleAlbedo * share;
                // The wall's slope grows as the cube of the distance from the centre.
                const double lean = finish.dimpleLean * std::sqrt(1.0 - share);
                facing = Unit(surface.Plus(pose.toPattern.ApplyInverse(toCentre).Scaled(lean)));
            }
        }
        const Xyz toLight = light.lightPosition.Minus(point);
        const double distance2 = toLight.Dot(toLight);
        const double cosine = facing.Dot(toLight) / std::sqrt(distance2);
        const double direct = std::max(0.0, cosine) * referenceDistance2 / distance2;
        double level = light.ballLevel * (light.ambient + (1.0 - light.ambient) * direct);
        if (finish.dimples) level *= albedo;
        bool ink = std::fabs(surface.Dot(pose.normal)) * radius < setup.lineWidth / 2.0;
        if (!ink && finish.prints) ink = finish.prints->Inked(pose.toBall.Apply(surface));
        if (ink) level *= light.lineReflectance;
        if (finish.highlight > 0.0) {
            // The clear coat over ink and cover alike shines where the surface faces halfway
            // between the light and the lens (Blinn).
            const Xyz halfway =
                toLight.Divided(std::sqrt(distance2)).Minus(point.Divided(point.Length()));
            const double along = facing.Dot(halfway) / halfway.Length();
            if (along > 0.0) {
                level += finish.highlight * frame::IntegerPower(along, finish.exponent) *
                         referenceDistance2 / distance2;
            }
        }
        return level;
    }
};

// A stride through the samples of a pixel that visits each once and spreads neighbouring
// samples over the flash, so that time does not line up with position.
int Stride(int count) {
    int stride = std::max(1, int(count * 0.618));
    while (std::gcd(stride, count) != 1)
        --stride;
    return stride;
}

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

    const Realism& on = setup.realism;
    t.drawn =
        DrawRealism(setup.seed, setup.serialNumber, setup.cameraIndex, setup.width, setup.height);
    PrintPlace logo;
    PrintPlace number;
    PlacePrints(t.drawn, Unit(t.ball0.Negated()), t.normal0, setup.ballDiameter / 2.0,
                setup.lineWidth, logo, number);
    t.logoCentre = logo.centre;
    t.numberCentre = number.centre;
    if (on.blur) {
        t.flashTravel =
            setup.ballSpeed * 12.0 * t.drawn.flashDuration * t.pix0.z / setup.ballDiameter;
    }
    if (on.background) {
        const double top = t.drawn.groundTop * setup.height;
        const double tilt = t.drawn.mat ? std::fabs(t.drawn.matTilt) * setup.width / 2.0 : 0.0;
        t.groundRow = std::max(0, int(std::floor(top - tilt)));
        if (t.drawn.club) {
            // An image off the axis is stretched outwards by up to 1 / cos^2 of its angle, and
            // a long flash smears it along the flight.
            const double cosine = -t.ball0.z / t.ball0.Length();
            t.clubClearance = t.pix0.z / 2.0 / (cosine * cosine) + 1.0 + t.flashTravel / 2.0;
            const ClubHead head = PlaceClub(t.drawn, t.pix0, t.pix1, t.clubClearance);
            t.clubDrawn = true;
            t.clubPix = Xyz(head.x, head.y, 2.0 * head.extent);
        }
    }
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
    const Realism& on = setup.realism;
    const RealismDraws& drawn = truth.drawn;

    const int samples = setup.supersampling;
    const int perPixel = samples * samples;
    // A long flash is integrated over instants close enough that its smear looks smooth:
    // each sample of a pixel sees its own instant, and more than one when a pixel has few.
    const Xyz spin(setup.rifleSpin, setup.sideSpin, setup.backSpin);
    const Xyz axis = truth.spinRate > 0.0 ? Unit(spin) : Xyz(0.0, 0.0, 1.0);
    const double spinRadians = truth.spinRate * 6.0 * base::kExactDegreesToRadians;  // per s
    int poseCount = 1;
    int repeats = 1;
    if (on.blur) {
        const double turnPixels = spinRadians * drawn.flashDuration * truth.pix0.z / 2.0;
        const int needed = std::clamp(
            int(std::ceil((truth.flashTravel + turnPixels) / kPoseSpacing)), 2, kMaxPoses);
        repeats = (needed + perPixel - 1) / perPixel;
        poseCount = std::min(perPixel * repeats, kMaxPoses);
    }
    std::vector<int> firstPose(perPixel);
    const int stride = Stride(perPixel);
    for (int j = 0; j < perPixel; ++j) {
        firstPose[j] = (j * stride % perPixel) * repeats;
    }

    Exposure flashes[2];
    // Each flash's ball across the flash; one instant for a flash without duration.
    std::array<std::array<Pose, kMaxPoses>, 2> poses;
    const Xyz centres[2] = {truth.ball0, truth.ball1};
    const Xyz normals[2] = {truth.normal0, truth.normal1};
    const double sinceFirst[2] = {0.0, truth.interval};
    const Xyz velocity = truth.ball1.Minus(truth.ball0).Divided(truth.interval);
    const Turn pattern = Turn::OfQuaternion(drawn.dimpleTurn);
    const double smear = on.blur ? setup.ballSpeed * 12.0 * drawn.flashDuration / 2.0 : 0.0;
    for (int k = 0; k < 2; ++k) {
        Exposure& e = flashes[k];
        e.centre = centres[k];
        e.radius = setup.ballDiameter / 2.0;
        e.pix = Project(e.centre, setup.ballDiameter, width, height);
        e.shrink = Shrink(e.pix, setup);
        // Two pixel footprints beyond the rim catch every partly covered pixel.
        const double footprint = pitch * e.centre.Length() / focal * e.shrink;
        const double reach = e.radius + 2.0 * footprint + smear;
        e.nearRadius2 = reach * reach;
        e.gain = k == 1 && on.light ? drawn.secondFlashGain : 1.0;
        for (int i = 0; i < poseCount; ++i) {
            Pose& p = poses[k][i];
            double since = sinceFirst[k];
            p.centre = centres[k];
            p.normal = normals[k];
            if (on.blur) {
                const double dt = drawn.flashDuration * ((i + 0.5) / poseCount - 0.5);
                since += dt;
                p.centre = centres[k].Plus(velocity.Scaled(dt));
                if (truth.spinRate > 0.0) p.normal = Rotate(normals[k], axis, spinRadians * dt);
            }
            p.toBall = Turn::About(axis, -spinRadians * since);
            p.toPattern = pattern.After(p.toBall);
        }
    }
    // The strobe's level is set by the point of ball 0 nearest to it.
    const double reference = light.lightPosition.Minus(truth.ball0).Length() - flashes[0].radius;
    const double reference2 = std::max(reference * reference, 1e-12);

    std::optional<BallPrints> prints;
    Finish finish;
    if (on.prints) {
        PrintPlace logo;
        PrintPlace number;
        PlacePrints(drawn, Unit(truth.ball0.Negated()), truth.normal0, setup.ballDiameter / 2.0,
                    setup.lineWidth, logo, number);
        prints.emplace(logo, number, drawn.ballNumber, setup.ballDiameter / 2.0);
        finish.prints = &*prints;
    }
    if (on.dimples && light.ballLevel > 0.0) {
        // Their depth in levels splits between a darker floor and walls that lean enough to
        // show the same depth where the light grazes the ball.
        finish.dimples = true;
        finish.dimpleAlbedo = 0.7 * drawn.dimpleDepth / light.ballLevel;
        const double directLevel = light.ballLevel * (1.0 - light.ambient);
        finish.dimpleLean =
            directLevel > 0.0 ? 0.45 * drawn.dimpleDepth / directLevel / DimpleChord() : 0.0;
    }
    if (on.light) {
        finish.highlight = drawn.highlightLevel;
        finish.exponent = drawn.highlightExponent;
    }
    std::optional<Backdrop> backdrop;
    if (on.background) backdrop.emplace(setup, truth);

    // The strobe falls off towards the corners, drawn as a share of the light at the centre.
    std::vector<double> columnFalloff;
    std::vector<double> rowFalloff;
    if (on.light) {
        const double corner2 = width * width / 4.0 + height * height / 4.0;
        columnFalloff.resize(width);
        rowFalloff.resize(height);
        for (int c = 0; c < width; ++c) {
            columnFalloff[c] = drawn.vignetting * (c - width / 2.0) * (c - width / 2.0) / corner2;
        }
        for (int r = 0; r < height; ++r) {
            rowFalloff[r] = drawn.vignetting * (r - height / 2.0) * (r - height / 2.0) / corner2;
        }
    }

    const double step = 1.0 / samples;
    const double sigma = on.sensor ? drawn.noiseSigma : setup.noise;
    // Locals, so that the pixel stores cannot make the compiler read these again.
    const bool lit = on.light;
    const bool sensed = on.sensor;
    const Backdrop* scenery = backdrop ? &*backdrop : nullptr;
    const double flat = light.backgroundLevel;
    const double secondGain = flashes[1].gain;
    NoiseSource noise(setup.seed);
    NoiseSource rowNoise(Scramble(setup.seed ^ kRowSalt));
    std::uint8_t* pixels = frame.Pixels();
    for (int row = 0; row < height; ++row) {
        const double rowOffset = sensed ? drawn.rowSigma * rowNoise.Gaussian() : 0.0;
        for (int column = 0; column < width; ++column) {
            bool near = false;
            for (const Exposure& e : flashes) {
                const Xyz ray = e.Ray(column, row, setup, pitch);
                const double rayLength2 = ray.Dot(ray);
                const double along = ray.Dot(e.centre);
                const double miss2 = e.centre.Dot(e.centre) - along * along / rayLength2;
                near = near || miss2 < e.nearRadius2;
            }
            const double scene = scenery ? scenery->Level(column, row) : flat;
            double level = lit ? scene / 2.0 + secondGain * (scene / 2.0) : scene;
            if (near) {
                // Each flash shows its own exposure of the ball over half the background.
                const double half = scene / 2.0;
                double sum = 0.0;
                for (int sy = 0; sy < samples; ++sy) {
                    for (int sx = 0; sx < samples; ++sx) {
                        const double x = column - 0.5 + (sx + 0.5) * step;
                        const double y = row - 0.5 + (sy + 0.5) * step;
                        const Xyz ray0 = flashes[0].Ray(x, y, setup, pitch);
                        const Xyz ray1 = flashes[1].Ray(x, y, setup, pitch);
                        const int first = firstPose[sy * samples + sx];
                        for (int r = 0; r < repeats; ++r) {
                            int pose = first + r;
                            if (pose >= poseCount) pose %= poseCount;
                            sum += flashes[0].Radiance(ray0, poses[0][pose], setup, reference2,
                                                       half, finish) +
                                   secondGain * flashes[1].Radiance(ray1, poses[1][pose], setup,
                                                                    reference2, half, finish);
                        }
                    }
                }
                level = sum / (samples * samples * repeats);
            }
            if (lit) level *= 1.0 - (columnFalloff[column] + rowFalloff[row]);
            level += sigma > 0.0 ? sigma * noise.Gaussian() : 0.0;
            if (sensed) level += rowOffset;
            pixels[std::size_t(row) * width + column] =
                std::uint8_t(std::clamp(std::floor(level + 0.5), 0.0, 255.0));
        }
    }
    if (on.sensor) {
        for (int i = 0; i < drawn.hotPixelCount; ++i) {
            const HotPixel& h = drawn.hotPixels[i];
            std::uint8_t& p = pixels[std::size_t(h.row) * width + h.column];
            p = std::uint8_t(std::min(255.0, p + std::floor(h.level + 0.5)));
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
