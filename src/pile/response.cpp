// The solution of one bending plane of a pile: a beam on soil springs that grow with the depth,
// from the head to the real tip. The plane is cut into short lengths whose transfer matrices are
// summed power series. The relation (Q, M) = Z.(u, theta) that the tip condition leaves is carried
// up from the tip (it follows the solutions that decay with depth, so no error grows on the way),
// and the states of a unit head displacement and a unit head rotation are then carried down with
// it: each state is formed anew from Z, so no growing solution can enter.
#include <algorithm>
#include <bit>
#include <cmath>
#include <map>

#include "pile/pile.hpp"

namespace kelmarino {
namespace {

// One bending plane of a pile as its solution takes it: the steps from the head to the tip, each
// ending in a station.
struct PlaneSteps {
  struct Step {
    double h = 0.0;      // length (m)
    double EI = 0.0;     // bending stiffness (t*m2)
    double alpha = 0.0;  // deformation factor (1/m); 0 above the ground line
    double depth = 0.0;  // depth of the step's top below the ground line (m)
  };
  bool held_tip = false;  // KSU = 4: the tip cannot move or turn; otherwise Q = M = 0 there
  int32_t count = 0;
  Step steps[MAX_STATIONS + 2 * MAX_SEGMENTS];
};

// A segment of a plane as its values are read: cut into n equal steps, in soil when below.
struct PlaneSegment {
  float h = 0.0f;
  float EI = 0.0f;
  float alpha = 0.0f;
  int32_t n = 1;
  bool below = false;
};

// A 2x2 block of a transfer matrix or an impedance: {{a11, a12}, {a21, a22}}.
struct Block {
  double a[2][2] = {};
};

Block block(const Matrix4d& T, int32_t r, int32_t c) {
  Block b;
  for (int32_t i = 0; i < 2; ++i) {
    for (int32_t j = 0; j < 2; ++j) b.a[i][j] = T(r + i, c + j);
  }
  return b;
}

Block operator*(const Block& x, const Block& y) {
  Block p;
  for (int32_t i = 0; i < 2; ++i) {
    for (int32_t j = 0; j < 2; ++j) p.a[i][j] = x.a[i][0] * y.a[0][j] + x.a[i][1] * y.a[1][j];
  }
  return p;
}

Block operator-(const Block& x, const Block& y) {
  Block d;
  for (int32_t i = 0; i < 2; ++i) {
    for (int32_t j = 0; j < 2; ++j) d.a[i][j] = x.a[i][j] - y.a[i][j];
  }
  return d;
}

Block inverse(const Block& x) {
  const double det = x.a[0][0] * x.a[1][1] - x.a[0][1] * x.a[1][0];
  Block v;
  v.a[0][0] = x.a[1][1] / det;
  v.a[0][1] = -x.a[0][1] / det;
  v.a[1][0] = -x.a[1][0] / det;
  v.a[1][1] = x.a[0][0] / det;
  return v;
}

struct Pair {
  double v[2] = {};
};

Pair operator*(const Block& x, const Pair& y) {
  return {{x.a[0][0] * y.v[0] + x.a[0][1] * y.v[1], x.a[1][0] * y.v[0] + x.a[1][1] * y.v[1]}};
}

Pair operator+(const Pair& x, const Pair& y) { return {{x.v[0] + y.v[0], x.v[1] + y.v[1]}}; }

// A short length of the plane, with its transfer matrix.
struct Piece {
  Matrix4d T;
  bool station_end = false;  // its lower end is a station
  bool has_length = false;
  PlanePiece where;  // its place, its values and, once carried down, its top states
};

// The impedance at the upper end of a piece: Z, or the held tip itself (u = theta = 0), whose
// impedance is infinite.
struct Impedance {
  Block Z;
  bool held = false;
};

// The number of pieces of a below-ground step: each short enough for its series, so that
// alpha.h.(alpha.z)^0.25 stays at or below 1, z the depth of its lower end.
int32_t pieces_of(const PlaneSteps::Step& step) {
  const double reduced = step.alpha * step.h;
  const double deepest = std::max(1.0, step.alpha * (step.depth + step.h));
  const double count = std::ceil(reduced * std::sqrt(std::sqrt(deepest)));
  return count >= 1.0 ? static_cast<int32_t>(std::min(count, 4096.0)) : 1;
}

// The transfer matrices of the pieces in soil already summed in a run, by the bits of their alpha,
// EI, top depth and length: the planes of piles that differ only lower down share their upper
// pieces. Kept to a bounded number of pieces; beyond it a piece is summed anew.
class SoilPieces {
 public:
  const Matrix4d& transfer(double alpha, double EI, double d, double h) {
    const Key key = {bits(alpha), bits(EI), bits(d), bits(h)};
    const auto found = known_.lower_bound(key);
    if (found != known_.end() && found->first == key) return found->second;
    soil_transfer(alpha, EI, d, h, fresh_);
    if (known_.size() >= max_kept) return fresh_;
    return known_.emplace_hint(found, key, fresh_)->second;
  }

