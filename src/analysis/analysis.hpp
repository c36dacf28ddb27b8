#pragma once
// The analysis as a library: a data file's text in, a pile group or an input mistake out; a group
// in, a result or an analysis fault out; a group and a base name in, the report and the
// post-processing file out. Nothing is printed, no signal handler is installed and nothing
// outside the calling thread is changed, so the calls may run in any host and in several
// threads at once, each on its own group.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/foundation.hpp"
#include "input/input.hpp"
#include "layout/layout.hpp"
#include "model/model.hpp"
#include "pile/pile.hpp"
#include "results/results.hpp"

namespace kelmarino {

// What stopped a reading, a check or an analysis: its kind, where it stands, what is wrong, and
// the whole message as kelmarino prints it.
struct Issue {
  enum class Kind : int32_t {
    input,     // a mistake in a data file or in a group's values
    analysis,  // an arithmetic fault of the analysis
  };
  Kind kind = Kind::input;
  // Where: in a data file, its line (0: none) and column (0-based) with the line's text; in a
  // group's values, the path of the value, which begins the message; in the analysis, the stage
  // and the pile (0: no single pile).
  std::string file;
  int64_t line = 0;
  int32_t column = 0;
  std::string text;
  std::string stage;
  int32_t pile = 0;
  std::string message;  // what is wrong, without its place
  std::string full;     // the whole message
  // An input error of the console ("Error:<0>", "Error: <K>"): its lines as kelmarino prints
  // them on the console, before its stop message; empty for every other mistake.
  std::string console;
  std::vector<std::string> warnings;  // the data file's warnings before the mistake
};

// What a call that may fail returns: its value, or the issue that stopped it; never both.
template <typename T>
class Expected {
 public:
  Expected(T value) : value_(std::move(value)) {}      // NOLINT: a value is an outcome
  Expected(Issue issue) : issue_(std::move(issue)) {}  // NOLINT: and so is an issue
  bool has_value() const { return value_.has_value(); }
  explicit operator bool() const { return has_value(); }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  const Issue& issue() const { return *issue_; }

