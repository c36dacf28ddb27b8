// Reference solution of one bending plane of a single pile, for accuracy tests: an
// Euler-Bernoulli beam, free-standing above the ground line and on springs k = c*d below it
// (d = depth below the ground line, c per layer), head displaced or rotated by a unit amount,
// tip free or fixed. Fine mesh of cubic Hermite elements (spring integrated exactly), long double
// banded LDL^T, Richardson extrapolation over the mesh and the mesh halved.
// State at a point: (u, theta = u', Q = EI u''', M = -EI u''). Shares no code with the program.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <vector>

namespace kelmarino::reference {

struct Segment {
  double length;
  double EI;
  double c;  // spring coefficient, force/length^3; 0 above ground
};

struct PilePlane {
  std::vector<Segment> above;  // head downwards
  std::vector<Segment> below;  // ground line downwards
  bool fixed_tip = false;
};

struct State {
  double u, theta, Q, M;
};

struct Response {
  double K[2][2];                 // head (Q, M) = K * head (u, theta)
  std::vector<State> unit_u;      // head u = 1, theta = 0
  std::vector<State> unit_theta;  // head u = 0, theta = 1
};

namespace detail {

using real = long double;
using Vec4 = std::array<real, 4>;

struct Element {
  real top, h, EI, c, d0;  // d0: depth below ground at the top
};

// Element stiffness, dofs (u1, theta1, u2, theta2): bending plus the spring c*(d0 + t).
inline std::array<Vec4, 4> element_matrix(const Element& e) {
  const real h = e.h, a = e.EI / (h * h * h), b = a * h, g = b * h;
  std::array<Vec4, 4> k{{{12 * a, 6 * b, -12 * a, 6 * b},
                         {6 * b, 4 * g, -6 * b, 2 * g},
                         {-12 * a, -6 * b, 12 * a, -6 * b},
                         {6 * b, 2 * g, -6 * b, 4 * g}}};
  // 4-point Gauss-Legendre on [0, 1]: exact for cubic x cubic x linear.
  static constexpr real x[4] = {
      0.0694318442029737123880267555535953L, 0.3300094782075718675986671204483777L,
      0.6699905217924281324013328795516223L, 0.9305681557970262876119732444464048L};
  static constexpr real w[4] = {
      0.1739274225687269286865319746109997L, 0.3260725774312730713134680253890003L,
      0.3260725774312730713134680253890003L, 0.1739274225687269286865319746109997L};
  for (int p = 0; p < 4 && e.c > 0; ++p) {
    const real s = x[p], s2 = s * s, s3 = s2 * s;
    const Vec4 n = {1 - 3 * s2 + 2 * s3, h * (s - 2 * s2 + s3), 3 * s2 - 2 * s3, h * (s3 - s2)};
    const real wk = w[p] * h * e.c * (e.d0 + s * h);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) k[i][j] += wk * n[i] * n[j];
  }
  return k;
}

struct Solution {
  real K[2][2];
  std::vector<Vec4> unit_u, unit_theta;
};

// One mesh: joints and stations are nodes, intervals cut into elements with beta*h <= eps, beta
// taken at the interval's deepest point (one element without soil, where the cubic is exact),
// then each element split into `refine` equal elements. Stations a few millimetres apart would
// lose digits to rounding in the bending terms; the tests keep theirs 5 cm apart or more.
inline Solution solve_mesh(const PilePlane& pile, const std::vector<double>& stations, real eps,
                           std::size_t refine) {
  struct Piece {
    real bottom, EI, c, ground;
  };
  std::vector<Piece> pieces;
  std::vector<real> nodes{0};
  real z = 0;
  for (const Segment& s : pile.above) pieces.push_back({z += s.length, s.EI, 0, 0});
  const real ground = z;
  for (const Segment& s : pile.below) pieces.push_back({z += s.length, s.EI, s.c, ground});
  const real total = z;
  for (const Piece& p : pieces) nodes.push_back(p.bottom);
  for (double s : stations) nodes.push_back(s);
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end(), [](real x, real y) { return y - x < 1e-9L; }),
              nodes.end());

  std::vector<Element> elems;
  for (std::size_t i = 1, p = 0; i < nodes.size(); ++i) {
    const real a = nodes[i - 1], b = nodes[i];
    while (pieces[p].bottom < (a + b) / 2) ++p;
    const Piece& pc = pieces[p];
    const real beta = std::pow(pc.c * (b - pc.ground) / (4 * pc.EI), 0.25L);
    const auto n = static_cast<std::size_t>(std::ceil((b - a) * beta / eps));
    const std::size_t m = refine * std::max<std::size_t>(1, n);
    for (std::size_t q = 0; q < m; ++q) {
      const real t = a + (b - a) * static_cast<real>(q) / static_cast<real>(m);
      elems.push_back({t, (b - a) / static_cast<real>(m), pc.EI, pc.c, t - pc.ground});
    }
  }

  // Banded matrix A[i][j] = K(i, i + j), j = 0..3; head dofs 0, 1 prescribed, tip dofs held for a
  // fixed tip; right-hand sides from the unit head motions; LDL^T in place.
  const std::size_t nd = 2 * (elems.size() + 1), lo = 2, hi = pile.fixed_tip ? nd - 2 : nd;
  std::vector<Vec4> A(nd, Vec4{});
  for (std::size_t e = 0; e < elems.size(); ++e) {
    const auto k = element_matrix(elems[e]);
    for (int r = 0; r < 4; ++r)
      for (int c = r; c < 4; ++c) A[2 * e + r][c - r] += k[r][c];
  }
  std::vector<real> d[2];
  for (std::size_t p = 0; p < 2; ++p) {
    d[p].assign(nd, 0);
    d[p][p] = 1;
    for (std::size_t i = lo; i < hi && i <= p + 3; ++i) d[p][i] = -A[p][i - p];
  }
  for (std::size_t i = lo; i < hi; ++i) {
    for (std::size_t r = 1; r < 4 && i + r < hi; ++r)
      for (std::size_t c = r; c < 4 && i + c < hi; ++c)
        A[i + r][c - r] -= A[i][r] * A[i][c] / A[i][0];
    for (std::size_t r = 1; r < 4; ++r) A[i][r] /= A[i][0];
  }
  for (auto& x : d) {
    for (std::size_t i = lo; i < hi; ++i) {
      for (std::size_t r = 1; r < 4 && i + r < hi; ++r) x[i + r] -= A[i][r] * x[i];
      x[i] /= A[i][0];
    }
    for (std::size_t i = hi; i-- > lo;)
      for (std::size_t r = 1; r < 4 && i + r < hi; ++r) x[i] -= A[i][r] * x[i + r];
  }

  // State at the node z: Q and M from the end forces f = K_e d_e of the element below it (at the
  // tip, of the last element, at its bottom end).
  auto state = [&](const std::vector<real>& x, real zs) {
    std::size_t e = 0;
    while (e + 1 < elems.size() && elems[e + 1].top <= zs + 1e-9L) ++e;
    const auto k = element_matrix(elems[e]);
    Vec4 f{};
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) f[r] += k[r][c] * x[2 * e + c];
    if (zs >= total - 1e-9L) return Vec4{x[2 * e + 2], x[2 * e + 3], -f[2], -f[3]};  // the tip
    return Vec4{x[2 * e], x[2 * e + 1], f[0], f[1]};
  };
  Solution out;
  for (std::size_t p = 0; p < 2; ++p) {
    const Vec4 head = state(d[p], 0);
    out.K[0][p] = head[2];
    out.K[1][p] = head[3];
  }
  for (double s : stations) {
    out.unit_u.push_back(state(d[0], s));
    out.unit_theta.push_back(state(d[1], s));
  }
  return out;
}

}  // namespace detail

