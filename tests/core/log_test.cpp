// The logger: levels filter, lines carry component and port, files are
// appended to, and an unusable destination stays silent.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "core/log.h"
#include "core/log_testing.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "qx_log_test_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    std::remove(path_.c_str());
  }
  void TearDown() override {
    // Back to silence for the rest of the test program.
    qx::log::ConfigureForTesting(qx::log::Level::kError, "/dev/null/x.log");
    std::remove(path_.c_str());
  }
  std::string path_;
};

TEST_F(LogTest, WritesOnlyLevelsUpToTheThreshold) {
  qx::log::ConfigureForTesting(qx::log::Level::kWarning, path_);
  EXPECT_TRUE(qx::log::Enabled(qx::log::Level::kError));
  EXPECT_TRUE(qx::log::Enabled(qx::log::Level::kWarning));
  EXPECT_FALSE(qx::log::Enabled(qx::log::Level::kInfo));
  qx::log::Error("media", 33, "cannot open {}: {}", "\"a.mp4\"", "No such file");
  qx::log::Warning("api", qx::log::kNoPort, "slow {}", 1);
  qx::log::Info("media", 34, "not written");
  qx::log::Debug("media", 34, "not written either");
  const std::string text = ReadAll(path_);
  EXPECT_NE(text.find(" error [media] port 33: cannot open \"a.mp4\": No such file\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(" warning [api] slow 1\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("not written"), std::string::npos) << text;
}

TEST_F(LogTest, AppendsToAnExistingFile) {
  {
    std::ofstream out(path_);
    out << "earlier line\n";
  }
  qx::log::ConfigureForTesting(qx::log::Level::kDebug, path_);
  qx::log::Debug("net", 2, "hello");
  const std::string text = ReadAll(path_);
  EXPECT_EQ(text.rfind("earlier line\n", 0), 0u) << text;
  EXPECT_NE(text.find(" debug [net] port 2: hello\n"), std::string::npos) << text;
}

TEST_F(LogTest, APathThatCannotBeAFileLeavesTheLoggerSilent) {
  qx::log::ConfigureForTesting(qx::log::Level::kDebug, "/dev/null/x.log");
  EXPECT_FALSE(qx::log::Enabled(qx::log::Level::kError));
  qx::log::Error("media", 1, "dropped");  // must not throw or crash
}

}  // namespace
