// The values of a group read from the package's objects: its dataclasses, lists and dictionary,
// or any objects with the same attributes. Reals may be any number Python can turn into a float,
// integers any integer; a value that is neither is a mistake named by its place in the group.
#include "objects.hpp"

#include <structmember.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace py = pybind11;

namespace kelmarino {
namespace {

// Where the objects of a type keep an attribute: a slot at a fixed offset, as in the package's
// dataclasses with slots. The type's version tag tells whether the type has changed since.
struct Slot {
  PyTypeObject* type = nullptr;
  unsigned int version = 0;
  Py_ssize_t offset = 0;
};

// An attribute name of the package's objects, made once for the life of the module, with the
// slots it was last found in (the same name is read from several types: x of piles, loads...).
struct Name {
  const char* text;
  PyObject* object = nullptr;
  std::array<Slot, 4> slots{};
  size_t next = 0;  // the slot learnt next
};

bool current(const Slot& slot, PyTypeObject* type) {
  return slot.type == type && (type->tp_flags & Py_TPFLAGS_VALID_VERSION_TAG) != 0 &&
         type->tp_version_tag == slot.version;
}

// The slot of `name` in the objects of `type`, learnt from the type's member descriptor; none
// when the type finds its attributes otherwise (a dictionary, a property, its own lookup).
const Slot* slot_of(Name& name, PyTypeObject* type) {
  for (const Slot& slot : name.slots) {
    if (current(slot, type)) return &slot;
  }
  if (type->tp_getattro != PyObject_GenericGetAttr) return nullptr;
  PyObject* const found = _PyType_Lookup(type, name.object);  // validates the version tag
  if (found == nullptr || !Py_IS_TYPE(found, &PyMemberDescr_Type) ||
      PyType_IsSubtype(type, PyDescr_TYPE(found)) == 0) {  // a descriptor of another class's
    return nullptr;
  }
  const PyMemberDef* const member = reinterpret_cast<PyMemberDescrObject*>(found)->d_member;
  if (member->type != T_OBJECT_EX || (member->flags & READ_RESTRICTED) != 0 ||
      (type->tp_flags & Py_TPFLAGS_VALID_VERSION_TAG) == 0) {
    return nullptr;
  }
  Slot& slot = name.slots[name.next++ % name.slots.size()];
  slot = {type, type->tp_version_tag, member->offset};
  return &slot;
}

// The value in an object's slot for `name`: none when unset or not kept in a slot.
PyObject* slot_value(PyObject* self, Name& name) {
  const Slot* const slot = slot_of(name, Py_TYPE(self));
  if (slot == nullptr) return nullptr;
  return *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + slot->offset);
}

namespace names {
Name name{"name"}, JCTR{"JCTR"}, INO{"INO"}, loads{"loads"}, piles{"piles"}, types{"types"},
    supports{"supports"}, x{"x"}, y{"y"}, type{"type"}, shape{"shape"}, tip{"tip"}, axis{"axis"},
    above{"above"}, below{"below"}, length{"length"}, diameter{"diameter"}, m{"m"},
    friction{"friction"}, steps{"steps"}, PMB{"PMB"}, PEH{"PEH"}, PKE{"PKE"},
    stiffness{"stiffness"}, FX{"FX"}, FY{"FY"}, FZ{"FZ"}, MX{"MX"}, MY{"MY"}, MZ{"MZ"};
Name* const all[] = {&name,     &JCTR, &INO,      &loads, &piles, &types, &supports, &x,
                     &y,        &type, &shape,    &tip,   &axis,  &above, &below,    &length,
                     &diameter, &m,    &friction, &steps, &PMB,   &PEH,   &PKE,      &stiffness,
                     &FX,       &FY,   &FZ,       &MX,    &MY,    &MZ};
}  // namespace names

// Where a value stands: its parent and its attribute, index or key in it.
struct Part {
  const Part* parent = nullptr;
  Name* attribute = nullptr;
  py::ssize_t index = -1;
  py::handle key;
  std::string text() const {
    std::string t = parent != nullptr ? parent->text() : "";
    if (attribute != nullptr) return t.append(t.empty() ? "" : ".").append(attribute->text);
    if (key) return t.append("[").append(py::repr(key).cast<std::string>()).append("]");
    return t.append("[").append(std::to_string(index)).append("]");
  }
};

[[noreturn]] void mistake(const Part& part, py::handle value, const char* what) {
  PyErr_Clear();
  throw ValueMistake{part.text(), py::repr(value).cast<std::string>().append(what)};
}

// An object of the package, whose attributes are read from their slots (the parts), or else looked
// up first in its own dictionary, where a dataclass without slots keeps them (the group).
class Object {
 public:
  explicit Object(py::handle self) : self_(py::reinterpret_borrow<py::object>(self)) {
    if (Py_TYPE(self.ptr())->tp_dictoffset == 0) return;  // its values are in slots
    PyObject* const dict = PyObject_GenericGetDict(self.ptr(), nullptr);
    if (dict == nullptr) PyErr_Clear();
    dict_ = py::reinterpret_steal<py::object>(dict);
  }

