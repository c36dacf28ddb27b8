#pragma once
// XML documents for the tests, parsed by libxml2: a document that is not well-formed gets the
// parser's message, one that is gets its elements listed with their attributes and text, in
// document order.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace kelmarino::testing {

struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;     // the text directly inside the element
  std::string content;  // all the text inside it, that of the elements within included
  int parent = -1;      // index of the enclosing element
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
  // The index of an element of the list, for comparing document order.
  int index(const XmlElement* e) const { return static_cast<int>(e - elements.data()); }
};

inline std::string xml_text(xmlChar* text) {
  std::string copy = text == nullptr ? "" : reinterpret_cast<const char*>(text);
  xmlFree(text);
  return copy;
}

inline void list_elements(xmlNode* node, int parent, XmlDocument& document) {
  for (; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    XmlElement e;
    e.name = reinterpret_cast<const char*>(node->name);
    e.parent = parent;
    for (xmlAttr* a = node->properties; a != nullptr; a = a->next) {
      e.attributes[reinterpret_cast<const char*>(a->name)] =
          xml_text(xmlNodeListGetString(node->doc, a->children, 1));
    }
    for (xmlNode* child = node->children; child != nullptr; child = child->next) {
      if (child->type == XML_TEXT_NODE) e.text += xml_text(xmlNodeGetContent(child));
    }
    e.content = xml_text(xmlNodeGetContent(node));
    document.elements.push_back(e);
    list_elements(node->children, static_cast<int>(document.elements.size()) - 1, document);
  }
}

inline XmlDocument read_xml(const std::string& text) {
  XmlDocument document;
  xmlResetLastError();
  xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "document.xml", nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  const xmlError* error = xmlGetLastError();
  if (doc == nullptr || (error != nullptr && error->level >= XML_ERR_ERROR)) {
    document.problem = error != nullptr && error->message != nullptr
                           ? "line " + std::to_string(error->line) + ": " + error->message
                           : "not well-formed";
  } else {
    list_elements(xmlDocGetRootElement(doc), -1, document);
  }
  xmlFreeDoc(doc);
  return document;
}

// The labels of the marks of a class (dots "<circle class=CLASS>", labels "<text
// class=CLASS-label>") that meet another such label or a dot, each named with what it meets. A
// label is taken as a box of 6 px a character (UTF-8 sequences count one) and 10 px high, from
// 8 px above its baseline.
inline std::vector<std::string> crowded_labels(const XmlDocument& doc, const std::string& cls) {
  struct Box {
    double x0, y0, x1, y1;
    bool meets(const Box& b) const { return x0 < b.x1 && b.x0 < x1 && y0 < b.y1 && b.y0 < y1; }
  };
  auto number = [](const XmlElement& e, const char* name) {
    return std::strtod(e.attributes.at(name).c_str(), nullptr);
  };
  std::vector<Box> boxes;  // the dots, then the labels
  std::vector<std::string> names;
  for (const XmlElement* dot : doc.all("circle", "class", cls)) {
    const double x = number(*dot, "cx"), y = number(*dot, "cy"), r = number(*dot, "r");
    boxes.push_back({x - r, y - r, x + r, y + r});
    names.push_back("a dot");
  }
  std::vector<std::string> crowded;
  for (const XmlElement* label : doc.all("text", "class", cls + "-label")) {
    double width = 0.0;
    for (const char c : label->content) width += (c & 0xc0) != 0x80 ? 6.0 : 0.0;
    const double x = number(*label, "x"), y = number(*label, "y");
    const std::string anchor = label->attributes.at("text-anchor");
    const double x0 = anchor == "end" ? x - width : anchor == "middle" ? x - width / 2 : x;
    const Box box{x0, y - 8.0, x0 + width, y + 2.0};
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (box.meets(boxes[i])) crowded.push_back(label->content + " on " + names[i]);
    }
    boxes.push_back(box);
    names.push_back(label->content);
  }
  return crowded;
}

// The texts of a plan that meet another text, each named with the one it meets: a text is taken
// as a box 0.7 of its font size a character wide, from 0.8 of the size above its baseline to 0.25
// below.
inline std::vector<std::string> meeting_texts(const XmlDocument& doc) {
  struct Box {
    double x0, y0, x1, y1;
    std::string text;
  };
  auto number = [](const XmlElement& e, const char* name) {
    return std::strtod(e.attributes.at(name).c_str(), nullptr);
  };
  std::vector<Box> boxes;
  for (const XmlElement& e : doc.elements) {
    if (e.name != "text" || e.text.empty()) continue;
    const double size = number(e, "font-size");
    const double width = 0.7 * size * static_cast<double>(e.text.size());
    const double x = number(e, "x"), y = number(e, "y");
    const std::string anchor =
        e.attributes.count("text-anchor") ? e.attributes.at("text-anchor") : "";
    const double left = anchor == "middle" ? x - width / 2.0 : anchor == "end" ? x - width : x;
    boxes.push_back({left, y - 0.8 * size, left + width, y + 0.25 * size, e.text});
  }
  std::vector<std::string> meeting;
  for (size_t i = 0; i < boxes.size(); ++i) {
    for (size_t j = i + 1; j < boxes.size(); ++j) {
      const Box& a = boxes[i];
      const Box& b = boxes[j];
      if (a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1) {
        meeting.push_back(a.text + " meets " + b.text);
      }
    }
  }
  return meeting;
}

}  // namespace kelmarino::testing
