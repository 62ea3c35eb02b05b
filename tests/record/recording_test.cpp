// Starting, switching and stopping recordings, and the announcements of the
// finished files.
#include <gtest/gtest.h>

#include "core/port_table.h"
#include "record/record_files.h"
#include "tests/record/recording_fixture.h"

namespace {

using Recording = qxtest::RecordingTest;

// The recording calls that reached the backends, in order.
std::vector<std::string> RecordingCalls() {
  std::vector<std::string> names;
  for (const std::string& name : fake::CallNames()) {
    if (name.find("record") != std::string::npos || name.rfind("conv_", 0) == 0) {
      names.push_back(name);
    }
  }
  return names;
}

TEST_F(Recording, StartSwitchStopAnnouncesEachFinishedFileOnTheCallingThread) {
  struct Case {
    int32_t record_type;
    std::vector<std::string> backend_calls;
  };
  const Case cases[] = {
      {0,
       {"player_start_record", "player_stop_record", "player_start_record", "player_stop_record"}},
      {1, {"conv_start", "conv_switch_file", "conv_stop"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record_type);
    qxtest::ResetLibrary();
    Heard().clear();
    const int32_t port = OpenStreamPort(c.record_type, 0xabcd);
    std::thread::id worker_id;
    std::thread worker([&] {
      worker_id = std::this_thread::get_id();
      EXPECT_EQ(Ovra_RecordStart(port, "A.mp4", c.record_type), 0);
      EXPECT_EQ(qx::GetRecordingFlag(port), 1);
      EXPECT_EQ(Ovra_RecordSwitchFile(port, "B.mp4"), 0);
      EXPECT_EQ(qx::GetRecordingFlag(port), 1);
      EXPECT_EQ(Ovra_RecordStop(port), 0);
    });
    worker.join();

    ASSERT_EQ(Heard().size(), 2U);
    EXPECT_EQ(Heard()[0].name, "A.mp4");
    EXPECT_EQ(Heard()[1].name, "B.mp4");
    for (const qxtest::Announcement& heard : Heard()) {
      EXPECT_EQ(heard.port, port);
      EXPECT_EQ(heard.user, 0xabcdU);
      EXPECT_EQ(heard.thread, worker_id);
    }
    EXPECT_EQ(RecordingCalls(), c.backend_calls);
    for (const fake::Call& call : fake::Calls()) {
      EXPECT_EQ(call.Int(0), port) << call.name;
    }
    for (const fake::Call& call : fake::Calls("player_start_record")) {
      EXPECT_EQ(call.Int(2), 0);
    }
    EXPECT_EQ(qx::GetRecordingFlag(port), 0);
    EXPECT_STREQ(qx::RecordFileName(port), "B.mp4") << "the stopped file's name stays";

    EXPECT_EQ(Ovra_RecordStop(port), -2) << "second stop";
    EXPECT_EQ(Heard().size(), 2U);
    EXPECT_EQ(RecordingCalls().size(), c.backend_calls.size());
  }
}

TEST_F(Recording, RefusedStopKeepsRecordingAnnouncesNothingAndCanBeRepeated) {
  struct Case {
    int32_t record_type;
    const char* op;
    int64_t refusal;
    int32_t expected;
  };
  const Case cases[] = {
      {0, "player_stop_record", 0, -3},  {0, "player_stop_record", 2, -3},
      {0, "player_stop_record", -1, -3}, {1, "conv_stop", 1, -5},
      {1, "conv_stop", -1, -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " answering " + std::to_string(c.refusal));
    qxtest::ResetLibrary();
    Heard().clear();
    const int32_t port = OpenStreamPort(c.record_type);
    ASSERT_EQ(Ovra_RecordStart(port, "A", c.record_type), 0);
    fake::QueueResults(c.op, {c.refusal});
    EXPECT_EQ(Ovra_RecordStop(port), c.expected);
    EXPECT_EQ(qx::GetRecordingFlag(port), 1);
    EXPECT_TRUE(Heard().empty());
    EXPECT_EQ(Ovra_RecordStop(port), 0);
    EXPECT_EQ(fake::CallCount(c.op), 2U);
    ASSERT_EQ(Heard().size(), 1U);
    EXPECT_EQ(Heard()[0].name, "A");
  }
}

TEST_F(Recording, RefusedStartChangesNothing) {
  struct Case {
    int32_t record_type;
    const char* op;
    int64_t refusal;
    int32_t expected;
  };
  const Case cases[] = {
      {0, "player_start_record", 0, -3},  {0, "player_start_record", 2, -3},
      {0, "player_start_record", -1, -3}, {1, "conv_start", 1, -5},
      {1, "conv_start", -1, -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " answering " + std::to_string(c.refusal));
    qxtest::ResetLibrary();
    // A port last recorded through the other backend where it can be, so
    // that a media type written by mistake shows. (A stream of the player
    // library never records through the converter.)
    const int32_t other = 1 - c.record_type;
    const int32_t port = OpenStreamPort(c.record_type == 1 ? 1 : other);
    ASSERT_EQ(Ovra_RecordStart(port, "old", c.record_type == 1 ? 1 : other), 0);
    ASSERT_EQ(Ovra_RecordStop(port), 0);
    fake::SetResult(c.op, c.refusal);
    EXPECT_EQ(Ovra_RecordStart(port, "new", c.record_type), c.expected);
    EXPECT_EQ(qx::GetRecordingFlag(port), 0);
    EXPECT_EQ(qx::GetMediaType(port), c.record_type == 1 ? 1 : other);
    EXPECT_STREQ(qx::RecordFileName(port), "old");
  }
}

TEST_F(Recording, SwitchOnAPortThatIsNotRecordingAnnouncesTheNameInTheEntry) {
  for (const int64_t stop_answer : {1, 0, -1}) {
    SCOPED_TRACE(stop_answer);
    qxtest::ResetLibrary();
    Heard().clear();
    fake::SetResult("player_stop_record", stop_answer);
    const int32_t port = OpenStreamPort(0);
    EXPECT_EQ(Ovra_RecordSwitchFile(port, "B"), 0) << "the stop's answer is ignored";
    EXPECT_EQ(RecordingCalls(),
              (std::vector<std::string>{"player_stop_record", "player_start_record"}));
    EXPECT_EQ(fake::Calls("player_start_record").at(0).Text(1), "B");
    ASSERT_EQ(Heard().size(), 1U);
    EXPECT_EQ(Heard()[0].name, "") << "nothing was ever recorded on this number";
    EXPECT_EQ(qx::GetRecordingFlag(port), 0);
    EXPECT_EQ(Ovra_RecordStop(port), -2);
    EXPECT_EQ(fake::CallCount("player_stop_record"), 1U);
  }

  qxtest::ResetLibrary();
  Heard().clear();
  const int32_t port = OpenStreamPort(0);
  ASSERT_EQ(Ovra_RecordStart(port, "A", 0), 0);
  ASSERT_EQ(Ovra_RecordStop(port), 0);
  EXPECT_EQ(Ovra_RecordSwitchFile(port, "C"), 0);
  ASSERT_EQ(Heard().size(), 2U);
  EXPECT_EQ(Heard()[1].name, "A") << "announced again by the switch";
  EXPECT_STREQ(qx::RecordFileName(port), "C");
  EXPECT_EQ(qx::GetRecordingFlag(port), 0);
}

TEST_F(Recording, RefusedSwitchAnnouncesOnlyAFileThatWasFinished) {
  struct Case {
    int32_t record_type;
    const char* op;
    int64_t refusal;
    int64_t stop_answer;  // the player path's stop inside the switch
    int32_t expected;
    bool old_file_finished;
  };
  const Case cases[] = {
      // The old file was finished before the new one failed: it is
      // announced and the recording has ended as by a stop.
      {0, "player_start_record", 0, 1, -3, true},
      {0, "player_start_record", 2, 1, -3, true},
      // Nothing was finished (the stop failed): nothing to announce.
      {0, "player_start_record", 0, 0, -3, false},
      // The converter refuses before touching its current file.
      {1, "conv_switch_file", 1, 1, -5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " answering " + std::to_string(c.refusal) +
                 ", stop answering " + std::to_string(c.stop_answer));
    qxtest::ResetLibrary();
    Heard().clear();
    const int32_t port = OpenStreamPort(c.record_type);
    ASSERT_EQ(Ovra_RecordStart(port, "A", c.record_type), 0);
    fake::SetResult(c.op, c.refusal);
    fake::SetResult("player_stop_record", c.stop_answer);
    EXPECT_EQ(Ovra_RecordSwitchFile(port, "B"), c.expected);
    EXPECT_STREQ(qx::RecordFileName(port), "A");
    EXPECT_EQ(fake::CallCount("player_stop_record"), c.record_type == 0 ? 1U : 0U);
    if (c.old_file_finished) {
      ASSERT_EQ(Heard().size(), 1U);
      EXPECT_EQ(Heard()[0].name, "A");
      EXPECT_EQ(qx::GetRecordingFlag(port), 0);
      EXPECT_EQ(Ovra_RecordStop(port), -2) << "the recording has ended";
    } else {
      EXPECT_TRUE(Heard().empty());
      EXPECT_EQ(qx::GetRecordingFlag(port), 1);
    }
  }
}

TEST_F(Recording, ConverterRecordingOfAPlayerLibraryStreamIsRefusedAndChangesNothing) {
  const int32_t port = OpenStreamPort(0);
  EXPECT_EQ(Ovra_RecordStart(port, "A", 1), OVRA_MEDIA_TYPE_NOT_RIGHT);
  EXPECT_TRUE(RecordingCalls().empty());
  EXPECT_EQ(qx::GetMediaType(port), 0);
  EXPECT_EQ(qx::GetRecordingFlag(port), 0);
  EXPECT_STREQ(qx::RecordFileName(port), "");
  // The port still works through the player library.
  EXPECT_EQ(Ovra_InputData(port, "block", 5), 0);
  EXPECT_EQ(fake::CallCount("player_input_data"), 1U);
  EXPECT_EQ(fake::CallCount("gpp_input_data"), 0U);
  EXPECT_EQ(Ovra_RecordStart(port, "A", 0), 0);
  EXPECT_EQ(Ovra_RecordStop(port), 0);
}

TEST_F(Recording, FilePortsRecordOnlyThroughThePlayerLibrary) {
  const int32_t port = OpenFilePort();
  ASSERT_EQ(qx::GetMediaType(port), 2);
  EXPECT_EQ(Ovra_RecordStart(port, "A", 1), -8);
  EXPECT_TRUE(RecordingCalls().empty());
  EXPECT_EQ(qx::GetRecordingFlag(port), 0);

  EXPECT_EQ(Ovra_RecordStart(port, "A", 0), 0);
  EXPECT_EQ(fake::CallCount("player_start_record"), 1U);
  EXPECT_EQ(qx::GetMediaType(port), 0);
  EXPECT_EQ(Ovra_RecordStop(port), 0);
  EXPECT_EQ(fake::CallCount("player_stop_record"), 1U);
  ASSERT_EQ(Heard().size(), 1U);
  EXPECT_EQ(Heard()[0].name, "A");
}

TEST_F(Recording, ConverterRecordingOnANumberNoLongerInStreamModeIsRefused) {
  const int32_t port = OpenStreamPort(1);
  ASSERT_EQ(Ovra_RecordStart(port, "A", 1), 0);
  ASSERT_EQ(Ovra_CloseStream(port), 0);
  int32_t reopened = 0;
  ASSERT_EQ(Ovra_OpenFile(&reopened, "clip.mp4"), 0);
  ASSERT_EQ(reopened, port);
  EXPECT_EQ(Ovra_RecordStop(port), -8);
  EXPECT_EQ(Ovra_RecordSwitchFile(port, "B"), -8);
  EXPECT_EQ(RecordingCalls(), std::vector<std::string>{"conv_start"});
  EXPECT_TRUE(Heard().empty());
  EXPECT_EQ(qx::GetRecordingFlag(port), 1);
}

TEST_F(Recording, RecordingStateCarriesOverToTheNextUseOfTheNumber) {
  const int32_t port = OpenStreamPort(0, 7);
  ASSERT_EQ(Ovra_RecordStart(port, "A", 0), 0);
  ASSERT_EQ(Ovra_CloseStream(port), 0);
  EXPECT_EQ(RecordingCalls(), std::vector<std::string>{"player_start_record"})
      << "closing stops nothing";
  int32_t reopened = 0;
  ASSERT_EQ(Ovra_OpenStream(&reopened, nullptr, 0, 4096, 0), 0);
  ASSERT_EQ(reopened, port);
  EXPECT_EQ(qx::GetRecordingFlag(port), 1);
  EXPECT_EQ(Ovra_RecordStop(port), 0);
  ASSERT_EQ(Heard().size(), 1U);
  EXPECT_EQ(Heard()[0].port, port);
  EXPECT_EQ(Heard()[0].name, "A");
  EXPECT_EQ(Heard()[0].user, 7U);
}

TEST_F(Recording, RefusedArgumentsReachNoBackendAndChangeNothing) {
  const int32_t port = OpenStreamPort(0);  // 33; 34 stays free
  const int32_t bad_ports[] = {-1, 0, 32, 34, 97, 98, 99, 1000};
  for (const int32_t bad : bad_ports) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Ovra_RecordStart(bad, "A", 0), -2);
    EXPECT_EQ(Ovra_RecordStart(bad, "A", 1), -2);
    EXPECT_EQ(Ovra_RecordStop(bad), -2);
    EXPECT_EQ(Ovra_RecordSwitchFile(bad, "A"), -2);
    EXPECT_EQ(Ovra_SetRecordFileReadyCallback(bad, Listen, 1), -2);
  }
  EXPECT_EQ(Ovra_RecordStart(port, nullptr, 0), -2);
  EXPECT_EQ(Ovra_RecordSwitchFile(port, nullptr), -2);
  for (const int32_t record_type : {2, -1, 7}) {
    EXPECT_EQ(Ovra_RecordStart(port, "A", record_type), -2) << record_type;
  }
  EXPECT_EQ(Ovra_RecordStop(port), -2) << "not recording";
  EXPECT_TRUE(RecordingCalls().empty());
  EXPECT_TRUE(Heard().empty());
  EXPECT_EQ(qx::GetRecordingFlag(port), 0);
  EXPECT_EQ(qx::GetMediaType(port), 0);
  EXPECT_STREQ(qx::RecordFileName(port), "");

