#pragma once
// Load combinations and their envelopes: `kelmarino-cases [PATH/]BASE[.dat]` analyses the pile
// group of BASE.dat under every combination of the load cases of BASE.loads.csv (with the data
// file's own load points as the case "data" when its JCTR is 1), combined with the factors of
// BASE.combinations.csv, and writes into BASE-cases/ the cap displacements and the pile-top
// results of every combination and, for every pile and station, the envelopes: the largest and
// smallest value of each station quantity over the combinations, with the governing combination.
//
// The piles' stiffness, the foundation stiffness and the responses of every pile to unit head
// displacements are formed once, by the analysis of the group (analyse to
// AnalysisScope::foundation). Each combination then costs a solve and the station values of every
// pile, made of the same operations in the same order as a run of kelmarino on a data file whose
// load section lists the combination's scaled load points, so its results are bit-identical to that
// run's. The march carries LANES combinations at once, one per lane.
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "analysis/analysis.hpp"
#include "diagram/quantities.hpp"
#include "diagram/title_block.hpp"
#include "model/model.hpp"
#include "pile/pile.hpp"
#include "tables/tables.hpp"

namespace kelmarino::cases {

// ---- Load cases and combinations ----

// A load case: its load points (each its position on the cap and the load acting there, in the
// units, axes and signs of the data file's load points).
struct LoadCase {
  std::string name;
  std::vector<LoadValues> points;  // in file order
  int64_t line = 0;  // the line of its first row; 0 for the data file's own case, -1 for a value
  std::vector<int64_t> lines;  // the line of each point in a loads file
};

// One factor of a combination: a load case (index into the case list) and its non-zero factor.
struct Term {
  int32_t load_case = 0;
  float factor = 0.0f;
};

// A combination: its terms in the column order of the combinations file.
struct Combination {
  std::string name;
  std::vector<Term> terms;
  // Its line in the combinations file; 0 when given as a value, -1 when formed of one load case
  // where no combination is given.
  int64_t line = 0;
};

// Lists kept once: the items of every list one after another, and where each list ends. A file
// may list a million combinations.
template <typename Item, typename View>
class PackedLists {
 public:
  void push_back(View items) {  // `items` not a view of this list
    items_.insert(items_.end(), items.begin(), items.end());
    ends_.push_back(items_.size());
  }
  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  View operator[](size_t i) const {
    const size_t begin = i == 0 ? 0 : ends_[i - 1];
    return View(items_.data() + begin, ends_[i] - begin);
  }

