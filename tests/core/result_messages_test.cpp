#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "qxplaysdk.h"

namespace {

struct MessageCase {
  int32_t code;
  const char* text;  // nullptr where the code has no text
};

constexpr MessageCase kMessageCases[] = {
    {0, "QXPLAYSDK NO ERROR"},
    {-1, "QXPLAYSDK NO UNUSED PORT"},
    {-2, "QXPLAYSDK PARAM ERROR"},
    {-3, "QXPLAYSDK PLAYSDK EXPORT ERROR"},
    {-4, nullptr},
    {-5, "QXPLAYSDK 3GPPSDK EXPORT ERROR"},
    {-6, "QXPLAYSDK PARAM OVER"},
    {-7, "QXPLAYSDK NEED FILE MODE"},
    {-8, "QXPLAYSDK NEED STREAM MODE"},
    {-9, nullptr},
    {-10, "QXPLAYSDK MEDIA TYPE NOT RIGHT"},
    {-11, "QXPLAYSDK PARSE TIME ERROR"},
    {-12, "QXPLAYSDK RECYCLE PORT ERROR"},
    {1, nullptr},
    {-13, nullptr},
    {INT32_MAX, nullptr},
    {INT32_MIN, nullptr},
    {-INT32_MAX, nullptr},
};

TEST(ErrorMessage, EveryCodeGivesItsTextOrNull) {
  for (const MessageCase& c : kMessageCases) {
    SCOPED_TRACE(c.code);
    const char* text = Ovra_GetErrorMessage(c.code);
    if (c.text == nullptr) {
      EXPECT_EQ(text, nullptr);
    } else {
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(std::string(text), c.text);
    }
  }
}

TEST(ErrorMessage, TheSameCodeAlwaysGivesTheSamePointer) {
  for (int32_t code = 0; code >= -12; --code) {
    SCOPED_TRACE(code);
    EXPECT_EQ(Ovra_GetErrorMessage(code), Ovra_GetErrorMessage(code));
  }
  // Different codes never share a text.
  for (int32_t a = 0; a >= -12; --a) {
    for (int32_t b = a - 1; b >= -12; --b) {
      if (Ovra_GetErrorMessage(a) != nullptr) {
        EXPECT_NE(Ovra_GetErrorMessage(a), Ovra_GetErrorMessage(b));
      }
    }
  }
}

}  // namespace
