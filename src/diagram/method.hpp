#pragma once
// The method section of the pages: the model and its assumptions with a run's own values, and the
// sign-convention figure.
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "tables/tables.hpp"

namespace kelmarino {

// The method and assumptions of the run, with its values (units, forces in `force`, kf, k, the
// bottom rules of the piles) and the sign-convention figure, as a section of id "method"; `more`
// adds points of plain text after the model of the cap (a page's own rules).
std::string method_html(const Group& group, const Result& result, ForceUnit force,
                        const std::vector<std::string>& more = {});

}  // namespace kelmarino
