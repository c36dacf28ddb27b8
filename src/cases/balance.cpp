// The supports' reactions and the equilibrium of the cap under every combination, and their CSV
// files.
#include "cases/cases.hpp"

namespace kelmarino::cases {
namespace {

// Six forces and moments, each times `factor` (that of their shown unit).
void append_six(std::string& text, const float (&values)[6], double factor) {
  for (const float v : values) {
    text += ',';
    text += shortest(shown_value(v, factor));
  }
}

}  // namespace

CapBalance::CapBalance(const Group& group)
    : model_(group.model), points_(cap_points(model_->run.PNUM, model_->run.SNUM, model_->piles)) {}

void CapBalance::take(const std::vector<CapDisplacements>& applied,
                      const std::vector<CapDisplacements>& caps, std::span<const HeadResult> heads,
                      const NameList& combinations, size_t first, size_t last) {
  const FaultFlags flags;
  const int32_t PNUM = model_->run.PNUM;
  const int32_t SNUM = model_->run.SNUM;
  supports.assign((last - first) * static_cast<size_t>(SNUM), SupportResult{});
  balance.assign(last - first, Equilibrium{});
  std::vector<const float*> forces(points_.size());
  for (size_t c = first; c < last; ++c) {
    Vec<float, 6> U;
    for (int32_t i = 0; i < 6; ++i) U(i + 1) = caps[c].U[i];
    for (int32_t g = 1; g <= PNUM; ++g) {
      forces[static_cast<size_t>(g - 1)] =
          heads[(c - first) * static_cast<size_t>(PNUM) + static_cast<size_t>(g - 1)].FT;
    }
    for (int32_t j = 1; j <= SNUM; ++j) {
      SupportResult& support =
          supports[(c - first) * static_cast<size_t>(SNUM) + static_cast<size_t>(j - 1)];
      support_reaction(PNUM, model_->piles, j, U, support.R);
      forces[static_cast<size_t>(PNUM + j - 1)] = support.R;
    }
    const Equilibrium e = cap_equilibrium(points_, forces, applied[c].U);
    fault_context().stage =
        "support reactions and equilibrium of combination " + std::string(combinations[c]);
    check_faults();
    balance[c - first] = e;
    if (!(e.residual <= EQUILIBRIUM_TOLERANCE)) ++above;
    if (c == 0 || e.residual > largest) {
      largest = e.residual;
      largest_at = c;
    }
  }
  fault_context() = FaultContext{};
}

std::string equilibrium_csv(const CaseNames& names, std::span<const Equilibrium> balance,
                            size_t first, size_t last) {
  std::string text;
  if (first == 0) {
    std::vector<Column> columns = {{"combination", ""}};
    for (const char* of : {"_applied", "_sum"}) {
      for (const Column& c : LOAD_COLUMNS) columns.push_back({c.name + of, c.unit});
    }
    columns.push_back({"residual", ""});
    show_columns(columns, names.force);
    text = csv_text(ResultTable{columns, {}});
  }
  const double factor = shown_unit("t", names.force).factor;
  for (size_t c = first; c < last; ++c) {
    const Equilibrium& e = balance[c - first];
    text += names.combinations[c];
    append_six(text, e.applied, factor);
    append_six(text, e.resisted, factor);
    text += ',';
    text += shortest(e.residual);
    text += '\n';
  }
  return text;
}

std::string supports_csv(const CaseNames& names, int32_t SNUM,
                         std::span<const SupportResult> supports, size_t first, size_t last) {
  std::string text;
  if (first == 0) {
    std::vector<Column> columns = {{"combination", ""}, {"simulated pile", ""}};
    columns.insert(columns.end(), std::begin(FORCE_COLUMNS), std::end(FORCE_COLUMNS));
    show_columns(columns, names.force);
    text = csv_text(ResultTable{columns, {}});
  }
  const double factor = shown_unit("t", names.force).factor;
  for (size_t c = first; c < last; ++c) {
    for (int32_t j = 1; j <= SNUM; ++j) {
      text += names.combinations[c];
      text += ',';
      text += std::to_string(j);
      append_six(text,
                 supports[(c - first) * static_cast<size_t>(SNUM) + static_cast<size_t>(j - 1)].R,
                 factor);
      text += '\n';
    }
  }
  return text;
}

std::optional<std::string> balance_warning(const CaseNames& names, const CapBalance& balance) {
  if (balance.above == 0) return std::nullopt;
  return "warning: the forces on the pile heads and the supports balance the loads of " +
         std::to_string(balance.above) +
         " combinations only to more than 1e-4 of their largest applied component; the largest "
         "residual is " +
         shortest(balance.largest) + ", under combination " +
         std::string(names.combinations[balance.largest_at]);
}

}  // namespace kelmarino::cases