  // A number without a media type has no backend to stop or switch.
  const int32_t file_port = OpenFilePort();
  qx::SetRecordingFlag(file_port, 1);
  EXPECT_EQ(Ovra_RecordStop(file_port), -2);
  EXPECT_EQ(Ovra_RecordSwitchFile(file_port, "B"), -2);
  EXPECT_TRUE(RecordingCalls().empty());
  EXPECT_TRUE(Heard().empty());
}

TEST_F(Recording, WithoutACallbackStopAndSwitchDoTheRest) {
  const int32_t port = OpenStreamPort(1);
  ASSERT_EQ(Ovra_SetRecordFileReadyCallback(port, nullptr, 0), 0);
  ASSERT_EQ(Ovra_RecordStart(port, "A", 1), 0);
  EXPECT_EQ(Ovra_RecordSwitchFile(port, "B"), 0);
  EXPECT_STREQ(qx::RecordFileName(port), "B");
  EXPECT_EQ(Ovra_RecordStop(port), 0);
  EXPECT_EQ(qx::GetRecordingFlag(port), 0);
  EXPECT_EQ(RecordingCalls(),
            (std::vector<std::string>{"conv_start", "conv_switch_file", "conv_stop"}));
  EXPECT_TRUE(Heard().empty());
}

TEST_F(Recording, TheCallbackMayCallTheRecordingExportsAgain) {
  const int32_t port = OpenStreamPort(0);
  ASSERT_EQ(Ovra_RecordStart(port, "A", 0), 0);
  // From inside the stop: the recording has ended, and a new one may start,
  // even with the very name the callback was handed. No lock is held, so
  // another thread gets through the port's state meanwhile.
  std::vector<int32_t> inner;
  Reaction() = [&](int32_t p, const char* file_name) {
    inner.push_back(Ovra_RecordStop(p));
    inner.push_back(Ovra_RecordStart(p, file_name, 0));
    std::thread other([&] { inner.push_back(Ovra_SetRecordFileReadyCallback(p, Listen, 9)); });
    other.join();
  };
  EXPECT_EQ(Ovra_RecordStop(port), 0);
  EXPECT_EQ(inner, (std::vector<int32_t>{-2, 0, 0}));
  EXPECT_EQ(qx::GetRecordingFlag(port), 1);
  EXPECT_STREQ(qx::RecordFileName(port), "A");
  EXPECT_EQ(fake::Calls("player_start_record").back().Text(1), "A");

  // From inside a switch: the nested stop finds the entry still naming the
  // file the switch has just finished.
  inner.clear();
  Reaction() = [&](int32_t p, const char*) { inner.push_back(Ovra_RecordStop(p)); };
  EXPECT_EQ(Ovra_RecordSwitchFile(port, "B"), 0);
  EXPECT_EQ(inner, std::vector<int32_t>{0});
  ASSERT_EQ(Heard().size(), 3U);
  EXPECT_EQ(Heard()[1].name, "A");
  EXPECT_EQ(Heard()[2].name, "A");
  EXPECT_EQ(Heard()[2].user, 9U);
  EXPECT_EQ(qx::GetRecordingFlag(port), 0);
  EXPECT_STREQ(qx::RecordFileName(port), "B");
}

}  // namespace