 private:
  std::vector<Item> items_;
  std::vector<size_t> ends_;
};

// The names of the combinations in file order.
using NameList = PackedLists<char, std::string_view>;

// The factors of the first combinations in file order. The page echoes the factors of the first
// ECHOED_COMBINATIONS combinations; those of more are let go as they are read, so that memory
// hardly grows with their number.
using FactorList = PackedLists<Term, std::span<const Term>>;
inline constexpr size_t ECHOED_COMBINATIONS = 1000;
// The page echoes the first ECHOED_LOAD_POINTS load points of the load cases, in the order read.
inline constexpr size_t ECHOED_LOAD_POINTS = 1000;

// The six cap displacements of one combination (UX, UY, UZ, SX, SY, SZ in cap axes).
struct CapDisplacements {
  float U[6] = {};
};

// The name of the data file's own load case.
inline constexpr const char* DATA_CASE = "data";

// Whether a text is a name of a case or a combination: 1 to 40 letters, digits, _, - and .
bool is_name(const std::string& text);

// read_load_cases: the load cases of the text of a loads file (`file` names it in messages):
// the header case,x,y,FX,FY,FZ,MX,MY,MZ, then one row per load point; the rows of one case name
// are its points in file order, and cases are listed by their first row. `taken` names a case
// that already exists (the data file's own), empty when there is none. Every mistake is refused
// with a RunError naming the file, the line, the column and the offending text.
std::vector<LoadCase> read_load_cases(const std::string& text, const std::string& file,
                                      const std::string& taken);

// load_cases: the load cases of a run on a group: the data file's own, DATA_CASE (the group's
// load points in file order), when its JCTR is 1, then those of the text of a loads file
// (read_load_cases) when there is one.
std::vector<LoadCase> load_cases(const Group& group, const std::string* loads_text,
                                 const std::string& loads_name);

// Load cases and combinations given as values, as a program builds them: the rules of the files
// that are not those of the CSV text, on the values. A mistake is refused with an InputError
// naming the value by its place (loads["A"][0].FX, combinations["C1"]["B"]) and no line.

// add_load_cases: `cases` followed by the cases `given`: each has a name (is_name) not given to
// a case before it (the data file's own, DATA_CASE, among them), and every value is finite; at
// least one case in all.
std::vector<LoadCase> add_load_cases(std::vector<LoadCase> cases, std::vector<LoadCase> given);

// A combination given as values: its name and its factors by load case.
struct CombinationValues {
  std::string name;
  std::vector<std::pair<std::string, float>> factors;
};

// combinations_of: the combinations of values, at least one: each has a name given once, names
// each of its cases once and only cases of `cases`, with finite factors. Its terms are ordered as
// the columns of a combinations file written from the values: cases in the order first named.
std::vector<Combination> combinations_of(const std::vector<CombinationValues>& values,
                                         const std::vector<LoadCase>& cases);

// Every load case as a combination of its own with factor 1, for a run without combinations; the
// data file's own case not when it has no load points (NACT = 0) and other cases are given.
std::vector<Combination> single_case_combinations(const std::vector<LoadCase>& cases);

// The files a run reads, as its messages name them.
struct InputNames {
  std::string data, loads, combinations;
};

// The combinations of a run: their names and loads, and the factors of the first of them. A file
// may list a million combinations.
struct CombinationLoads {
  NameList names;
  FactorList factors;  // of the first ECHOED_COMBINATIONS
  // The FORCE of each combination (combination_force), in the order UX .. SZ of the cap
  // displacements solved from it: the loads applied at the cap centre.
  std::vector<CapDisplacements> loads;
  // The first combination whose reduction faults, kept whole so that analyse_combinations forms
  // its load again in its stage, where the fault is named; none when no reduction faults.
  size_t faulting = SIZE_MAX;
  Combination faulting_combination;
  std::vector<std::string> warnings;
};

// read_combination_loads: the combinations of the text of a combinations file: the header
// "combination" followed by case names, then one row per combination with one factor per case
// (an empty cell is 0), refused as read_load_cases refuses, each reduced to its FORCE as soon as
// it is read. The faults of the reductions are found from the floating-point flags, to be reported
// by analyse_combinations in their turn. The warnings name the mistakes that leave results out in
// silence: a load case that no combination uses (a misspelt case name makes a case of its own)
// and a combination whose factors are all 0, one message per mistake, "warning in FILE, line N:
// ...", `files` naming the files.
CombinationLoads read_combination_loads(const std::string& text, const InputNames& files,
                                        const std::vector<LoadCase>& cases);

// far_load_warnings: a warning for each load point of the cases given (not the data file's own,
// which its reader warns of) that lies far outside the plan of the piles, as the reader warns of
// the data file's: "warning in FILE, line 7: the load point of the load case DL at (0, -2500) lies
// far outside the plan ...", a point given as a value named by its place (loads["DL"][2]); after
// the first ten, one warning with the count of the others.
std::vector<std::string> far_load_warnings(const Group& group, const std::vector<LoadCase>& cases,
                                           const InputNames& files);

// combination_loads: combinations given as values (combinations_of, single_case_combinations) as
// read_combination_loads keeps those of a file, with its warnings: a case given as a value and a
// combination are named by their places (loads["A"], combinations["C1"]), `files.combinations`
// being empty.
CombinationLoads combination_loads(const std::vector<Combination>& combinations,
                                   const std::vector<LoadCase>& cases, const InputNames& files);

// ---- The loads of the combinations ----

// combination_force: FORCE = the load of a combination at the cap centre. Starting from zero,
// for each term in order and each load point of its case in order, the six components are each
// multiplied by the factor and the point's reduction is added (reduce_load_point), exactly as the
// reader reduces the same scaled points listed in a data file.
void combination_force(const Combination& combination, const std::vector<LoadCase>& cases,
                       Vec<float, 6>& FORCE);

// ---- The station march, LANES combinations at a time ----

inline constexpr int32_t LANES = 16;

// The march of one pile: its frames and head stiffness, the responses of its two planes and its
// stations.
struct PileMarch {
  int32_t g = 0;
  float top_x = 0.0f;  // the pile top in plan (m)
  float top_y = 0.0f;
  float D[36] = {};                        // offset_matrix of the pile top
  float Tt[36] = {};                       // transpose of axis_rotation: cap axes to pile axes
  float B[36] = {};                        // head stiffness in pile axes, column by column
  std::shared_ptr<const PlaneResponse> x;  // the x-z plane's responses
  std::shared_ptr<const PlaneResponse> y;  // the y-z plane's
  std::vector<Station> stations;           // station k at k - 1
  int32_t KG = 1;                          // the ground-line station
  std::vector<int32_t> joints;             // the stations that end a segment inside the pile
  std::vector<float> ZH;  // distance of each station from the pile top (m), station k at k - 1
  int32_t station_count() const { return static_cast<int32_t>(ZH.size()); }
};

// pile_marches: the march of every pile of a group from its analysis (AnalysisScope::foundation
// will do): the frames from the group's values, the head stiffness, the responses and the stations
// from the result. A group with a step count below 1 has no stations: a run-time error naming the
// first such segment.
std::vector<PileMarch> pile_marches(const Group& group, const Result& result);

// The analysis of a group under its combinations, as every front end takes it.
struct CombinationAnalysis {
  Result result;                       // of the group, to AnalysisScope::foundation
  std::vector<PileMarch> marches;      // pile_marches
  std::vector<CapDisplacements> caps;  // of every combination, in file order
};

// analyse_combinations: the group's analysis to its foundation stiffness and the march of every
// pile, then (`solving` told first, when given) the cap displacements of every combination: its
// FORCE solved by gauss_solve on a copy of KCAP, combination after combination in file order, the
// faulting reduction formed again in its turn. Faults are found from the floating-point flags.
// The issue that stops it: the analysis's, an input issue for a group whose piles have no
// stations (pile_marches), an analysis issue naming the stage of the combination that faults.
Expected<CombinationAnalysis> analyse_combinations(const Group& group,
                                                   const std::vector<LoadCase>& cases,
                                                   const CombinationLoads& combinations,
                                                   const std::function<void()>& solving = {});

// The quantities of one station under LANES combinations: q[quantity][lane].
struct StationLanes {
  alignas(64) float q[QUANTITIES][LANES];
};

// The pile-top displacements and forces in pile axes under LANES combinations: DU[i][lane].
struct LaneTops {
  alignas(64) float DU[6][LANES];
  alignas(64) float FT[6][LANES];
};

// march_top: the pile-top displacements and forces of march_lanes alone.
void march_top(const PileMarch& march, const float (&U)[6][LANES], LaneTops& tops);

// march_lanes: for the cap displacements U[i][lane] of LANES combinations, the pile-top
// displacements (TOPD, as top_displacements forms them), the pile-top forces and the quantities of
// every station of the pile (stations[k - 1] for station k), by station_values as
// compute_stations takes them.
void march_lanes(const PileMarch& march, const float (&U)[6][LANES], LaneTops& tops,
                 StationLanes* stations);

// The resultants of a station: the shear V and the moment M.
enum Resultant : int32_t { RESULTANT_V, RESULTANT_M, RESULTANTS };

// The extremes of every quantity at one station kept by each lane over the combinations it has
// carried, with the combination (index from 0) that reached each first; and the largest square of
// each resultant (NX^2 + NY^2, MX^2 + MY^2) with its combination. The squares are in double
// precision from the single-precision values: exact squares whose sum is rounded once, ordered as
// the resultants they give and never beyond the range.
struct LaneExtremes {
  alignas(64) float max[QUANTITIES][LANES];
  alignas(64) float min[QUANTITIES][LANES];
  alignas(64) int32_t cmax[QUANTITIES][LANES];
  alignas(64) int32_t cmin[QUANTITIES][LANES];
  alignas(64) double squared[RESULTANTS][LANES];
  alignas(64) int32_t csquared[RESULTANTS][LANES];
};

// start_extremes: no value kept yet at stations 1..NSTA.
void start_extremes(int32_t NSTA, LaneExtremes* extremes);

// The cap displacements U[i][lane] of LANES combinations and their numbers (from 0, in file order).
struct LaneBatch {
  alignas(64) float U[6][LANES];
  int32_t combination[LANES];
};

// march_extremes: the values of march_lanes for `count` batches, station by station; each
// station's quantities and resultants are taken into the lanes' extremes (extremes[k - 1] for
// station k), batch after batch, instead of being kept. A value replaces the kept one only when it
// is strictly beyond it. tops and states hold `count` elements.
void march_extremes(const PileMarch& march, const LaneBatch* batches, int32_t count, LaneTops* tops,
                    StationLanes* states, LaneExtremes* extremes);

// The vector units the march can run on: the baseline, and AVX2 and AVX-512 where the processor
// has them. march_extremes runs on the widest; every path gives the same bits.
enum class VectorPath { baseline, avx2, avx512 };

// vector_paths: the paths this processor has, the baseline first and the widest last.
std::vector<VectorPath> vector_paths();

// march_extremes_on: march_extremes on one path of vector_paths().
void march_extremes_on(VectorPath path, const PileMarch& march, const LaneBatch* batches,
                       int32_t count, LaneTops* tops, StationLanes* states, LaneExtremes* extremes);

// ---- Envelopes ----

// An extreme value and the combination (index from 0, in file order) that first reaches it.
struct Extreme {
  float value = 0.0f;
  int32_t combination = 0;
};

// The envelope of one station: the largest and smallest value of every quantity, and the largest
// resultant V and M (the combination with the largest square of the components in single
// precision, its resultant as the analysis forms it).
struct StationEnvelope {
  Extreme max[QUANTITIES];
  Extreme min[QUANTITIES];
  Extreme resultant[RESULTANTS];
};

// A design set: the forces of one combination at one station of a pile, concurrent: the axial
// force N, the moments MX, MY and their resultant M, the resultant shear V, in pile axes.
struct DesignRow {
  int32_t combination = -1;  // index from 0, -1 when there is none
  int32_t k = 1;             // station
  float N = 0.0f, MX = 0.0f, MY = 0.0f, M = 0.0f, V = 0.0f;
};

// The design sets of a pile: the combinations of the largest and the smallest axial force and
// of the largest resultant moment at the head, and of the largest resultant moment from the
// ground line down; on equal values the first combination in file order, then the first station.
enum DesignSet : int32_t { LARGEST_N, SMALLEST_N, LARGEST_M_HEAD, LARGEST_M_SOIL, DESIGN_SETS };

// A true peak of a pile over the combinations (pile_peaks) and the combination that gives it.
struct EnvelopePeak {
  Peak peak;
  int32_t combination = -1;  // -1 when the quantity has no peak
};

// The envelopes of one pile: per station, the largest and smallest value of every quantity over
// the combinations; on equal values the first combination in file order governs.
struct PileEnvelope {
  int32_t g = 0;
  float top_x = 0.0f;  // the pile top in plan (m)
  float top_y = 0.0f;
  int32_t KG = 1;               // the ground-line station
  std::vector<int32_t> joints;  // the stations that end a segment inside the pile
  std::vector<float> ZH;
  std::vector<StationEnvelope> stations;
  DesignRow design[DESIGN_SETS];
  // For UX, UY, NX, NY, MX, MY, PSX and PSY: the largest true peak over the combinations, the
  // first of them on equal values.
  EnvelopePeak peaks[QUANTITIES];
};

// The pile-top results of one combination and pile, in pile axes.
struct HeadResult {
  float DU[6] = {};  // UX, UY, UZ, SX, SY, SZ
  float FT[6] = {};  // NX, NY, NZ, MX, MY, MZ
};

// The results of all combinations: the envelopes of every pile.
struct CaseResults {
  std::vector<PileEnvelope> piles;
};

// The combinations taken at a time: their pile tops are handed over, then let go.
inline constexpr size_t COMBINATIONS_PER_PART = 512;

// Receives the pile tops of the combinations first .. last - 1 (element (c - first) * PNUM + g - 1
// for combination c and pile g), part after part in file order.
using HeadsWriter =
    std::function<void(size_t first, size_t last, const std::vector<HeadResult>& heads)>;

// envelope_piles: marches every pile under every combination and keeps the envelopes, the
// combinations taken COMBINATIONS_PER_PART at a time, their pile tops handed to `write_heads`.
// The piles are shared out among `threads` threads, each finding its arithmetic faults from its
// own floating-point flags; the results do not depend on the thread count. `combinations_done`
// counts the combinations finished. A fault is reported for the first combination in file order
// whose march faults, at the lowest pile that faults under it, then for the lowest pile whose true
// peaks over the combinations fault; the calling thread's fault context then names the stage
// "pile results" and that pile.
void envelope_piles(const std::vector<PileMarch>& marches,
                    const std::vector<CapDisplacements>& caps, const NameList& combinations,
                    int32_t threads, std::atomic<int32_t>& combinations_done, CaseResults& results,
                    const HeadsWriter& write_heads);

// The extreme of quantity q over all stations and combinations of a pile: the largest (or
// smallest) value, then the first combination, then the first station from the top.
struct PileExtreme {
  Extreme extreme;
  int32_t k = 1;  // station
};
PileExtreme pile_maximum(const PileEnvelope& pile, int32_t q);
PileExtreme pile_minimum(const PileEnvelope& pile, int32_t q);

// ---- Equilibrium ----

// The supports' reactions and the equilibrium of the cap under the combinations, taken part by
// part in file order, with the largest residual over every part taken.
class CapBalance {
 public:
  explicit CapBalance(const Group& group);
  // The combinations first .. last - 1 from their applied loads (the FORCE of each), their cap
  // displacements and their pile tops (element (c - first) * PNUM + g - 1): the reactions
  // (element (c - first) * SNUM + j - 1) and the equilibrium of each (element c - first). An
  // arithmetic fault is thrown as the run-time error of the first combination it arose in.
  void take(const std::vector<CapDisplacements>& applied, const std::vector<CapDisplacements>& caps,
            std::span<const HeadResult> heads, const NameList& combinations, size_t first,
            size_t last);
  std::vector<SupportResult> supports;  // of the part last taken
  std::vector<Equilibrium> balance;     // of the part last taken
  float largest = 0.0f;                 // the largest residual, first reached
  size_t largest_at = 0;                // under this combination
  size_t above = 0;                     // the combinations above EQUILIBRIUM_TOLERANCE
  int32_t supports_count() const { return model_->run.SNUM; }

