#include "module/signatures.h"

#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

// The tables and types keep pointers into these strings for the life of the process.
static std::deque<std::string> signed_docs;

// "name(signature)\n--\n\n" followed by doc, without a hand-written "name(...)" first line
// unless that line also names the result.
static const char *signed_doc(const char *name, const char *signature, const char *old_doc) {
  std::string doc = old_doc ? old_doc : "";
  size_t name_len = std::strlen(name);
  if (doc.compare(0, name_len, name) == 0 && doc.size() > name_len && doc[name_len] == '(') {
    size_t end = doc.find('\n');
    if (doc.substr(0, end).find("->") == std::string::npos) doc.erase(0, end == std::string::npos ? doc.size() : end + 1);
  }
  signed_docs.push_back(std::string(name) + signature + "\n--\n\n" + doc);
  return signed_docs.back().c_str();
}

void apply_method_signatures() {
  static bool done = false;
  if (done) return;
  done = true;
  for (const SignedTable *t = signed_tables; t->table; ++t)
    for (const TextSignature *s = t->signatures; s->name; ++s)
      for (PyMethodDef *m = t->table; m->ml_name; ++m)
        if (std::strcmp(m->ml_name, s->name) == 0) m->ml_doc = signed_doc(m->ml_name, s->signature, m->ml_doc);
}

int apply_constructor_signatures() {
  static bool done = false;
  if (done) return 0;
  done = true;
  for (const SignedType *t = signed_types; t->type; ++t) {
    const char *dot = std::strrchr(t->type->tp_name, '.');
    t->type->tp_doc = signed_doc(dot ? dot + 1 : t->type->tp_name, t->signature, t->type->tp_doc);
    // Instances read __doc__ from the type's dictionary, filled from the old text when the
    // type was readied.
    const char *doc = std::strstr(t->type->tp_doc, "\n--\n\n") + 5;
    nb::object text = nb::steal(PyUnicode_FromString(doc));
    if (!text || PyDict_SetItemString(t->type->tp_dict, "__doc__", text.ptr()) < 0) return -1;
    PyType_Modified(t->type);
  }
  return 0;
}

// The signature lines of an existing doc string followed by the paragraph.
static const char *documented_doc(const char *old_doc, const char *paragraph) {
  const char *marker = old_doc ? std::strstr(old_doc, "\n--\n\n") : nullptr;
  std::string doc = marker ? std::string(old_doc, marker + 5) : std::string();
  signed_docs.push_back(doc + paragraph);
  return signed_docs.back().c_str();
}

int apply_docs(PyObject *module) {
  static bool done = false;
  if (done) return 0;
  done = true;
  std::unordered_map<std::string_view, const char *> docs;
  for (const DocEntry *d = documented; d->key; ++d) docs.emplace(d->key, d->paragraph);
  auto find = [&](const std::string &key) -> const char * {
    auto it = docs.find(key);
    return it == docs.end() ? nullptr : it->second;
  };
  PyObject *key, *value;
  Py_ssize_t pos = 0;
  // The module's dictionary holds only the module's own references during this walk.
  PyObject *dict = PyModule_GetDict(module);
  while (PyDict_Next(dict, &pos, &key, &value)) {
    if (PyCFunction_Check(value)) {
      PyMethodDef *m = reinterpret_cast<PyCFunctionObject *>(value)->m_ml;
      if (const char *text = find(m->ml_name)) m->ml_doc = documented_doc(m->ml_doc, text);
      continue;
    }
    if (!PyType_Check(value) || !PyUnicode_Check(key)) continue;
    auto *type = reinterpret_cast<PyTypeObject *>(value);
    if (type->tp_flags & Py_TPFLAGS_HEAPTYPE || std::strncmp(type->tp_name, "kelvo.", 6) != 0) continue;
    // Keyed by the name the module exports the type under, which can differ from tp_name; the
    // walk goes over the type's dictionary to reach methods added after the type was readied.
    const char *exported = PyUnicode_AsUTF8(key);
    if (!exported) return -1;
    std::string name = exported;
    PyObject *member, *descr;
    Py_ssize_t at = 0;
    while (PyDict_Next(type->tp_dict, &at, &member, &descr)) {
      if (!Py_IS_TYPE(descr, &PyMethodDescr_Type) || !PyUnicode_Check(member)) continue;
      PyMethodDef *m = reinterpret_cast<PyMethodDescrObject *>(descr)->d_method;
      if (const char *text = find(name + "." + m->ml_name)) m->ml_doc = documented_doc(m->ml_doc, text);
    }
    if (const char *text = find(name)) {
      type->tp_doc = documented_doc(type->tp_doc, text);
      nb::object doc = nb::steal(PyUnicode_FromString(text));
      if (!doc || PyDict_SetItemString(type->tp_dict, "__doc__", doc.ptr()) < 0) return -1;
      PyType_Modified(type);
    }
  }
  return 0;
}

}  // namespace kelvo
