#include "module/signatures.h"

#include <cstring>
#include <deque>
#include <string>

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

}  // namespace kelvo