 private:
  std::shared_ptr<const Model> model_;
  std::vector<CapPoint> points_;
};

// ---- Output ----

// The names the outputs of a run give, and the inputs the page echoes.
struct CaseNames {
  std::string title;  // the base name of the data file
  std::vector<LoadCase> cases;
  NameList combinations;
  FactorList factors;                 // of each combination
  std::vector<std::string> warnings;  // the warnings of the input, shown at the top of the page
  TitleBlock block;                   // at the head of the page
  ForceUnit force = ForceUnit::t;     // of the tables of the page, the summary and the CSV files
};

// The CSV files with one row per combination (cap.csv), per combination and pile (heads.csv),
// and per pile and station (stations.csv). Numbers are the shortest text of the float that reads
// back as the same float (std::to_chars), written straight into the text; the header row is the
// result tables' one; forces are in the unit names.force (shown_unit). cap_csv and heads_csv write
// the part of the combinations from `first` up to `last`, with the header row when `first` is 0;
// the pile tops of heads_csv are those of the part (element (c - first) * PNUM + g - 1), its rows
// appended to `text` (an empty text, whose memory may serve again).
std::string cap_csv(const CaseNames& names, const std::vector<CapDisplacements>& caps, size_t first,
                    size_t last);
std::string heads_csv(const CaseNames& names, int32_t PNUM, std::span<const HeadResult> heads,
                      size_t first, size_t last, std::string text);
std::string stations_csv(const std::vector<PileEnvelope>& piles, ForceUnit force);
// equilibrium.csv: per combination the applied loads at the cap centre, the sum of the pile heads
// and the supports there and the residual; supports.csv: per combination and simulated pile its
// reaction. The part from `first` up to `last`, as cap_csv.
std::string equilibrium_csv(const CaseNames& names, std::span<const Equilibrium> balance,
                            size_t first, size_t last);
std::string supports_csv(const CaseNames& names, int32_t SNUM,
                         std::span<const SupportResult> supports, size_t first, size_t last);
// The warning of the combinations whose equilibrium does not close to EQUILIBRIUM_TOLERANCE; none
// when every one does.
std::optional<std::string> balance_warning(const CaseNames& names, const CapBalance& balance);

// envelope.csv: per pile and quantity, the largest and smallest value with their combination and
// Z; the summary: per pile, the compression and tension at the top and the largest moment and
// soil stress.
ResultTable envelope_table(const CaseNames& names, const std::vector<PileEnvelope>& piles);
ResultTable summary_table(const CaseNames& names, const std::vector<PileEnvelope>& piles);
std::string summary_text(const CaseNames& names, const std::vector<PileEnvelope>& piles);

// The design sets and the true peaks of every pile (design-sets.csv, peaks.csv), or for a reader
// (the page and the summary).
ResultTable design_sets_table(const CaseNames& names, const std::vector<PileEnvelope>& piles,
                              bool for_reader);
ResultTable peaks_table(const CaseNames& names, const std::vector<PileEnvelope>& piles,
                        bool for_reader);

// The envelope diagrams of one pile (SVG), the extremes marked with their value and combination,
// and the page that shows the overview plan, the tables, the method section `method`, the load
// cases and the combinations' factors echoed, and every diagram. The page is written in five
// parts, as a file may list a million combinations: the text before the rows of the factor table,
// its rows (factor_rows_html, combinations first .. last - 1, in the columns of factor_column_of,
// found once for all of them), the text between it and the rows of the table of the cap
// displacements, their rows (cap_rows_html, with the noise levels of every combination), the text
// after them.
std::string envelope_svg(const PileEnvelope& pile, const CaseNames& names);
struct PageParts {
  std::string before;
  std::string middle;
  std::string after;
};
PageParts index_html(const Group& group, const CaseNames& names,
                     const std::vector<PileEnvelope>& piles, const CapBalance& balance,
                     const std::string& method);
// The column of each load case in the factor table: the cases that some combination shown uses,
// in the order of the load cases, from 1; 0 for a case that none uses, whose column would be
// empty (and a loads file of many cases would make the table as wide as it is long).
std::vector<size_t> factor_column_of(const CaseNames& names);
std::string factor_rows_html(const CaseNames& names, const std::vector<size_t>& column,
                             size_t first, size_t last);
using CapLevels = std::array<double, 6>;
CapLevels cap_noise_levels(const std::vector<CapDisplacements>& caps);
std::string cap_rows_html(const CaseNames& names, const std::vector<CapDisplacements>& caps,
                          const CapLevels& levels, size_t first, size_t last);

// ---- The inputs of a run, and the combinations for a caller of the library ----

// A loads or combinations file: its text and its name.
struct CaseFile {
  std::string text, name;
};
// The load cases given: a loads file, or cases as values (a name and load points each).
using LoadsGiven = std::variant<CaseFile, std::vector<LoadCase>>;
// The combinations given: none (every load case alone), a combinations file, or values.
using CombinationsGiven = std::variant<std::monostate, CaseFile, std::vector<CombinationValues>>;

// given_cases: the load cases of a group (its own load points the case "data" when its JCTR is 1)
// and those given, and the combinations given of them, refused as the files and values are; the
// warnings are those of the load points far outside the plan (far_load_warnings), then those of
// the cases and combinations.
struct GivenCases {
  std::vector<LoadCase> cases;
  CombinationLoads combinations;
};
GivenCases given_cases(const Group& group, const LoadsGiven& loads,
                       const CombinationsGiven& combinations);

// The results of every combination: their names, cap displacements and pile tops (combination
// after combination, pile after pile), and the envelopes of the piles.
struct Combined {
  std::vector<std::string> names;
  // The warnings of the cases and combinations, as kelmarino-cases gives them.
  std::vector<std::string> warnings;
  std::vector<CapDisplacements> caps;
  std::vector<HeadResult> heads;
  CaseResults results;
};

// combine: the load cases of a group (its own load points the case "data" when its JCTR is 1,
// then those given) under the combinations given, analysed on one thread as kelmarino-cases
// analyses them. `stop`, set from another thread, ends the march at the next part of the
// combinations. The issue that stops it: a refused input (named by its file and line, or by its
// place among the values), a fault of a stage, or "stopped on request".
Expected<Combined> combine(const Group& group, const LoadsGiven& loads,
                           const CombinationsGiven& combinations, const std::atomic<bool>& stop);

// ---- The command ----

// run_cases_command: the whole command on its arguments. Returns the exit status: 0 after writing
// the folder (or the help or the version), 1 after a run-time error (its message on `errors`), 2
// after a usage error.
int32_t run_cases_command(int argc, const char* const* argv, std::FILE* out, std::FILE* errors);

// The progress line of a phase: "kelmarino-cases: TEXT", with the count of items done out of
// `total` when there is one, cut within `columns` - 1 characters of a terminal (the text cut
// first, on a whole UTF-8 character), so that it never wraps and its carriage return goes back to
// its start.
std::string progress_line(std::string_view text, int32_t done, int32_t total, size_t columns);

}  // namespace kelmarino::cases
