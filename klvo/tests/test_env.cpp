// Environment, problem handles, last errors and message handlers.
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::string global_error_text() {
  int code = 0;
  char text[512];
  KLVO_ge_getlasterror(&code, text, sizeof text, nullptr);
  return text;
}

int ignore_global(void *, void *, void *, const char *, int, int) { return 0; }

}  // namespace

TEST(Environment, InitIsCountedAndFreeWithoutInitFails) {
  ASSERT_EQ(KLVOinit(nullptr), 0);
  ASSERT_EQ(KLVOinit(nullptr), 0);
  KLVOprob prob = nullptr;
  EXPECT_EQ(KLVOfree(), 0);
  // Still initialised once: problems can be created.
  ASSERT_EQ(KLVOcreateprob(&prob), 0);
  EXPECT_EQ(KLVOdestroyprob(prob), 0);
  EXPECT_EQ(KLVOfree(), 0);
  EXPECT_NE(KLVOcreateprob(&prob), 0);
  EXPECT_EQ(prob, nullptr);
  EXPECT_NE(global_error_text().find("not initialized"), std::string::npos);
  EXPECT_EQ(KLVOfree(), KLVO_ERR_NOT_INITIALIZED);
}

TEST(Environment, VersionBannerAndFeatures) {
  char version[16], banner[512];
  ASSERT_EQ(KLVOgetversion(version), 0);  // needs no initialisation
  int major = -1, minor = -1, build = -1;
  ASSERT_EQ(KLVOgetversionnumbers(&major, &minor, &build), 0);
  EXPECT_EQ(std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build), version);
  ASSERT_EQ(KLVOgetbanner(banner), 0);
  EXPECT_NE(std::string(banner).find(version), std::string::npos);
  int status = -1;
  ASSERT_EQ(KLVOfeaturequery("LP", &status), 0);
  EXPECT_EQ(status, 1);
  ASSERT_EQ(KLVOfeaturequery("teleportation", &status), 0);
  EXPECT_EQ(status, 0);
  EXPECT_NE(KLVOfeaturequery(nullptr, &status), 0);
}

TEST(Environment, BadGlobalSettingIsRefusedKeptAndReportedInFull) {
  int v = -5;
  ASSERT_EQ(KLVO_ge_setcomputeallowed(1), 0);
  EXPECT_EQ(KLVO_ge_setcomputeallowed(7), KLVO_ERR_INVALID_ARGUMENT);
  KLVO_ge_getcomputeallowed(&v);
  EXPECT_EQ(v, 1);
  KLVO_ge_setcomputeallowed(-1);
  // The last error in a buffer too small is cut, and the full length is reported.
  int code = 0, nbytes = 0;
  char small[8];
  ASSERT_EQ(KLVO_ge_getlasterror(&code, small, sizeof small, &nbytes), 0);
  EXPECT_EQ(code, KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(std::strlen(small), 7u);
  std::string full = global_error_text();
  EXPECT_NE(full.find("7"), std::string::npos);
  EXPECT_EQ(nbytes, static_cast<int>(full.size()) + 1);
}

TEST(Environment, MessageHandlersAreRemovedOnceAndByWildcard) {
  int a = 0, b = 0;
  ASSERT_EQ(KLVO_ge_addcbmsghandler(ignore_global, &a, 1), 0);
  ASSERT_EQ(KLVO_ge_addcbmsghandler(ignore_global, &b, 2), 0);
  EXPECT_EQ(KLVO_ge_removecbmsghandler(ignore_global, &a), 0);
  EXPECT_NE(KLVO_ge_removecbmsghandler(ignore_global, &a), 0);  // already removed
  EXPECT_EQ(KLVO_ge_removecbmsghandler(nullptr, nullptr), 0);     // wildcard removes b
  EXPECT_NE(KLVO_ge_removecbmsghandler(nullptr, nullptr), 0);     // nothing left
  EXPECT_NE(KLVO_ge_addcbmsghandler(nullptr, &a, 0), 0);

  // The same rules for a problem's handlers.
  ASSERT_EQ(KLVOinit(nullptr), 0);
  KLVOprob prob = nullptr;
  ASSERT_EQ(KLVOcreateprob(&prob), 0);
  auto handler = [](KLVOprob, void *, const char *, int, int) {};
  ASSERT_EQ(KLVOaddcbmessage(prob, handler, &a, 1), 0);
  EXPECT_EQ(KLVOremovecbmessage(prob, handler, nullptr), 0);  // any data
  EXPECT_NE(KLVOremovecbmessage(prob, handler, &a), 0);
  EXPECT_EQ(KLVOremovecbmessage(prob, nullptr, nullptr), 0);  // removing all from none is fine
  EXPECT_NE(KLVOaddcbmessage(prob, nullptr, nullptr, 0), 0);
  char text[512];
  ASSERT_EQ(KLVOgetlasterror(prob, text), 0);
  EXPECT_NE(std::string(text).find("null callback"), std::string::npos);
  const char *name = nullptr;
  ASSERT_EQ(KLVOgetobjecttypename(prob, &name), 0);
  EXPECT_STREQ(name, "KLVOprob");
  int not_an_object = 0;
  EXPECT_NE(KLVOgetobjecttypename(&not_an_object, &name), 0);
  EXPECT_EQ(KLVOdestroyprob(prob), 0);
  EXPECT_NE(KLVOinterrupt(nullptr, 1), 0);
  KLVOfree();
}

#ifndef KLVO_HAVE_IPOPT
TEST(Environment, NonlinearLayerUnavailableWithoutIpopt) {
  ASSERT_EQ(KLVOinit(nullptr), 0);
  EXPECT_EQ(KSLPinit(), KLVO_ERR_NOT_AVAILABLE);
  KLVOfree();
}
#else
TEST(Environment, NonlinearLayerInitIsCountedAndOneLayerPerProblem) {
  ASSERT_EQ(KLVOinit(nullptr), 0);
  KLVOprob prob = nullptr;
  ASSERT_EQ(KLVOcreateprob(&prob), 0);
  KSLPprob slp = nullptr, second = nullptr;
  EXPECT_NE(KSLPcreateprob(&slp, &prob), 0);  // layer not initialised yet
  ASSERT_EQ(KSLPinit(), 0);
  ASSERT_EQ(KSLPcreateprob(&slp, &prob), 0);
  const char *name = nullptr;
  ASSERT_EQ(KLVOgetobjecttypename(slp, &name), 0);
  EXPECT_STREQ(name, "KSLPprob");
  EXPECT_NE(KSLPcreateprob(&second, &prob), 0);
  EXPECT_EQ(KSLPdestroyprob(slp), 0);
  EXPECT_EQ(KLVOdestroyprob(prob), 0);
  EXPECT_EQ(KSLPfree(), 0);
  EXPECT_NE(KSLPfree(), 0);
  KLVOfree();
}
#endif
