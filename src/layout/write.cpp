// Write calls: the walk of a layout string over an item list.
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "layout/layout.hpp"
#include "layout/layout_parse.hpp"
#include "model/run_error.hpp"

namespace kelmarino {

void write_text(std::string& text, std::string_view layout_string, std::span<const Item> items) {
  Layout layout;
  parse_layout(layout_string, layout);
  size_t next = 0;
  int32_t pending_blanks = 0;  // from nX; written only when something follows on the line
  auto end_line = [&] {
    text.push_back('\n');
    pending_blanks = 0;
  };
  auto flush_blanks = [&] {
    text.append(static_cast<size_t>(pending_blanks), ' ');
    pending_blanks = 0;
  };
  for (;;) {
    for (int32_t e = 0; e < layout.count; ++e) {
      const Element& element = layout.elements[e];
      switch (element.kind) {
        case Element::Kind::Literal:
          flush_blanks();
          text.append(element.text);
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
            return;
          }
          const Item& item = items[next++];
          const bool wants_integer = element.kind == Element::Kind::Integer;
          if (item.is_integer != wants_integer) {
            throw std::logic_error("item does not match its field in " +
                                   std::string(layout_string));
          }
          flush_blanks();
          if (wants_integer) {
            append_i(text, item.integer, element.w);
          } else {
            append_e(text, item.real, element.w, element.d);
          }
          break;
        }
        case Element::Kind::Alpha:
          throw std::logic_error("input element in a write: " + std::string(layout_string));
      }
    }
    end_line();
    if (next == items.size() || !layout.has_data) return;
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
