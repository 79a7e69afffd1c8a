// Adding and deleting variables: problem.addVariable, addVariables, delVariable, the module
// function vars, and the deletion of rows, columns or sets that the other kinds share.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "api/convert.h"
#include "model/var.h"
#include "module/frame.h"
#include "module/walk.h"
#include "numpy/numpy.h"
#include "problem/problem.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

static const char *const msg_no_memory =
    "No memory to create variables. Consider restricting one or more index sets/lists/ranges in the index argument";

static int model_error(const char *message) {
  PyErr_SetString(g.ModelError, message);
  return -1;
}

static int require_initialized(ProblemObject *p) {
  if (p->prob) return 0;
  return model_error("Problem is not initialized");
}

static PyObject *as_object(ProblemObject *p) { return reinterpret_cast<PyObject *>(p); }

// Reports a failed library call of p; always -1.
static int library_failed(ProblemObject *p) {
  raise_error(as_object(p));
  return -1;
}

static int column_count(ProblemObject *p, int *count) {
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, static_cast<int>(KLVO_ATTR_ORIGINALCOLS), count) != 0)
    return library_failed(p);
  return 0;
}

// Runs fn with the pending exception set aside, so that a clean-up call cannot disturb it.
template <class Fn>
static void keeping_error(Fn fn) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  fn();
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
}

// Removes the list tail from `from` on, marking linked variables deleted. False when the
// list could not be cut.
static bool cut_var_list(ProblemObject *p, Py_ssize_t from) {
  Py_ssize_t n = PyList_GET_SIZE(p->vars);
  for (Py_ssize_t i = from; i < n; ++i) {
    PyObject *o = PyList_GET_ITEM(p->vars, i);
    if (is_var(o) && as_var(o)->owner == p) mark_var_deleted(as_var(o));
  }
  if (PyList_SetSlice(p->vars, from, n, nullptr) < 0) {
    PyErr_Clear();
    return false;
  }
  return true;
}

// Undoes a failed linked add of the columns first.. and of the list entries from `from` on:
// deletes the columns (their error ignored) and cuts the list, warning when that fails.
static void revert_columns(ProblemObject *p, int first, int n, Py_ssize_t from, const char *warning) {
  keeping_error([&] {
    try {
      std::vector<int> cols(n);
      for (int i = 0; i < n; ++i) cols[i] = first + i;
      call(KLVOdelcols, "KLVOdelcols", p, p->prob, n, cols.data());
    } catch (const std::bad_alloc &) {
    }
    PyErr_Clear();
    if (!cut_var_list(p, from) && !cut_var_list(p, from)) {
      if (PyErr_WarnEx(PyExc_RuntimeWarning, warning, 1) < 0) PyErr_Clear();
    }
  });
}

// Makes room for `more` further items in a list at once: appending a million items one by one
// would reallocate, and copy, the list's array a hundred times.
static int reserve_items(PyObject *list, Py_ssize_t more) {
  auto *l = reinterpret_cast<PyListObject *>(list);
  Py_ssize_t need = PyList_GET_SIZE(list) + more;
  if (need <= l->allocated) return 0;
  auto **items = static_cast<PyObject **>(PyMem_Realloc(l->ob_item, static_cast<size_t>(need) * sizeof(PyObject *)));
  if (!items) {
    PyErr_NoMemory();
    return -1;
  }
  l->ob_item = items;
  l->allocated = need;
  return 0;
}

// Creates n columns of one type, bounds and threshold (already validated) with a constant
// number of library calls, and appends their variables to the list (and, given cells, puts a
// new reference to each in cells[i] while the object is fresh in the cache). Returns the first
// new column, or -1 with an exception and nothing added.
static int create_columns(ProblemObject *p, int n, int type, double lb, double ub, double threshold,
                          PyObject **cells = nullptr) {
  int first;
  if (column_count(p, &first) < 0) return -1;
  Py_ssize_t old_len = PyList_GET_SIZE(p->vars);
  try {
    // New columns are continuous: only other types need the column list.
    std::vector<int> cols(type == vt_continuous ? 0 : n);
    for (int i = 0; i < static_cast<int>(cols.size()); ++i) cols[i] = first + i;
    std::vector<double> lbs, ubs;
    if (lb != 0.0) lbs.assign(n, lb);
    if (ub < infinity) ubs.assign(n, ub);
    if (call(KLVOaddcols, "KLVOaddcols", p, p->prob, n, 0, nullptr, nullptr, nullptr, nullptr,
             lbs.empty() ? nullptr : lbs.data(), ubs.empty() ? nullptr : ubs.data()) != 0)
      return library_failed(p);
    lbs.clear();
    lbs.shrink_to_fit();
    ubs.clear();
    ubs.shrink_to_fit();

    int rc = 0;
    if (type != vt_continuous) {
      std::vector<char> letters(n, column_letter(type));
      rc = call(KLVOchgcoltype, "KLVOchgcoltype", p, p->prob, n, cols.data(), letters.data());
    }
    // Making a column binary resets its bounds to [0, 1]: put back the ones asked for.
    if (rc == 0 && type == vt_binary && !(lb == 0.0 && ub == 1.0)) {
      bool change_lb = lb != 0.0, change_ub = ub != 1.0;
      int m = (change_lb ? n : 0) + (change_ub ? n : 0);
      std::vector<int> where;
      std::vector<char> which;
      std::vector<double> values;
      where.reserve(m);
      which.reserve(m);
      values.reserve(m);
      if (change_lb) {
        where.insert(where.end(), cols.begin(), cols.end());
        which.insert(which.end(), n, 'L');
        values.insert(values.end(), n, lb);
      }
      if (change_ub) {
        where.insert(where.end(), cols.begin(), cols.end());
        which.insert(which.end(), n, 'U');
        values.insert(values.end(), n, ub);
      }
      rc = call(KLVOchgbounds, "KLVOchgbounds", p, p->prob, m, where.data(), which.data(), values.data());
    }
    if (rc == 0 && type >= vt_semicontinuous) {
      std::vector<double> limits(n, threshold);
      rc = call(KLVOchgglblimit, "KLVOchgglblimit", p, p->prob, n, cols.data(), limits.data());
    }
    if (rc != 0) raise_error(as_object(p));
    if (rc == 0) rc = reserve_items(p->vars, n);
    for (int i = 0; rc == 0 && i < n; ++i) {
      nb::object v = nb::steal(reinterpret_cast<PyObject *>(new_linked_var(p, first + i)));
      if (!v || PyList_Append(p->vars, v.ptr()) < 0) rc = -1;
      else if (cells) Py_XSETREF(cells[i], Py_NewRef(v.ptr()));
    }
    if (rc != 0) {
      revert_columns(p, first, n, old_len, "Failed to revert new variables");
      return -1;
    }
  } catch (const std::bad_alloc &) {
    if (PyList_GET_SIZE(p->vars) > old_len) revert_columns(p, first, n, old_len, "Failed to revert new variables");
    PyErr_Clear();
    model_error(msg_no_memory);
    return -1;
  }
  return first;
}

