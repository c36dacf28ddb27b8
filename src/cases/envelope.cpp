// The envelopes of every pile over the combinations. Each lane keeps its own extremes (lane j
// sees the combinations j, j + LANES, ...; a strictly larger value replaces the kept one, so the
// first combination of the lane keeps a tie); the lanes are merged at the end of the pile by value
// and then by combination number. The envelope is therefore the first combination in file order
// that reaches the extreme, whatever the lane count or the thread count.
#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

#include "cases/cases.hpp"

namespace kelmarino::cases {
namespace {

// The work space of one thread.
struct PileWork {
  std::vector<LaneTops> tops;        // one per batch
  std::vector<StationLanes> states;  // one per batch
  LaneExtremes extremes[MAX_STATIONS];
};

// The lanes' extremes merged: the extreme value, then the lowest combination number.
void merge_extremes(const LaneExtremes& e, StationEnvelope& station) {
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
}

// The combinations in batches of LANES, in file order; lanes beyond the last combination repeat
// it, which leaves every extreme as it is.
std::vector<LaneBatch> lane_batches(const std::vector<CapDisplacements>& caps) {
  std::vector<LaneBatch> batches((caps.size() + LANES - 1) / LANES);
  for (size_t b = 0; b < batches.size(); ++b) {
    for (int32_t j = 0; j < LANES; ++j) {
      const size_t c = std::min(b * LANES + static_cast<size_t>(j), caps.size() - 1);
      batches[b].combination[j] = static_cast<int32_t>(c);
      for (int32_t i = 0; i < 6; ++i) batches[b].U[i][j] = caps[c].U[i];
    }
  }
  return batches;
}

void envelope_pile(const PileMarch& march, const std::vector<LaneBatch>& batches, size_t count,
                   PileWork& work, PileEnvelope& envelope, std::vector<HeadResult>& heads) {
  const int32_t NSTA = march.NSTA();
  const size_t PNUM = heads.size() / count;
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
  }
  envelope.g = march.g;
  envelope.top_x = march.top_x;
  envelope.top_y = march.top_y;
  envelope.top_diameter = march.top_diameter;
  envelope.KG = march.KG;
  envelope.ZH = march.ZH;
  envelope.stations.resize(static_cast<size_t>(NSTA));
  for (int32_t k = 0; k < NSTA; ++k) {
    merge_extremes(work.extremes[k], envelope.stations[static_cast<size_t>(k)]);
  }
}

// After a trapped fault in the march of a pile: the message of the first combination whose march
// faults alone, or `message` if none does. The trap left the thread's traps off; they are set
// again here.
std::string faulting_combination(const PileMarch& march, const std::vector<CapDisplacements>& caps,
                                 const std::vector<Combination>& combinations,
                                 const std::string& message) {
  const ArithmeticTraps traps;
  LaneTops tops;
  const auto stations = std::make_unique<StationLanes[]>(MAX_STATIONS);
  for (size_t c = 0; c < caps.size(); ++c) {
    const std::string stage = "pile results of pile " + std::to_string(march.g) +
                              " under combination " + combinations[c].name;
    fault_context() = FaultContext{stage.c_str(), 0};
    const std::vector<LaneBatch> one = lane_batches({caps[c]});
    try {
      march_lanes(march, one[0].U, tops, stations.get());
    } catch (const RunError& error) {
      fault_context() = FaultContext{};
      return error.what();
    }
  }
  fault_context() = FaultContext{};
  return message;
}

// The piles shared out among the threads: each takes the next pile not yet taken. After a fault
// no thread takes another pile, so every pile below the lowest faulting one is finished.
struct PileQueue {
  std::atomic<int32_t> next{0};
  std::atomic<bool> stop{false};
  std::mutex mutex;
  int32_t fault_pile = std::numeric_limits<int32_t>::max();
  std::string fault_message;
};

void envelope_worker(const std::vector<PileMarch>& marches,
                     const std::vector<CapDisplacements>& caps,
                     const std::vector<Combination>& combinations,
                     const std::vector<LaneBatch>& batches, PileQueue& queue,
                     std::atomic<int32_t>& piles_done, CaseResults& results) {
  const auto work = std::make_unique<PileWork>();
  work->tops.resize(batches.size());
  work->states.resize(batches.size());
  const ArithmeticTraps traps;
  const size_t PNUM = marches.size();
  while (!queue.stop) {
    const int32_t p = queue.next.fetch_add(1);
    if (p >= static_cast<int32_t>(PNUM)) break;
    const PileMarch& march = marches[static_cast<size_t>(p)];
    fault_context() = FaultContext{"pile results", march.g};
    try {
      envelope_pile(march, batches, caps.size(), *work, results.piles[static_cast<size_t>(p)],
                    results.heads);
    } catch (const RunError& error) {
      const std::string message = faulting_combination(march, caps, combinations, error.what());
      const std::lock_guard<std::mutex> lock(queue.mutex);
      if (march.g < queue.fault_pile) {
        queue.fault_pile = march.g;
        queue.fault_message = message;
      }
      queue.stop = true;
      break;
    }
    ++piles_done;
  }
  fault_context() = FaultContext{};
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

}  // namespace

void envelope_piles(const std::vector<PileMarch>& marches,
                    const std::vector<CapDisplacements>& caps,
                    const std::vector<Combination>& combinations, int32_t threads,
                    std::atomic<int32_t>& piles_done, CaseResults& results) {
  results.piles.assign(marches.size(), PileEnvelope{});
  results.heads.assign(caps.size() * marches.size(), HeadResult{});
  if (caps.empty() || marches.empty()) return;
  const std::vector<LaneBatch> batches = lane_batches(caps);
  PileQueue queue;
  auto work = [&] {
    envelope_worker(marches, caps, combinations, batches, queue, piles_done, results);
  };
  std::vector<std::thread> helpers;
  for (int32_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  if (queue.stop) throw RunError(queue.fault_message);
}

PileExtreme pile_maximum(const PileEnvelope& pile, int32_t q) {
  return pile_extreme(pile, q, true);
}
PileExtreme pile_minimum(const PileEnvelope& pile, int32_t q) {
  return pile_extreme(pile, q, false);
}

}  // namespace kelmarino::cases
