// Recording names, URL templates and date-time records.
#include <gtest/gtest.h>

#include <cstdlib>

#include "backends/net/date_time.h"
#include "backends/net/rtsp_url.h"

namespace qx::net {
namespace {

TEST(RecordingName, EncodesEveryByteThatCouldChangeTheUrl) {
  struct Case {
    const char* name;
    const char* encoded;  // null: refused
  };
  const Case cases[] = {
      {"clip.mp4", "clip.mp4"},
      {"cam 1/a?b#c.mp4", "cam%201/a%3Fb%23c.mp4"},
      {"caf\xC3\xA9", "caf%C3%A9"},
      {"50%", "50%25"},
      {"a\r\nb", "a%0D%0Ab"},
      {"", nullptr},
      {"../secret", nullptr},
      {"a/../b", nullptr},
      {"a/./b", nullptr},
      {"..", nullptr},
      {"/etc/passwd", nullptr},
      {"a//b", nullptr},
      {"a/", nullptr},
  };
  for (const Case& c : cases) {
    std::optional<std::string> encoded = EncodeRecordingName(c.name);
    if (c.encoded == nullptr) {
      EXPECT_FALSE(encoded) << c.name;
    } else {
      ASSERT_TRUE(encoded) << c.name;
      EXPECT_EQ(*encoded, c.encoded);
    }
  }
}

TEST(UrlTemplate, FillsEveryFieldAndBracketsIpv6Hosts) {
  UrlFields fields{"::1", 8554, 3, "a%20b", "20110506T083000Z", "20110506T083100Z"};
  EXPECT_EQ(ExpandUrl("rtsp://{host}:{port}/recording/{channel}", fields),
            "rtsp://[::1]:8554/recording/3");
  EXPECT_EQ(ExpandUrl("rtsp://{host}:{port}/play?ch={channel}&from={start}&to={end}&{x}", fields),
            "rtsp://[::1]:8554/play?ch=3&from=20110506T083000Z&to=20110506T083100Z&{x}");
  fields.host = "recorder.local";
  EXPECT_EQ(ExpandUrl("rtsp://{host}:{port}/{name}", fields), "rtsp://recorder.local:8554/a%20b");
}

TEST(UrlTemplate, TheEnvironmentReplacesTheDefault) {
  EXPECT_EQ(UrlTemplate(UrlKind::kByTime), "rtsp://{host}:{port}/recording/{channel}");
  setenv("QXPLAYSDK_NET_URL_BY_TIME", "rtsp://{host}/ch{channel}", 1);
  EXPECT_EQ(UrlTemplate(UrlKind::kByTime), "rtsp://{host}/ch{channel}");
  unsetenv("QXPLAYSDK_NET_URL_BY_TIME");
  EXPECT_EQ(UrlTemplate(UrlKind::kLogin), "rtsp://{host}:{port}/recording/1");
}

TEST(DateTime, OnlyRealInstantsAreRead) {
  struct Case {
    NetDateTime record;
    int64_t unix_seconds;  // -1: refused
  };
  const Case cases[] = {
      {{2011, 5, 6, 8, 30, 0}, 1304670600},
      {{1970, 1, 1, 0, 0, 0}, 0},
      {{2000, 2, 29, 23, 59, 59}, 951868799},
      {{2011, 13, 1, 0, 0, 0}, -1},
      {{2011, 5, 0, 0, 0, 0}, -1},
      {{2011, 2, 29, 0, 0, 0}, -1},
      {{1900, 2, 29, 0, 0, 0}, -1},
      {{2011, 4, 31, 0, 0, 0}, -1},
      {{2011, 5, 6, 24, 0, 0}, -1},
      {{2011, 5, 6, 8, 60, 0}, -1},
      {{2011, 5, 6, 8, 0, -1}, -1},
      {{0, 0, 0, 0, 0, 0}, -1},
  };
  for (const Case& c : cases) {
    std::optional<int64_t> seconds = UnixSeconds(c.record);
    if (c.unix_seconds < 0) {
      EXPECT_FALSE(seconds) << c.record.year << "-" << c.record.month << "-" << c.record.day;
    } else {
      ASSERT_TRUE(seconds);
      EXPECT_EQ(*seconds, c.unix_seconds);
    }
  }
}

TEST(DateTime, ASpanEndsAfterItStarts) {
  NetDateTime start{2011, 5, 6, 8, 30, 0};
  NetDateTime later{2011, 5, 6, 8, 30, 1};
  EXPECT_TRUE(SpanOf(&start, &later));
  EXPECT_FALSE(SpanOf(&start, &start));
  EXPECT_FALSE(SpanOf(&later, &start));
  EXPECT_FALSE(SpanOf(nullptr, &later));
  EXPECT_EQ(ClockText(1304670600), "20110506T083000Z");
  EXPECT_EQ(ClockText(951868799), "20000229T235959Z");
  EXPECT_EQ(NanosecondsSince1900(0), 2208988800ULL * 1000000000ULL);
}

}  // namespace
}  // namespace qx::net