// Checks of a requested domain shared by addVariable and addVariables.
static int check_request(int type, double &lb, double &ub, double threshold) {
  if (type == vt_binary && ub == infinity) ub = 1.0;
  if (type < 0) {
    PyErr_Format(g.ModelError, "Invalid variable type %d: expected one of kelvo.binary, kelvo.continuous, etc.", type);
    return -1;
  }
  return validate_domain(type, lb, ub, threshold);
}

static int first_leaf(PyObject *, PyObject *leaf, void *data) {
  *static_cast<PyObject **>(data) = leaf;
  return 1;
}

static const char *const add_keywords[] = {"name", "lb", "ub", "threshold", "vartype", nullptr};

// ---- addVariable, linked form: one new column.

static PyObject *add_variable_linked(ProblemObject *p, PyObject *args, PyObject *kwargs) {
  if (problem_unlinked(p)) {
    model_error("Cannot use problem.addVariable to create linked variables: this problem already contains unlinked "
                "objects");
    return nullptr;
  }
  PyObject *name = Py_None;
  double lb = 0.0, ub = infinity, threshold = 1.0;
  int type = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OdddO&", const_cast<char **>(add_keywords), &name, &lb, &ub,
                                   &threshold, int32_converter, &type))
    return nullptr;
  if (name != Py_None && !PyUnicode_Check(name)) {
    PyObject *leaf = nullptr;
    if (walk(as_object(p), args, first_leaf, &leaf) == -1) return nullptr;
    model_error(leaf && is_var(leaf) ? "Cannot use problem.addVariable to add existing variables to the problem"
                                     : "Variable name must be a string");
    return nullptr;
  }
  if (check_request(type, lb, ub, threshold) < 0) return nullptr;
  const char *text = name != Py_None ? c_text(name, nullptr) : nullptr;
  if (name != Py_None && !text) return nullptr;

  Py_ssize_t old_len = PyList_GET_SIZE(p->vars);
  int col = create_columns(p, 1, type, lb, ub, threshold);
  if (col < 0) return nullptr;
  PyObject *v = Py_NewRef(PyList_GET_ITEM(p->vars, old_len));
  if (text && call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_COLUMNS, text, col, col) != 0) {
    raise_error(as_object(p));
    revert_columns(p, col, 1, old_len, "Failed to revert new variable");
    Py_DECREF(v);
    return nullptr;
  }
  return v;
}

// ---- addVariable, unlinked form (deprecated): existing free-standing variables.

struct UnlinkedBatch {
  ProblemObject *p;
  int first;  // column count before the add
  std::vector<VarObject *> vars;  // borrowed: the list holds them
  std::vector<uint8_t> old_type_bytes;
  std::vector<char> letters;
  std::vector<double> lbs, ubs, thresholds;
  std::vector<int> threshold_cols;
  std::vector<int> binary_entries;  // batch positions of binaries with bounds other than [0, 1]
  std::string names;                // NUL-separated
};

static int collect_unlinked(PyObject *, PyObject *leaf, void *data) {
  auto *b = static_cast<UnlinkedBatch *>(data);
  ProblemObject *p = b->p;
  if (!is_var(leaf)) {
    PyErr_SetString(g.InterfaceError, "Incorrect objects added as variables to problem");
    return -1;
  }
  VarObject *v = as_var(leaf);
  if (check_var_addable(v) < 0) return -1;
  uint64_t serial = var_index(v);
  if (p->var_map && p->var_map->count(serial)) {
    PyErr_SetString(g.InterfaceError, "Variable already added to problem");
    return -1;
  }
  int type = var_type_of(v);
  double lb = unlinked_lb(v), ub = unlinked_ub(v), threshold = unlinked_threshold(v);
  if (validate_domain(type, lb, ub, threshold) < 0) return -1;
  nb::object name = nb::steal(var_name(v));
  if (!name) return -1;
  Py_ssize_t len;
  const char *text = c_text(name.ptr(), &len);
  if (!text) return -1;
  try {
    int col = b->first + static_cast<int>(b->vars.size());
    b->names.append(text, len);
    b->names.push_back('\0');
    b->letters.push_back(column_letter(type));
    b->lbs.push_back(lb);
    b->ubs.push_back(ub);
    if (type >= vt_semicontinuous) {
      b->threshold_cols.push_back(col);
      b->thresholds.push_back(threshold);
    }
    if (type == vt_binary && !(lb == 0.0 && ub == 1.0)) b->binary_entries.push_back(static_cast<int>(b->vars.size()));
    if (!p->var_map) p->var_map = new SerialIndexMap();
    if (PyList_Append(p->vars, leaf) < 0) return -1;
    // From here on the variable is part of the batch and undone with it.
    b->vars.push_back(v);
    b->old_type_bytes.push_back(v->type_byte);
    (*p->var_map)[serial] = col;
  } catch (const std::bad_alloc &) {
    model_error("Could not amend variable map");
    return -1;
  }
  v->type_byte |= var_shared_flag;
  return 0;
}

