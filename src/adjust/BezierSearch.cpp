#include "adjust/BezierSearch.h"

namespace zelvo {

namespace {
double Cubic(const std::array<double, 4>& v, double t) {
    const double u = 1 - t;
    return u * u * u * v[0] + 3 * u * u * t * v[1] + 3 * u * t * t * v[2] + t * t * t * v[3];
}
}  // namespace

double Bezier::X(double t) const {
    return Cubic(x, t);
}
double Bezier::Y(double t) const {
    return Cubic(y, t);
}

}  // namespace zelvo
