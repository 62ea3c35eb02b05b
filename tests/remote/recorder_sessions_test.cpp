// Logging in to a recorder and out again.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/library_test.h"

namespace {

using RecorderSessions = qxtest::LibraryTest;

TEST_F(RecorderSessions, LoginRefusesANullOutOrAddressWithoutAnyCall) {
  int32_t login = -100;
  EXPECT_EQ(Ovra_DVR_Login(nullptr, "10.0.0.1", 80, "u", "p"), -2);
  EXPECT_EQ(Ovra_DVR_Login(&login, nullptr, 80, "u", "p"), -2);
  EXPECT_EQ(Ovra_DVR_Login(nullptr, nullptr, 80, "u", "p"), -2);
  EXPECT_EQ(login, -100);
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(RecorderSessions, LoginInitialisesThenLogsInWithAZeroedInfoBuffer) {
  int32_t login = 0;
  fake::SetResult("net_login", 7);
  // The network library may write into the buffer; the next login still
  // starts from zeros.
  fake::SetHook("net_login", [](const fake::Call& call) {
    std::memset(const_cast<void*>(call.Ptr(4)), 0xAB, NET_LOGIN_INFO_SIZE);
  });
  ASSERT_EQ(Ovra_DVR_Login(&login, "10.0.0.1", 8000, "admin", "secret"), 0);
  ASSERT_EQ(Ovra_DVR_Login(&login, "10.0.0.2", 8000, "admin", "secret"), 0);
  EXPECT_EQ(login, 7);

  EXPECT_EQ(fake::CallNames(),
            (std::vector<std::string>{"net_init", "net_login", "net_init", "net_login"}));
  const auto logins = fake::Calls("net_login");
  ASSERT_EQ(logins.size(), 2U);
  EXPECT_EQ(logins[0].Text(0), "10.0.0.1");
  EXPECT_EQ(logins[0].Int(1), 8000);
  EXPECT_EQ(logins[0].Text(2), "admin");
  EXPECT_EQ(logins[0].Text(3), "secret");
  for (const auto& call : logins) {
    EXPECT_EQ(call.Bytes(4), std::vector<uint8_t>(54, 0));
  }
}

TEST_F(RecorderSessions, LoginPassesNullCredentialsAndOnlyTheLow16BitsOfThePort) {
  int32_t login = 0;
  ASSERT_EQ(Ovra_DVR_Login(&login, "recorder", 65536U + 80U, nullptr, nullptr), 0);
  ASSERT_EQ(Ovra_DVR_Login(&login, "recorder", 0xFFFFFFFFU, "u", "p"), 0);
  const auto logins = fake::Calls("net_login");
  ASSERT_EQ(logins.size(), 2U);
  EXPECT_EQ(logins[0].Int(1), 80);
  EXPECT_EQ(logins[0].Text(2), "<null>");
  EXPECT_EQ(logins[0].Text(3), "<null>");
  EXPECT_EQ(logins[1].Int(1), 65535);
}

TEST_F(RecorderSessions, LoginSucceedsOnlyAboveZeroAndWritesTheAnswerEitherWay) {
  struct Case {
    int64_t answer;
    int32_t expected;
  };
  const Case cases[] = {{1, 0}, {12345, 0}, {0, -9}, {-1, -9}, {INT32_MIN, -9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    qxtest::ResetLibrary();
    fake::SetResult("net_login", c.answer);
    fake::SetResult("net_init", 0);  // not examined
    int32_t login = -100;
    EXPECT_EQ(Ovra_DVR_Login(&login, "recorder", 80, "u", "p"), c.expected);
    EXPECT_EQ(login, c.answer);
  }
}

TEST_F(RecorderSessions, LogoutRefusesHandlesBelowOneWithoutACall) {
  EXPECT_EQ(Ovra_DVR_Logout(0), -9);
  EXPECT_EQ(Ovra_DVR_Logout(-1), -9);
  EXPECT_EQ(Ovra_DVR_Logout(INT32_MIN), -9);
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(RecorderSessions, LogoutLogsOutThenCleansUpAndJudgesOnlyTheCleanUp) {
  struct Case {
    int64_t logout_answer;
    int64_t cleanup_answer;
    int32_t expected;
  };
  const Case cases[] = {{1, 1, 0}, {0, 1, 0}, {-5, 1, 0}, {1, 0, -9}, {1, 2, -9}, {1, -1, -9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.logout_answer) + "/" + std::to_string(c.cleanup_answer));
    qxtest::ResetLibrary();
    fake::SetResult("net_logout", c.logout_answer);
    fake::SetResult("net_cleanup", c.cleanup_answer);
    EXPECT_EQ(Ovra_DVR_Logout(42), c.expected);
    EXPECT_EQ(fake::CallNames(), (std::vector<std::string>{"net_logout", "net_cleanup"}));
    EXPECT_EQ(fake::Calls("net_logout").at(0).Int(0), 42);
  }
}

}  // namespace