// Takes a batch that reached no column out of the list and the map again.
static void undo_unlinked_batch(UnlinkedBatch &b, Py_ssize_t old_len, bool map_created) {
  ProblemObject *p = b.p;
  keeping_error([&] {
    for (size_t i = 0; i < b.vars.size(); ++i) {
      b.vars[i]->type_byte = b.old_type_bytes[i];
      if (p->var_map) p->var_map->erase(var_index(b.vars[i]));
    }
    if (PyList_SetSlice(p->vars, old_len, PyList_GET_SIZE(p->vars), nullptr) < 0) PyErr_Clear();
    if (map_created && p->var_map && p->var_map->empty()) {
      delete p->var_map;
      p->var_map = nullptr;
    }
  });
}

static PyObject *add_variable_unlinked(ProblemObject *p, PyObject *args) {
  if (!problem_unlinked(p) && PyList_GET_SIZE(p->vars) + PyList_GET_SIZE(p->cons) + PyList_GET_SIZE(p->sos) > 0) {
    model_error("Cannot use problem.addVariable to add existing variables to the problem");
    return nullptr;
  }
  UnlinkedBatch b;
  b.p = p;
  if (column_count(p, &b.first) < 0) return nullptr;
  if (PyTuple_GET_SIZE(args) == 0) {
    if (deprecation(9, 5, "problem.addVariable() with no arguments on an unlinked problem has no effect") < 0)
      return nullptr;
    Py_RETURN_NONE;
  }
  Py_ssize_t old_len = PyList_GET_SIZE(p->vars);
  bool map_created = p->var_map == nullptr;
  int rc;
  try {
    rc = walk(as_object(p), args, collect_unlinked, &b);
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    rc = -1;
  }
  if (rc != 0) {
    undo_unlinked_batch(b, old_len, map_created);
    return nullptr;
  }
  int n = static_cast<int>(b.vars.size());
  if (n == 0) Py_RETURN_NONE;

  if (call(KLVOaddcols64, "KLVOaddcols64", p, p->prob, n, int64_t{0}, nullptr, nullptr, nullptr, nullptr,
           b.lbs.data(), b.ubs.data()) != 0) {
    raise_error(as_object(p));
    undo_unlinked_batch(b, old_len, map_created);
    return nullptr;
  }
  int count = b.first;
  rc = column_count(p, &count);
  try {
    if (rc == 0) {
      std::vector<int> cols(n);
      for (int i = 0; i < n; ++i) cols[i] = b.first + i;
      rc = call(KLVOchgcoltype, "KLVOchgcoltype", p, p->prob, n, cols.data(), b.letters.data());
      if (rc == 0)
        rc = call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_COLUMNS, b.names.data(), b.first, count - 1);
      if (rc == 0 && !b.thresholds.empty())
        rc = call(KLVOchgglblimit, "KLVOchgglblimit", p, p->prob, static_cast<int>(b.thresholds.size()),
                  b.threshold_cols.data(), b.thresholds.data());
      if (rc == 0 && !b.binary_entries.empty()) {
        std::vector<int> where;
        std::vector<char> which;
        std::vector<double> values;
        for (int k : b.binary_entries) {
          where.insert(where.end(), {b.first + k, b.first + k});
          which.insert(which.end(), {'L', 'U'});
          values.insert(values.end(), {b.lbs[k], b.ubs[k]});
        }
        rc = call(KLVOchgbounds, "KLVOchgbounds", p, p->prob, static_cast<int>(where.size()), where.data(),
                  which.data(), values.data());
      }
      if (rc != 0) raise_error(as_object(p));
    }
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    rc = -1;
  }
  if (rc != 0) {
    // The columns exist: remove them the way a deletion does, which repairs list and map.
    keeping_error([&] {
      std::vector<int> cols;
      for (int i = b.first; i < std::max(count, b.first + n); ++i) cols.push_back(i);
      if (delete_indices(p, del_columns, cols) < 0) PyErr_Clear();
      for (size_t i = 0; i < b.vars.size(); ++i) b.vars[i]->type_byte = b.old_type_bytes[i];
      if (map_created && p->var_map && p->var_map->empty()) {
        delete p->var_map;
        p->var_map = nullptr;
      }
    });
    return nullptr;
  }
  Py_RETURN_NONE;
}

static PyObject *problem_addVariable(PyObject *self, PyObject *args, PyObject *kwargs) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  if (require_initialized(p) < 0 || require_idle(p, "problem.addVariable") < 0) return nullptr;
  ChangeScope change(p);
  AuxParking parked(p);
  if (parked.failed()) return nullptr;
  Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  bool keywords = kwargs && PyDict_GET_SIZE(kwargs) > 0;
  if (keywords || (nargs > 0 && (PyTuple_GET_ITEM(args, 0) == Py_None || PyUnicode_Check(PyTuple_GET_ITEM(args, 0)) ||
                                 PyBytes_Check(PyTuple_GET_ITEM(args, 0)))))
    return add_variable_linked(p, args, kwargs);
  if (!problem_unlinked(p)) {
    bool linked_mode = PyList_GET_SIZE(p->vars) + PyList_GET_SIZE(p->cons) + PyList_GET_SIZE(p->sos) > 0;
    if (linked_mode || nargs == 0) return add_variable_linked(p, args, kwargs);
  }
  return add_variable_unlinked(p, args);
}

