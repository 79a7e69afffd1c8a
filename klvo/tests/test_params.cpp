// Controls and attributes: the catalogue, typed access, bounds, defaults and copies.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include <unistd.h>

#include "test_solve_helpers.h"

using namespace klvo_test;

namespace {

class ParamsTest : public SolveFixture {};

const KLVOcaentry *entry(int id) {
  const KLVOcaentry *entries = nullptr;
  int count = 0;
  EXPECT_EQ(KLVOgetcalist_d(&entries, &count), 0);
  for (int k = 0; k < count; ++k)
    if (entries[k].id == id) return &entries[k];
  return nullptr;
}

}  // namespace

TEST_F(ParamsTest, CatalogueListsEveryEntryOnceInBothForms) {
  const int *ids = nullptr, *flags = nullptr;
  const char *const *names = nullptr;
  ASSERT_EQ(KLVOgetcalist(&ids, &names, &flags), 0);
  const KLVOcaentry *entries = nullptr;
  int count = 0;
  ASSERT_EQ(KLVOgetcalist_d(&entries, &count), 0);
  ASSERT_GT(count, 80);
  std::set<int> seen_ids;
  std::set<std::string> seen_names;
  int k = 0;
  for (; ids[k] != 0; ++k) {
    ASSERT_LT(k, count);
    EXPECT_EQ(entries[k].id, ids[k]);
    EXPECT_STREQ(entries[k].name, names[k]);
    EXPECT_EQ(entries[k].flags, flags[k]);
    EXPECT_TRUE(seen_ids.insert(ids[k]).second) << "duplicate id " << ids[k];
    EXPECT_TRUE(seen_names.insert(names[k]).second) << "duplicate name " << names[k];
    for (const char *c = names[k]; *c; ++c)
      EXPECT_TRUE((*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') || *c == '_') << names[k];
    int types = (flags[k] & KLVO_CA_INT ? 1 : 0) + (flags[k] & KLVO_CA_DBL ? 1 : 0) + (flags[k] & KLVO_CA_STR ? 1 : 0);
    EXPECT_EQ(types, 1) << names[k];
    if (!(flags[k] & KLVO_CA_CONTROL)) EXPECT_EQ(flags[k] & (KLVO_CA_NOEFFECT | KLVO_CA_ENGINE), 0) << names[k];
    if (flags[k] & KLVO_CA_CONTROL)
      EXPECT_NE(!!(flags[k] & KLVO_CA_NOEFFECT), !!(flags[k] & KLVO_CA_ENGINE)) << names[k];
  }
  EXPECT_EQ(k, count);
  EXPECT_EQ(names[k], nullptr);
  EXPECT_EQ(entries[count].id, 0);
}

TEST_F(ParamsTest, EveryIdTheModuleReadsExistsWithItsType) {
  struct Want {
    int id;
    int typebit;
    bool control;
  };
  const Want wants[] = {
      {1001, KLVO_CA_INT, false}, {1004, KLVO_CA_INT, false}, {1010, KLVO_CA_INT, false},
      {1011, KLVO_CA_INT, false}, {1018, KLVO_CA_INT, false}, {1019, KLVO_CA_INT, false},
      {1026, KLVO_CA_INT, false}, {1028, KLVO_CA_INT, false}, {1030, KLVO_CA_INT, false},
      {1032, KLVO_CA_INT, false}, {1053, KLVO_CA_INT, false}, {1124, KLVO_CA_INT, false},
      {1158, KLVO_CA_INT, false}, {1194, KLVO_CA_INT, false}, {1214, KLVO_CA_INT, false},
      {1268, KLVO_CA_INT, false}, {1325, KLVO_CA_INT, false}, {1327, KLVO_CA_INT, false},
      {1394, KLVO_CA_INT, false}, {1397, KLVO_CA_INT, false}, {1399, KLVO_CA_INT, false},
      {1406, KLVO_CA_INT, false}, {1408, KLVO_CA_INT, false}, {1409, KLVO_CA_INT, false},
      {2001, KLVO_CA_DBL, false}, {2003, KLVO_CA_DBL, false}, {2008, KLVO_CA_DBL, false},
      {8035, KLVO_CA_INT, true},
  };
  for (const auto &w : wants) {
    const KLVOcaentry *e = entry(w.id);
    ASSERT_NE(e, nullptr) << w.id;
    EXPECT_TRUE(e->flags & w.typebit) << w.id;
    EXPECT_EQ(!!(e->flags & KLVO_CA_CONTROL), w.control) << w.id;
  }
  // The enumerated controls are integer controls.
  for (int id : {8011, 8013, 8023, 8025, 8026, 8027, 8266, 8044, 8144, 8224, 8282, 8284, 8046, 8080, 8084,
                 8251, 8138, 8145, 8162, 8174, 8193, 8194, 8195, 8216, 8217, 8238, 8252, 8254, 8281, 8286,
                 8290, 8359, 8360, 8362, 8365, 8385, 8434, 8457, 8472, 8483}) {
    const KLVOcaentry *e = entry(id);
    ASSERT_NE(e, nullptr) << id;
    EXPECT_EQ(e->flags & (KLVO_CA_INT | KLVO_CA_CONTROL), KLVO_CA_INT | KLVO_CA_CONTROL) << id;
  }
  // The controls a user reaches for steer the engine.
  for (const char *name : {"timelimit", "miprelstop", "mipabsstop", "maxnode", "lpiterlimit", "threads",
                           "feastol", "opttol", "miptol", "presolve", "defaultalg", "outputlog",
                           "randomseed", "cutoff", "maxmipsol"}) {
    int id = 0, type = 0;
    ASSERT_EQ(KLVOgetcontrolinfo(prob, name, &id, &type), 0) << name;
    EXPECT_TRUE(entry(id)->flags & KLVO_CA_ENGINE) << name;
  }
  EXPECT_TRUE(entry(KLVO_CONTROL_BACKTRACK)->flags & KLVO_CA_NOEFFECT);
}

TEST_F(ParamsTest, InfoResolvesNamesOfEitherCase) {
  int id = 0, type = 0;
  ASSERT_EQ(KLVOgetcontrolinfo(prob, "FEASTOL", &id, &type), 0);
  EXPECT_EQ(id, KLVO_CONTROL_FEASTOL);
  EXPECT_EQ(type, 2);
  ASSERT_EQ(KLVOgetcontrolinfo(prob, "mpsobjname", &id, &type), 0);
  EXPECT_EQ(type, 3);
  ASSERT_EQ(KLVOgetattribinfo(prob, "cols", &id, &type), 0);
  EXPECT_EQ(id, 1018);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(KLVOgetattribinfo(prob, "feastol", &id, &type), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOgetcontrolinfo(prob, "cols", &id, &type), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOgetcontrolinfo(prob, "nosuchcontrol", &id, &type), KLVO_ERR_UNKNOWN_ID);
  EXPECT_NE(error().find("nosuchcontrol"), std::string::npos);
}

TEST_F(ParamsTest, ControlsAreReadAndWrittenByTheirOwnType) {
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, 0), 0);
  int iv = -1;
  int64_t lv = -1;
  ASSERT_EQ(KLVOgetintcontrol(prob, KLVO_CONTROL_PRESOLVE, &iv), 0);
  EXPECT_EQ(iv, 0);
  ASSERT_EQ(KLVOsetintcontrol64(prob, KLVO_CONTROL_MAXNODE, int64_t(1) << 40), 0);
  ASSERT_EQ(KLVOgetintcontrol64(prob, KLVO_CONTROL_MAXNODE, &lv), 0);
  EXPECT_EQ(lv, int64_t(1) << 40);
  // A 64-bit value does not come out through the 32-bit getter.
  EXPECT_EQ(KLVOgetintcontrol(prob, KLVO_CONTROL_MAXNODE, &iv), KLVO_ERR_WRONG_TYPE);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_FEASTOL, 1e-5), 0);
  double dv = 0;
  ASSERT_EQ(KLVOgetdblcontrol(prob, KLVO_CONTROL_FEASTOL, &dv), 0);
  EXPECT_EQ(dv, 1e-5);
  ASSERT_EQ(KLVOsetstrcontrol(prob, 6001, "COST"), 0);
  char text[32];
  int nbytes = 0;
  ASSERT_EQ(KLVOgetstringcontrol(prob, 6001, text, sizeof text, &nbytes), 0);
  EXPECT_STREQ(text, "COST");
  EXPECT_EQ(nbytes, 5);
  EXPECT_EQ(KLVOgetstringcontrol(prob, 6001, text, 3, &nbytes), KLVO_ERR_INVALID_ARGUMENT);

  // The wrong type is refused and the value stays.
  EXPECT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_PRESOLVE, 1.0), KLVO_ERR_WRONG_TYPE);
  EXPECT_NE(error().find("presolve"), std::string::npos);
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_FEASTOL, 1), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetdblcontrol(prob, KLVO_CONTROL_PRESOLVE, &dv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetintcontrol(prob, 6001, &iv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOsetstrcontrol(prob, KLVO_CONTROL_FEASTOL, "1"), KLVO_ERR_WRONG_TYPE);
  ASSERT_EQ(KLVOgetintcontrol(prob, KLVO_CONTROL_PRESOLVE, &iv), 0);
  EXPECT_EQ(iv, 0);
  ASSERT_EQ(KLVOgetdblcontrol(prob, KLVO_CONTROL_FEASTOL, &dv), 0);
  EXPECT_EQ(dv, 1e-5);

  // Unknown ids and attributes through the control functions.
  EXPECT_EQ(KLVOsetintcontrol(prob, 9999, 1), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOgetintcontrol(prob, KLVO_ATTR_ROWS, &iv), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOgetintattrib(prob, KLVO_CONTROL_PRESOLVE, &iv), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOgetintcontrol(nullptr, KLVO_CONTROL_PRESOLVE, &iv), KLVO_ERR_INVALID_ARGUMENT);
}

