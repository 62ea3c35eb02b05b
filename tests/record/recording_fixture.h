// Fixture of the recording tests: a record-file-ready callback that writes
// down every announcement, and helpers that open ports.
#ifndef QXPLAYSDK_TESTS_RECORD_RECORDING_FIXTURE_H
#define QXPLAYSDK_TESTS_RECORD_RECORDING_FIXTURE_H

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/library_test.h"

namespace qxtest {

struct Announcement {
  int32_t port;
  std::string name;
  uintptr_t user;
  std::thread::id thread;
};

class RecordingTest : public LibraryTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Every announcement so far, in order.
  static std::vector<Announcement>& Heard();
  // Runs once, inside the next callback, after the announcement is written
  // down.
  static std::function<void(int32_t port, const char* file_name)>& Reaction();
  static void OVRA_CALLBACK Listen(int32_t port, const char* file_name, uintptr_t user);

  // A stream port of the given media type, with Listen registered.
  static int32_t OpenStreamPort(int32_t media_type, uintptr_t user = 0x5eed);
  static int32_t OpenFilePort(uintptr_t user = 0x5eed);
};

}  // namespace qxtest

#endif  // QXPLAYSDK_TESTS_RECORD_RECORDING_FIXTURE_H