// ---- addVariables and vars: variables over index sets.

struct IndexSet {
  nb::object items;      // list of the set's elements, in order; none for an integer
  Py_ssize_t size = 0;
  bool integer = false;  // an integer k standing for range(k), whose elements are made on demand
  std::vector<std::string> texts;  // the elements' texts in names; none for an integer
};

static bool is_integer_object(PyObject *o) { return PyLong_Check(o) || PyArray_IsScalar(o, Integer); }

// The first `size` elements of arg, taken by iteration or by index, as a new list; null with
// an exception.
static nb::object list_of_elements(PyObject *arg, Py_ssize_t size, bool iterable) {
  nb::object items = nb::steal(PyList_New(size));
  if (!items) return items;
  if (iterable) {
    nb::object it = nb::steal(PyObject_GetIter(arg));
    if (!it) return nb::object();
    for (Py_ssize_t i = 0; i < size; ++i) {
      PyObject *item = PyIter_Next(it.ptr());
      if (!item) {
        if (!PyErr_Occurred()) model_error("No object available from iterator");
        return nb::object();
      }
      PyList_SET_ITEM(items.ptr(), i, item);
    }
  } else {
    for (Py_ssize_t i = 0; i < size; ++i) {
      PyObject *item = PySequence_GetItem(arg, i);
      if (!item) return nb::object();
      PyList_SET_ITEM(items.ptr(), i, item);
    }
  }
  return items;
}

// Reads one index argument into its list of elements; -1 with ModelError.
static int read_index_set(PyObject *arg, int position, IndexSet &set) {
  if (is_integer_object(arg)) {
    long long k = PyLong_AsLongLong(arg);
    if (k == -1 && PyErr_Occurred()) return -1;
    if (k < 1) return model_error("Invalid index: integer argument must be positive (it is equivalent to range(k))");
    if (k > INT_MAX) return model_error(msg_no_memory);
    set.integer = true;
    set.size = static_cast<Py_ssize_t>(k);
    return 0;
  }
  bool iterable = PyObject_HasAttrString(arg, "__iter__");
  Py_ssize_t size = -1;
  if (iterable || PySequence_Check(arg)) {
    size = PyObject_Size(arg);
    if (size < 0) PyErr_Clear();
  }
  if (size < 0) return model_error("Invalid index: arguments must be lists, sets, iterable objects, or integer numbers");
  if (size == 0) return model_error("Invalid index: empty dimension in creation of variables");
  set.size = size;
  set.items = list_of_elements(arg, size, iterable);
  if (!set.items) return -1;
  if (!PyAnySet_Check(arg)) {
    nb::object distinct = nb::steal(PySet_New(set.items.ptr()));
    if (!distinct) return -1;
    if (PySet_GET_SIZE(distinct.ptr()) != size) {
      PyErr_Format(g.ModelError, "Duplicate item in argument %d: each argument must contain unique elements",
                   position + 1);
      return -1;
    }
  }
  return 0;
}

// Element i of an index set; null with an exception.
static nb::object element_of(const IndexSet &set, Py_ssize_t i) {
  if (set.integer) return nb::steal(PyLong_FromSsize_t(i));
  return nb::borrow(PyList_GET_ITEM(set.items.ptr(), i));
}

// The text an index element contributes to a generated name.
static int element_text(PyObject *o, std::string &out) {
  char buffer[64];
  if (PyLong_Check(o)) {
    long value = PyLong_AsLong(o);
    if (!(value == -1 && PyErr_Occurred())) {
      snprintf(buffer, sizeof buffer, "%ld", value);
      out = buffer;
      return 0;
    }
    PyErr_Clear();
  } else if (PyFloat_Check(o)) {
    snprintf(buffer, sizeof buffer, "%g", PyFloat_AS_DOUBLE(o));
    out = buffer;
    return 0;
  } else if (PyBytes_Check(o)) {
    Py_ssize_t len;
    const char *text = c_text(o, &len, "Index element");
    if (!text) return -1;
    out.assign(text, len);
    return 0;
  }
  nb::object s = PyUnicode_Check(o) ? nb::borrow(o) : nb::steal(PyObject_Str(o));
  if (!s) {
    PyErr_Clear();
    return model_error("Element of index tuple cannot be represented");
  }
  Py_ssize_t len;
  const char *text = PyUnicode_AsUTF8AndSize(s.ptr(), &len);
  if (!text) {
    PyErr_Clear();
    return model_error("Bad index tuple");
  }
  if (std::memchr(text, '\0', static_cast<size_t>(len))) {
    PyErr_Format(PyExc_ValueError, "Index element %R contains a NUL character", o);
    return -1;
  }
  out.assign(text, len);
  return 0;
}

// Names of new columns, sent to the library in chunks of at most about 1 MiB.
struct NameBatch {
  static constexpr size_t chunk = 0x100000;
  ProblemObject *p;
  int first;
  int appended = 0;
  int sent = 0;
  std::string buffer;

