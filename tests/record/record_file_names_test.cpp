// How the names of recording files are kept and handed on, whatever their
// length.
#include <gtest/gtest.h>

#include "core/port_table.h"
#include "record/record_files.h"
#include "tests/record/recording_fixture.h"

namespace {

using RecordFileNames = qxtest::RecordingTest;

// Distinct characters, so that a cut in the wrong place shows.
std::string NameOfLength(std::size_t length) {
  std::string name(length, '\0');
  for (std::size_t i = 0; i < length; ++i) {
    name[i] = static_cast<char>('a' + i % 26);
  }
  return name;
}

TEST_F(RecordFileNames, BackendsGetTheWholeNameTheCallbackAtMost259Characters) {
  for (const std::size_t length : {0U, 1U, 258U, 259U, 260U, 261U, 10000U}) {
    for (const int32_t record_type : {0, 1}) {
      SCOPED_TRACE(std::to_string(length) + " characters, record type " +
                   std::to_string(record_type));
      qxtest::ResetLibrary();
      Heard().clear();
      const std::string first = NameOfLength(length);
      // Built by appending: "x" + a temporary trips a false overlap warning
      // of the compiler's string code at -O3.
      std::string second = "x";
      second += NameOfLength(length);
      const int32_t port = OpenStreamPort(record_type);
      ASSERT_EQ(Ovra_RecordStart(port, first.c_str(), record_type), 0);
      ASSERT_EQ(Ovra_RecordSwitchFile(port, second.c_str()), 0);
      ASSERT_EQ(Ovra_RecordStop(port), 0);

      const char* start_op = record_type == 0 ? "player_start_record" : "conv_start";
      const char* switch_op = record_type == 0 ? "player_start_record" : "conv_switch_file";
      const fake::Call start = fake::Calls(start_op).front();
      const fake::Call switched = fake::Calls(switch_op).back();
      EXPECT_EQ(start.Ptr(1), first.c_str()) << "the caller's own string";
      EXPECT_EQ(start.Text(1), first);
      EXPECT_EQ(switched.Ptr(1), second.c_str());
      EXPECT_EQ(switched.Text(1), second);

      ASSERT_EQ(Heard().size(), 2U);
      EXPECT_EQ(Heard()[0].name, first.substr(0, 259));
      EXPECT_EQ(Heard()[1].name, second.substr(0, 259));
      const char* field = qx::RecordFileName(port);
      EXPECT_EQ(std::string(field, qx::kRecordFileNameSize),
                second.substr(0, 259) +
                    std::string(260 - std::min<std::size_t>(second.size(), 259), '\0'))
          << "the rest of the field is NUL";
    }
  }
}

TEST_F(RecordFileNames, AShorterNameLeavesNothingOfTheLongerOne) {
  const int32_t port = OpenStreamPort(0);
  const std::string long_name = NameOfLength(300);
  ASSERT_EQ(Ovra_RecordStart(port, long_name.c_str(), 0), 0);
  ASSERT_EQ(Ovra_RecordSwitchFile(port, "b"), 0);
  EXPECT_EQ(std::string(qx::RecordFileName(port), qx::kRecordFileNameSize),
            "b" + std::string(259, '\0'));
  ASSERT_EQ(Ovra_RecordStart(port, long_name.c_str(), 0), 0);
  ASSERT_EQ(Ovra_RecordStart(port, "c", 0), 0);
  EXPECT_EQ(std::string(qx::RecordFileName(port), qx::kRecordFileNameSize),
            "c" + std::string(259, '\0'));
}

}  // namespace
