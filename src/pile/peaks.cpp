// The true peaks of a pile: the largest displacement, shear, moment and soil stress of each
// bending plane, taken from the exact solution between the stations and not only at them.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "pile/pile.hpp"

namespace kelmarino {
namespace {

// The state of a plane: u, theta, Q, M.
struct State {
  double v[4] = {};
};

// The kinds of a plane's peaks, in the order of their quantities in PLANE_PEAKS.
enum Kind : int32_t { DISPLACEMENT, SHEAR, MOMENT, SOIL, KINDS };

// The quantity of each kind in the x-z and the y-z plane, and the sign that turns a plane's
// value into it (the y-z plane carries -MX).
const double PLANE_SIGNS[2][KINDS] = {{1.0, 1.0, 1.0, 1.0}, {1.0, 1.0, -1.0, 1.0}};

// The most steps taken to find the place of a bracketed peak.
constexpr int32_t ROOT_STEPS = 60;

State unit_sum(const std::array<double, 8>& r, double u0, double theta0) {
  State s;
  for (size_t i = 0; i < 4; ++i) s.v[i] = u0 * r[i] + theta0 * r[4 + i];
  return s;
}

// The state at distance t below the top of a piece in soil, from the state at its top: the
// power series of soil_transfer for this one state. With b(n) = a(n).t^n, u = sum of a(n).t^n
// and a(0..3) = u, theta, -M/(2EI), Q/(6EI) at the top, b(n) = -(p.b(n - 4) + q.b(n - 5)) /
// ((n - 3)(n - 2)(n - 1)n); the sums of b(n), n.b(n), n(n - 1).b(n) and n(n - 1)(n - 2).b(n) are
// u and t, t^2 and t^3 times its first three derivatives at depth t.
State soil_state(const PlanePiece& piece, const State& top, double t) {
  const double EI = piece.EI;
  const double a5t4 = piece.alpha5 * t * t * t * t;
  const double p = a5t4 * piece.depth;
  const double q = a5t4 * t;
  double b[8] = {top.v[0], top.v[1] * t, -top.v[3] * t * t / (2.0 * EI),
                 top.v[2] * t * t * t / (6.0 * EI)};
  double sum[4] = {};
  double largest = 0.0;
  int32_t quiet = 0;  // consecutive terms too small to change any sum
  for (int32_t n = 0; n < 400 && quiet < 5; ++n) {
    const double m = n;
    double& term = b[n & 7];
    if (n >= 4) {
      term = -(p * b[(n - 4) & 7] + q * b[(n - 5) & 7]) / ((m - 3.0) * (m - 2.0) * (m - 1.0) * m);
    }
    const double weights[4] = {1.0, m, m * (m - 1.0), m * (m - 1.0) * (m - 2.0)};
    for (int32_t j = 0; j < 4; ++j) sum[j] += weights[j] * term;
    largest = std::max(largest, std::fabs(term));
    quiet = n >= 4 && std::fabs(term) * weights[3] <= 1e-18 * largest ? quiet + 1 : 0;
  }
  return {{sum[0], sum[1] / t, EI * sum[3] / (t * t * t), -EI * sum[2] / (t * t)}};
}

// The state at distance t below the top of a piece, from the state at its top.
State state_at(const PlanePiece& piece, const State& top, double t) {
  if (t == 0.0) return top;
  if (piece.alpha > 0.0) return soil_state(piece, top, t);
  Matrix4d T;
  free_length_transfer(piece.EI, t, T);
  State s;
  for (int32_t i = 0; i < 4; ++i) {
    for (int32_t j = 0; j < 4; ++j) s.v[i] += T(i + 1, j + 1) * top.v[j];
  }
  return s;
}

// A point of a piece: t below its top, with its state.
struct Point {
  double t = 0.0;
  State s;
};

// The value of a kind at a point of a piece in soil of coefficient m (0 above the ground line).
double value_of(Kind kind, const PlanePiece& piece, double m, const Point& p) {
  switch (kind) {
    case DISPLACEMENT:
      return p.s.v[0];
    case SHEAR:
      return p.s.v[2];
    case MOMENT:
      return p.s.v[3];
    default:
      return m * p.s.v[0] * (piece.depth + p.t);
  }
}

// Its derivative along the pile, or a value of the same sign.
double slope_of(Kind kind, const PlanePiece& piece, double m, const Point& p) {
  const double z = piece.depth + p.t;
  switch (kind) {
    case DISPLACEMENT:
      return p.s.v[1];
    case SHEAR:  // Q' = -alpha^5.EI.z.u
      return piece.alpha > 0.0 ? -z * p.s.v[0] : 0.0;
    case MOMENT:
      return -p.s.v[2];
    default:
      return m * (p.s.v[0] + z * p.s.v[1]);
  }
}

// The largest absolute value of one kind in one plane so far.
struct Largest {
  double value = 0.0;
  double Z = 0.0;
  int32_t step = 0;
  // Values equal but for rounding (a shear constant along a free length) keep the first found,
  // the highest of the ends of the pieces.
  void take(double v, double Z_at, int32_t step_at) {
    if (std::fabs(v) > std::fabs(value) * (1.0 + 1e-12)) *this = {v, Z_at, step_at};
  }
};

// The point between a and b where the derivative of a kind changes sign, by regula falsi with the
// Illinois halving of the kept end's slope, until the bracket is 1e-9 of the piece or the slope
// vanishes.
Point turning_point(Kind kind, const PlanePiece& piece, double m, const State& top, Point a,
                    Point b) {
  double fa = slope_of(kind, piece, m, a);
  double fb = slope_of(kind, piece, m, b);
  int32_t kept = 0;  // the end kept by the last step: -1 a, 1 b
  for (int32_t i = 0; i < ROOT_STEPS && b.t - a.t > 1e-9 * piece.h; ++i) {
    Point c;
    c.t = (a.t * fb - b.t * fa) / (fb - fa);
    if (!(c.t > a.t && c.t < b.t)) c.t = 0.5 * (a.t + b.t);
    c.s = state_at(piece, top, c.t);
    const double fc = slope_of(kind, piece, m, c);
    if (fc == 0.0) return c;
    if ((fc > 0.0) == (fa > 0.0)) {
      a = c;
      fa = fc;
      if (kept == 1) fb *= 0.5;
      kept = 1;
    } else {
      b = c;
      fb = fc;
      if (kept == -1) fa *= 0.5;
      kept = -1;
    }
  }
  return std::fabs(value_of(kind, piece, m, a)) >= std::fabs(value_of(kind, piece, m, b)) ? a : b;
}

// The largest of each kind in one plane.
struct PlanePeaks {
  Largest of[KINDS];
};

// The places inside a free length where theta = theta0 - M0.t/EI + Q0.t^2/(2EI) vanishes: the
// displacement's turning points (its moment is linear and its shear constant, so they turn only
// at its ends). Returns their count.
int32_t free_turning_points(const PlanePiece& piece, const State& top, double (&t)[2]) {
  const double a = top.v[2] / (2.0 * piece.EI);
  const double b = -top.v[3] / piece.EI;
  const double c = top.v[1];
  double roots[2];
  int32_t n = 0;
  if (a == 0.0) {
    if (b != 0.0) roots[n++] = -c / b;
  } else {
    const double d = b * b - 4.0 * a * c;
    if (d >= 0.0) {
      const double s = -0.5 * (b + std::copysign(std::sqrt(d), b));  // without cancellation
      if (s != 0.0) roots[n++] = c / s;
      roots[n++] = s / a;
    }
  }
  int32_t inside = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (roots[i] > 0.0 && roots[i] < piece.h) t[inside++] = roots[i];
  }
  return inside;
}

// Bounds of |u|, |Q|, |M| and the soil stress along a piece in soil, from the state at its top:
// with U, T, M and Q the largest |u|, |theta|, |M| and |Q| along it and c = alpha^5.(z + h) at
// its foot, U <= |u0| + h.T, T <= |theta0| + h.M/EI, M <= |M0| + h.Q and Q <= |Q0| + h.c.EI.U,
// which close when h^4.c < 1. No bound (infinity) otherwise.
std::array<double, KINDS> piece_bounds(const PlanePiece& piece, double m, const State& top) {
  constexpr double NONE = std::numeric_limits<double>::infinity();
  const double h = piece.h, EI = piece.EI;
  const double c = piece.alpha5 * (piece.depth + h);
  const double closing = 1.0 - h * h * h * h * c;
  if (!(closing > 0.0)) return {NONE, NONE, NONE, NONE};
  const double u0 = std::fabs(top.v[0]), theta0 = std::fabs(top.v[1]);
  const double Q0 = std::fabs(top.v[2]), M0 = std::fabs(top.v[3]);
  const double U = (u0 + h * theta0 + h * h * M0 / EI + h * h * h * Q0 / EI) / closing;
  const double Q = Q0 + h * c * EI * U;
  return {U, Q, M0 + h * Q, m * U * (piece.depth + h)};
}

// The parts a piece in soil is searched in: a derivative may turn twice within a piece.
constexpr int32_t PARTS = 4;

// The end of a part, moved into it by a thousandth of the part where the derivative of a kind is
// 0 there (the shear's at the ground line; the moment's at a free tip, where Q = 0; at a held
// tip, where u = theta = 0, those of the displacement, the shear and the soil stress): its sign
// just inside decides whether the part holds a peak. The value that the move passes over differs
// from the end's, which is taken, by next to nothing.
Point inside_end(Kind kind, const PlanePiece& piece, double m, const State& top, const Point& end,
                 const Point& other) {
  if (slope_of(kind, piece, m, end) != 0.0) return end;
  const double t = end.t + 1e-3 * (other.t - end.t);
  return {t, state_at(piece, top, t)};
}

// The peaks inside a piece in soil, from the state at its top: of each kind whose bound along the
// piece reaches the largest found, at every sign change of its derivative within a part.
void search_soil_piece(const PlanePiece& piece, double m, const State& top, const Point& a,
                       const Point& b, PlanePeaks& peaks) {
  const std::array<double, KINDS> bounds = piece_bounds(piece, m, top);
  Point at[PARTS + 1] = {a};
  bool sampled = false;
  for (int32_t k = 0; k < KINDS; ++k) {
    const auto kind = static_cast<Kind>(k);
    if (bounds[static_cast<size_t>(k)] * (1.0 + 1e-9) < std::fabs(peaks.of[k].value)) continue;
    for (int32_t j = 1; !sampled && j <= PARTS; ++j) {
      const double t = piece.h * j / PARTS;
      at[j] = j == PARTS ? b : Point{t, state_at(piece, top, t)};
    }
    sampled = true;
    for (int32_t j = 1; j < PARTS; ++j) {  // a turning point exactly at a part's end, taken there
      if (slope_of(kind, piece, m, at[j]) != 0.0) continue;
      peaks.of[k].take(value_of(kind, piece, m, at[j]), piece.Z + at[j].t, piece.step);
    }
    for (int32_t j = 0; j < PARTS; ++j) {
      const Point low = inside_end(kind, piece, m, top, at[j], at[j + 1]);
      const Point high = inside_end(kind, piece, m, top, at[j + 1], at[j]);
      if (slope_of(kind, piece, m, low) * slope_of(kind, piece, m, high) < 0.0) {
        const Point p = turning_point(kind, piece, m, top, low, high);
        peaks.of[k].take(value_of(kind, piece, m, p), piece.Z + p.t, piece.step);
      }
    }
  }
}

// The peaks of one plane under a head (u0, theta0): every kind at the ends of every piece and, in
// the soil, at every sign change of its derivative inside a part of one; in a free length the
// displacement at its turning points. The ends are taken first, so that a piece whose bound is
// below the largest value found is not searched.
PlanePeaks plane_peaks(const PlaneResponse& r, const Station* stations, double u0, double theta0) {
  PlanePeaks peaks;
  const size_t count = r.pieces.size();
  auto top_of = [&](size_t i) {
    return unit_sum(i < count ? r.pieces[i].top : r.at.back(), u0, theta0);
  };
  auto soil_m = [&](const PlanePiece& piece) {
    const Station& station = stations[piece.step + 1];  // the station that ends its step
    return station.below ? static_cast<double>(station.PMT) : 0.0;
  };
  State bottom = count > 0 ? top_of(0) : State{};
  for (size_t i = 0; i < count; ++i) {
    const PlanePiece& piece = r.pieces[i];
    const double m = soil_m(piece);
    const Point a{0.0, bottom};
    bottom = top_of(i + 1);
    const Point b{piece.h, bottom};
    for (int32_t k = 0; k < KINDS; ++k) {
      const auto kind = static_cast<Kind>(k);
      peaks.of[k].take(value_of(kind, piece, m, a), piece.Z, piece.step);
      peaks.of[k].take(value_of(kind, piece, m, b), piece.Z + piece.h, piece.step);
    }
  }
  bottom = count > 0 ? top_of(0) : State{};
  for (size_t i = 0; i < count; ++i) {
    const PlanePiece& piece = r.pieces[i];
    const double m = soil_m(piece);
    const State top = bottom;
    bottom = top_of(i + 1);
    const Point a{0.0, top};
    const Point b{piece.h, bottom};
    if (piece.alpha > 0.0) {
      search_soil_piece(piece, m, top, a, b, peaks);
      continue;
    }
    double t[2];
    const int32_t n = free_turning_points(piece, top, t);
    for (int32_t j = 0; j < n; ++j) {
      const Point p{t[j], state_at(piece, top, t[j])};
      peaks.of[DISPLACEMENT].take(p.s.v[0], piece.Z + p.t, piece.step);
    }
  }
  return peaks;
}

// The peaks of one plane raised to its station values where one is beyond: the head's shear and
// moment (the head stiffness's products) and the soil stress (PMT.u.z2) are formed in single
// precision, and may round beyond the peak found at the same place.
void at_least_the_stations(const PlaneResponse& r, int32_t plane, const Station* stations,
                           const float (&DU)[6], const float (&FT)[6], PilePeaks& pile) {
  float top[2][6][1];
  for (int32_t i = 0; i < 6; ++i) {
    top[0][i][0] = DU[i];
    top[1][i][0] = FT[i];
  }
  for (int32_t k = 1; k <= static_cast<int32_t>(r.at.size()); ++k) {
    const Station& s = stations[k - 1];
    float q[QUANTITIES][1];
    station_values(r, r, k, s, top[0], top[1], q);  // the quantities of this plane are r's
    for (const StationQuantity quantity : PLANE_PEAKS[plane]) {
      Peak& peak = pile.of[quantity];
      const float value = q[quantity][0];
      if (std::fabs(value) > std::fabs(peak.value)) peak = {value, s.ZH, std::max(k - 2, 0)};
    }
  }
}

Peak peak_of(const Largest& l, double sign) {
  // + 0.0 makes a zero positive whatever its sign.
  return {static_cast<float>(sign * l.value + 0.0), static_cast<float>(l.Z), l.step};
}

}  // namespace

void plane_true_peaks(const PlaneResponse& r, int32_t plane, const Station* stations,
                      const float (&DU)[6], const float (&FT)[6], PilePeaks& pile) {
  // The x-z plane's head is (UX, SY), the y-z plane's (UY, -SX).
  const double u0 = static_cast<double>(DU[plane == 0 ? 0 : 1]);
  const double theta0 = plane == 0 ? static_cast<double>(DU[4]) : -static_cast<double>(DU[3]);
  const PlanePeaks peaks = plane_peaks(r, stations, u0, theta0);
  for (int32_t k = 0; k < KINDS; ++k) {
    pile.of[PLANE_PEAKS[plane][k]] = peak_of(peaks.of[k], PLANE_SIGNS[plane][k]);
  }
  at_least_the_stations(r, plane, stations, DU, FT, pile);
}

PilePeaks pile_peaks(const PlaneResponse& x, const PlaneResponse& y, const Station* stations,
                     const float (&DU)[6], const float (&FT)[6]) {
  PilePeaks pile;
  plane_true_peaks(x, 0, stations, DU, FT, pile);
  plane_true_peaks(y, 1, stations, DU, FT, pile);
  return pile;
}

}  // namespace kelmarino