  int flush() {
    if (appended == sent) return 0;
    if (call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_COLUMNS, buffer.data(), first + sent,
             first + appended - 1) != 0)
      return library_failed(p);
    sent = appended;
    buffer.clear();
    return 0;
  }
  // Appends one name; when memory runs short the pending names are sent first and the
  // append is tried once more.
  int append(const std::string &name) {
    try {
      push(name);
    } catch (const std::bad_alloc &) {
      if (flush() < 0) return -1;
      buffer.shrink_to_fit();
      try {
        push(name);
      } catch (const std::bad_alloc &) {
        PyErr_NoMemory();
        return -1;
      }
    }
    ++appended;
    return buffer.size() >= chunk ? flush() : 0;
  }

 private:
  void push(const std::string &name) {
    size_t old = buffer.size();
    try {
      buffer.append(name);
      buffer.push_back('\0');
    } catch (...) {
      buffer.resize(old);
      throw;
    }
  }
};

// The keyword arguments of addVariables and vars.
struct OverOptions {
  double lb = 0.0, ub = infinity, threshold = 1.0;
  int type = 0;
  std::string prefix = "x";  // of the generated names
  bool names_on = true;
};

static int read_over_options(PyObject *kwargs, OverOptions &o) {
  PyObject *name = nullptr;
  nb::object empty = nb::steal(PyTuple_New(0));
  if (!empty) return -1;
  if (!PyArg_ParseTupleAndKeywords(empty.ptr(), kwargs, "|OdddO&", const_cast<char **>(add_keywords), &name, &o.lb,
                                   &o.ub, &o.threshold, int32_converter, &o.type))
    return -1;
  if (check_request(o.type, o.lb, o.ub, o.threshold) < 0) return -1;
  if (name == Py_None) {
    o.names_on = false;
  } else if (name) {
    if (!PyUnicode_Check(name)) return model_error("Variable name must be a string");
    Py_ssize_t len;
    const char *text = c_text(name, &len);
    if (!text) return -1;
    o.prefix.assign(text, len);
    o.names_on = len > 0;
  }
  return 0;
}

// Reads every index set of args, with the texts of their elements when names are generated,
// and their sizes into dims. -1 with an exception, ModelError when the product of the sizes
// exceeds `room`.
static int read_index_sets(PyObject *args, bool names_on, long long room, std::vector<IndexSet> &sets,
                           std::vector<npy_intp> &dims) {
  Py_ssize_t nsets = PyTuple_GET_SIZE(args);
  long long total = 1;
  try {
    sets.resize(nsets);
    dims.reserve(nsets);
    for (Py_ssize_t k = 0; k < nsets; ++k) {
      IndexSet &s = sets[k];
      if (read_index_set(PyTuple_GET_ITEM(args, k), static_cast<int>(k), s) < 0) return -1;
      Py_ssize_t size = s.size;
      dims.push_back(size);
      total *= size;
      if (total > room) return model_error(msg_no_memory);
      if (names_on && !s.integer) {
        s.texts.resize(size);
        for (Py_ssize_t i = 0; i < size; ++i)
          if (element_text(PyList_GET_ITEM(s.items.ptr(), i), s.texts[i]) < 0) return -1;
      }
    }
  } catch (const std::bad_alloc &) {
    return model_error(msg_no_memory);
  }
  return 0;
}

// The container of the new variables: an object array shaped like the index sets when all of
// them are integers, else a dictionary keyed by index elements. Null with ModelError.
static nb::object new_container(bool array, const std::vector<npy_intp> &dims) {
  nb::object result;
  if (array) {
    PyArray_Descr *descr = nullptr;
    if (g.npvar && PyDataType_ELSIZE(reinterpret_cast<PyArray_Descr *>(g.npvar)) == sizeof(PyObject *))
      descr = reinterpret_cast<PyArray_Descr *>(Py_NewRef(g.npvar));
    else
      descr = PyArray_DescrFromType(NPY_OBJECT);
    // PyArray_NewFromDescr takes over descr.
    if (descr)
      result = nb::steal(PyArray_NewFromDescr(&PyArray_Type, descr, static_cast<int>(dims.size()),
                                              const_cast<npy_intp *>(dims.data()), nullptr, nullptr, 0, nullptr));
  } else {
    result = nb::steal(PyDict_New());
  }
  if (!result) {
    PyErr_Clear();
    model_error("Could not create variables. Consider restricting one or more index sets/lists/ranges in the index "
                "argument");
  }
  return result;
}

// Stores variable v in the container: in the array cell `k`, or in the dictionary under the
// index elements at `position` (the element itself for a single index set). Hashing a key
// can run Python. -1 with an exception.
static int place_variable(PyObject *result, PyObject **cells, int k, const std::vector<IndexSet> &sets,
                          const std::vector<Py_ssize_t> &position, PyObject *v) {
  if (cells) {
    Py_XSETREF(cells[k], Py_NewRef(v));
    return 0;
  }
  Py_ssize_t nsets = static_cast<Py_ssize_t>(sets.size());
  nb::object key;
  if (nsets == 1) {
    key = element_of(sets[0], position[0]);
    if (!key) return -1;
  } else {
    key = nb::steal(PyTuple_New(nsets));
    if (!key) return -1;
    for (Py_ssize_t s = 0; s < nsets; ++s) {
      nb::object item = element_of(sets[s], position[s]);
      if (!item) return -1;
      PyTuple_SET_ITEM(key.ptr(), s, item.release().ptr());
    }
  }
  return PyDict_SetItem(result, key.ptr(), v);
}

// The n new variables in a list of our own: the columns p just received, or new unlinked
// variables without p. Placing them can run Python, which may change p's list. Null with an
// exception.
static nb::object new_variable_list(ProblemObject *p, const OverOptions &o, Py_ssize_t old_len, int n) {
  if (p) return nb::steal(PyList_GetSlice(p->vars, old_len, old_len + n));
  nb::object list = nb::steal(PyList_New(n));
  if (!list) return list;
  for (int i = 0; i < n; ++i) {
    VarObject *v = new_unlinked_var(o.type, o.lb, o.ub, o.threshold);
    if (!v) return nb::object();
    PyList_SET_ITEM(list.ptr(), i, reinterpret_cast<PyObject *>(v));
  }
  return list;
}

