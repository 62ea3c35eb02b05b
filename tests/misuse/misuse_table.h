// The bad-input matrix: tables of export calls made with unusable
// arguments, each row run from a freshly loaded library with one prepared
// state. For every case the runner checks the result code, the exact backend
// calls made, that no out-variable was written unless the row says so, and
// afterwards that the port table is whole.
#ifndef QXPLAYSDK_TESTS_MISUSE_MISUSE_TABLE_H
#define QXPLAYSDK_TESTS_MISUSE_MISUSE_TABLE_H

#include <cstdint>
#include <functional>
#include <vector>

#include "qxplaysdk.h"
#include "tests/support/library_test.h"

namespace qxtest {

using MisuseMatrix = LibraryTest;

// What the library holds before the call. Wherever a local port is opened,
// it is 33; every other local port and every remote slot is free.
enum class State {
  kFresh,                // nothing open
  kFilePort,             // 33 holds a file (no media type)
  kPlayerStream,         // 33 holds a stream of media type 0
  k3gppStream,           // 33 holds a stream of media type 1
  kUntypedStream,        // 33 taken by an open with media type 2: no mode, no media type
  kClosedFile,           // 33 free again, in file mode still (its close was refused)
  kClosed3gppRecording,  // 33 free again after a stream with a converter recording:
                         // source mode none, media type 1, recording flag 1
  kStale3gppRecording,   // then a file opened on 33: file mode, media type 1, flag 1
  kLocalPoolFull,        // 33..97 all hold files
  kRemotePoolFull,       // remote slots 0..32 all open
  kVoiceOpen,            // the voice channel is open
};

// The call's out-variables, each filled with a value no export writes.
inline constexpr int32_t kUntouchedNumber = 0x5A5A5A5A;
inline constexpr uint32_t kUntouchedCount = 0xA5A5A5A5U;
inline constexpr float kUntouchedSpeed = -123.25F;

struct Outs {
  int32_t number = kUntouchedNumber;
  uint32_t count = kUntouchedCount;
  float speed = kUntouchedSpeed;
  int32_t colour[4] = {kUntouchedNumber, kUntouchedNumber, kUntouchedNumber, kUntouchedNumber};
};

// What one case hands its call: the number under test (port, slot, handle
// or login), the text under test, and the out-variables.
struct Input {
  int32_t n;
  const char* text;
  Outs* out;
};
using In = const Input&;

// Which out-variable a call writes; every other one must keep its filling.
enum class Writes {
  kNothing,
  kNumber,      // `number` receives the row's value
  kLocalPort,   // `number` receives the value, a local port the call leaves taken
  kRemoteSlot,  // `number` receives the value, a remote slot the call leaves open
  kSpeed,       // `speed` receives the row's value
};

// Texts a row is run with, one case each.
enum class Texts {
  kOne,              // the single text "clip"
  kNames,            // 0, 259, 260 and 1,000,000 characters
  kReadableTimes,    // time strings that read: the readable fuzz corpus, and time strings
                     // of 259, 260 and 1,000,000 characters (seconds padded with zeros)
  kUnreadableTimes,  // time strings that do not read: the rest of the corpus and ""
};

inline constexpr int32_t kPrepared = 33;

// One row of a table: the call, the state it is made in, and what it must
// give. A row with several numbers or texts is one case for each.
struct Row {
  const char* name;
  State state;
  std::function<int32_t(const Input&)> call;
  int32_t expected;
  const char* due = "";  // the backend calls due, in order, separated by spaces
  std::vector<int32_t> numbers = {kPrepared};
  Writes writes = Writes::kNothing;
  double value = 0;
  Texts texts = Texts::kOne;
  int text_arg = -1;  // the last due call's argument that carries the text whole
};

// Numbers under test. With nothing open, none of kBadPorts (-1, 0, 32, 33,
// 97, 98, 99, 100, INT32_MIN, INT32_MAX) is usable by a local-port export or
// by a remote-slot export.
extern const std::vector<int32_t> kBadPorts;
extern const std::vector<int32_t> kPreparedPort;  // 33 alone: the port a state prepares
extern const std::vector<int32_t> kOutsideTable;  // INT32_MIN, -1, 98, 99, 100, INT32_MAX
extern const std::vector<int32_t> kFreeRemote;    // 0, 32
extern const std::vector<int32_t> kFreeLocal;     // 33, 97
extern const std::vector<int32_t> kNonLocal;      // kOutsideTable and kFreeRemote
extern const std::vector<int32_t> kNonVoice;      // kBadPorts but 99
extern const std::vector<int32_t> kBelowOne;      // 0, -1, INT32_MIN: logins and handles

// Runs every case of the table, each from a freshly loaded library, and
// returns how many there were (also recorded as the test's "cases").
int RunTable(const std::vector<Row>& rows);

// Every local port 33..97, then every remote slot 0..32, can be opened (lowest
// first, and not one more) and closed again, and the voice channel can be
// opened and closed. Needs backends that accept.
void ExpectWholePortTable();

}  // namespace qxtest

#endif  // QXPLAYSDK_TESTS_MISUSE_MISUSE_TABLE_H