TEST_F(ParamsTest, ValuesOutsideTheBoundsAreRefused) {
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, 2), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(error().find("out of range"), std::string::npos);
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_DEFAULTALG, 0), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_FEASTOL, -1e-6), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_FEASTOL, NAN), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOsetintcontrol64(prob, KLVO_CONTROL_MAXNODE, -1), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOsetintcontrol64(prob, KLVO_CONTROL_THREADS, int64_t(1) << 33), KLVO_ERR_INVALID_ARGUMENT);
  int iv = -1;
  double dv = 0;
  ASSERT_EQ(KLVOgetintcontrol(prob, KLVO_CONTROL_PRESOLVE, &iv), 0);
  EXPECT_EQ(iv, KLVO_PRESOLVE_DEFAULT);
  ASSERT_EQ(KLVOgetdblcontrol(prob, KLVO_CONTROL_FEASTOL, &dv), 0);
  EXPECT_EQ(dv, 1e-7);
  // The ends of the range are accepted.
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_DEFAULTALG, KLVO_ALG_BARRIER), 0);
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRICING, KLVO_PRICING_AUTOMATIC), 0);
}

TEST_F(ParamsTest, DefaultsAndCopiesRestoreEveryControl) {
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, 0), 0);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, 30), 0);
  ASSERT_EQ(KLVOsetstrcontrol(prob, 6001, "COST"), 0);
  ASSERT_EQ(KLVOsetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_WEIGHT, 2.5), 0);

  KLVOprob copy = fresh();
  ASSERT_EQ(KLVOcopycontrols(copy, prob), 0);
  int iv = -1;
  double dv = 0;
  char text[16];
  ASSERT_EQ(KLVOgetintcontrol(copy, KLVO_CONTROL_PRESOLVE, &iv), 0);
  EXPECT_EQ(iv, 0);
  ASSERT_EQ(KLVOgetdblcontrol(copy, KLVO_CONTROL_TIMELIMIT, &dv), 0);
  EXPECT_EQ(dv, 30);
  ASSERT_EQ(KLVOgetstringcontrol(copy, 6001, text, sizeof text, nullptr), 0);
  EXPECT_STREQ(text, "COST");
  ASSERT_EQ(KLVOgetobjdblcontrol(copy, 0, KLVO_OBJCONTROL_WEIGHT, &dv), 0);
  EXPECT_EQ(dv, 2.5);
  EXPECT_EQ(KLVOcopycontrols(copy, nullptr), KLVO_ERR_INVALID_ARGUMENT);

  // One control back to its default; the others stay.
  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_PRESOLVE), 0);
  ASSERT_EQ(KLVOgetintcontrol(prob, KLVO_CONTROL_PRESOLVE, &iv), 0);
  EXPECT_EQ(iv, KLVO_PRESOLVE_DEFAULT);
  ASSERT_EQ(KLVOgetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, &dv), 0);
  EXPECT_EQ(dv, 30);
  EXPECT_EQ(KLVOsetdefaultcontrol(prob, KLVO_ATTR_ROWS), KLVO_ERR_UNKNOWN_ID);
  // All of them.
  ASSERT_EQ(KLVOsetdefaults(prob), 0);
  ASSERT_EQ(KLVOgetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, &dv), 0);
  EXPECT_EQ(dv, 0);
  ASSERT_EQ(KLVOgetstringcontrol(prob, 6001, text, sizeof text, nullptr), 0);
  EXPECT_STREQ(text, "");
  ASSERT_EQ(KLVOgetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_WEIGHT, &dv), 0);
  EXPECT_EQ(dv, 1.0);
  // The copy kept its own values.
  ASSERT_EQ(KLVOgetintcontrol(copy, KLVO_CONTROL_PRESOLVE, &iv), 0);
  EXPECT_EQ(iv, 0);
}

