#pragma once
// The post-processing file of a full run, read back to check a stored run against the analysis:
// the header (the pile count and the pile-top coordinates) and, pile by pile, the station tables.
// The records are read by their field widths (integers in I5 fields, reals in E14.4 fields) and by
// the value counts that follow from the station count of each pile, never by the length of a line:
// a record of six values to a line may end on a shorter line, and the four values of one station
// may run across a line end.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "diagram/quantities.hpp"  // QUANTITY_COUNT
#include "model/run_error.hpp"
#include "pile/pile.hpp"  // StationQuantity

namespace kelmarino {

// The records of one pile. Element k - 1 of every table belongs to station k (station 1 is the
// pile top).
struct PosPile {
  int32_t g = 0;     // pile number
  int32_t NSTA = 0;  // number of stations
  float x = 0.0f;    // pile top (m)
  float y = 0.0f;
  std::vector<float> ZH;                      // distance of each station from the pile top (m)
  std::vector<float> values[QUANTITY_COUNT];  // one table per quantity, as StationQuantity

  const std::vector<float>& of(StationQuantity q) const { return values[q]; }
};

struct PosFile {
  int32_t PNUM = 0;
  std::vector<float> PXY;  // x then y of every pile top, pile by pile
  std::vector<PosPile> piles;
};

// read_pos: the records of the post-processing file whose whole text is given; `name` names the
// file in messages. Throws a RunError naming the file, the line and what was expected there when a
// field cannot be read, the file ends before the records
// its counts announce, a pile record is out of order, or text follows the last pile.
PosFile read_pos(const std::string& text, const std::string& name);

}  // namespace kelmarino
