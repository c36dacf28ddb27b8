// An analysis as bytes: the values of a group as analysed and their results, laid out as this
// version holds them in memory, each list after its length, then a check sum. Bytes are read
// back only when the sum agrees and as far as they hold together, so that damaged or foreign
// bytes are refused and never read beyond.
#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "analysis/analysis.hpp"
#include "version/version.hpp"

namespace kelmarino {
namespace {

// The parts of the values that hold lists; a pile's units are left out (none once its true
// peaks are found).
void parts(auto& io, auto& v) {
  using T = std::remove_cvref_t<decltype(v)>;
  if constexpr (std::is_same_v<T, TypeValues>) {
    io(v.shape, v.tip, v.axis, v.above, v.below, v.PMB, v.PEH, v.PKE);
  } else if constexpr (std::is_same_v<T, GroupValues>) {
    io(v.name, v.JCTR, v.INO, v.loads, v.piles, v.types, v.supports, v.type_keys);
  } else if constexpr (std::is_same_v<T, PileResult>) {
    io(v.DU, v.FT, v.K, v.KG, v.first, v.count, v.peaks);
  } else if constexpr (std::is_same_v<T, PileFactors>) {
    io(v.ZFR, v.ZBL, v.ABOT, v.AXK, v.kf, v.below);
  } else if constexpr (std::is_same_v<T, DerivedValues>) {
    io(v.kx, v.ky, v.by_positions, v.row_x, v.row_y, v.piles);
  } else {
    io(v.values, v.result.cap, v.result.KCAP, v.result.piles, v.result.stations,
       v.result.resultants, v.result.supports, v.result.equilibrium, v.result.derived);
  }
}

// The fewest bytes a value takes when written: its size when plain, its length when a list, the
// sum of its parts otherwise.
struct Least {
  size_t bytes = 0;
  void operator()(auto&... values) { (io(values), ...); }
  void io(auto& v) {
    using T = std::remove_cvref_t<decltype(v)>;
    if constexpr (std::is_trivially_copyable_v<T>) {
      bytes += sizeof v;
    } else if constexpr (requires { v.size(); }) {  // a list
      bytes += sizeof(size_t);
    } else {
      parts(*this, v);
    }
  }
};

template <typename T>
size_t least_bytes() {
  static const size_t least = [] {
    T value{};
    Least count;
    count(value);
    return count.bytes;
  }();
  return least;
}

// Values written as bytes (Bytes<true>) or read back (Bytes<false>): a plain value as its bytes,
// a list as its length and its items, any other value by its parts. A reading that runs out of
// bytes, or finds a list longer than the bytes left can hold, fails and reads nothing more.
template <bool writing>
struct Bytes {
  std::string_view from;  // when reading
  std::string bytes;      // when writing
  size_t at = 0;
  bool failed = false;
  void operator()(auto&... values) { (io(values), ...); }
  void raw(auto* data, size_t size) {  // const when writing
    if (size == 0) return;             // an empty list's items may be at no address
    if constexpr (writing) {
      bytes.append(reinterpret_cast<const char*>(data), size);
    } else {
      failed = failed || from.size() - at < size;
      if (failed) return;
      std::memcpy(data, from.data() + at, size);
      at += size;
    }
  }
  void io(auto& v) {
    using T = std::remove_cvref_t<decltype(v)>;
    if constexpr (std::is_trivially_copyable_v<T>) {
      raw(&v, sizeof v);
    } else if constexpr (requires { v.size(); }) {  // a list
      size_t count = v.size();
      raw(&count, sizeof count);
      if constexpr (!writing) {
        failed = failed || count > (from.size() - at) / least_bytes<typename T::value_type>();
        if (failed) return;
        v.resize(count);
      }
      if constexpr (std::is_trivially_copyable_v<typename T::value_type>) {
        raw(v.data(), count * sizeof(typename T::value_type));
      } else {
        for (auto& item : v) io(item);
      }
    } else {
      parts(*this, v);
    }
  }
};

// The first bytes of a state: the states of other versions are laid out otherwise.
const std::string STATE_HEADER = std::string("kelmarino analysis ") + VERSION;

// Whether an analysis read back holds together: its flag a bool, a key for every type or none,
// its piles as many as their values and their derived values, each of a type it holds with as
// many segments below ground as its derived values, the supports' reactions none or one each,
// and the piles' stations one span after another that covers every station row.
bool holds_together(const StoredAnalysis& a) {
  const GroupValues& v = a.values;
  const Result& r = a.result;
  if (std::bit_cast<uint8_t>(r.derived.by_positions) > 1 ||
      (!v.type_keys.empty() && v.type_keys.size() != v.types.size()) ||
      v.piles.size() != r.piles.size() || r.resultants.size() != r.stations.size()) {
    return false;
  }
  if (r.derived.piles.size() != v.piles.size() ||
      (!r.supports.empty() && r.supports.size() != v.supports.size())) {
    return false;
  }
  for (size_t p = 0; p < v.piles.size(); ++p) {
    const int32_t type = v.piles[p].type;
    if (type < 0 || static_cast<size_t>(type) >= v.types.size()) return false;
    const TypeValues& t = v.types[static_cast<size_t>(type)];
    if (r.derived.piles[p].below.size() != t.below.size()) return false;
  }
  size_t next = 0;
  for (const PileResult& pile : r.piles) {
    if (pile.first != next || pile.count > r.stations.size() - next) return false;
    if (pile.count > 0 && (pile.KG < 1 || static_cast<size_t>(pile.KG) > pile.count)) return false;
    next += pile.count;
  }
  return next == r.stations.size();
}

// A check sum of bytes, eight at a time: a damaged state whose counts still hold together would
// otherwise read back as other numbers.
uint64_t check_sum(std::string_view bytes) {
  uint64_t sum = bytes.size();
  for (size_t at = 0; at < bytes.size(); at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, bytes.data() + at, std::min<size_t>(8, bytes.size() - at));
    sum = (sum ^ word) * 0x9E3779B97F4A7C15u;
    sum ^= sum >> 29;
  }
  return sum;
}

}  // namespace

std::string analysis_bytes(const StoredAnalysis& analysis) {
  Bytes<true> put;
  put(STATE_HEADER, analysis);
  const uint64_t sum = check_sum(put.bytes);
  put(sum);
  return std::move(put.bytes);
}

Expected<StoredAnalysis> analysis_from_bytes(std::string_view bytes) {
  const Issue damaged =
      input_issue("", "not the state of an analysis", "not the state of an analysis");
  Bytes<false> get{bytes};
  std::string header;
  get(header);
  if (get.failed || header != STATE_HEADER) {
    const std::string message = "not the state of an analysis of kelmarino " + std::string(VERSION);
    return input_issue("", message, message);
  }
  uint64_t sum = 0;
  if (bytes.size() - get.at < sizeof sum) return damaged;
  std::memcpy(&sum, bytes.data() + bytes.size() - sizeof sum, sizeof sum);
  get.from.remove_suffix(sizeof sum);
  if (sum != check_sum(get.from)) return damaged;
  StoredAnalysis a;
  get(a);
  if (get.failed || get.at != get.from.size() || !holds_together(a)) return damaged;
  return a;
}

}  // namespace kelmarino