TEST_F(ParamsTest, ObjectiveControlsAreTypedAndIndexed) {
  int iv = -1;
  double dv = -1;
  ASSERT_EQ(KLVOgetobjintcontrol(prob, 0, KLVO_OBJCONTROL_PRIORITY, &iv), 0);
  EXPECT_EQ(iv, 0);
  ASSERT_EQ(KLVOgetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_WEIGHT, &dv), 0);
  EXPECT_EQ(dv, 1.0);
  ASSERT_EQ(KLVOsetobjintcontrol(prob, 0, KLVO_OBJCONTROL_PRIORITY, 3), 0);
  ASSERT_EQ(KLVOsetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_RELTOL, 0.25), 0);
  ASSERT_EQ(KLVOgetobjintcontrol(prob, 0, KLVO_OBJCONTROL_PRIORITY, &iv), 0);
  EXPECT_EQ(iv, 3);
  ASSERT_EQ(KLVOgetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_RELTOL, &dv), 0);
  EXPECT_EQ(dv, 0.25);
  EXPECT_EQ(KLVOsetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_PRIORITY, 1.0), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetobjintcontrol(prob, 0, KLVO_OBJCONTROL_WEIGHT, &iv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetobjdblcontrol(prob, 0, 20006, &dv), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOsetobjdblcontrol(prob, 1, KLVO_OBJCONTROL_WEIGHT, 1.0), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOgetobjdblcontrol(prob, -1, KLVO_OBJCONTROL_WEIGHT, &dv), KLVO_ERR_INVALID_ARGUMENT);
  int64_t lv = -1;
  ASSERT_EQ(KLVOgetobjintattrib64(prob, 0, KLVO_ATTR_COLS, &lv), 0);
  EXPECT_EQ(lv, 0);
  EXPECT_EQ(KLVOgetobjdblattrib(prob, 1, KLVO_ATTR_OBJVAL, &dv), KLVO_ERR_INVALID_ARGUMENT);
}