  // The value in the object's slot for the attribute, borrowed: for a value used at once, before
  // any Python code may run. None when the object keeps the attribute otherwise.
  PyObject* in_slot(const Part& part) const { return slot_value(self_.ptr(), *part.attribute); }

  py::object operator[](const Part& part) const {
    if (PyObject* const value = in_slot(part)) {
      return py::reinterpret_borrow<py::object>(value);
    }
    PyObject* const name = part.attribute->object;
    if (dict_) {
      PyObject* const value = PyDict_GetItemWithError(dict_.ptr(), name);
      if (value != nullptr) return py::reinterpret_borrow<py::object>(value);
      PyErr_Clear();
    }
    PyObject* const value = PyObject_GetAttr(self_.ptr(), name);
    if (value == nullptr) {
      PyErr_Clear();
      throw ValueMistake{part.text(),
                         std::string("is missing from the ") + Py_TYPE(self_.ptr())->tp_name};
    }
    return py::reinterpret_steal<py::object>(value);
  }

 private:
  py::object self_;
  py::object dict_;
};

// A real rounded to single precision as NumPy rounds it: beyond the range, an infinity, which
// the reader refuses as it refuses one in a data file.
float single(double value) {
  const double beyond = 3.4028235677973366e38;  // halfway between the largest real and 2^128
  if (std::fabs(value) >= beyond)
    return std::copysign(std::numeric_limits<float>::infinity(), value);
  return static_cast<float>(value);
}

// A real of the group: any number Python can turn into a float.
float real(py::handle value, const Part& part) {
  if (PyFloat_CheckExact(value.ptr())) return single(PyFloat_AS_DOUBLE(value.ptr()));
  const double d = PyFloat_AsDouble(value.ptr());
  if (d == -1.0 && PyErr_Occurred() != nullptr) mistake(part, value, " is not a number");
  return single(d);
}

float real_of(const Object& object, const Part& part) {
  PyObject* const held = object.in_slot(part);
  if (held != nullptr && PyFloat_CheckExact(held)) return single(PyFloat_AS_DOUBLE(held));
  return real(object[part], part);
}

int32_t integer_of(const Object& object, const Part& part) {
  if (PyObject* const held = object.in_slot(part); held != nullptr && PyLong_CheckExact(held)) {
    int overflow = 0;
    const long n = PyLong_AsLongAndOverflow(held, &overflow);
    if (overflow == 0 && n >= std::numeric_limits<int32_t>::min() &&
        n <= std::numeric_limits<int32_t>::max()) {
      return static_cast<int32_t>(n);
    }
  }
  const py::object value = object[part];
  PyObject* const index = PyNumber_Index(value.ptr());  // int, bool, NumPy integers; no reals
  if (index == nullptr) mistake(part, value, " is not an integer");
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(index, &overflow);
  Py_DECREF(index);
  if (overflow != 0 || n < std::numeric_limits<int32_t>::min() ||
      n > std::numeric_limits<int32_t>::max()) {
    mistake(part, value, " does not fit an integer");
  }
  return static_cast<int32_t>(n);
}

// The items of a list (or any sequence) of the package.
// Python code that runs while a group is read (a number's __float__, a key's __eq__) may change
// its lists: an item is held while it is read, and one no longer there reads as None.
struct Items {
  py::object list;
  py::ssize_t size() const { return PySequence_Fast_GET_SIZE(list.ptr()); }
  py::object operator[](py::ssize_t i) const {
    if (i >= size()) return py::none();
    return py::reinterpret_borrow<py::object>(PySequence_Fast_GET_ITEM(list.ptr(), i));
  }
};

Items items_of(py::handle value, const Part& part) {
  PyObject* const list = PySequence_Fast(value.ptr(), "");
  if (list == nullptr) mistake(part, value, " is not a list");
  return {py::reinterpret_steal<py::object>(list)};
}

Items items(const Object& object, const Part& part) { return items_of(object[part], part); }

TypeValues type_of(const Object& t, const Part& at) {
  TypeValues type;
  type.shape = integer_of(t, {&at, &names::shape});
  type.tip = integer_of(t, {&at, &names::tip});
  const Part axis_at{&at, &names::axis};
  const Items axis = items(t, axis_at);
  if (axis.size() != 3) mistake(axis_at, axis.list, " does not hold 3 components");
  for (py::ssize_t i = 0; i < 3; ++i) {
    type.axis[i] = real(axis[i], {&axis_at, nullptr, i});
  }
  const Part above_at{&at, &names::above}, below_at{&at, &names::below};
  const Items above = items(t, above_at), below = items(t, below_at);
  type.above.reserve(static_cast<size_t>(above.size()));
  type.below.reserve(static_cast<size_t>(below.size()));
  for (py::ssize_t i = 0; i < above.size(); ++i) {
    const Part s{&above_at, nullptr, i};
    const Object segment(above[i]);
    type.above.push_back({real_of(segment, {&s, &names::length}),
                          real_of(segment, {&s, &names::diameter}),
                          integer_of(segment, {&s, &names::steps})});
  }
  for (py::ssize_t i = 0; i < below.size(); ++i) {
    const Part s{&below_at, nullptr, i};
    const Object segment(below[i]);
    type.below.push_back(
        {real_of(segment, {&s, &names::length}), real_of(segment, {&s, &names::diameter}),
         real_of(segment, {&s, &names::m}), real_of(segment, {&s, &names::friction}),
         integer_of(segment, {&s, &names::steps})});
  }
  type.PMB = real_of(t, {&at, &names::PMB});
  type.PEH = real_of(t, {&at, &names::PEH});
  type.PKE = real_of(t, {&at, &names::PKE});
  return type;
}

// The index in `keys` of a key equal to `key`, or -1; the keys are few, the same objects mostly.
int32_t index_of(const std::vector<py::object>& keys, py::handle key, const Part& at) {
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].ptr() == key.ptr()) return static_cast<int32_t>(i);
  }
  for (size_t i = 0; i < keys.size(); ++i) {
    const int equal = PyObject_RichCompareBool(keys[i].ptr(), key.ptr(), Py_EQ);
    if (equal < 0) mistake(at, key, " is not a key");
    if (equal == 1) return static_cast<int32_t>(i);
  }
  return -1;
}

