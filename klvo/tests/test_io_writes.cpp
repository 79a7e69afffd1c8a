// Writing problem files: a write that fails leaves the earlier file as it was, leaves no partial
// file behind, and says which call and which path failed. The failures run in a forked child, so
// that a file size limit or a dropped privilege does not reach the rest of the tests.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "test_support.h"

using namespace klvo_test;

namespace {

class WriteTest : public ProblemTest {
 protected:
  void TearDown() override {
    chmod(tmp.dir().c_str(), 0700);
    ProblemTest::TearDown();
  }
  std::string path(const std::string &name) const { return tmp.path(name); }
  std::set<std::string> entries() const { return tmp.entries(); }
  // Runs KLVOwriteprob in a child prepared by setup; returns its error text ("" on success).
  template <class Setup>
  std::string write_in_child(const std::string &file, Setup setup) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      setup();
      std::string text = KLVOwriteprob(prob, file.c_str(), "") == 0 ? "" : error();
      ssize_t n = write(fds[1], text.data(), text.size());
      _exit(n == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return text;
  }
  TempDir tmp;
};

TEST_F(WriteTest, FailedWritesKeepTheEarlierFileAndLeaveNoPartialFile) {
  load(prob, multi_knapsack(2, 3, 1));
  const std::string file = path("model.mps");
  ASSERT_EQ(KLVOwriteprob(prob, file.c_str(), ""), 0) << error();
  const std::string earlier = slurp(file);
  load(prob, multi_knapsack(30, 60, 2));  // its file is several kilobytes

  // The file size limit stops the write midway.
  std::string why = write_in_child(file, [] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_NE(why.find("KLVOwriteprob"), std::string::npos) << why;
  EXPECT_NE(why.find(file), std::string::npos) << why;
  EXPECT_NE(why.find("File too large"), std::string::npos) << why;
  EXPECT_TRUE(slurp(file) == earlier) << "the earlier file changed";
  EXPECT_EQ(entries(), std::set<std::string>{"model.mps"});

  // A folder the writer may not create files in; root passes permission checks, so the child
  // drops to an unprivileged user first.
  ASSERT_EQ(chmod(tmp.dir().c_str(), 0555), 0);
  why = write_in_child(file, [] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
  });
  EXPECT_NE(why.find("KLVOwriteprob"), std::string::npos) << why;
  EXPECT_NE(why.find(file), std::string::npos) << why;
  EXPECT_NE(why.find("Permission denied"), std::string::npos) << why;
  EXPECT_TRUE(slurp(file) == earlier) << "the earlier file changed";
  EXPECT_EQ(entries(), std::set<std::string>{"model.mps"});
  ASSERT_EQ(chmod(tmp.dir().c_str(), 0700), 0);

  // Once the write can succeed it replaces the file in full, and reads back.
  ASSERT_EQ(KLVOwriteprob(prob, file.c_str(), ""), 0) << error();
  EXPECT_EQ(entries(), std::set<std::string>{"model.mps"});
  KLVOprob back = fresh();
  ASSERT_EQ(KLVOreadprob(back, file.c_str(), ""), 0) << error(back);
  EXPECT_EQ(snapshot(back), snapshot(prob)) << diff(snapshot(back), snapshot(prob));
}

}  // namespace