TEST_F(ParamsTest, AttributesDescribeTheModel) {
  DenseModel m;
  m.obj = {1, 2, 3};
  m.rowtype = {'L', 'G'};
  m.rhs = {4, 1};
  m.rows = {{1, 1, 0}, {0, 1, 1}};
  m.coltype = {'C', 'I', 'B'};
  load(prob, m);
  ASSERT_EQ(KLVOsetprobname(prob, "planning"), 0);
  ASSERT_EQ(KLVOaddnames(prob, KLVO_NAMES_COLUMNS, "a\0seventeen_chars__\0c", 0, 2), 0);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_ROWS), 2);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_ORIGINALROWS), 2);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_INPUTROWS), 2);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_COLS), 3);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_ORIGINALCOLS), 3);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_INPUTCOLS), 3);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SPAREROWS), 0);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPENTS), 2);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SETS), 0);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_OBJECTIVES), 1);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_NAMELENGTH), 3);  // 17 characters need 3 units of 8
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_PROBNAMELENGTH), 8);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_PRESOLVESTATE) & 6, 0);
  int64_t elems = 0;
  ASSERT_EQ(KLVOgetintattrib64(prob, KLVO_ATTR_ELEMS, &elems), 0);
  EXPECT_EQ(elems, 4);
  char name[32];
  int nbytes = 0;
  ASSERT_EQ(KLVOgetstringattrib(prob, KLVO_ATTR_PROBNAME, name, sizeof name, &nbytes), 0);
  EXPECT_STREQ(name, "planning");
  EXPECT_EQ(nbytes, 9);
  // Before a solve every status is "unstarted".
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_LPSTATUS), KLVO_LP_UNSTARTED);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_NOT_LOADED);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_UNSTARTED);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_NOTFOUND);
  // Wrong types.
  double dv;
  int iv;
  EXPECT_EQ(KLVOgetdblattrib(prob, KLVO_ATTR_ROWS, &dv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetintattrib(prob, KLVO_ATTR_OBJVAL, &iv), KLVO_ERR_WRONG_TYPE);
}