 private:
  std::optional<T> value_;
  std::optional<Issue> issue_;
};

// A mistake in the input named by its file alone: `message` is what is wrong, `full` the whole
// message.
Issue input_issue(const std::string& file, const std::string& message, const std::string& full);

// The issue of an input error thrown by the parse or check of a data file, with its line, column
// and text.
Issue input_issue(const InputError& error);

// An arithmetic fault of the analysis at a stage and a pile (0: none), with its whole message.
Issue analysis_issue(const std::string& stage, int32_t pile, const std::string& full);

// A pile group ready for the analysis: the model (loads reduced to the cap centre, lengths
// summed), the load points, the warnings of its data file (each with the line and caret under it,
// as the console shows them) and its values.
struct Group {
  std::string name;  // the data file, as named in messages
  std::shared_ptr<const Model> model;
  LoadPoints loads;
  std::vector<std::string> warnings;
  GroupValues values;  // the values it was made from
};

using GroupRead = Expected<Group>;

// A data file as parsed: its name and text, its values, where each stood, and the warnings of
// its reading (numbers left after the last value of a free read).
struct ParsedFile {
  std::string name, text;
  GroupValues values;
  GroupPlaces places;
  std::vector<std::string> warnings;
};

// parse: the values of a data file's text and where each stood, `name` naming the file in
// messages. Refuses what the reading itself cannot take (parse_data), and an overflow of the
// loads' reduction to the cap centre; checks nothing of the values' physics.
Expected<ParsedFile> parse(std::string text, const std::string& name);

// What the check of a parsed data file finds: every mistake (check_data), each with its file,
// line, column and the line's text, the whole message as kelmarino prints it, and last an
// arithmetic fault of the checks of the plan; and the warnings of allowed but unusual values,
// given until the first mistake.
struct FileCheck {
  std::vector<Issue> mistakes;
  std::vector<std::string> warnings;
};
FileCheck check(const ParsedFile& file);

// parse_group: the group of a data file's text: parse, check (its first mistake, with the
// warnings of the reading) and the model filled in; `name` names the file in messages.
GroupRead parse_group(const std::string& text, const std::string& name);

// read_group: the same for the data file at `path`.
GroupRead read_group(const std::string& path);

// values_of: the values a group was made from; a data file's types are those of its type
// numbers, in the order of the piles that first take them.
GroupValues values_of(const Group& group);

// data_text: the data file of a group's values, for a program that writes one.
std::string data_text(const GroupValues& values);

// check: every mistake of a group's values, each named by the path of the value in the group,
// the value and the rule, with the data file's key in brackets:
//   types[2].below[0].diameter = -1.5: a diameter must be greater than 0 (DOB)
// Every type is checked, whether a pile takes it or not; the loads when JCTR is 1 and INO when it
// is 3, as a data file gives them only then; the step counts when the run goes on to the pile
// results (JCTR neither 2 nor 3).
std::vector<Issue> check(const GroupValues& values);

// unusual: the values of a group that check passes which are allowed but unusual, as a data file
// warns of them, each named by its path, with its usual range and key:
//   types[0].below[1].m = 3e+06: usual: 50 to 300000 (t/m4 or kN/m4; ...) (PMT)
std::vector<std::string> unusual(const GroupValues& values);

// build_group: the group of its values, the same to the bit as the group of its data file
// data_text(values); the first mistake of check(values) when there is one, or an arithmetic
// fault of the load reduction or the segment sums.
GroupRead build_group(const GroupValues& values);

// What the load combinations, and the true peaks found later, take of a pile besides its head
// stiffness: the responses of its two bending planes to unit head displacements, shared by the
// piles of one type, and its stations (station k at k - 1), shared with the pile before when they
// are the same; no stations when a step count is below 1. Handed out by the analysis of the
// stiffness alone, and by the full analysis when it defers the true peaks.
struct PileUnits {
  std::shared_ptr<const PlaneResponse> x;  // the x-z plane
  std::shared_ptr<const PlaneResponse> y;  // the y-z plane
  std::shared_ptr<const std::vector<Station>> stations;
};

// The results of one pile: pile-top displacements DU and forces FT, the head stiffness K, all
// in pile axes, and where its stations (from the top, KG the ground line) stand among the
// stations of the result.
struct PileResult {
  float DU[6] = {};
  float FT[6] = {};
  float K[6][6] = {};
  int32_t KG = 1;
  size_t first = 0;  // its first row of Result::stations
  size_t count = 0;  // its number of stations
  PilePeaks peaks;   // the true peaks between its stations, when it has stations
  PileUnits units;   // AnalysisScope::foundation, or true peaks deferred and not yet found
};

// The values a checker recomputes by hand, as the analysis's stiffness stages formed them.
struct SegmentFactors {          // of a segment below the ground line
  float BX = 0.0f, BY = 0.0f;    // calculation widths b = (d + 1).k.kf in x and y (m)
  float BTX = 0.0f, BTY = 0.0f;  // deformation factors alpha = (m.b/EI)^0.2 in x and y (1/m)
  float EI = 0.0f;               // bending stiffness PEH.I (t*m2)
};
struct PileFactors {
  float ZFR = 0.0f, ZBL = 0.0f;       // lengths above and below the ground line (m)
  float ABOT = 0.0f;                  // bearing area at the bottom (m2)
  float AXK = 0.0f;                   // axial stiffness (t/m)
  float kf = 1.0f;                    // shape factor of the width: 0.9 square, 1 circular
  std::vector<SegmentFactors> below;  // from the ground line down
};
struct DerivedValues {
  float kx = 1.0f, ky = 1.0f;  // interaction coefficients of the group
  // The row that sets kx and ky: the distinct positions of the group when some pair stands closer
  // than 1 m (by_positions), else the row of the smallest coefficient.
  bool by_positions = false;
  RowSpacing row_x, row_y;
  std::vector<PileFactors> piles;
};

// The reaction of a simulated pile: the force on it, in cap axes at its position (the sign of the
// pile heads' forces FT, which are the forces on the piles).
struct SupportResult {
  float R[6] = {};  // NX, NY, NZ, MX, MY, MZ
};

// The resultant shear V = sqrt(NX^2 + NY^2) (t) and moment M = sqrt(MX^2 + MY^2) (t*m) of a
// station (resultant).
struct StationResultant {
  float V = 0.0f;
  float M = 0.0f;
};

struct Result {
  float cap[6] = {};                         // UX, UY, UZ, SX, SY, SZ of the cap centre
  Table<float, 6, 6> KCAP;                   // the stiffness of the foundation at the cap centre
  std::vector<PileResult> piles;             // without stations when a step count is below 1
  std::vector<StationRow> stations;          // of every pile, one pile after the other
  std::vector<StationResultant> resultants;  // of every station, beside `stations`
  std::vector<SupportResult> supports;       // of every simulated pile, with the cap displacements
  Equilibrium equilibrium;                   // of the cap, with the cap displacements
  DerivedValues derived;
  std::span<const StationRow> stations_of(const PileResult& pile) const {
    return {stations.data() + pile.first, pile.count};
  }
  std::span<const StationResultant> resultants_of(const PileResult& pile) const {
    return {resultants.data() + pile.first, pile.count};
  }
};

using Analysed = Expected<Result>;

// How far an analysis goes: the piles' head stiffness (Result::piles without their tops and
// stations) and the foundation's stiffness KCAP, also every pile's KG and units (the cap at rest
// and no station values, for a caller that brings loads of its own: the load combinations), or
// everything.
enum class AnalysisScope { piles, foundation, everything };

// The stages of an analysis, in their order.
enum class AnalysisStage { deformation_factors, axial_stiffness, lateral_stiffness, foundation };

// The true peaks between the stations (PileResult::peaks) of the whole analysis: found with the
// rest, deferred (each pile keeps its units until find_true_peaks), or left out.
enum class TruePeaks { found, deferred, left_out };

struct AnalysisOptions {
  AnalysisScope scope = AnalysisScope::everything;
  std::function<void(AnalysisStage)> starting;  // told as each stage starts, when given
  TruePeaks true_peaks = TruePeaks::found;
};

// scope_asked: what the report of a group asks for: with JCTR = 3 the piles' stiffness, with
// JCTR = 2 the foundation's, else everything.
AnalysisScope scope_asked(const Group& group);

// analyse: the analysis of a group under its loads as far as the options ask (by default the
// whole, whatever its JCTR asks for the report); the stations only when every step count is 1
// or more (a group for a stiffness print may have none).
Analysed analyse(const Group& group, const AnalysisOptions& options = {});

// The same on a group that is used up: its model, unless another group shares it,
// is changed by the analysis in place of a copy (a large one beside the analysis of a few piles).
Analysed analyse(Group&& group, const AnalysisOptions& options = {});

// find_true_peaks: the true peaks of the piles whose analysis deferred them, each pile's units
// let go once its peaks are found; nothing for the others. The issue of an arithmetic fault, at
// the stage "pile results" and its pile, as the analysis would have named it.
std::optional<Issue> find_true_peaks(Result& result);

// The values of a group as analysed and their results, kept together (a Python Result, a
// stored analysis).
struct StoredAnalysis {
  GroupValues values;
  Result result;
};

// analysis_bytes: an analysis as bytes that analysis_from_bytes of the same version reads back.
// A pile's units are not kept: true peaks deferred and not yet found (find_true_peaks) are
// stored as none.
std::string analysis_bytes(const StoredAnalysis& analysis);

// analysis_from_bytes: the analysis that analysis_bytes wrote. Refused when the bytes are not
// such an analysis of this version, or do not hold together (a pile's stations outside the
// rows, a type that is not there, counts of piles, segments or supports that differ between the
// values and the results, bytes left over): damaged bytes are never read beyond.
Expected<StoredAnalysis> analysis_from_bytes(std::string_view bytes);

// write_results: the report lines after the banner and the post-processing records of a group
// from its results, as kelmarino writes them for its data file: the stiffness print that its
// JCTR asks for, or the cap displacements and every pile. Two streams are written at once, the
// records by a thread of their own; one stream given for both takes them pile by pile.
void write_results(const Group& group, const Result& result, OutChannel& report, OutChannel& pos);

// The same into BASE.out and BASE.pos, the report with its banner. Returns the message of a
// failure to write.
std::optional<std::string> write_results(const Group& group, const Result& result,
                                         const std::string& base);

}  // namespace kelmarino
