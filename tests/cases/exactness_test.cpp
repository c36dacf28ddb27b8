// Bit-exactness in process: every combination of the shipped examples, marched LANES at a time by
// the library, against kelmarino's analysis of the data file that lists the combination's scaled
// load points; the envelopes against the extremes of those stations taken combination by
// combination; and a fault in the march named by its combination.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis.hpp"
#include "cases/case_files.hpp"
#include "input/input.hpp"

namespace kelmarino::cases {
namespace {

using testing::combinations_of;
using testing::equivalent_data;
using testing::example_text;
using testing::loads_of;
using testing::scaled_points;

uint32_t bits(float value) { return std::bit_cast<uint32_t>(value); }
uint64_t bits(double value) { return std::bit_cast<uint64_t>(value); }

// The library's view of an example: the group read and its stiffness analysed once, the cases
// and combinations, the cap displacements and the march of every pile.
struct Library {
  Group group;
  std::vector<LoadCase> cases;
  CombinationLoads combinations;
  std::vector<CapDisplacements> caps;
  std::vector<PileMarch> marches;
};

Group example_group(const std::string& base) {
  GroupRead read = parse_group(example_text(base), "case.dat");
  EXPECT_TRUE(read.has_value()) << read.issue().full;
  return std::move(*read);
}

std::unique_ptr<Library> library(const std::string& base) {
  auto lib = std::make_unique<Library>();
  lib->group = example_group(base);
  const std::string loads = loads_of(base);
  lib->cases = load_cases(lib->group, &loads, "loads");
  // The combinations of the file, then every case alone, the data file's own load first.
  const CombinationLoads file = read_combination_loads(
      combinations_of(base), {"case.dat", "loads", "combinations"}, lib->cases);
  std::vector<Combination> all;
  for (size_t c = 0; c < file.names.size(); ++c) {
    all.push_back({std::string(file.names[c]), {file.factors[c].begin(), file.factors[c].end()}});
  }
  for (const Combination& c : single_case_combinations(lib->cases)) all.push_back(c);
  lib->combinations = combination_loads(all, lib->cases, {});
  Expected<CombinationAnalysis> analysed =
      analyse_combinations(lib->group, lib->cases, lib->combinations);
  EXPECT_TRUE(analysed.has_value()) << analysed.issue().full;
  lib->caps = std::move(analysed->caps);
  lib->marches = std::move(analysed->marches);
  return lib;
}

// kelmarino's analysis of the equivalent data file: the cap, and the tops and stations of every
// pile.
std::unique_ptr<Result> reference(const std::string& data_text) {
  const GroupRead read = parse_group(data_text, "case.dat");
  if (!read) throw RunError(read.issue().full);
  Analysed analysed = analyse(*read);
  if (!analysed) throw RunError(analysed.issue().full);
  return std::make_unique<Result>(std::move(*analysed));
}

// The reference of every combination of an example (whose factors are all kept: at most
// ECHOED_COMBINATIONS).
std::vector<std::unique_ptr<Result>> references(const Library& lib, const std::string& base) {
  EXPECT_EQ(lib.combinations.factors.size(), lib.combinations.names.size());
  std::vector<std::unique_ptr<Result>> refs;
  for (size_t c = 0; c < lib.combinations.factors.size(); ++c) {
    const std::vector<LoadValues> points = scaled_points(lib.combinations.factors[c], lib.cases);
    EXPECT_LE(points.size(), static_cast<size_t>(MAX_LOAD_POINTS)) << lib.combinations.names[c];
    refs.push_back(reference(equivalent_data(example_text(base), points)));
  }
  return refs;
}

// Quantity q of station k of pile `pile` of a reference, as the post-processing file holds it.
float station_value(const Result& ref, size_t pile, int32_t k, int32_t q) {
  return ref.stations_of(
      ref.piles[pile])[static_cast<size_t>(k - 1)][column_of(static_cast<StationQuantity>(q))];
}

class InProcess : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Shipped, InProcess,
                         ::testing::Values("pier", "worked-simulated", "worked", "rock",
                                           "worked-coarse", "worked-huge"));

// Lane j of every batch carries combination first + j; the batches run over all combinations, so
// a combination is checked in whichever lane its position gives it.
TEST_P(InProcess, EveryCombinationMatchesKelmarinoBitForBit) {
  const auto lib = library(GetParam());
  const int32_t PNUM = lib->group.model->run.PNUM;
  const size_t count = lib->combinations.names.size();
  const std::vector<std::unique_ptr<Result>> refs = references(*lib, GetParam());
  ASSERT_EQ(refs.size(), count);
  for (size_t c = 0; c < count; ++c) {
    for (int32_t i = 0; i < 6; ++i) {
      EXPECT_EQ(bits(lib->caps[c].U[i]), bits(refs[c]->cap[i]))
          << lib->combinations.names[c] << " U" << i;
    }
  }
  LaneTops tops;
  const auto stations = std::make_unique<StationLanes[]>(MAX_STATIONS);
  size_t compared = 0;
  for (const PileMarch& march : lib->marches) {
    for (size_t first = 0; first < count; first += LANES) {
      float U[6][LANES] = {};
      for (int32_t j = 0; j < LANES && first + static_cast<size_t>(j) < count; ++j) {
        for (int32_t i = 0; i < 6; ++i) U[i][j] = lib->caps[first + static_cast<size_t>(j)].U[i];
      }
      march_lanes(march, U, tops, stations.get());
      for (size_t c = first; c < count && c < first + LANES; ++c) {
        const size_t j = c - first;
        const size_t p = static_cast<size_t>(march.g - 1);
        const PileResult& st = refs[c]->piles[p];
        SCOPED_TRACE(std::string(lib->combinations.names[c]) + ", pile " + std::to_string(march.g));
        ASSERT_EQ(march.station_count(), static_cast<int32_t>(st.count));
        EXPECT_EQ(march.KG, st.KG);
        for (int32_t i = 0; i < 6; ++i) {
          EXPECT_EQ(bits(tops.DU[i][j]), bits(st.DU[i])) << "DU" << i;
          EXPECT_EQ(bits(tops.FT[i][j]), bits(st.FT[i])) << "FT" << i;
        }
        for (int32_t k = 1; k <= march.station_count(); ++k) {
          EXPECT_EQ(bits(march.ZH[static_cast<size_t>(k - 1)]),
                    bits(refs[c]->stations_of(st)[static_cast<size_t>(k - 1)][Z_COLUMN]))
              << "Z " << k;
          for (int32_t q = 0; q < QUANTITIES; ++q) {
            const float value = stations[k - 1].q[q][j];
            ASSERT_EQ(bits(value), bits(station_value(*refs[c], p, k, q)))
                << QUANTITY_WORDS[q].name << " at station " << k;
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_GT(compared, count * static_cast<size_t>(PNUM));
}

// The envelope of every station and quantity, and the pile tops, from two threads, against the
// reference tables taken combination by combination in file order (a strictly larger value
// replaces the kept one).
TEST_P(InProcess, EnvelopesAreTheFirstExtremesInFileOrder) {
  const auto lib = library(GetParam());
  const size_t count = lib->combinations.names.size();
  const std::vector<std::unique_ptr<Result>> refs = references(*lib, GetParam());
  CaseResults results;
  std::atomic<int32_t> done{0};
  std::vector<HeadResult> heads;
  envelope_piles(lib->marches, lib->caps, lib->combinations.names, 2, done, results,
                 [&](size_t first, size_t, const std::vector<HeadResult>& part) {
                   EXPECT_EQ(heads.size(), first * lib->marches.size());
                   heads.insert(heads.end(), part.begin(), part.end());
                 });
  EXPECT_EQ(done.load(), static_cast<int32_t>(count));
  for (const PileEnvelope& pile : results.piles) {
    const size_t p = static_cast<size_t>(pile.g - 1);
    ASSERT_EQ(pile.stations.size(), refs[0]->piles[p].count);
    for (size_t k = 0; k < pile.stations.size(); ++k) {
      for (int32_t q = 0; q < QUANTITIES; ++q) {
        Extreme max{station_value(*refs[0], p, static_cast<int32_t>(k + 1), q), 0};
        Extreme min = max;
        for (size_t c = 1; c < count; ++c) {
          const float v = station_value(*refs[c], p, static_cast<int32_t>(k + 1), q);
          if (v > max.value) max = Extreme{v, static_cast<int32_t>(c)};
          if (v < min.value) min = Extreme{v, static_cast<int32_t>(c)};
        }
        const StationEnvelope& e = pile.stations[k];
        SCOPED_TRACE("pile " + std::to_string(pile.g) + " station " + std::to_string(k + 1) + " " +
                     QUANTITY_WORDS[q].name);
        EXPECT_EQ(bits(e.max[q].value), bits(max.value));
        EXPECT_EQ(e.max[q].combination, max.combination);
        EXPECT_EQ(bits(e.min[q].value), bits(min.value));
        EXPECT_EQ(e.min[q].combination, min.combination);
      }
      // The largest resultants: the largest of the analyses' own, under the first combination
      // that gives it.
      for (int32_t r = 0; r < RESULTANTS; ++r) {
        auto resultant_of = [&](size_t c) {
          const StationResultant& s = refs[c]->resultants_of(refs[c]->piles[p])[k];
          return r == RESULTANT_V ? s.V : s.M;
        };
        size_t first = 0;
        for (size_t c = 1; c < count; ++c) {
          if (resultant_of(c) > resultant_of(first)) first = c;
        }
        const Extreme& got = pile.stations[k].resultant[r];
        EXPECT_EQ(bits(got.value), bits(resultant_of(first))) << "resultant " << r;
        EXPECT_EQ(got.combination, static_cast<int32_t>(first)) << "resultant " << r;
      }
    }
    for (size_t c = 0; c < count; ++c) {
      const HeadResult& head = heads[c * results.piles.size() + p];
      for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(bits(head.DU[i]), bits(refs[c]->piles[p].DU[i]));
        EXPECT_EQ(bits(head.FT[i]), bits(refs[c]->piles[p].FT[i]));
      }
    }
  }
}

// The design sets and true peaks of every pile against kelmarino's analysis of each combination's
// data file: the governing combination found here in file order, its row's values bit for bit.
TEST_P(InProcess, DesignSetsAndPeaksAreThoseOfTheGoverningCombinationsDataFile) {
  const auto lib = library(GetParam());
  const std::vector<std::unique_ptr<Result>> refs = references(*lib, GetParam());
  CaseResults results;
  std::atomic<int32_t> done{0};
  envelope_piles(lib->marches, lib->caps, lib->combinations.names, 2, done, results,
                 [](size_t, size_t, const std::vector<HeadResult>&) {});
  for (const PileEnvelope& pile : results.piles) {
    const size_t p = static_cast<size_t>(pile.g - 1);
    SCOPED_TRACE("pile " + std::to_string(pile.g));
    auto squared = [&](size_t c, int32_t k) {
      const float mx = station_value(*refs[c], p, k, MX), my = station_value(*refs[c], p, k, MY);
      return mx * mx + my * my;
    };
    // The governing combination and station of each set: (combination, station) in file order,
    // a later one only when strictly beyond.
    std::pair<size_t, int32_t> want[DESIGN_SETS] = {{0, 1}, {0, 1}, {0, 1}, {0, pile.KG}};
    for (size_t c = 0; c < refs.size(); ++c) {
      const float N = station_value(*refs[c], p, 1, NZ);
      if (N > station_value(*refs[want[LARGEST_N].first], p, 1, NZ)) want[LARGEST_N] = {c, 1};
      if (N < station_value(*refs[want[SMALLEST_N].first], p, 1, NZ)) want[SMALLEST_N] = {c, 1};
      if (squared(c, 1) > squared(want[LARGEST_M_HEAD].first, 1)) want[LARGEST_M_HEAD] = {c, 1};
      for (int32_t k = pile.KG; k <= static_cast<int32_t>(pile.stations.size()); ++k) {
        const auto [kept, at] = want[LARGEST_M_SOIL];
        if (squared(c, k) > squared(kept, at)) want[LARGEST_M_SOIL] = {c, k};
      }
    }
    for (int32_t set = 0; set < DESIGN_SETS; ++set) {
      const DesignRow& row = pile.design[set];
      const auto [c, k] = want[set];
      EXPECT_EQ(row.combination, static_cast<int32_t>(c)) << "set " << set;
      EXPECT_EQ(row.k, k) << "set " << set;
      const float mx = station_value(*refs[c], p, k, MX), my = station_value(*refs[c], p, k, MY);
      EXPECT_EQ(bits(row.N), bits(station_value(*refs[c], p, k, NZ))) << "set " << set;
      EXPECT_EQ(bits(row.MX), bits(mx)) << "set " << set;
      EXPECT_EQ(bits(row.MY), bits(my)) << "set " << set;
      const StationResultant& r =
          refs[c]->resultants_of(refs[c]->piles[p])[static_cast<size_t>(k - 1)];
      EXPECT_EQ(bits(row.M), bits(r.M)) << "set " << set;
      EXPECT_EQ(bits(row.V), bits(r.V)) << "set " << set;
    }
    // A true peak is the largest of every combination's analysis, the first combination on equal
    // values, and no station value goes beyond it.
    for (const StationQuantity q : PEAK_QUANTITIES) {
      auto peak = [&](size_t c) { return refs[c]->piles[p].peaks.of[q]; };
      size_t first = 0;
      for (size_t c = 1; c < refs.size(); ++c) {
        if (std::fabs(peak(c).value) > std::fabs(peak(first).value)) first = c;
      }
      const EnvelopePeak& e = pile.peaks[q];
      EXPECT_EQ(e.combination, static_cast<int32_t>(first)) << QUANTITY_WORDS[q].name;
      EXPECT_EQ(bits(e.peak.value), bits(peak(first).value)) << QUANTITY_WORDS[q].name;
      EXPECT_EQ(bits(e.peak.Z), bits(peak(first).Z)) << QUANTITY_WORDS[q].name;
      const float largest =
          std::max(pile_maximum(pile, q).extreme.value, -pile_minimum(pile, q).extreme.value);
      EXPECT_GE(std::fabs(e.peak.value), largest) << QUANTITY_WORDS[q].name;
    }
  }
}

// The analysis of the stiffness alone agrees with the full analysis: the same KCAP and head
// stiffness, and the stations of its units at the places of the full result's station rows.
TEST_P(InProcess, StiffnessAloneAgreesWithTheFullAnalysis) {
  const Group group = example_group(GetParam());
  const Analysed full = analyse(group);
  const Analysed stiffness = analyse(group, {AnalysisScope::foundation});
  ASSERT_TRUE(full.has_value() && stiffness.has_value());
  for (int32_t i = 0; i < 36; ++i) {
    EXPECT_EQ(bits(stiffness->KCAP.v[i]), bits(full->KCAP.v[i]));
  }
  for (size_t p = 0; p < full->piles.size(); ++p) {
    SCOPED_TRACE("pile " + std::to_string(p + 1));
    const PileResult& pile = full->piles[p];
    const PileResult& alone = stiffness->piles[p];
    for (int32_t i = 0; i < 6; ++i) {
      for (int32_t j = 0; j < 6; ++j) EXPECT_EQ(bits(alone.K[i][j]), bits(pile.K[i][j]));
    }
    EXPECT_EQ(alone.KG, pile.KG);
    const std::span<const StationRow> rows = full->stations_of(pile);
    ASSERT_EQ(alone.units.stations->size(), rows.size());
    for (size_t k = 0; k < rows.size(); ++k) {
      EXPECT_EQ(bits((*alone.units.stations)[k].ZH), bits(rows[k][Z_COLUMN]));
    }
  }
}

// The march's extremes on every vector path of this processor bit for bit those of the baseline
// (whose envelopes the test above holds to kelmarino's), for the example's piles and for a pile
// whose responses overflow, which takes the lanes' range check to its slow branch.
TEST_P(InProcess, EveryVectorPathMarchesTheBaselinesBits) {
  const auto lib = library(GetParam());
  std::vector<PileMarch> marches = lib->marches;
  PileMarch overflowing = marches[0];
  auto x = std::make_shared<PlaneResponse>(*overflowing.x);
  for (double& r : x->at[1]) r = 1e300;
  overflowing.x = x;
  marches.push_back(overflowing);
  std::vector<LaneBatch> batches((lib->caps.size() + LANES - 1) / LANES);
  for (size_t c = 0; c < batches.size() * LANES; ++c) {
    LaneBatch& batch = batches[c / LANES];
    const CapDisplacements& cap = lib->caps[c % lib->caps.size()];
    for (int32_t i = 0; i < 6; ++i) batch.U[i][c % LANES] = cap.U[i];
    batch.combination[c % LANES] = static_cast<int32_t>(c);
  }
  const int32_t count = static_cast<int32_t>(batches.size());
  auto marched = [&](VectorPath path, const PileMarch& march) {
    std::vector<LaneTops> tops(batches.size());
    std::vector<StationLanes> states(batches.size());
    std::vector<LaneExtremes> extremes(static_cast<size_t>(march.station_count()));
    start_extremes(march.station_count(), extremes.data());
    march_extremes_on(path, march, batches.data(), count, tops.data(), states.data(),
                      extremes.data());
    return extremes;
  };
  for (const PileMarch& march : marches) {
    const std::vector<LaneExtremes> base = marched(VectorPath::baseline, march);
    for (const VectorPath path : vector_paths()) {
      SCOPED_TRACE("path " + std::to_string(static_cast<int>(path)) + ", pile " +
                   std::to_string(march.g));
      const std::vector<LaneExtremes> m = marched(path, march);
      for (size_t k = 0; k < m.size(); ++k) {
        const LaneExtremes& e = m[k];
        const LaneExtremes& b = base[k];
        for (int32_t j = 0; j < LANES; ++j) {
          for (int32_t q = 0; q < QUANTITIES; ++q) {
            ASSERT_EQ(bits(e.max[q][j]), bits(b.max[q][j])) << k << " " << q;
            ASSERT_EQ(bits(e.min[q][j]), bits(b.min[q][j])) << k << " " << q;
            ASSERT_EQ(e.cmax[q][j], b.cmax[q][j]);
            ASSERT_EQ(e.cmin[q][j], b.cmin[q][j]);
          }
          for (int32_t r = 0; r < RESULTANTS; ++r) {
            ASSERT_EQ(bits(e.squared[r][j]), bits(b.squared[r][j])) << k << " " << r;
            ASSERT_EQ(e.csquared[r][j], b.csquared[r][j]);
          }
        }
      }
    }
  }
}

// The combinations repeated over more than two parts: the envelopes are those of the first round,
// a later equal value never taking the place of the first combination, and the pile tops are
// handed over part by part in file order.
TEST(Parts, LaterPartsKeepTheFirstCombination) {
  const auto lib = library("pier");
  const size_t round = lib->caps.size();
  std::vector<CapDisplacements> caps;
  NameList combinations;
  for (size_t c = 0; caps.size() < 2 * COMBINATIONS_PER_PART + 7; c = (c + 1) % round) {
    caps.push_back(lib->caps[c]);
    combinations.push_back(lib->combinations.names[c]);
  }
  CaseResults first_round;
  CaseResults all;
  std::atomic<int32_t> done{0};
  std::vector<HeadResult> round_heads;
  envelope_piles(lib->marches, lib->caps, lib->combinations.names, 1, done, first_round,
                 [&](size_t, size_t, const std::vector<HeadResult>& heads) {
                   round_heads.insert(round_heads.end(), heads.begin(), heads.end());
                 });
  std::vector<size_t> starts;
  const size_t PNUM = lib->marches.size();
  envelope_piles(lib->marches, caps, combinations, 2, done, all,
                 [&](size_t first, size_t last, const std::vector<HeadResult>& heads) {
                   starts.push_back(first);
                   ASSERT_EQ(heads.size(), (last - first) * PNUM);
                   for (size_t c = first; c < last; ++c) {
                     for (size_t g = 0; g < PNUM; ++g) {
                       ASSERT_EQ(bits(heads[(c - first) * PNUM + g].FT[2]),
                                 bits(round_heads[(c % round) * PNUM + g].FT[2]));
                     }
                   }
                 });
  EXPECT_EQ(starts, (std::vector<size_t>{0, COMBINATIONS_PER_PART, 2 * COMBINATIONS_PER_PART}));
  EXPECT_EQ(done.load(), static_cast<int32_t>(caps.size()));
  for (size_t p = 0; p < PNUM; ++p) {
    for (size_t k = 0; k < all.piles[p].stations.size(); ++k) {
      for (int32_t q = 0; q < QUANTITIES; ++q) {
        const StationEnvelope& e = all.piles[p].stations[k];
        const StationEnvelope& once = first_round.piles[p].stations[k];
        ASSERT_EQ(bits(e.max[q].value), bits(once.max[q].value));
        ASSERT_EQ(e.max[q].combination, once.max[q].combination);
        ASSERT_EQ(bits(e.min[q].value), bits(once.min[q].value));
        ASSERT_EQ(e.min[q].combination, once.min[q].combination);
      }
    }
  }
}

// An overflow in the march of one combination: the run is refused naming the pile and the first
// combination whose march faults, whatever the thread count.
TEST(MarchFault, NamesThePileAndTheCombination) {
  auto lib = library("worked");
  std::vector<PileMarch> marches = lib->marches;
  auto x = std::make_shared<PlaneResponse>(*marches[2].x);
  for (double& r : x->at[1]) r = 1e300;
  marches[2].x = x;
  std::vector<CapDisplacements> caps = {lib->caps[0], lib->caps[1], lib->caps[2]};
  for (float& u : caps[0].U) u = 0.0f;  // no displacement, no overflow
  NameList combinations;
  for (const char* name : {"QUIET", "FIRST", "SECOND"}) combinations.push_back(name);
  for (const int32_t threads : {1, 2}) {
    CaseResults results;
    std::atomic<int32_t> done{0};
    try {
      envelope_piles(marches, caps, combinations, threads, done, results,
                     [](size_t, size_t, const std::vector<HeadResult>&) {});
      ADD_FAILURE() << "no fault";
    } catch (const RunError& error) {
      EXPECT_EQ(std::string(error.what()),
                "run-time error in the pile results of pile 3 under combination FIRST: overflow "
                "(a result beyond the range of single-precision reals)");
    }
  }
}

}  // namespace
}  // namespace kelmarino::cases
