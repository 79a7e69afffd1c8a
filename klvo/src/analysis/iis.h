// Irreducible infeasible sets of a problem's continuous relaxation.
//
// A set is a sorted list of elements: row i is element i, the lower bound of column j element
// rows + 2j and its upper bound rows + 2j + 1. Relaxing an element (freeing the row, dropping
// the bound) is how a set is taken apart, both to make it irreducible (deletion filter) and to
// look for further sets: a set not found yet cannot contain any found one, so relaxing one
// element of each found set, in every combination, leaves every unfound set intact.
#pragma once

#include <cstdint>
#include <vector>

namespace klvo {

struct IisSet {
  std::vector<int> elements;
  // The least total violation of the set's constraints, the number violated at the point
  // reaching it, and its rates of change per unit increase of each row's rhs and each bound
  // (in element order; 0 for the bound of a column both of whose bounds are in the set and
  // whose other bound carries the rate).
  double suminfeas = 0.0;
  int numinfeas = 0;
  std::vector<double> rates;
  // Per element: 1 when it lies in no other set, 0 when it does; empty until known.
  std::vector<signed char> isolated;
};

struct IisSearch {
  uint64_t revision = 0;  // the model's revision when the search started
  int rows = 0, cols = 0;
  IisSet whole;           // entry 0: every row and every finite bound
  std::vector<IisSet> sets;
  bool exhausted = false;  // every set has been found
};

}  // namespace klvo
