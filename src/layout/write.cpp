// Write calls: the walk of a layout string over an item list.
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "layout/fields.hpp"
#include "layout/layout.hpp"
#include "layout/layout_parse.hpp"
#include "model/run_error.hpp"

namespace kelmarino {

namespace {

// The most characters the items take through the layout: one pass per line of data fields, each
// pass at most its literals, blanks, fields and line ends.
size_t written_bound(const Layout& layout, size_t items) {
  size_t pass = 1;
  size_t fields = 0;
  for (int32_t e = 0; e < layout.count; ++e) {
    const Element& element = layout.elements[e];
    if (element.kind == Element::Kind::Literal) {
      pass += element.text.size();
    } else if (element.kind == Element::Kind::Slash) {
      pass += 1;
    } else {
      pass += static_cast<size_t>(element.w);
      if (element.kind != Element::Kind::Skip) ++fields;
    }
  }
  const size_t passes = fields == 0 || items == 0 ? 1 : (items + fields - 1) / fields;
  return passes * pass;
}

}  // namespace

void write_text(std::string& text, std::string_view layout_string, std::span<const Item> items) {
  Layout layout;
  parse_layout(layout_string, layout);
  const size_t start = text.size();
  // The lines are laid on blank columns, as many as they can take, then cut to their length:
  // blanks are passed over, not written.
  text.resize(start + written_bound(layout, items.size()), ' ');
  char* const begin = text.data();
  char* out = begin + start;
  size_t next = 0;
  int32_t pending_blanks = 0;  // from nX; taken only when something follows on the line
  auto end_line = [&] {
    *out++ = '\n';
    pending_blanks = 0;
  };
  auto take_blanks = [&] {
    out += pending_blanks;
    pending_blanks = 0;
  };
  auto refuse = [&](const char* what) {
    text.resize(start);
    throw std::logic_error(what + std::string(layout_string));
  };
  for (;;) {
    for (int32_t e = 0; e < layout.count; ++e) {
      const Element& element = layout.elements[e];
      switch (element.kind) {
        case Element::Kind::Literal:
          take_blanks();
          std::memcpy(out, element.text.data(), element.text.size());
          out += element.text.size();
          break;
        case Element::Kind::Skip:
          pending_blanks += element.w;
          break;
        case Element::Kind::Slash:
          end_line();
          break;
        case Element::Kind::Integer:
        case Element::Kind::Real: {
          if (next == items.size()) {
            end_line();
            text.resize(static_cast<size_t>(out - begin));
            return;
          }
          const Item& item = items[next++];
          const bool wants_integer = element.kind == Element::Kind::Integer;
          if (item.is_integer != wants_integer) refuse("item does not match its field in ");
          take_blanks();
          out = wants_integer ? put_i(out, item.integer, element.w)
                              : put_e(out, item.real, element.w, element.d);
          break;
        }
        case Element::Kind::Alpha:
          refuse("input element in a write: ");
      }
    }
    end_line();
    if (next == items.size() || !layout.has_data) {
      text.resize(static_cast<size_t>(out - begin));
      return;
    }
  }
}

void write(OutChannel& channel, std::string_view layout, std::span<const Item> items) {
  if (channel.file == nullptr) return;  // a channel that takes nothing
  std::string text;
  write_text(text, layout, items);
  if (std::fwrite(text.data(), 1, text.size(), channel.file) != text.size()) {
    throw RunError("run-time error writing " + channel.name + ": " + std::strerror(errno));
  }
}

void write(OutChannel& channel, std::string_view layout, std::initializer_list<Item> items) {
  write(channel, layout, std::span<const Item>(items.begin(), items.size()));
}

}  // namespace kelmarino
