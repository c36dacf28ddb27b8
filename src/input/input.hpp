#pragma once
// The data file: four sections (control and loads, pile arrangement, pile types,
// simulated piles), each opened by a heading line and closed by an end line. Pile properties are
// given per type number: the "<0>" block for types 0 and below, a type block per positive type, a
// keyword block ("KSH=" ... "PKE=") per negative type, and a stiffness block per simulated type.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "layout/layout.hpp"
#include "model/model.hpp"

namespace kelmarino {

// The version the report banner and the results view's summary name: part of their fixed layout,
// not the build's version (version/version.hpp).
inline constexpr const char* REPORT_VERSION = "1.10";

// The base of the files of a run named on a command line: "PATH/BASE.dat" and "PATH/BASE" both
// give "PATH/BASE" (the data file is the base followed by ".dat"; results go beside it).
std::string data_base(std::string_view argument);

// Whether a base name names no file: empty, or a folder with no name after it ("sub/", "sub/.",
// "..").
bool names_no_file(std::string_view base);

// Why a program refuses a base name: "is empty" when it names no file, "holds a control
// character" when it has one (a tab, an escape: the messages that name its files would send it
// to the terminal as it is); empty when it is a name to run on.
std::string base_name_refusal(std::string_view base);

// The keys of a keyword block, in the order in which they are compared, with the largest index
// each takes (0: the index is read but not used).
struct KeyName {
  const char* text;
  int32_t index_limit;
};
inline constexpr int32_t KEY_COUNT = 16;
extern const KeyName KEYS[KEY_COUNT];

// The load points of the control section as read (JCTR = 1), before their reduction to the cap
// centre.
struct LoadPoints {
  int32_t NACT = 0;
  Table<float, MAX_LOAD_POINTS, 2> AXY;  // x, y of each load point (m)
  Table<float, MAX_LOAD_POINTS, 6> ACT;  // Fx, Fy, Fz (t), Mx, My, Mz (t*m) at each load point
};

// ---- A pile group given by its values ----
//
// A data file parses into values; a program that builds groups (a parametric study, a host
// language) holds them itself. Piles refer to their type by its index in `types`; a data file's
// types are its type numbers in the order of the piles that first take them.

struct AboveValues {  // a segment above the ground line
  float length = 0.0f, diameter = 0.0f;
  int32_t steps = 1;
};

struct BelowValues {  // a segment below it
  float length = 0.0f, diameter = 0.0f, m = 0.0f, friction = 0.0f;
  int32_t steps = 1;
};

struct TypeValues {
  int32_t shape = 0, tip = 0;  // KSH, KSU
  float axis[3] = {0.0f, 0.0f, 1.0f};
  std::vector<AboveValues> above;
  std::vector<BelowValues> below;
  float PMB = 0.0f, PEH = 0.0f, PKE = 0.0f;
};

struct PileValues {
  float x = 0.0f, y = 0.0f;
  int32_t type = 0;  // index in GroupValues::types
};

struct LoadValues {
  float x = 0.0f, y = 0.0f;
  float act[6] = {};  // FX, FY, FZ, MX, MY, MZ
};

struct SupportValues {  // a simulated pile
  float x = 0.0f, y = 0.0f;
  float stiffness[36] = {};  // in cap axes, row by row
};

struct GroupValues {
  std::string name;  // names the group in messages
  int32_t JCTR = 1, INO = 0;
  std::vector<LoadValues> loads;
  std::vector<PileValues> piles;
  std::vector<TypeValues> types;
  std::vector<SupportValues> supports;
  // How a message names each type after "types" when not by its index: the key of each type in a
  // host's mapping of the types ("-1" gives "types[-1]").
  std::vector<std::string> type_keys;
};

// Where the values of a type stood in its data file (a place of line 0: no line set the value).
// A pile of the type takes its values from its block: those of the <0> block for a type of 0 or
// below, then its key lines for a negative type.
struct TypePlaces {
  int32_t number = 0;        // the type number its piles carry in the file
  int32_t NFR = 0, NBL = 0;  // the segment counts as read (the lists hold at most MAX_SEGMENTS)
  Place at_KSH, at_KSU, at_NFR, at_NBL, at_PMB, at_PEH, at_PKE;
  Place at_AGL;    // the last component set (in a type block: AGL(2))
  Place at_steps;  // the last change of a segment count or a step count
  Place at_HFR[MAX_SEGMENTS], at_DOF[MAX_SEGMENTS], at_NSF[MAX_SEGMENTS];
  Place at_HBL[MAX_SEGMENTS], at_DOB[MAX_SEGMENTS], at_PMT[MAX_SEGMENTS], at_PFI[MAX_SEGMENTS],
      at_NSG[MAX_SEGMENTS];
};

// Where the values of a group stood in its data file, beside GroupValues: each load point and
// pile by the place of its x, each type by TypePlaces, and the type number of each simulated pile.
struct GroupPlaces {
  std::vector<Place> loads;
  std::vector<Place> piles;
  std::vector<TypePlaces> types;
  std::vector<int32_t> supports;
};

// parse_data: the values of a whole data file and where each stood, the types numbered in the
// order of the piles that first take them. The reading refuses, as a run-time error that names
// the line: text that is not the file's layout, counts beyond the capacities of the model that
// the reading itself needs (NACT, PNUM, SNUM, NKEY, a key's index), INO naming no pile, a type
// number no tag can name, a block beyond the section's count, a simulated pile without a block and
// a stiffness term beyond LARGEST_STIFFNESS. The two input errors ("Error:<0>", "Error: <K>") are
// written on the console and end the read as an InputError that keeps their lines. A number left
// after the last value of a free read is warned about on the data channel's warning stream. The
// loads' reduction to the cap centre is tried once they are read (its result is not kept), so
// that an overflow stops the read there.
void parse_data(InChannel& data, OutChannel& console, GroupValues& values, GroupPlaces& places);

// check_data: every mistake of a parsed data file, as run-time errors that name the line of the
// value and echo it, in the order the piles are numbered (a type checked with its first pile):
// values outside the capacities of the model, and values without physical meaning (a negative
// segment length, a diameter, soil coefficient, PMB, PEH or PKE of 0 or less, a friction angle
// outside 0 to 90 degrees, a step count below 1 when the run goes on to the pile results, a pile
// axis that is not a downward unit vector); then two piles at one point with the same axis. Until
// the first mistake, allowed but unusual values are warned of on the data channel's warning
// stream, each place once.
std::vector<InputError> check_data(InChannel& data, const GroupValues& values,
                                   const GroupPlaces& places);

// The stations of pile p for the pile results: station 1 is the pile top and every step of a
// segment ends in one new station; a step count below 1 adds none. Needs NFR and NBL within
// 0 to MAX_SEGMENTS.
struct PileStations {
  int64_t KG = 1;                      // the ground-line station: 1 + the steps above ground
  int64_t NSTA = 1;                    // the station count: KG + the steps below ground
  int64_t end[2 * MAX_SEGMENTS] = {};  // the station ending each segment, from the top down
};
PileStations pile_stations(const PileData& piles, int32_t p);

// The stations that end a segment of pile p inside the pile, from the top down: the segment
// joints, the ground-line station and the tip excluded.
std::vector<int32_t> segment_joints(const PileData& piles, int32_t p);

// The tag of a block as the data file writes it: "<0>", "< 1>", "<-1>".
std::string block_tag(int32_t K);

// count_types: the number of distinct values among a(1..n); 1 for n of 0 or 1.
int32_t count_types(int32_t n, const int32_t* a);

// type_block_applies: whether a type block tagged K applies to a pile of type t (K = 0 takes t <=
// 0).
bool type_block_applies(int32_t K, int32_t t);

// Adds to FORCE the load T (Fx, Fy, Fz, Mx, My, Mz) acting at the cap point (x, y), moved to the
// cap centre: FORCE += D'.T with D the offset matrix of the point. One step of reduce_loads.
void reduce_load_point(float x, float y, const float* T, Vec<float, 6>& FORCE);

// reduce_loads: the loads of the control section reduced to the cap centre, as the stage
// "reduction of the loads to the cap centre": FORCE = the sum over the load points of D'.T, D
// the offset matrix of the point.
void reduce_loads(const std::vector<LoadValues>& loads, Vec<float, 6>& FORCE);

// The above- and below-ground lengths ZFR and ZBL of the first PNUM piles, each the sum of its
// segment lengths from the top down; each pile's sum is the input of that pile.
void segment_sums(int32_t PNUM, const PileData& piles, PileReals& ZFR, PileReals& ZBL);

// ---- The rules of a pile's values, kept by the checks of a data file and of a group's values ----

// A rule on a real value: whether a value keeps it, and how the rule is stated.
struct RealRule {
  bool (*keeps)(float);
  const char* text;
};
inline constexpr RealRule LENGTH_RULE{[](float v) { return !(v < 0.0f); },
                                      "a segment length must be 0 or more"};
inline constexpr RealRule DIAMETER_RULE{[](float v) { return v > 0.0f; },
                                        "a diameter must be greater than 0"};
inline constexpr RealRule PILE_DIAMETER_RULE{
    [](float v) { return v < 100.0f; }, "a diameter must be below 100 m (is it in millimetres?)"};
inline constexpr RealRule SOIL_RULE{[](float v) { return v > 0.0f; },
                                    "the soil coefficient must be greater than 0"};
inline constexpr RealRule FRICTION_RULE{
    [](float v) { return v >= 0.0f && v < 90.0f; },
    "the friction angle must be 0 or more and below 90 degrees"};
inline constexpr RealRule BOTTOM_SOIL_RULE{
    [](float v) { return v > 0.0f; },
    "the soil coefficient at the pile bottom must be greater than 0"};
inline constexpr RealRule MODULUS_RULE{[](float v) { return v > 0.0f; },
                                       "the elastic modulus must be greater than 0"};
inline constexpr RealRule REDUCTION_RULE{
    [](float v) { return v > 0.0f; },
    "the reduction factor of the second moment of area must be greater than 0"};

inline constexpr const char* SECTION_RULE = "the section code must be 0 (circular) or 1 (square)";
inline constexpr const char* SUPPORT_RULE = "the bottom support code must be 1 or more";
inline constexpr const char* STEPS_RULE =
    "a step count must be 1 or more when the run goes on to the pile results";
inline constexpr const char* SOIL_LENGTH_RULE =
    "a pile that bears on the soil (KSU 1 or 2) needs a length below the ground line (is a "
    "length left out, or is KSU 3 meant?)";
inline constexpr const char* NO_SEGMENT_RULE = "a pile needs a segment to bear with";
inline constexpr const char* SAME_SPOT_RULE =
    "two piles cannot stand at the same point with the same axis (is a pile given twice, or a "
    "coordinate mistyped?)";
inline constexpr const char* BOTTOMS_RULE =
    "two pile bottoms cannot meet in plan, as each bears on an area limited by its distance to the "
    "nearest other (is an axis, a length or a coordinate mistyped?)";
// A stiffness term of a simulated pile beyond it overflows the solution of the cap.
inline constexpr float LARGEST_STIFFNESS = 1e15f;
inline constexpr const char* STIFFNESS_RULE =
    "a stiffness term must be at most 1e15, or the solution of the cap overflows (1e10 holds a "
    "support as good as rigid)";
inline bool keeps_section_rule(int32_t KSH) { return KSH == 0 || KSH == 1; }

// A value of a type as a check names it: its key in the data file and its field in TypeValues,
// its segment (`list` "above" or "below" and index from 0; no list: a value of the whole type)
// and where it stood in the data file.
struct TypeValue {
  const char* key;
  const char* field;
  const char* list;
  size_t index;
  Place where;
};

// What a check of a type's values does with each rule a value breaks (check_type finds them).
class TypeRules {
 public:
  virtual ~TypeRules() = default;
  // A value that breaks its rule, as shown ("-1.5").
  virtual void broken(const TypeValue& value, const std::string& shown, const char* rule) = 0;
  // A real value and its rule: broken when the value does not keep it.
  virtual void real(const TypeValue& value, float v, const RealRule& rule);
  virtual void axis(const float* axis, Place where) = 0;  // the direction of the pile axis
  virtual void stations(int64_t count, Place where) = 0;  // more than MAX_STATIONS
  virtual void no_soil_length(Place where) = 0;  // KSU 1 or 2 and no length below the ground line
  virtual void no_segment(Place where) = 0;
};

// check_type: the rules of a type's values in their order: KSH, KSU, the axis, the lengths,
// diameters, soil values and (when `stepped`) step counts of every segment, PMB, PEH, PKE, the
// station count and what the bottom bears with. `at` gives where each value stood (none: no
// places).
void check_type(const TypeValues& t, const TypePlaces* at, bool stepped, TypeRules& rules);

// ---- Values that are allowed but unusual: warned of, never refused ----

// The usual range of a value, and what a warning says of it.
struct UsualRange {
  float low, high;
  const char* text;
};
inline constexpr UsualRange PKE_USUAL{0.0f, 1.0f, "usual: at most 1, as it reduces the section"};
inline constexpr UsualRange PEH_USUAL{1e6f, 2.5e8f,
                                      "usual: 1e6 to 2.5e8 (timber in t/m2 to steel in kPa)"};
inline constexpr UsualRange DIAMETER_USUAL{0.0f, 5.0f, "usual: below 5 m"};
inline constexpr UsualRange LENGTH_USUAL{0.0f, 200.0f,
                                         "usual: below 200 m (is it in millimetres?)"};
inline constexpr UsualRange SOIL_USUAL{
    50.0f, 3e5f, "usual: 50 to 300000 (t/m4 or kN/m4; is it 1000 times too small or large?)"};
inline constexpr UsualRange FRICTION_USUAL{5.0f, 90.0f, "usual: 5 to 45 degrees"};
inline constexpr UsualRange RADIANS_USUAL{5.0f, 90.0f,
                                          "usual: 5 to 45 degrees (is it in radians?)"};
inline constexpr float FARTHEST_HEAD = 200.0f;  // m from the cap centre
// m: a load point beyond the plan of the piles by more than its size, and at least this, is
// warned of.
inline constexpr float LOAD_MARGIN = 10.0f;
inline bool keeps_support_rule(int32_t KSU) { return KSU >= 1; }
inline constexpr const char* HEAD_USUAL =
    "usual: within 200 m of the cap centre (are the coordinates in millimetres?)";
inline constexpr const char* LOAD_USUAL = "usual: within it or beside it (is a value in cm or mm?)";

// The bottom point of a pile in plan, as the bottom areas find it: its head moved along its axis
// by the whole pile length, above and below the ground line.
struct BottomPoint {
  float x = 0.0f, y = 0.0f;
};
BottomPoint bottom_point(const PileValues& pile, const TypeValues& t);

// meeting_bottom: the first pile before pile p whose bottom lies at no distance from p's, as the
// bottom areas measure the distance (the bottom of each would bear on no area), or p when none
// does. `bottoms` holds every pile's bottom point.
size_t meeting_bottom(const std::vector<BottomPoint>& bottoms, size_t p);

// unusual_type_values: tells each allowed but unusual value of a type, as shown ("3e+06"; KSU
// beyond 4 "9, which acts as 3"), with the text of its usual range, in the order KSU, PKE, PEH,
// then each segment's from the top down. `at` gives where each value stood (none: no places).
using UnusualValue =
    std::function<void(const TypeValue& value, const std::string& shown, const char* usual)>;
void unusual_type_values(const TypeValues& t, const TypePlaces* at, const UnusualValue& tell);

// "(x, y)" of a point of the plan.
std::string point_text(float x, float y);

// unusual_plan: tells each pile head farther than FARTHEST_HEAD from the cap centre by its index,
// then each load point far outside the plan of the piles by its index, with the plan as text
// ("x -4.5 to 4.5, y -3 to 3"). Without piles, none.
void unusual_plan(const GroupValues& values, const std::function<void(size_t pile)>& far_head,
                  const std::function<void(size_t load, const std::string& plan)>& far_load);

// The direction AGL of a pile axis, checked: not along the x axis, pointing down from the head to
// the tip, of length 1 within 0.001.
struct AxisCheck {
  enum class Fault { none, along_x, upward, not_unit };
  Fault fault = Fault::none;
  std::string given;       // the direction as given: "(0.5, 0, 1)"
  std::string length;      // its length to four digits: "1.118"
  std::string normalised;  // the direction of length 1 to four digits: "(0.4472, 0, 0.8944)"
};
inline constexpr const char* ALONG_X_RULE = "a pile along the x axis has no pile axes";
inline constexpr const char* DOWNWARD_RULE =
    "the pile axis must point down from the head to the tip";
inline constexpr const char* UNIT_RULE =
    "the direction of the pile axis must have length 1 (within 0.001)";
AxisCheck check_axis(float x, float y, float z);

}  // namespace kelmarino
