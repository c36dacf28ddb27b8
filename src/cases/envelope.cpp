// The envelopes of every pile over the combinations, taken part by part of the combinations in
// file order. Within a part each lane keeps its own extremes (lane j sees the combinations j,
// j + LANES, ...; a strictly larger value replaces the kept one, so the first combination of the
// lane keeps a tie); the lanes are merged at the end of the part by value and then by combination
// number, and a later part replaces an extreme only with a value strictly beyond it. The envelope
// is therefore the first combination in file order that reaches the extreme, whatever the lane
// count, the part size or the thread count.
#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <span>

#include "cases/cases.hpp"
#include "output/output.hpp"

namespace kelmarino::cases {
namespace {

// The work space of one thread.
struct PileWork {
  std::vector<LaneTops> tops;        // one per batch
  std::vector<StationLanes> states;  // one per batch
  LaneExtremes extremes[MAX_STATIONS];
};

// The largest squares of the resultants of one station (NX^2 + NY^2, MX^2 + MY^2, in double
// precision) and their combinations, kept over the parts of the combinations.
struct Square {
  double value = -1.0;
  int32_t combination = -1;
};
using StationSquares = std::array<Square, RESULTANTS>;

// The lanes' extremes merged: the extreme value, then the lowest combination number.
void merge_extremes(const LaneExtremes& e, StationEnvelope& station, StationSquares& squares) {
  for (int32_t q = 0; q < QUANTITIES; ++q) {
    Extreme max{e.max[q][0], e.cmax[q][0]};
    Extreme min{e.min[q][0], e.cmin[q][0]};
    for (int32_t j = 1; j < LANES; ++j) {
      if (e.max[q][j] > max.value || (e.max[q][j] == max.value && e.cmax[q][j] < max.combination)) {
        max = Extreme{e.max[q][j], e.cmax[q][j]};
      }
      if (e.min[q][j] < min.value || (e.min[q][j] == min.value && e.cmin[q][j] < min.combination)) {
        min = Extreme{e.min[q][j], e.cmin[q][j]};
      }
    }
    station.max[q] = max;
    station.min[q] = min;
  }
  for (int32_t r = 0; r < RESULTANTS; ++r) {
    Square largest{e.squared[r][0], e.csquared[r][0]};
    for (int32_t j = 1; j < LANES; ++j) {
      if (e.squared[r][j] > largest.value ||
          (e.squared[r][j] == largest.value && e.csquared[r][j] < largest.combination)) {
        largest = Square{e.squared[r][j], e.csquared[r][j]};
      }
    }
    squares[static_cast<size_t>(r)] = largest;
  }
}

// The extremes of a later part of the combinations into those of the earlier parts: only a value
// strictly beyond replaces the kept one, so the earlier combination keeps a tie.
void merge_later(const StationEnvelope& later, const StationSquares& later_squares,
                 StationEnvelope& station, StationSquares& squares) {
  for (int32_t q = 0; q < QUANTITIES; ++q) {
    if (later.max[q].value > station.max[q].value) station.max[q] = later.max[q];
    if (later.min[q].value < station.min[q].value) station.min[q] = later.min[q];
  }
  for (size_t r = 0; r < squares.size(); ++r) {
    if (later_squares[r].value > squares[r].value) squares[r] = later_squares[r];
  }
}

// The combinations first .. last - 1 in batches of LANES, in file order; lanes beyond the last
// combination repeat it, which leaves every extreme as it is.
std::vector<LaneBatch> lane_batches(const std::vector<CapDisplacements>& caps, size_t first,
                                    size_t last) {
  std::vector<LaneBatch> batches((last - first + LANES - 1) / LANES);
  for (size_t b = 0; b < batches.size(); ++b) {
    for (int32_t j = 0; j < LANES; ++j) {
      const size_t c = std::min(first + b * LANES + static_cast<size_t>(j), last - 1);
      batches[b].combination[j] = static_cast<int32_t>(c);
      for (int32_t i = 0; i < 6; ++i) batches[b].U[i][j] = caps[c].U[i];
    }
  }
  return batches;
}

// A pile top in one bending plane: its head displacement and rotation (u, theta) under one
// combination.
struct PlaneTop {
  float u = 0.0f;
  float theta = 0.0f;
  int32_t combination = 0;
};

// What a pile keeps between the parts of the combinations, beside its envelope: the squares of
// the resultants of every station, and in each plane the corners of the convex hull of the pile
// tops (u, theta).
struct PileTrack {
  std::vector<StationSquares> squares;
  std::vector<PlaneTop> corners[2];
};

// The signed area of the turn o -> a -> b, in double.
double turn(const PlaneTop& o, const PlaneTop& a, const PlaneTop& b) {
  auto d = [](float to, float from) { return static_cast<double>(to) - static_cast<double>(from); };
  return d(a.u, o.u) * d(b.theta, o.theta) - d(a.theta, o.theta) * d(b.u, o.u);
}

// hull_corners: the corners of the convex hull of the points (monotone chain), in any order; of
// points that coincide, the first combination. A point inside the hull or on an edge between two
// corners is left out.
std::vector<PlaneTop> hull_corners(std::vector<PlaneTop> points) {
  std::sort(points.begin(), points.end(), [](const PlaneTop& a, const PlaneTop& b) {
    if (a.u != b.u) return a.u < b.u;
    if (a.theta != b.theta) return a.theta < b.theta;
    return a.combination < b.combination;
  });
  points.erase(std::unique(points.begin(), points.end(),
                           [](const PlaneTop& a, const PlaneTop& b) {
                             return a.u == b.u && a.theta == b.theta;
                           }),
               points.end());
  if (points.size() < 3) return points;
  std::vector<PlaneTop> hull(2 * points.size());
  size_t n = 0;
  for (size_t i = 0; i < points.size(); ++i) {  // the lower chain
    while (n >= 2 && turn(hull[n - 2], hull[n - 1], points[i]) <= 0.0) --n;
    hull[n++] = points[i];
  }
  for (size_t i = points.size() - 1, lower = n + 1; i-- > 0;) {  // the upper chain
    while (n >= lower && turn(hull[n - 2], hull[n - 1], points[i]) <= 0.0) --n;
    hull[n++] = points[i];
  }
  hull.resize(n - 1);  // the last point is the first again
  return hull;
}

// The pile tops of the combinations first .. first + count - 1 into the corners of each plane: the
// x-z plane's top is (UX, SY), the y-z plane's (UY, -SX).
void take_corners(std::span<const HeadResult> heads, size_t first, size_t PNUM, int32_t g,
                  PileTrack& track) {
  for (int32_t plane = 0; plane < 2; ++plane) {
    std::vector<PlaneTop> points = std::move(track.corners[plane]);
    for (size_t c = 0; c * PNUM < heads.size(); ++c) {
      const float(&DU)[6] = heads[c * PNUM + static_cast<size_t>(g - 1)].DU;
      const float theta = plane == 0 ? DU[4] : -DU[3];
      points.push_back({DU[plane], theta, static_cast<int32_t>(first + c)});
    }
    track.corners[plane] = hull_corners(std::move(points));
  }
}

// The design set of combination c at station k of a pile from its quantities there.
DesignRow design_row(int32_t c, int32_t k, float N, float NX, float NY, float MX, float MY) {
  return {c, k, N, MX, MY, resultant(MX, MY), resultant(NX, NY)};
}

// The pile top of combination c into the design sets at the head; only a value strictly beyond
// the kept one replaces it, so that the first combination keeps a tie.
void take_head(int32_t c, const float (&FT)[6], DesignRow (&design)[DESIGN_SETS]) {
  const DesignRow row = design_row(c, 1, FT[2], FT[0], FT[1], FT[3], FT[4]);
  DesignRow& largest = design[LARGEST_N];
  DesignRow& smallest = design[SMALLEST_N];
  DesignRow& moment = design[LARGEST_M_HEAD];
  if (largest.combination < 0 || row.N > largest.N) largest = row;
  if (smallest.combination < 0 || row.N < smallest.N) smallest = row;
  if (moment.combination < 0 || squared_sum(row.MX, row.MY) > squared_sum(moment.MX, moment.MY)) {
    moment = row;
  }
}

// The combinations of `batches` (from `first` on) for one pile: their extremes taken into the
// pile's envelope, its design sets and `track`, their pile tops into `heads` (element
// (c - first) * PNUM + g - 1).
void envelope_part(const PileMarch& march, const std::vector<LaneBatch>& batches, size_t first,
                   size_t count, size_t PNUM, PileWork& work, PileEnvelope& envelope,
                   PileTrack& track, std::vector<HeadResult>& heads) {
  const int32_t NSTA = march.station_count();
  start_extremes(NSTA, work.extremes);
  march_extremes(march, batches.data(), static_cast<int32_t>(batches.size()), work.tops.data(),
                 work.states.data(), work.extremes);
  for (size_t c = 0; c < count; ++c) {
    const LaneTops& tops = work.tops[c / LANES];
    HeadResult& head = heads[c * PNUM + static_cast<size_t>(march.g - 1)];
    for (int32_t i = 0; i < 6; ++i) {
      head.DU[i] = tops.DU[i][c % LANES];
      head.FT[i] = tops.FT[i][c % LANES];
    }
    take_head(static_cast<int32_t>(first + c), head.FT, envelope.design);
  }
  take_corners(heads, first, PNUM, march.g, track);
  const bool earliest = first == 0;
  if (earliest) {
    envelope.g = march.g;
    envelope.top_x = march.top_x;
    envelope.top_y = march.top_y;
    envelope.KG = march.KG;
    envelope.joints = march.joints;
    envelope.ZH = march.ZH;
    envelope.stations.resize(static_cast<size_t>(NSTA));
    track.squares.resize(static_cast<size_t>(NSTA));
  }
  for (int32_t k = 0; k < NSTA; ++k) {
    StationEnvelope& station = envelope.stations[static_cast<size_t>(k)];
    StationSquares& squares = track.squares[static_cast<size_t>(k)];
    if (earliest) {
      merge_extremes(work.extremes[k], station, squares);
    } else {
      StationEnvelope later;
      StationSquares later_squares;
      merge_extremes(work.extremes[k], later, later_squares);
      merge_later(later, later_squares, station, squares);
    }
  }
}

// After a fault in the march of a pile: the first combination from `first` on whose march faults
// alone, with its message, or `message` at `last` if none does.
struct Fault {
  size_t combination = 0;
  int32_t g = 0;
  std::string message;
};
Fault faulting_combination(const PileMarch& march, const std::vector<CapDisplacements>& caps,
                           const NameList& combinations, size_t first, size_t last,
                           const std::string& message) {
  const FaultFlags flags;
  LaneTops tops;
  const auto stations = std::make_unique<StationLanes[]>(MAX_STATIONS);
  for (size_t c = first; c < last; ++c) {
    const std::string stage = "pile results of pile " + std::to_string(march.g) +
                              " under combination " + std::string(combinations[c]);
    fault_context() = FaultContext{stage.c_str(), 0};
    const std::vector<LaneBatch> one = lane_batches(caps, c, c + 1);
    try {
      march_lanes(march, one[0].U, tops, stations.get());
      check_faults();
    } catch (const RunError& error) {
      fault_context() = FaultContext{};
      return Fault{c, march.g, error.what()};
    }
  }
  fault_context() = FaultContext{};
  return Fault{last, march.g, message};
}

// The fault of the first combination, at the lowest pile, when there is one: thrown, the calling
// thread's fault context naming its stage and pile.
void throw_first(const std::vector<Fault>& faults) {
  if (faults.empty()) return;
  const auto first =
      std::min_element(faults.begin(), faults.end(), [](const Fault& a, const Fault& b) {
        return a.combination != b.combination ? a.combination < b.combination : a.g < b.g;
      });
  fault_context() = FaultContext{"pile results", first->g, ""};
  throw RunError(first->message);
}

PileExtreme pile_extreme(const PileEnvelope& pile, int32_t q, bool largest) {
  auto of = [&](const StationEnvelope& s) { return largest ? s.max[q] : s.min[q]; };
  PileExtreme best{of(pile.stations[0]), 1};
  for (size_t k = 1; k < pile.stations.size(); ++k) {
    const Extreme e = of(pile.stations[k]);
    const bool beyond = largest ? e.value > best.extreme.value : e.value < best.extreme.value;
    if (beyond || (e.value == best.extreme.value && e.combination < best.extreme.combination)) {
      best = PileExtreme{e, static_cast<int32_t>(k) + 1};
    }
  }
  return best;
}

// The pile top of combination c of a pile, in lane 0.
void combination_top(const PileMarch& march, const std::vector<CapDisplacements>& caps, int32_t c,
                     LaneTops& tops) {
  const auto one = static_cast<size_t>(c);
  march_top(march, lane_batches(caps, one, one + 1)[0].U, tops);
}

// The resultants V and M of every station of a pile from the combinations of their largest squares,
// and the design set of the largest moment from the ground line down: the largest square, then
// the first combination, then the first station. `top_of(c)` is the pile top of combination c in
// lane 0.
template <typename TopOf>
void take_resultants(const PileMarch& march, TopOf& top_of, const PileTrack& track,
                     PileEnvelope& envelope) {
  Square soil;
  for (int32_t k = 1; k <= march.station_count(); ++k) {
    const StationSquares& squares = track.squares[static_cast<size_t>(k - 1)];
    float DU[6][RESULTANTS], FT[6][RESULTANTS];  // lane r: the combination of resultant r
    for (int32_t r = 0; r < RESULTANTS; ++r) {
      const LaneTops& top = top_of(squares[static_cast<size_t>(r)].combination);
      for (int32_t i = 0; i < 6; ++i) {
        DU[i][r] = top.DU[i][0];
        FT[i][r] = top.FT[i][0];
      }
    }
    float q[QUANTITIES][RESULTANTS];
    station_values(*march.x, *march.y, k, march.stations[static_cast<size_t>(k - 1)], DU, FT, q);
    StationEnvelope& station = envelope.stations[static_cast<size_t>(k - 1)];
    station.resultant[RESULTANT_V] = {resultant(q[NX][RESULTANT_V], q[NY][RESULTANT_V]),
                                      squares[RESULTANT_V].combination};
    station.resultant[RESULTANT_M] = {resultant(q[MX][RESULTANT_M], q[MY][RESULTANT_M]),
                                      squares[RESULTANT_M].combination};
    const Square& moment = squares[RESULTANT_M];
    if (k < march.KG || moment.value < soil.value ||
        (moment.value == soil.value && moment.combination >= soil.combination)) {
      continue;
    }
    soil = moment;
    const int32_t m = RESULTANT_M;
    envelope.design[LARGEST_M_SOIL] =
        design_row(moment.combination, k, q[NZ][m], q[NX][m], q[NY][m], q[MX][m], q[MY][m]);
  }
}

// The last values of a pile's envelope, once every combination is marched: the resultants of the
// stations, the design set of the largest moment in the soil (the concurrent values of its
// combination and station) and the true peaks. A quantity of one plane is linear in the plane's
// pile top (u, theta) at every depth, so its largest absolute value over the combinations is
// reached at a corner of their hull: the true peaks of the corners, and of the combinations that
// give the largest and smallest station values, are taken, the first combination on equal values.
void finish_pile(const PileMarch& march, const std::vector<CapDisplacements>& caps,
                 const PileTrack& track, PileEnvelope& envelope) {
  std::map<int32_t, LaneTops> tops_known;  // by combination, in lane 0
  auto top_of = [&](int32_t c) -> const LaneTops& {
    const auto [at, added] = tops_known.try_emplace(c);
    if (added) combination_top(march, caps, c, at->second);
    return at->second;
  };
  take_resultants(march, top_of, track, envelope);
  // The true peaks of a plane under a combination, each taken once.
  std::map<std::pair<int32_t, int32_t>, PilePeaks> known;  // by plane and combination
  auto peaks_of = [&](int32_t plane, int32_t c) -> const PilePeaks& {
    const auto [at, added] = known.try_emplace({plane, c});
    if (added) {
      float DU[6], FT[6];
      for (int32_t i = 0; i < 6; ++i) {
        DU[i] = top_of(c).DU[i][0];
        FT[i] = top_of(c).FT[i][0];
      }
      plane_true_peaks(plane == 0 ? *march.x : *march.y, plane, march.stations.data(), DU, FT,
                       at->second);
    }
    return at->second;
  };
  // The true peaks of a unit pile top (u, theta) = (1, 0) and (0, 1) of each plane: a combination
  // cannot peak beyond |u|.(the first) + |theta|.(the second), and is not looked at when that is
  // below the peak already found.
  PilePeaks unit[2][2];
  const float units[2][2][6] = {{{1, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 0}},
                                {{0, 1, 0, 0, 0, 0}, {0, 0, 0, -1, 0, 0}}};
  for (int32_t plane = 0; plane < 2; ++plane) {
    for (int32_t i = 0; i < 2; ++i) {
      float FT[6];
      matrix_product(6, 6, 1, march.B, units[plane][i], FT);
      plane_true_peaks(plane == 0 ? *march.x : *march.y, plane, march.stations.data(),
                       units[plane][i], FT, unit[plane][i]);
    }
  }
  for (int32_t plane = 0; plane < 2; ++plane) {
    for (const StationQuantity q : PLANE_PEAKS[plane]) {
      EnvelopePeak& best = envelope.peaks[q];
      auto take = [&](int32_t c) {
        const Peak& peak = peaks_of(plane, c).of[q];
        const float value = std::fabs(peak.value), kept = std::fabs(best.peak.value);
        if (best.combination < 0 || value > kept || (value == kept && c < best.combination)) {
          best = {peak, c};
        }
      };
      take(pile_maximum(envelope, q).extreme.combination);
      take(pile_minimum(envelope, q).extreme.combination);
      for (const PlaneTop& corner : track.corners[plane]) {
        const double bound =
            std::fabs(double{corner.u}) * std::fabs(double{unit[plane][0].of[q].value}) +
            std::fabs(double{corner.theta}) * std::fabs(double{unit[plane][1].of[q].value});
        if (bound * (1.0 + 1e-5) >= std::fabs(double{best.peak.value})) take(corner.combination);
      }
    }
  }
}

}  // namespace

void envelope_piles(const std::vector<PileMarch>& marches,
                    const std::vector<CapDisplacements>& caps, const NameList& combinations,
                    int32_t threads, std::atomic<int32_t>& combinations_done, CaseResults& results,
                    const HeadsWriter& write_heads) {
  results.piles.assign(marches.size(), PileEnvelope{});
  if (caps.empty() || marches.empty()) return;
  const size_t PNUM = marches.size();
  std::vector<std::unique_ptr<PileWork>> works(static_cast<size_t>(threads));
  std::vector<HeadResult> heads;
  std::vector<PileTrack> tracks(PNUM);
  for (size_t first = 0; first < caps.size(); first += COMBINATIONS_PER_PART) {
    const size_t last = std::min(caps.size(), first + COMBINATIONS_PER_PART);
    const std::vector<LaneBatch> batches = lane_batches(caps, first, last);
    heads.assign((last - first) * PNUM, HeadResult{});
    std::mutex mutex;
    std::vector<Fault> faults;
    parallel_for(PNUM, threads, [&](size_t p, int32_t worker) {
      std::unique_ptr<PileWork>& work = works[static_cast<size_t>(worker)];
      if (!work) {
        work = std::make_unique<PileWork>();
        work->tops.resize(COMBINATIONS_PER_PART / LANES);
        work->states.resize(COMBINATIONS_PER_PART / LANES);
      }
      const FaultFlags flags;
      const PileMarch& march = marches[p];
      fault_context() = FaultContext{"pile results", march.g};
      try {
        envelope_part(march, batches, first, last - first, PNUM, *work, results.piles[p], tracks[p],
                      heads);
        check_faults();
      } catch (const RunError& error) {
        Fault fault = faulting_combination(march, caps, combinations, first, last, error.what());
        const std::lock_guard<std::mutex> lock(mutex);
        faults.push_back(std::move(fault));
      }
      fault_context() = FaultContext{};
    });
    throw_first(faults);
    write_heads(first, last, heads);
    combinations_done = static_cast<int32_t>(last);
  }
  std::mutex mutex;
  std::vector<Fault> faults;
  parallel_for(PNUM, threads, [&](size_t p, int32_t) {
    const FaultFlags flags;
    fault_context() = FaultContext{"pile results", marches[p].g};
    try {
      finish_pile(marches[p], caps, tracks[p], results.piles[p]);
      check_faults();
    } catch (const RunError& error) {
      const std::lock_guard<std::mutex> lock(mutex);
      faults.push_back(Fault{0, marches[p].g, error.what()});
    }
    fault_context() = FaultContext{};
  });
  throw_first(faults);
}

PileExtreme pile_maximum(const PileEnvelope& pile, int32_t q) {
  return pile_extreme(pile, q, true);
}
PileExtreme pile_minimum(const PileEnvelope& pile, int32_t q) {
  return pile_extreme(pile, q, false);
}

}  // namespace kelmarino::cases