// Names the variables in `vars` (the library's columns from `first` on, or the unlinked
// objects' own names) and places them into the container, in row-major order of the index
// sets: the last set varies fastest. -1 with an exception.
static int name_and_place(ProblemObject *p, const OverOptions &o, const std::vector<IndexSet> &sets, PyObject **cells,
                          const std::vector<npy_intp> &dims, int first, PyObject *vars, PyObject *result) {
  Py_ssize_t nsets = static_cast<Py_ssize_t>(sets.size());
  int n = static_cast<int>(PyList_GET_SIZE(vars));
  try {
    NameBatch names{p, first};
    std::vector<Py_ssize_t> position(nsets, 0);
    std::string text;
    // The library's columns are already in the array's cells (create_columns put them there).
    bool in_cells = p && cells;
    for (int k = 0; k < n; ++k) {
      PyObject *v = PyList_GET_ITEM(vars, k);
      if (o.names_on) {
        text = o.prefix;
        for (Py_ssize_t s = 0; s < nsets; ++s) {
          text.push_back(s == 0 ? '(' : ',');
          if (sets[s].integer) {
            char digits[24];
            text.append(digits, std::to_chars(digits, digits + sizeof digits, position[s]).ptr);
          } else {
            text.append(sets[s].texts[position[s]]);
          }
        }
        text.push_back(')');
        if (p) {
          if (names.append(text) < 0) return -1;
        } else {
          nb::object str = nb::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
          if (!str) return -1;
          unlinked_set_name(as_var(v), str.ptr());
        }
      }
      if (!in_cells && place_variable(result, cells, k, sets, position, v) < 0) return -1;
      for (Py_ssize_t s = nsets - 1; s >= 0; --s) {
        if (++position[s] < static_cast<Py_ssize_t>(dims[s])) break;
        position[s] = 0;
      }
    }
    return p ? names.flush() : 0;
  } catch (const std::bad_alloc &) {
    PyErr_Clear();
    return model_error(msg_no_memory);
  }
}

// Creates the variables over the index sets in args, linked to p or, without p, unlinked.
static PyObject *variables_over(ProblemObject *p, PyObject *args, PyObject *kwargs) {
  OverOptions o;
  if (read_over_options(kwargs, o) < 0) return nullptr;
  if (p && problem_unlinked(p)) {
    model_error("Cannot use problem.addVariable to create linked variables: this problem already contains unlinked "
                "objects");
    return nullptr;
  }
  int first = 0;
  if (p && column_count(p, &first) < 0) return nullptr;
  std::vector<IndexSet> sets;
  std::vector<npy_intp> dims;
  if (read_index_sets(args, o.names_on, static_cast<long long>(INT_MAX) - first, sets, dims) < 0) return nullptr;
  bool all_integer = std::all_of(sets.begin(), sets.end(), [](const IndexSet &s) { return s.integer; });
  nb::object result = new_container(all_integer, dims);
  if (!result) return nullptr;

  // All variables at once: one batch of columns, or unlinked objects.
  int n = 1;
  for (npy_intp d : dims) n *= static_cast<int>(d);
  Py_ssize_t old_len = p ? PyList_GET_SIZE(p->vars) : 0;
  // Linked variables go into the array's cells as they are made.
  auto **cells = all_integer ? static_cast<PyObject **>(PyArray_DATA(reinterpret_cast<PyArrayObject *>(result.ptr())))
                             : nullptr;
  if (p && create_columns(p, n, o.type, o.lb, o.ub, o.threshold, cells) < 0) return nullptr;
  nb::object vars = new_variable_list(p, o, old_len, n);
  if (!vars || name_and_place(p, o, sets, cells, dims, first, vars.ptr(), result.ptr()) < 0) {
    if (p) revert_columns(p, first, n, old_len, "Failed to revert new variables");
    return nullptr;
  }
  return result.release().ptr();
}

static PyObject *problem_addVariables(PyObject *self, PyObject *args, PyObject *kwargs) {
  // Without index sets it is addVariable, which takes its own scope.
  if (PyTuple_GET_SIZE(args) == 0) return problem_addVariable(self, args, kwargs);
  auto *p = reinterpret_cast<ProblemObject *>(self);
  if (require_initialized(p) < 0 || require_idle(p, "problem.addVariables") < 0) return nullptr;
  ChangeScope change(p);
  AuxParking parked(p);
  if (parked.failed()) return nullptr;
  return variables_over(p, args, kwargs);
}

static PyObject *module_vars(PyObject *, PyObject *args, PyObject *kwargs) {
  if (PyTuple_GET_SIZE(args) == 0)
    return PyObject_Call(reinterpret_cast<PyObject *>(&var_type), args, kwargs);
  if (deprecation(9, 5, "create linked variables by calling problem.addVariables()") < 0) return nullptr;
  return variables_over(nullptr, args, kwargs);
}

// ---- Deletion.

static PyObject *&kind_list(ProblemObject *p, DeleteKind kind) {
  return kind == del_rows ? p->cons : kind == del_columns ? p->vars : p->sos;
}

static SerialIndexMap *kind_map(ProblemObject *p, DeleteKind kind) {
  return kind == del_rows ? p->con_map : kind == del_columns ? p->var_map : p->sos_map;
}

