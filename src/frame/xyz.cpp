#include "frame/xyz.h"

#include <cmath>

namespace kyvern::frame {

namespace {
constexpr double kTiny = 0.0001;
}

Xyz& Xyz::Set(double a, double b, double c) {
    x = a;
    y = b;
    z = c;
    return *this;
}

Xyz& Xyz::Zero() { return Set(0.0, 0.0, 0.0); }

double Xyz::Length() const { return std::sqrt(x * x + y * y + z * z); }

Xyz& Xyz::Normalize() {
    double length = Length();
    if (length < kTiny) length = 1.0;  // a near-zero triple keeps its length
    x /= length;
    y /= length;
    z /= length;
    if (std::fabs(x) < kTiny) x = 0.0;
    if (std::fabs(y) < kTiny) y = 0.0;
    if (std::fabs(z) < kTiny) z = 0.0;
    return *this;
}

Xyz& Xyz::Negate() { return Set(-x, -y, -z); }
Xyz& Xyz::Add(double a, double b, double c) { return Set(x + a, y + b, z + c); }
Xyz& Xyz::Subtract(double a, double b, double c) { return Set(x - a, y - b, z - c); }
Xyz& Xyz::Scale(double s) { return Set(x * s, y * s, z * s); }
Xyz& Xyz::Divide(double s) { return Set(x / s, y / s, z / s); }

Xyz Xyz::Negated() const { return {-x, -y, -z}; }
double Xyz::Dot(double a, double b, double c) const { return a * x + b * y + c * z; }
Xyz Xyz::Scaled(double s) const { return {s * x, s * y, s * z}; }
Xyz Xyz::Plus(double a, double b, double c) const { return {x + a, y + b, z + c}; }
Xyz Xyz::Minus(double a, double b, double c) const { return {x - a, y - b, z - c}; }
Xyz Xyz::Cross(double a, double b, double c) const {
    return {y * c - z * b, z * a - x * c, x * b - y * a};
}
Xyz Xyz::Divided(double s) const { return {x / s, y / s, z / s}; }

double IntegerPower(double value, int n) {
    // Work with the magnitude as unsigned so that the most negative int is safe.
    unsigned int e = n < 0 ? 0u - static_cast<unsigned int>(n) : static_cast<unsigned int>(n);
    double result = 1.0;
    double base = value;
    while (e != 0) {
        if (e & 1u) result *= base;
        base *= base;
        e >>= 1u;
    }
    return n < 0 ? 1.0 / result : result;
}

}  // namespace kyvern::frame
