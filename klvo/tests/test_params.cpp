// Controls and attributes: catalogue consistency, typed access, bounds, defaults, copies and
// ini files.
#include <climits>

#include "test_support.h"

using namespace klvo_test;

namespace {

using ParamsTest = ProblemTest;

double weight(KLVOprob prob) {
  double v = -1;
  EXPECT_EQ(KLVOgetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_WEIGHT, &v), 0);
  return v;
}

}  // namespace

TEST_F(ParamsTest, CatalogueFormsAgreeAndEveryEntryIsFoundByItsName) {
  const int *ids = nullptr, *flags = nullptr;
  const char *const *names = nullptr;
  ASSERT_EQ(KLVOgetcalist(&ids, &names, &flags), 0);
  const KLVOcaentry *entries = nullptr;
  int count = 0;
  ASSERT_EQ(KLVOgetcalist_d(&entries, &count), 0);
  ASSERT_GT(count, 80);
  std::set<int> seen_ids;
  int k = 0;
  for (; ids[k] != 0; ++k) {
    ASSERT_LT(k, count);
    EXPECT_EQ(entries[k].id, ids[k]);
    EXPECT_STREQ(entries[k].name, names[k]);
    EXPECT_EQ(entries[k].flags, flags[k]);
    EXPECT_TRUE(seen_ids.insert(ids[k]).second) << "duplicate id " << ids[k];
    int types = !!(flags[k] & KLVO_CA_INT) + !!(flags[k] & KLVO_CA_DBL) + !!(flags[k] & KLVO_CA_STR);
    EXPECT_EQ(types, 1) << names[k];
    // The lookup by name, in upper case, finds this entry with its type.
    std::string upper = names[k];
    for (char &c : upper) c = static_cast<char>(toupper(c));
    int id = 0, type = 0;
    bool control = flags[k] & KLVO_CA_CONTROL;
    ASSERT_EQ((control ? KLVOgetcontrolinfo : KLVOgetattribinfo)(prob, upper.c_str(), &id, &type), 0) << names[k];
    EXPECT_EQ(id, ids[k]);
    EXPECT_EQ(type, flags[k] & KLVO_CA_INT ? 1 : flags[k] & KLVO_CA_DBL ? 2 : 3) << names[k];
    EXPECT_EQ((control ? KLVOgetattribinfo : KLVOgetcontrolinfo)(prob, names[k], &id, &type), KLVO_ERR_UNKNOWN_ID);
  }
  EXPECT_EQ(k, count);
  EXPECT_EQ(names[k], nullptr);
  EXPECT_EQ(KLVOgetcontrolinfo(prob, "nosuchcontrol", nullptr, nullptr), KLVO_ERR_UNKNOWN_ID);
  EXPECT_NE(error().find("nosuchcontrol"), std::string::npos);
}

TEST_F(ParamsTest, WrongTypesUnknownIdsAndOutOfRangeValuesAreRefusedAndTheValueStays) {
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, 0), 0);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_FEASTOL, 1e-5), 0);
  // A 64-bit value does not come out through the 32-bit getter.
  int iv = -1;
  int64_t lv = -1;
  ASSERT_EQ(KLVOsetintcontrol64(prob, KLVO_CONTROL_MAXNODE, int64_t(1) << 40), 0);
  ASSERT_EQ(KLVOgetintcontrol64(prob, KLVO_CONTROL_MAXNODE, &lv), 0);
  EXPECT_EQ(lv, int64_t(1) << 40);
  EXPECT_EQ(KLVOgetintcontrol(prob, KLVO_CONTROL_MAXNODE, &iv), KLVO_ERR_WRONG_TYPE);
  // A string: its size, and a buffer too small.
  ASSERT_EQ(KLVOsetstrcontrol(prob, 6001, "COST"), 0);
  char text[32];
  int nbytes = 0;
  ASSERT_EQ(KLVOgetstringcontrol(prob, 6001, text, sizeof text, &nbytes), 0);
  EXPECT_EQ(nbytes, 5);
  EXPECT_EQ(KLVOgetstringcontrol(prob, 6001, text, 3, &nbytes), KLVO_ERR_INVALID_ARGUMENT);

  double dv = 0;
  EXPECT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_PRESOLVE, 1.0), KLVO_ERR_WRONG_TYPE);
  EXPECT_NE(error().find("presolve"), std::string::npos);
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_FEASTOL, 1), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetdblcontrol(prob, KLVO_CONTROL_PRESOLVE, &dv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetintcontrol(prob, 6001, &iv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOsetstrcontrol(prob, KLVO_CONTROL_FEASTOL, "1"), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOsetintcontrol(prob, 9999, 1), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOgetintcontrol(prob, KLVO_ATTR_ROWS, &iv), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOgetintattrib(prob, KLVO_CONTROL_PRESOLVE, &iv), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOgetdblattrib(prob, KLVO_ATTR_ROWS, &dv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetintcontrol(nullptr, KLVO_CONTROL_PRESOLVE, &iv), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, 2), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(error().find("out of range"), std::string::npos);
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_DEFAULTALG, 0), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_FEASTOL, -1e-6), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_FEASTOL, NAN), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOsetintcontrol64(prob, KLVO_CONTROL_MAXNODE, -1), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOsetintcontrol64(prob, KLVO_CONTROL_THREADS, int64_t(1) << 33), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(int_control(prob, KLVO_CONTROL_PRESOLVE), 0);
  EXPECT_EQ(dbl_control(prob, KLVO_CONTROL_FEASTOL), 1e-5);
  // The ends of a range are accepted.
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_DEFAULTALG, KLVO_ALG_BARRIER), 0);
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRICING, KLVO_PRICING_AUTOMATIC), 0);

  // Objective controls are checked by type and objective index.
  EXPECT_EQ(KLVOsetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_PRIORITY, 1.0), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetobjintcontrol(prob, 0, KLVO_OBJCONTROL_WEIGHT, &iv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KLVOgetobjdblcontrol(prob, 0, 20006, &dv), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KLVOsetobjdblcontrol(prob, 1, KLVO_OBJCONTROL_WEIGHT, 1.0), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOgetobjdblcontrol(prob, -1, KLVO_OBJCONTROL_WEIGHT, &dv), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOgetobjdblattrib(prob, 1, KLVO_ATTR_OBJVAL, &dv), KLVO_ERR_INVALID_ARGUMENT);
}

