// Text signatures of the extension's methods and constructors, generated at build time from
// the method tables and the initialisers' keyword lists (tools/gen_signatures.py), so that
// inspect.signature and help() show the parameters the parsers accept.
#pragma once

#include <Python.h>

#include "module/state.h"

namespace kelvo {

struct TextSignature {
  const char *name;
  const char *signature;  // "($self, ...)"
};

struct SignedTable {
  PyMethodDef *table;
  const TextSignature *signatures;
};

struct DocEntry {
  const char *key;        // "type.method", "function" or "type"
  const char *paragraph;  // what it does, its arguments, its result, its errors
};

struct SignedType {
  PyTypeObject *type;
  const char *signature;  // of the constructor, "(...)"
};

// Every method table of the module with its signatures; ends with {nullptr, nullptr}.
extern const SignedTable signed_tables[];
// Every type with a keyword-parsing initialiser; ends with {nullptr, nullptr}.
extern const SignedType signed_types[];
// The doc strings written in src/module/docs (tools/gen_docs.py); ends with {nullptr, nullptr}.
extern const DocEntry documented[];

// Prefixes each table entry's doc string with "name(signature)\n--\n\n", the form CPython
// reads __text_signature__ from, replacing a first line that spelled out the call by hand.
// Runs once, before the tables are copied into the types and the module.
void apply_method_signatures();

// The same for the types' doc strings, which CPython reads when asked, so this may run after
// the types are ready. 0, or -1 with an exception.
int apply_constructor_signatures();

// Replaces the doc strings of the module's functions and of its types and their methods by the
// documented paragraphs, keeping the signature lines. Method descriptors and functions read
// ml_doc when asked, so this runs once the module is filled. 0, or -1 with an exception.
int apply_docs(PyObject *module);

}  // namespace kelvo