// Marks a linked object of p deleted (deleted) or gives it its new position.
static void relink(ProblemObject *p, DeleteKind kind, PyObject *o, bool deleted, Py_ssize_t position) {
  if (kind == del_columns && is_var(o)) {
    VarObject *v = as_var(o);
    if (v->owner != p) return;
    if (deleted) {
      mark_var_deleted(v);
    } else {
      ++column_epoch;
      v->index_low = static_cast<uint32_t>(position);
      v->index_high = 0;
    }
  } else if (kind == del_rows && PyObject_TypeCheck(o, &constraint_type)) {
    auto *c = reinterpret_cast<ConstraintObject *>(o);
    if (constraint_slot_count(c) != 0 || c->link != p) return;
    if (deleted) {
      mark_constraint_deleted(c);
    } else {
      c->index_low = static_cast<uint32_t>(position);
      c->index_high = 0;
    }
  } else if (kind == del_sets && PyObject_TypeCheck(o, &sos_type)) {
    auto *s = reinterpret_cast<SosObject *>(o);
    if (s->owner != p) return;
    if (deleted)
      mark_sos_deleted(s);
    else
      s->index = static_cast<uint64_t>(position);
  }
}

int delete_indices(ProblemObject *p, DeleteKind kind, std::vector<int> &indices, bool sized) {
  if (indices.empty()) return 0;
  int n = static_cast<int>(indices.size());
  // A nonlinear objective's auxiliary row and column follow the model's; they are not the
  // user's to delete.
  int32_t *aux = kind == del_columns ? &p->obj_aux_col : kind == del_rows ? &p->obj_aux_row : nullptr;
  if (aux && *aux >= 0 && std::find(indices.begin(), indices.end(), *aux) != indices.end()) {
    model_error(kind == del_columns ? "Cannot delete the objective's auxiliary column"
                                    : "Cannot delete the objective's auxiliary row");
    return -1;
  }
  int rc;
  if (sized)
    rc = kind == del_rows ? call(KLVOdelrows_witharraysizes, "KLVOdelrows_witharraysizes", p, p->prob, n, indices.data(), n)
         : kind == del_columns
             ? call(KLVOdelcols_witharraysizes, "KLVOdelcols_witharraysizes", p, p->prob, n, indices.data(), n)
             : call(KLVOdelsets_witharraysizes, "KLVOdelsets_witharraysizes", p, p->prob, n, indices.data(), n);
  else
    rc = kind == del_rows      ? call(KLVOdelrows, "KLVOdelrows", p, p->prob, n, indices.data())
         : kind == del_columns ? call(KLVOdelcols, "KLVOdelcols", p, p->prob, n, indices.data())
                               : call(KLVOdelsets, "KLVOdelsets", p, p->prob, n, indices.data());
  if (rc != 0) return library_failed(p);
  std::sort(indices.begin(), indices.end());
  if (aux && *aux >= 0)
    *aux -= static_cast<int32_t>(std::lower_bound(indices.begin(), indices.end(), *aux) - indices.begin());

  PyObject *list = kind_list(p, kind);
  SerialIndexMap *map = kind_map(p, kind);
  if (list) {
    // Close the gaps from the smallest deleted index on; the list only shrinks, so its
    // storage can be rearranged in place.
    auto *items = reinterpret_cast<PyListObject *>(list)->ob_item;
    Py_ssize_t size = PyList_GET_SIZE(list);
    std::vector<nb::object> dropped;  // the list's references, released once it is consistent
    dropped.reserve(indices.size());  // so that taking a reference over cannot throw
    Py_ssize_t write = std::max(indices.front(), 0);
    size_t k = 0;
    while (k < indices.size() && indices[k] < 0) ++k;
    for (Py_ssize_t read = write; read < size; ++read) {
      if (k < indices.size() && indices[k] == read) {
        ++k;
        if (!map) relink(p, kind, items[read], true, 0);
        dropped.push_back(nb::steal(items[read]));
        continue;
      }
      if (!map && write != read) relink(p, kind, items[read], false, write);
      items[write++] = items[read];
    }
    Py_SET_SIZE(list, write);
    dropped.clear();
  }
  if (map) {
    // Unlinked objects keep their serial ids; only the map follows the new numbering.
    for (auto it = map->begin(); it != map->end();) {
      int old = it->second;
      auto pos = std::lower_bound(indices.begin(), indices.end(), old);
      if (pos != indices.end() && *pos == old) {
        it = map->erase(it);
      } else {
        it.value() = old - static_cast<int>(pos - indices.begin());
        ++it;
      }
    }
  }
  return 0;
}

struct IndexCollect {
  ProblemObject *p;
  DeleteKind kind;
  IndexResolver resolve;
  std::vector<int> *indices;
};

static int index_of_object(ProblemObject *p, DeleteKind kind, IndexResolver resolve, PyObject *o, int *index) {
  if (is_integer_object(o)) {
    long value = PyLong_AsLong(o);
    if (value == -1 && PyErr_Occurred()) return -1;
    if (value < INT_MIN || value > INT_MAX) {
      PyErr_SetString(PyExc_OverflowError, "Index does not fit in 32 bits");
      return -1;
    }
    *index = static_cast<int>(value);
    return 0;
  }
  int r = resolve(p, o, index);
  if (r != 0) return r < 0 ? -1 : 0;
  if (PyUnicode_Check(o) || PyBytes_Check(o)) {
    const char *text = c_text(o, nullptr);
    if (!text) return -1;
    int type = kind == del_rows ? KLVO_NAMES_ROWS : kind == del_columns ? KLVO_NAMES_COLUMNS : KLVO_NAMES_SETS;
    if (call(KLVOgetindex, "KLVOgetindex", p, p->prob, type, text, index) != 0) return library_failed(p);
    if (*index >= 0) return 0;
    // Deletion errors are ModelErrors; the name is quoted as the lookups of the array methods do.
    PyErr_Format(g.ModelError, kind == del_rows ? "No row is named %R" : kind == del_columns ? "No column is named %R"
                                                                                           : "No set is named %R", o);
    return -1;
  }
  const char *what = kind == del_rows ? "constraint" : kind == del_columns ? "variable" : "SOS";
  PyErr_Format(g.ModelError, "Invalid %s object %S", what, o);
  return -1;
}