// stations: distances from the head, ascending, within [0, total length].
inline Response solve(const PilePlane& pile, const std::vector<double>& stations) {
  double total = 0;
  for (const auto* list : {&pile.above, &pile.below})
    for (const Segment& s : *list) {
      if (!(s.length > 0 && s.EI > 0 && s.c >= 0)) throw std::invalid_argument("bad segment");
      total += s.length;
    }
  if (total <= 0) throw std::invalid_argument("empty pile");
  if (!std::is_sorted(stations.begin(), stations.end()) ||
      (!stations.empty() && !(stations.front() >= 0 && stations.back() <= total * (1 + 1e-12))))
    throw std::invalid_argument("stations must ascend within the pile");

  // Nodal error falls as h^4: extrapolate from beta*h <= 0.04 and the same mesh halved. Finer
  // meshes gain nothing; the bending terms then lose digits to rounding.
  const detail::Solution a = detail::solve_mesh(pile, stations, 0.04L, 1);
  const detail::Solution b = detail::solve_mesh(pile, stations, 0.04L, 2);
  auto rich = [](detail::real x, detail::real y) { return static_cast<double>((16 * y - x) / 15); };
  auto rich4 = [&](const detail::Vec4& x, const detail::Vec4& y) {
    return State{rich(x[0], y[0]), rich(x[1], y[1]), rich(x[2], y[2]), rich(x[3], y[3])};
  };
  Response r;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) r.K[i][j] = rich(a.K[i][j], b.K[i][j]);
  for (std::size_t s = 0; s < stations.size(); ++s) {
    r.unit_u.push_back(rich4(a.unit_u[s], b.unit_u[s]));
    r.unit_theta.push_back(rich4(a.unit_theta[s], b.unit_theta[s]));
  }
  return r;
}

}  // namespace kelmarino::reference