TEST_F(ParamsTest, IniDefaultsApplyToProblemsCreatedAfterwards) {
  char dir[] = "/tmp/klvo_ini_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string file = std::string(dir) + "/klvo.ini";
  {
    std::ofstream out(file);
    out << "# test defaults\nfeastol = 1e-4\nBACKTRACK = 5\nmaxnode = notanumber\n";
  }
  ASSERT_EQ(KLVOinit(dir), 0);
  KLVOprob p = fresh();
  double dv = 0;
  int iv = 0;
  ASSERT_EQ(KLVOgetdblcontrol(p, KLVO_CONTROL_FEASTOL, &dv), 0);
  EXPECT_EQ(dv, 1e-4);
  ASSERT_EQ(KLVOgetintcontrol(p, KLVO_CONTROL_BACKTRACK, &iv), 0);
  EXPECT_EQ(iv, 5);
  // An unreadable value leaves the built-in default.
  int64_t lv = 0;
  ASSERT_EQ(KLVOgetintcontrol64(p, KLVO_CONTROL_MAXNODE, &lv), 0);
  EXPECT_EQ(lv, INT_MAX);
  // Resetting goes back to the ini value, not the built-in one.
  ASSERT_EQ(KLVOsetdblcontrol(p, KLVO_CONTROL_FEASTOL, 1e-3), 0);
  ASSERT_EQ(KLVOsetdefaultcontrol(p, KLVO_CONTROL_FEASTOL), 0);
  ASSERT_EQ(KLVOgetdblcontrol(p, KLVO_CONTROL_FEASTOL, &dv), 0);
  EXPECT_EQ(dv, 1e-4);

  // An ini file without values clears them for later problems.
  {
    std::ofstream out(file);
    out << "# nothing\n";
  }
  ASSERT_EQ(KLVOinit(dir), 0);
  KLVOprob q = fresh();
  ASSERT_EQ(KLVOgetdblcontrol(q, KLVO_CONTROL_FEASTOL, &dv), 0);
  EXPECT_EQ(dv, 1e-7);
  KLVOfree();
  KLVOfree();
  std::remove(file.c_str());
  rmdir(dir);
}