static int collect_index(PyObject *, PyObject *leaf, void *data) {
  auto *c = static_cast<IndexCollect *>(data);
  int index;
  if (index_of_object(c->p, c->kind, c->resolve, leaf, &index) < 0) return -1;
  try {
    c->indices->push_back(index);
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return -1;
  }
  return 0;
}

PyObject *delete_objects(ProblemObject *p, DeleteKind kind, PyObject *index, int first, int last,
                         IndexResolver resolve) {
  if (require_initialized(p) < 0 || require_idle(p, "problem deletion") < 0) return nullptr;
  ChangeScope change(p);
  if (index == Py_None) index = nullptr;
  if (index && (first >= 0 || last >= 0)) {
    model_error("Parameters 'first' and 'last' cannot be specified if 'index' is also specified");
    return nullptr;
  }
  std::vector<int> indices;
  try {
    if (first >= 0) {
      if (last < 0) {
        model_error("Parameters 'first' and 'last' must be both nonnegative when specified");
        return nullptr;
      }
      PyObject *list = kind_list(p, kind);
      Py_ssize_t size = list ? PyList_GET_SIZE(list) : 0;
      if (first >= size || last >= size) {
        model_error("Parameters 'first' or 'last' are out of range");
        return nullptr;
      }
      if (first > last) {
        model_error("Parameter 'first' must be less than, or equal to, 'last'");
        return nullptr;
      }
      for (int i = first; i <= last; ++i) indices.push_back(i);
    } else if (!index) {
      model_error(last >= 0 ? "Parameters 'first' and 'last' must be both nonnegative when specified"
                            : "At least one parameter must be specified");
      return nullptr;
    } else {
      int one;
      int r = is_integer_object(index) ? 1 : resolve(p, index, &one);
      if (r < 0) return nullptr;
      if (r == 1) {
        if (index_of_object(p, kind, resolve, index, &one) < 0) return nullptr;
        indices.push_back(one);
      } else if (PyArray_Check(index) && PyArray_ISINTEGER(reinterpret_cast<PyArrayObject *>(index))) {
        // Integer arrays of any width: read as 64-bit integers.
        nb::object arr = nb::steal(PyArray_FROMANY(index, NPY_INT64, 0, 0, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
        if (!arr) return nullptr;
        auto *values = static_cast<const int64_t *>(PyArray_DATA(reinterpret_cast<PyArrayObject *>(arr.ptr())));
        npy_intp size = PyArray_SIZE(reinterpret_cast<PyArrayObject *>(arr.ptr()));
        for (npy_intp i = 0; i < size; ++i) {
          if (values[i] < INT_MIN || values[i] > INT_MAX) {
            PyErr_SetString(PyExc_OverflowError, "Index does not fit in 32 bits");
            return nullptr;
          }
          indices.push_back(static_cast<int>(values[i]));
        }
      } else {
        IndexCollect c{p, kind, resolve, &indices};
        if (walk(as_object(p), index, collect_index, &c) != 0) return nullptr;
      }
    }
    if (delete_indices(p, kind, indices) < 0) return nullptr;
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return nullptr;
  }
  Py_RETURN_NONE;
}

static int resolve_var(ProblemObject *p, PyObject *o, int *index) {
  if (!is_var(o)) return 0;
  int col = var_column(as_var(o), p);
  if (col < 0) return -1;
  *index = col;
  return 1;
}

static PyObject *problem_delVariable(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kwlist[] = {"index", "first", "last", nullptr};
  PyObject *index = nullptr;
  int first = -1, last = -1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO&O&", const_cast<char **>(kwlist), &index, int32_converter, &first,
                                   int32_converter, &last))
    return nullptr;
  return delete_objects(reinterpret_cast<ProblemObject *>(self), del_columns, index, first, last, resolve_var);
}

PyMethodDef problem_methods_variables[] = {
    {"addVariable", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_addVariable)),
     METH_VARARGS | METH_KEYWORDS,
     "addVariable(name=None, lb=0, ub=kelvo.infinity, threshold=1, vartype=kelvo.continuous)\n"
     "Adds one variable (a column) to the problem and returns it."},
    {"addVariables", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_addVariables)),
     METH_VARARGS | METH_KEYWORDS,
     "addVariables(*indices, name='x', lb=0, ub=kelvo.infinity, threshold=1, vartype=kelvo.continuous)\n"
     "Adds one variable per combination of the index sets; returns a dict keyed by the index\n"
     "elements, or a NumPy array when every index set is an integer."},
    {"delVariable", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_delVariable)),
     METH_VARARGS | METH_KEYWORDS,
     "delVariable(index=None, first=-1, last=-1)\n"
     "Deletes variables given as objects, indices or names, or the range first..last."},
    {nullptr}};

PyMethodDef variable_module_methods[] = {
    {"vars", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(module_vars)), METH_VARARGS | METH_KEYWORDS,
     "vars(*indices, name='x', lb=0, ub=kelvo.infinity, threshold=1, vartype=kelvo.continuous)\n"
     "Deprecated: creates free-standing variables; use problem.addVariables()."},
    {nullptr}};

}  // namespace kelvo
