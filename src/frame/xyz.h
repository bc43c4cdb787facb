#pragma once

namespace kyvern::frame {

// Three doubles: a point, a direction or a (centre x, centre y, diameter) pixel triple.
// In-place operations change the triple and return it; copying ones leave it unchanged.
struct Xyz {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    Xyz() = default;
    Xyz(double xValue, double yValue, double zValue) : x(xValue), y(yValue), z(zValue) {}

    Xyz& Set(double a, double b, double c);
    Xyz& Zero();
    double Length() const;
    // Divides by the length (by 1 when the length is below 0.0001), then floors every
    // component whose magnitude is below 0.0001 to exactly 0.
    Xyz& Normalize();
    Xyz& Negate();
    Xyz& Add(double a, double b, double c);
    Xyz& Add(const Xyz& o) { return Add(o.x, o.y, o.z); }
    Xyz& Subtract(double a, double b, double c);
    Xyz& Subtract(const Xyz& o) { return Subtract(o.x, o.y, o.z); }
    Xyz& Scale(double s);
    Xyz& Divide(double s);

    Xyz Negated() const;
    double Dot(double a, double b, double c) const;
    double Dot(const Xyz& o) const { return Dot(o.x, o.y, o.z); }
    Xyz Scaled(double s) const;
    Xyz Plus(double a, double b, double c) const;
    Xyz Plus(const Xyz& o) const { return Plus(o.x, o.y, o.z); }
    Xyz Minus(double a, double b, double c) const;
    Xyz Minus(const Xyz& o) const { return Minus(o.x, o.y, o.z); }
    Xyz Cross(double a, double b, double c) const;
    Xyz Cross(const Xyz& o) const { return Cross(o.x, o.y, o.z); }
    Xyz Divided(double s) const;

    bool operator==(const Xyz&) const = default;
};

// value^n by repeated squaring; a negative n gives 1 / value^|n|.
double IntegerPower(double value, int n);

}  // namespace kyvern::frame