 private:
  using Key = std::array<uint64_t, 4>;
  static constexpr size_t max_kept = 16384;
  static uint64_t bits(double value) { return std::bit_cast<uint64_t>(value); }
  std::map<Key, Matrix4d> known_;
  Matrix4d fresh_;
};

void cut_into_pieces(const PlaneSteps& plane, SoilPieces& soil, std::vector<Piece>& pieces) {
  pieces.clear();
  double Z = 0.0;
  for (int32_t s = 0; s < plane.count; ++s) {
    const PlaneSteps::Step& step = plane.steps[s];
    const int32_t n = step.alpha > 0.0 ? pieces_of(step) : 1;
    const double h = step.h / n;
    for (int32_t i = 0; i < n; ++i) {
      Piece piece;
      if (step.alpha > 0.0) {
        piece.T = soil.transfer(step.alpha, step.EI, step.depth + h * i, h);
      } else {
        free_length_transfer(step.EI, h, piece.T);
      }
      piece.has_length = h > 0.0;
      piece.station_end = i == n - 1;
      piece.where = {Z + h * i,          h, step.EI, step.alpha,
                     step.depth + h * i, s, {},      std::pow(step.alpha, 5.0)};
      pieces.push_back(piece);
    }
    Z += step.h;
  }
}

// The impedance at the upper end of a piece from the one at its lower end: the lower state is
// (u, theta) = T11.w + T12.f, (Q, M) = T21.w + T22.f, and (Q, M) = Z.(u, theta) there.
Impedance carried_up(const Piece& piece, const Impedance& lower) {
  if (!piece.has_length) return lower;
  const Block T11 = block(piece.T, 1, 1), T12 = block(piece.T, 1, 3);
  const Block T21 = block(piece.T, 3, 1), T22 = block(piece.T, 3, 3);
  if (lower.held) return {inverse(T12) * (Block{} - T11), false};
  return {inverse(T22 - lower.Z * T12) * (lower.Z * T11 - T21), false};
}

// The states of a unit head (u, theta) at every station and at the top of every piece, carried
// down with the impedances.
void carry_down(std::vector<Piece>& pieces, const std::vector<Impedance>& Z, Pair head,
                size_t first, std::vector<std::array<double, 8>>& at) {
  Pair w = head;
  Pair f = Z[0].Z * w;
  size_t k = 0;
  at[k][first] = w.v[0];
  at[k][first + 1] = w.v[1];
  at[k][first + 2] = f.v[0];
  at[k][first + 3] = f.v[1];
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::array<double, 8>& top = pieces[i].where.top;
    top[first] = w.v[0];
    top[first + 1] = w.v[1];
    top[first + 2] = f.v[0];
    top[first + 3] = f.v[1];
    const Matrix4d& T = pieces[i].T;
    const Pair lower_w = block(T, 1, 1) * w + block(T, 1, 3) * f;
    if (Z[i + 1].held) {  // the tip itself: it does not move, its forces come from the piece
      f = block(T, 3, 1) * w + block(T, 3, 3) * f;
      w = Pair{};
    } else {
      w = lower_w;
      f = Z[i + 1].Z * w;
    }
    if (!pieces[i].station_end) continue;
    ++k;
    at[k][first] = w.v[0];
    at[k][first + 1] = w.v[1];
    at[k][first + 2] = f.v[0];
    at[k][first + 3] = f.v[1];
  }
}

uint32_t bits(float value) { return std::bit_cast<uint32_t>(value); }

// Term n of the four columns of soil_transfer's series from terms n - 4 and n - 5, m = n.
void next_terms(double p, double q, double m, const double (&back4)[4], const double (&back5)[4],
                double (&term)[4]) {
  const double divisor = (m - 3.0) * (m - 2.0) * (m - 1.0) * m;
  double next[4];
  for (int32_t c = 0; c < 4; ++c) next[c] = -(p * back4[c] + q * back5[c]) / divisor;
  for (int32_t c = 0; c < 4; ++c) term[c] = next[c];
}

// Whether the terms of all four columns, weighted by the largest weight, are too small to change
// their sums; the largest term of each column is brought up to date first.
bool all_small(const double (&term)[4], double weight, double (&largest)[4]) {
  bool small[4];
  for (int32_t c = 0; c < 4; ++c) {
    largest[c] = std::max(largest[c], std::fabs(term[c]));
    small[c] = std::fabs(term[c]) * weight <= 1e-18 * largest[c];
  }
  return small[0] && small[1] && small[2] && small[3];
}

}  // namespace

