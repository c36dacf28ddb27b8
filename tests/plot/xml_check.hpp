#pragma once
// A small XML reader for the tests: checks that a document is well-formed (one root element,
// properly nested and closed tags, quoted and unique attributes, only the predefined and numeric
// entity references, no stray markup characters in text) and lists its elements with their
// attributes and text, in document order.
#include <cctype>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace kelmarino::testing {

struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;  // values with references replaced
  std::string text;                               // the text directly inside the element
  int parent = -1;                                // index of the enclosing element
};

struct XmlDocument {
  std::vector<XmlElement> elements;
  std::string problem;  // empty when the document is well-formed

  // The elements of a name that carry an attribute of a value ("" for any value).
  std::vector<const XmlElement*> all(const std::string& name, const std::string& attribute = "",
                                     const std::string& value = "") const {
    std::vector<const XmlElement*> found;
    for (const XmlElement& e : elements) {
      const auto a = e.attributes.find(attribute);
      if (e.name == name && (attribute.empty() ||
                             (a != e.attributes.end() && (value.empty() || a->second == value)))) {
        found.push_back(&e);
      }
    }
    return found;
  }
};

class XmlReader {
 public:
  explicit XmlReader(const std::string& text) : s_(text) {}

  XmlDocument read() {
    try {
      misc();
      if (!starts("<") || starts("</")) fail("no root element");
      element(-1);
      misc();
      if (at_ < s_.size()) fail("content after the root element");
    } catch (const std::string& problem) {
      document_.problem = problem + " at offset " + std::to_string(at_);
    }
    return document_;
  }

 private:
  const std::string& s_;
  size_t at_ = 0;
  XmlDocument document_;

  [[noreturn]] void fail(const std::string& what) { throw what; }
  bool starts(const char* text) const {
    return s_.compare(at_, std::string(text).size(), text) == 0;
  }
  void expect(const char* text) {
    if (!starts(text)) fail(std::string("expected \"") + text + "\"");
    at_ += std::string(text).size();
  }
  void skip_to(const char* end) {
    const size_t found = s_.find(end, at_);
    if (found == std::string::npos) fail(std::string("unclosed, expected \"") + end + "\"");
    at_ = found + std::string(end).size();
  }
  bool space() {
    const size_t start = at_;
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
    return at_ > start;
  }
  static bool name_start(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
  }
  std::string name() {
    if (at_ >= s_.size() || !name_start(s_[at_])) fail("expected a name");
    const size_t start = at_;
    while (at_ < s_.size() &&
           (name_start(s_[at_]) || std::isdigit(static_cast<unsigned char>(s_[at_])) ||
            s_[at_] == '-' || s_[at_] == '.')) {
      ++at_;
    }
    return s_.substr(start, at_ - start);
  }
  // Comments, processing instructions (the XML declaration among them), a simple document type
  // declaration and blanks, outside the root element.
  void misc() {
    for (;;) {
      space();
      if (starts("<!--")) {
        comment();
      } else if (starts("<?")) {
        skip_to("?>");
      } else if (starts("<!DOCTYPE")) {
        const size_t end = s_.find('>', at_);
        if (end == std::string::npos || s_.substr(at_, end - at_).find('[') != std::string::npos) {
          fail("unsupported document type declaration");
        }
        at_ = end + 1;
      } else {
        return;
      }
    }
  }
  void comment() {
    at_ += 4;
    const size_t end = s_.find("--", at_);
    if (end == std::string::npos || s_.compare(end, 3, "-->") != 0) fail("bad comment");
    at_ = end + 3;
  }
  // "&amp;" and the like, with the character they stand for appended to `out`.
  void reference(std::string& out) {
    const size_t end = s_.find(';', at_);
    if (end == std::string::npos) fail("unterminated reference");
    const std::string ref = s_.substr(at_ + 1, end - at_ - 1);
    static const std::map<std::string, char> PREDEFINED = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    if (PREDEFINED.count(ref) > 0) {
      out += PREDEFINED.at(ref);
    } else if (ref.size() > 1 && ref[0] == '#') {
      const bool hex = ref[1] == 'x';
      const std::string digits = ref.substr(hex ? 2 : 1);
      const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
      if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) {
        fail("bad character reference");
      }
      out += '?';
    } else {
      fail("undefined entity &" + ref + ";");
    }
    at_ = end + 1;
  }
  void attribute_value(std::string& value) {
    if (at_ >= s_.size() || (s_[at_] != '"' && s_[at_] != '\'')) fail("unquoted attribute value");
    const char quote = s_[at_++];
    while (at_ < s_.size() && s_[at_] != quote) {
      if (s_[at_] == '<') fail("'<' in an attribute value");
      if (s_[at_] == '&') {
        reference(value);
      } else {
        value += s_[at_++];
      }
    }
    if (at_ >= s_.size()) fail("unclosed attribute value");
    ++at_;
  }
  void element(int parent) {
    expect("<");
    const size_t index = document_.elements.size();
    document_.elements.push_back({name(), {}, {}, parent});
    for (;;) {
      const bool spaced = space();
      if (starts("/>")) {
        at_ += 2;
        return;
      }
      if (starts(">")) break;
      if (!spaced) fail("attributes must be separated by blanks");
      const std::string attribute = name();
      space();
      expect("=");
      space();
      std::string value;
      attribute_value(value);
      if (!document_.elements[index].attributes.emplace(attribute, value).second) {
        fail("repeated attribute " + attribute);
      }
    }
    ++at_;
    content(index);
    expect("</");
    if (name() != document_.elements[index].name) fail("mismatched end tag");
    space();
    expect(">");
  }
  void content(size_t index) {
    for (;;) {
      if (at_ >= s_.size()) fail("unclosed element " + document_.elements[index].name);
      if (starts("</")) return;
      if (starts("<!--")) {
        comment();
      } else if (starts("<![CDATA[")) {
        const size_t start = at_ + 9;
        skip_to("]]>");
        document_.elements[index].text += s_.substr(start, at_ - 3 - start);
      } else if (starts("<?")) {
        skip_to("?>");
      } else if (starts("<")) {
        element(static_cast<int>(index));
      } else if (s_[at_] == '&') {
        reference(document_.elements[index].text);
      } else {
        if (starts("]]>")) fail("\"]]>\" in text");
        document_.elements[index].text += s_[at_++];
      }
    }
  }
};

inline XmlDocument read_xml(const std::string& text) { return XmlReader(text).read(); }

}  // namespace kelmarino::testing