// The piles, with the types they take in the order they first take them.
void piles_of(const Object& g, GroupValues& values) {
  const Part piles_at{nullptr, &names::piles}, types_at{nullptr, &names::types};
  const Items piles = items(g, piles_at);
  const py::object types = g[types_at];
  std::vector<py::object> keys;  // the key in types of each of values.types
  values.piles.reserve(static_cast<size_t>(piles.size()));
  for (py::ssize_t i = 0; i < piles.size(); ++i) {
    const Part at{&piles_at, nullptr, i}, type_at{&at, &names::type};
    const Object pile(piles[i]);
    const py::object key = pile[type_at];
    int32_t known = index_of(keys, key, type_at);
    if (known < 0) {
      PyObject* const type = PyObject_GetItem(types.ptr(), key.ptr());
      if (type == nullptr) mistake(type_at, key, " is not one of the types");
      const py::object type_object = py::reinterpret_steal<py::object>(type);
      values.types.push_back(type_of(Object(type_object), {&types_at, nullptr, -1, key}));
      values.type_keys.push_back(py::repr(key).cast<std::string>());
      keys.push_back(key);
      known = static_cast<int32_t>(keys.size() - 1);
    }
    values.piles.push_back(
        {real_of(pile, {&at, &names::x}), real_of(pile, {&at, &names::y}), known});
  }
}

void loads_of(const Object& g, GroupValues& values) {
  static Name* const act[6] = {&names::FX, &names::FY, &names::FZ,
                               &names::MX, &names::MY, &names::MZ};
  const Part loads_at{nullptr, &names::loads};
  const Items loads = items(g, loads_at);
  for (py::ssize_t i = 0; i < loads.size(); ++i) {
    const Part at{&loads_at, nullptr, i};
    const Object point(loads[i]);
    LoadValues load{real_of(point, {&at, &names::x}), real_of(point, {&at, &names::y}), {}};
    for (int32_t k = 0; k < 6; ++k) load.act[k] = real_of(point, {&at, act[k]});
    values.loads.push_back(load);
  }
}

// A support's stiffness: 36 values, or 6 rows of 6.
void stiffness_of(const Object& support, const Part& at, float (&k)[36]) {
  const Part all{&at, &names::stiffness};
  const Items rows = items(support, all);
  const bool nested = rows.size() == 6;
  if (!nested && rows.size() != 36) mistake(all, rows.list, " is not 36 values or 6 rows of 6");
  for (py::ssize_t r = 0; r < (nested ? 6 : 1); ++r) {
    const Part row_at{&all, nullptr, r};
    const Items row = nested ? items_of(rows[r], row_at) : rows;
    if (nested && row.size() != 6) mistake(row_at, row.list, " is not a row of 6");
    for (py::ssize_t c = 0; c < (nested ? 6 : 36); ++c) {  // as counted, if the list changes
      k[6 * r + c] = real(row[c], {nested ? &row_at : &all, nullptr, c});
    }
  }
}

void supports_of(const Object& g, GroupValues& values) {
  const Part supports_at{nullptr, &names::supports};
  const Items supports = items(g, supports_at);
  for (py::ssize_t i = 0; i < supports.size(); ++i) {
    const Part at{&supports_at, nullptr, i};
    const Object support_object(supports[i]);
    SupportValues support{
        real_of(support_object, {&at, &names::x}), real_of(support_object, {&at, &names::y}), {}};
    stiffness_of(support_object, at, support.stiffness);
    values.supports.push_back(support);
  }
}

}  // namespace

void intern_names() {
  for (Name* n : names::all) n->object = PyUnicode_InternFromString(n->text);
}

void values_of_group(py::handle group, GroupValues& values) {
  const Object g(group);
  values.name = py::str(g[{nullptr, &names::name}]).cast<std::string>();
  values.JCTR = integer_of(g, {nullptr, &names::JCTR});
  values.INO = integer_of(g, {nullptr, &names::INO});
  loads_of(g, values);
  piles_of(g, values);
  supports_of(g, values);
}

}  // namespace kelmarino