void free_length_transfer(double EI, double h, Matrix4d& T) {
  T = Matrix4d{};
  for (int32_t i = 1; i <= 4; ++i) T(i, i) = 1.0;
  T(1, 2) = h;
  T(1, 3) = h * h * h / (6.0 * EI);
  T(1, 4) = -(h * h) / (2.0 * EI);
  T(2, 3) = h * h / (2.0 * EI);
  T(2, 4) = -h / EI;
  T(4, 3) = -h;
}

// With t the distance below the top of the length and u = sum of a(n).t^n, the equation gives
// a(n+4) = -alpha^5.(d.a(n) + a(n-1)) / ((n+1)(n+2)(n+3)(n+4)). The terms b(n) = a(n).h^n of the
// four unit states at the top are summed into u, h.u', h^2.u'' and h^3.u''' at the bottom.
void soil_transfer(double alpha, double EI, double d, double h, Matrix4d& T) {
  if (h == 0.0) {
    T = Matrix4d{};
    for (int32_t i = 1; i <= 4; ++i) T(i, i) = 1.0;
    return;
  }
  const double a5h4 = std::pow(alpha, 5.0) * h * h * h * h;
  const double p = a5h4 * d;
  const double q = a5h4 * h;
  // Columns: the top states u = 1, theta = 1, Q = 1, M = 1 (a(1) = theta, a(2) = -M/(2EI),
  // a(3) = Q/(6EI)). The columns lie side by side in every array, so that each step works on
  // all four at once.
  double b[8][4] = {};  // b[n mod 8][c]: the terms of column c, the last five of them in use
  b[0][0] = 1.0;
  b[1][1] = h;
  b[3][2] = h * h * h / (6.0 * EI);
  b[2][3] = -(h * h) / (2.0 * EI);
  double sum[4][4] = {};  // sum[j][c]: h^j times the j-th derivative of u at the bottom
  double largest[4] = {1.0, h, b[3][2], -b[2][3]};
  int32_t quiet = 0;  // consecutive terms too small to change any sum
  for (int32_t n = 0; n < 400 && quiet < 5; ++n) {
    const double m = n;
    double(&term)[4] = b[n & 7];
    if (n >= 4) next_terms(p, q, m, b[(n - 4) & 7], b[(n - 5) & 7], term);
    const double weights[4] = {1.0, m, m * (m - 1.0), m * (m - 1.0) * (m - 2.0)};
    for (int32_t j = 0; j < 4; ++j) {
      for (int32_t c = 0; c < 4; ++c) sum[j][c] += weights[j] * term[c];
    }
    const bool small = all_small(term, weights[3], largest);
    quiet = n >= 4 && small ? quiet + 1 : 0;
  }
  for (int32_t c = 0; c < 4; ++c) {
    const int32_t column = c + 1;
    T(1, column) = sum[0][c];
    T(2, column) = sum[1][c] / h;
    T(3, column) = EI * sum[3][c] / (h * h * h);
    T(4, column) = -EI * sum[2][c] / (h * h);
  }
}

// ---- The run's responses ----

struct ResponseCache::Store {
  std::map<std::vector<uint32_t>, size_t> index;  // the values of a plane, bit for bit
  std::vector<std::shared_ptr<PlaneResponse>> responses;
  // Work space, kept by the run so that a fault that ends it leaves nothing behind.
  std::vector<uint32_t> key;
  std::vector<PlaneSegment> segments;
  PlaneSteps steps;
  SoilPieces soil;
  std::vector<Piece> pieces;
  std::vector<Impedance> Z;  // Z[i] at the upper end of piece i, Z[n] at the tip
};

