// The data file of a pile group given by its values, with the shortest text of every real.
#include <cstdio>
#include <map>
#include <string>

#include "analysis/analysis.hpp"

namespace kelmarino {

namespace {

// Appends a value to the text's last line, after a space unless the line is new.
void put(std::string& text, const std::string& value) {
  if (!text.empty() && text.back() != '\n') text.push_back(' ');
  text.append(value);
}

void put(std::string& text, std::initializer_list<float> values) {
  for (const float v : values) put(text, shortest(v));
}

void put_count(std::string& text, size_t count) { put(text, std::to_string(count)); }

void end_line(std::string& text) { text.push_back('\n'); }

void add_control(const GroupValues& g, std::string& text) {
  text.append("* control\n");
  put(text, std::to_string(g.JCTR));
  end_line(text);
  if (g.JCTR == 1) {
    put_count(text, g.loads.size());
    end_line(text);
    for (const LoadValues& load : g.loads) {
      const float* a = load.act;
      put(text, {load.x, load.y});
      end_line(text);
      put(text, {a[0], a[1], a[2], a[3], a[4], a[5]});
      end_line(text);
    }
  } else if (g.JCTR == 3) {
    put(text, std::to_string(g.INO));
    end_line(text);
  }
  text.append("*end\n");
}

void add_arrangement(const GroupValues& g, std::string& text) {
  text.append("* piles\n");
  put_count(text, g.piles.size());
  put_count(text, g.supports.size());
  end_line(text);
  for (const PileValues& pile : g.piles) {
    put(text, {pile.x, pile.y});
    end_line(text);
  }
  for (const SupportValues& support : g.supports) {
    put(text, {support.x, support.y});
    end_line(text);
  }
  text.append("*end\n");
}

void add_type_block(const TypeValues& t, std::string& text) {
  put(text, std::to_string(t.shape));
  put(text, std::to_string(t.tip));
  put(text, {t.axis[0], t.axis[1], t.axis[2]});
  end_line(text);
  put_count(text, t.above.size());
  for (const AboveValues& s : t.above) {
    put(text, {s.length, s.diameter});
    put(text, std::to_string(s.steps));
  }
  end_line(text);
  put_count(text, t.below.size());
  for (const BelowValues& s : t.below) {
    put(text, {s.length, s.diameter, s.m, s.friction});
    put(text, std::to_string(s.steps));
  }
  end_line(text);
  put(text, {t.PMB, t.PEH, t.PKE});
  end_line(text);
}

// The tag line of type or simulated pile k: <0>, < 1>, < 2>, ... <10>.
void put_tag(std::string& text, size_t k) {
  char tag[32];
  std::snprintf(tag, sizeof tag, k == 0 ? "<0>\n" : "<%2zu>\n", k);
  text.append(tag);
}

// The types in the order of the piles that first take them: the first gets the standard block,
// the others tags of their own; a type that no pile takes is left out.
constexpr size_t MOST_BLOCKS = 100;
void add_types(const GroupValues& g, std::string& text) {
  std::map<int32_t, size_t> number;  // type index -> its number in the file
  std::vector<int32_t> order;
  text.append("* types\n");
  for (const PileValues& pile : g.piles) {
    const auto [at, added] = number.emplace(pile.type, order.size());
    if (added) order.push_back(pile.type);
    put_count(text, at->second);
  }
  end_line(text);
  if (order.size() > MOST_BLOCKS) {
    throw RunError("run-time error in " + g.name + ": its piles take " +
                   std::to_string(order.size()) + " types, and a data file written from values " +
                   "gives at most " + std::to_string(MOST_BLOCKS) +
                   " of them blocks (<0> to <99>)");
  }
  if (order.empty()) text.append("<0>\n0 1 0 0 1\n0\n0\n1 1 1\n");
  for (size_t k = 0; k < order.size(); ++k) {
    put_tag(text, k);
    add_type_block(g.types[static_cast<size_t>(order[k])], text);
  }
  text.append("*end\n");
}

void add_supports(const GroupValues& g, std::string& text) {
  text.append("* springs\n");
  for (size_t j = 1; j <= g.supports.size(); ++j) put_count(text, j);
  if (!g.supports.empty()) end_line(text);
  for (size_t j = 0; j < g.supports.size(); ++j) {
    put_tag(text, j + 1);
    const float* k = g.supports[j].stiffness;
    for (int32_t r = 0; r < 36; r += 6) {
      put(text, {k[r], k[r + 1], k[r + 2], k[r + 3], k[r + 4], k[r + 5]});
      end_line(text);
    }
  }
  text.append("*end\n");
}

}  // namespace

std::string data_text(const GroupValues& values) {
  std::string text;
  add_control(values, text);
  add_arrangement(values, text);
  add_types(values, text);
  add_supports(values, text);
  return text;
}

GroupValues values_of(const Group& group) { return group.values; }

}  // namespace kelmarino