TEST_F(ParamsTest, DefaultsAndCopiesRestoreEveryControl) {
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, 0), 0);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, 30), 0);
  ASSERT_EQ(KLVOsetstrcontrol(prob, 6001, "COST"), 0);
  ASSERT_EQ(KLVOsetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_WEIGHT, 2.5), 0);

  KLVOprob copy = fresh();
  ASSERT_EQ(KLVOcopycontrols(copy, prob), 0);
  char text[16];
  EXPECT_EQ(int_control(copy, KLVO_CONTROL_PRESOLVE), 0);
  EXPECT_EQ(dbl_control(copy, KLVO_CONTROL_TIMELIMIT), 30);
  ASSERT_EQ(KLVOgetstringcontrol(copy, 6001, text, sizeof text, nullptr), 0);
  EXPECT_STREQ(text, "COST");
  EXPECT_EQ(weight(copy), 2.5);
  EXPECT_EQ(KLVOcopycontrols(copy, nullptr), KLVO_ERR_INVALID_ARGUMENT);

  // One control back to its default; the others stay.
  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_PRESOLVE), 0);
  EXPECT_EQ(int_control(prob, KLVO_CONTROL_PRESOLVE), KLVO_PRESOLVE_DEFAULT);
  EXPECT_EQ(dbl_control(prob, KLVO_CONTROL_TIMELIMIT), 30);
  EXPECT_EQ(KLVOsetdefaultcontrol(prob, KLVO_ATTR_ROWS), KLVO_ERR_UNKNOWN_ID);
  // All of them.
  ASSERT_EQ(KLVOsetdefaults(prob), 0);
  EXPECT_EQ(dbl_control(prob, KLVO_CONTROL_TIMELIMIT), 0);
  ASSERT_EQ(KLVOgetstringcontrol(prob, 6001, text, sizeof text, nullptr), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(weight(prob), 1.0);
  // The copy kept its own values.
  EXPECT_EQ(int_control(copy, KLVO_CONTROL_PRESOLVE), 0);
}

TEST_F(ParamsTest, AttributesCountWhatTheModelHolds) {
  DenseModel m;
  m.obj = {1, 2, 3};
  m.rowtype = {'L', 'G'};
  m.rhs = {4, 1};
  m.rows = {{1, 1, 0}, {0, 1, 1}};
  m.coltype = {'C', 'I', 'B'};
  load(prob, m);
  ASSERT_EQ(KLVOsetprobname(prob, "planning"), 0);
  ASSERT_EQ(KLVOaddnames(prob, KLVO_NAMES_COLUMNS, "a\0seventeen_chars__\0c", 0, 2), 0);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPENTS), 2);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_NAMELENGTH), 3);  // 17 characters need 3 units of 8
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_PROBNAMELENGTH), 8);
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
}

TEST_F(ParamsTest, IniDefaultsApplyToProblemsCreatedAfterwards) {
  TempDir tmp;
  const char *dir = tmp.dir().c_str();
  std::string file = tmp.path("klvo.ini");
  std::ofstream(file) << "# test defaults\nfeastol = 1e-4\nBACKTRACK = 5\nmaxnode = notanumber\n";
  ASSERT_EQ(KLVOinit(dir), 0);
  KLVOprob p = fresh();
  EXPECT_EQ(dbl_control(p, KLVO_CONTROL_FEASTOL), 1e-4);
  EXPECT_EQ(int_control(p, KLVO_CONTROL_BACKTRACK), 5);
  // An unreadable value leaves the built-in default.
  int64_t lv = 0;
  ASSERT_EQ(KLVOgetintcontrol64(p, KLVO_CONTROL_MAXNODE, &lv), 0);
  EXPECT_EQ(lv, INT_MAX);
  // Resetting goes back to the ini value, not the built-in one.
  ASSERT_EQ(KLVOsetdblcontrol(p, KLVO_CONTROL_FEASTOL, 1e-3), 0);
  ASSERT_EQ(KLVOsetdefaultcontrol(p, KLVO_CONTROL_FEASTOL), 0);
  EXPECT_EQ(dbl_control(p, KLVO_CONTROL_FEASTOL), 1e-4);

  // An ini file without values clears them for later problems.
  std::ofstream(file) << "# nothing\n";
  ASSERT_EQ(KLVOinit(dir), 0);
  KLVOprob q = fresh();
  EXPECT_EQ(dbl_control(q, KLVO_CONTROL_FEASTOL), 1e-7);
  KLVOfree();
  KLVOfree();
}