ResponseCache::ResponseCache() : store_(std::make_unique<Store>()) {}
ResponseCache::~ResponseCache() = default;

namespace {

// The responses of a plane: the impedances from the tip up, then the states of a unit head
// displacement and of a unit head rotation down.
void solve_plane(const PlaneSteps& plane, SoilPieces& soil, std::vector<Piece>& pieces,
                 std::vector<Impedance>& Z, PlaneResponse& response) {
  cut_into_pieces(plane, soil, pieces);
  Z.assign(pieces.size() + 1, Impedance{});
  Z.back().held = plane.held_tip;
  for (size_t i = pieces.size(); i-- > 0;) Z[i] = carried_up(pieces[i], Z[i + 1]);
  if (Z[0].held) {
    raise_fault("singular head-to-bottom relation (a pile without length held at its bottom)");
  }
  for (int32_t i = 0; i < 2; ++i) {
    for (int32_t j = 0; j < 2; ++j) response.R[i][j] = Z[0].Z.a[i][j];
  }
  response.at.assign(static_cast<size_t>(plane.count) + 1, {});
  carry_down(pieces, Z, Pair{{1.0, 0.0}}, 0, response.at);
  carry_down(pieces, Z, Pair{{0.0, 1.0}}, 4, response.at);
  response.pieces.clear();
  for (const Piece& piece : pieces) {
    if (piece.has_length) response.pieces.push_back(piece.where);
  }
}

// The key of the values of a plane of pile p, bit for bit, and its segments: those above the
// ground line, the ground line, then those below.
void plane_key(const PileData& piles, const SegmentReals& factors, int32_t p,
               std::vector<uint32_t>& key, std::vector<PlaneSegment>& segments) {
  key.clear();
  segments.clear();
  key.push_back(piles.KSU(p) == 4 ? 1u : 0u);
  auto add = [&](float h, float EI, float alpha, int32_t n, bool below) {
    n = std::max(n, 1);
    key.insert(key.end(), {bits(h), bits(EI), bits(alpha), static_cast<uint32_t>(n)});
    segments.push_back({h, EI, alpha, n, below});
  };
  for (int32_t s = 1; s <= piles.NFR(p); ++s) {
    add(piles.HFR(p, s), bending_stiffness(piles, p, piles.DOF(p, s)), 0.0f, piles.NSF(p, s),
        false);
  }
  key.push_back(0xffffffffu);  // the ground line
  for (int32_t s = 1; s <= piles.NBL(p); ++s) {
    add(piles.HBL(p, s), bending_stiffness(piles, p, piles.DOB(p, s)), factors(p, s),
        piles.NSG(p, s), true);
  }
}

// The steps of a plane from its segments, each cut into its count of equal steps.
void plane_steps(const std::vector<PlaneSegment>& segments, bool held_tip, PlaneSteps& plane) {
  plane.count = 0;
  plane.held_tip = held_tip;
  double depth = 0.0;
  for (const PlaneSegment& segment : segments) {
    const double step = static_cast<double>(segment.h) / segment.n;
    for (int32_t i = 0; i < segment.n; ++i) {
      const double alpha_here = segment.below ? static_cast<double>(segment.alpha) : 0.0;
      plane.steps[plane.count++] = {step, static_cast<double>(segment.EI), alpha_here, depth};
      if (segment.below) depth += step;
    }
  }
}

}  // namespace

std::shared_ptr<const PlaneResponse> ResponseCache::plane(const PileData& piles,
                                                          const SegmentReals& factors, int32_t p) {
  Store& s = *store_;
  plane_key(piles, factors, p, s.key, s.segments);
  const auto found = s.index.find(s.key);
  if (found != s.index.end()) return s.responses[found->second];
  plane_steps(s.segments, piles.KSU(p) == 4, s.steps);
  // The response is kept before it is solved, so that nothing is lost when the solution ends
  // the run; it is found only once it is whole.
  s.responses.push_back(std::make_shared<PlaneResponse>());
  solve_plane(s.steps, s.soil, s.pieces, s.Z, *s.responses.back());
  s.index.emplace(s.key, s.responses.size() - 1);
  return s.responses.back();
}

}  // namespace kelmarino
