#include "tests/misuse/misuse_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tests/fakes/fake_backends.h"
#include "tests/support/library_test.h"

namespace qxtest {

const std::vector<int32_t> kBadPorts = {INT32_MIN, -1, 0, 32, 33, 97, 98, 99, 100, INT32_MAX};
const std::vector<int32_t> kPreparedPort = {kPrepared};
const std::vector<int32_t> kOutsideTable = {INT32_MIN, -1, 98, 99, 100, INT32_MAX};
const std::vector<int32_t> kFreeRemote = {0, 32};
const std::vector<int32_t> kFreeLocal = {33, 97};
const std::vector<int32_t> kNonLocal = {INT32_MIN, -1, 0, 32, 98, 99, 100, INT32_MAX};
const std::vector<int32_t> kNonVoice = {INT32_MIN, -1, 0, 32, 33, 97, 98, 100, INT32_MAX};
const std::vector<int32_t> kBelowOne = {0, -1, INT32_MIN};

namespace {

using enum State;

constexpr std::size_t kTextLengths[] = {259, 260, 1'000'000};

// The time-string corpus of the fuzz target and whether each text reads.
struct CorpusText {
  const char* file;
  bool reads;
};
constexpr CorpusText kCorpus[] = {
    {"colons", true},          {"crlf", true},          {"custom_delimiter", false},
    {"date_only", true},       {"extra_numbers", true}, {"full", true},
    {"missing_numbers", true}, {"one_space", true},     {"overflow_and_signs", true},
    {"short_numbers", true},   {"slashes", true},       {"tab", false},
    {"time_only", true},       {"two_spaces", false},
};

// The text a caller would pass: the file's bytes up to the first NUL.
std::string ReadCorpusText(const char* file) {
  std::ifstream in(std::string(QX_TIME_CORPUS_DIR) + "/" + file, std::ios::binary);
  EXPECT_TRUE(in.is_open()) << "missing corpus file " << file;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes.substr(0, bytes.find('\0'));
}

std::vector<std::string> CorpusTexts(bool reads) {
  std::vector<std::string> texts;
  for (const CorpusText& entry : kCorpus) {
    if (entry.reads == reads) {
      texts.push_back(ReadCorpusText(entry.file));
    }
  }
  return texts;
}

std::vector<std::string> MakeTexts(Texts which) {
  std::vector<std::string> texts;
  switch (which) {
    case Texts::kOne:
      return {"clip"};
    case Texts::kNames:
      texts.emplace_back();
      for (const std::size_t length : kTextLengths) {
        texts.emplace_back(length, 'n');
      }
      return texts;
    case Texts::kReadableTimes:
      texts = CorpusTexts(true);
      for (const std::size_t length : kTextLengths) {
        std::string time = "2011-05-06 08-30-";
        time.resize(length, '0');
        texts.push_back(time);
      }
      return texts;
    case Texts::kUnreadableTimes:
      texts = CorpusTexts(false);
      texts.emplace_back();
      return texts;
  }
  return texts;
}

const std::vector<std::string>& TextsOf(Texts which) {
  static const std::vector<std::string> sets[] = {MakeTexts(Texts::kOne), MakeTexts(Texts::kNames),
                                                  MakeTexts(Texts::kReadableTimes),
                                                  MakeTexts(Texts::kUnreadableTimes)};
  return sets[static_cast<int>(which)];
}

int32_t OpenFile() {
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenFile(&port, "setup.mp4"), OVRA_OK);
  return port;
}

int32_t OpenStream(int32_t media_type, int32_t expected) {
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenStream(&port, nullptr, 0, 4096, media_type), expected);
  return port;
}

void Prepare(State state) {
  int32_t port = kPrepared;
  switch (state) {
    case kFresh:
      break;
    case kFilePort:
      port = OpenFile();
      break;
    case kPlayerStream:
      port = OpenStream(OVRA_MEDIA_PLAYER, OVRA_OK);
      break;
    case k3gppStream:
      port = OpenStream(OVRA_MEDIA_3GPP, OVRA_OK);
      break;
    case kUntypedStream:
      port = OpenStream(2, OVRA_PARAM_ERROR);
      break;
    case kClosedFile:
      port = OpenFile();
      fake::QueueResults("player_close_file", {0});
      EXPECT_EQ(Ovra_CloseFile(port), OVRA_PLAYSDK_ERROR);
      break;
    case kClosed3gppRecording:
    case kStale3gppRecording:
      port = OpenStream(OVRA_MEDIA_3GPP, OVRA_OK);
      EXPECT_EQ(Ovra_RecordStart(port, "setup.3gp", OVRA_MEDIA_3GPP), OVRA_OK);
      EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);
      if (state == kStale3gppRecording) {
        port = OpenFile();
      }
      break;
    case kLocalPoolFull:
      for (int32_t expected = OVRA_FIRST_LOCAL_PORT; expected <= OVRA_LAST_LOCAL_PORT; ++expected) {
        EXPECT_EQ(OpenFile(), expected);
      }
      break;
    case kRemotePoolFull:
      for (int32_t expected = OVRA_FIRST_REMOTE_SLOT; expected <= OVRA_LAST_REMOTE_SLOT;
           ++expected) {
        int32_t slot = -1;
        EXPECT_EQ(Ovra_DVR_OpenFileByName(1, &slot, "setup"), OVRA_OK);
        EXPECT_EQ(slot, expected);
      }
      break;
    case kVoiceOpen: {
      int32_t voice = -1;
      EXPECT_EQ(Ovra_InitAudio(&voice), OVRA_OK);
      break;
    }
  }
  EXPECT_EQ(port, kPrepared);
}

// Gives back what Prepare took; a bad-input call must have left all of it.
void GiveBack(State state) {
  switch (state) {
    case kFilePort:
    case kPlayerStream:
    case k3gppStream:
    case kUntypedStream:
    case kStale3gppRecording:
      EXPECT_EQ(Ovra_CloseFile(kPrepared), OVRA_OK) << "the prepared port was not left taken";
      break;
    case kLocalPoolFull:
      for (int32_t port = OVRA_FIRST_LOCAL_PORT; port <= OVRA_LAST_LOCAL_PORT; ++port) {
        EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
      }
      break;
    case kRemotePoolFull:
      for (int32_t slot = OVRA_FIRST_REMOTE_SLOT; slot <= OVRA_LAST_REMOTE_SLOT; ++slot) {
        EXPECT_EQ(Ovra_DVR_CloseFile(slot), OVRA_OK);
      }
      break;
    case kVoiceOpen:
      EXPECT_EQ(Ovra_CloseAudio(OVRA_VOICE_PORT), OVRA_OK) << "the voice channel was closed";
      break;
    case kFresh:
    case kClosedFile:
    case kClosed3gppRecording:
      break;
  }
}

void ExpectOuts(const Outs& out, const Row& row) {
  const bool number = row.writes == Writes::kNumber || row.writes == Writes::kLocalPort ||
                      row.writes == Writes::kRemoteSlot;
  EXPECT_EQ(out.number, number ? static_cast<int32_t>(row.value) : kUntouchedNumber);
  EXPECT_EQ(out.count, kUntouchedCount);
  EXPECT_EQ(out.speed,
            row.writes == Writes::kSpeed ? static_cast<float>(row.value) : kUntouchedSpeed);
  for (const int32_t colour : out.colour) {
    EXPECT_EQ(colour, kUntouchedNumber);
  }
}

std::vector<std::string> NamesOf(const char* due) {
  std::vector<std::string> names;
  std::istringstream words(due);
  for (std::string name; words >> name;) {
    names.push_back(name);
  }
  return names;
}

void RunCase(const Row& row, int32_t n, const std::string& text) {
  std::ostringstream what;
  what << row.name << " (number " << n << ", text of " << text.size() << " characters)";
  SCOPED_TRACE(what.str());
  ResetLibrary();
  Prepare(row.state);
  const std::size_t calls_before = fake::Calls().size();
  Outs out;
  EXPECT_EQ(row.call(Input{n, text.c_str(), &out}), row.expected);

  const std::vector<fake::Call> calls = fake::Calls();
  std::vector<std::string> made;
  for (std::size_t i = calls_before; i < calls.size(); ++i) {
    made.push_back(calls[i].name);
  }
  const std::vector<std::string> due = NamesOf(row.due);
  EXPECT_EQ(made, due);
  if (row.text_arg >= 0 && !made.empty() && made == due) {
    // Compared without printing: a text may be a million characters long.
    EXPECT_TRUE(calls.back().Text(static_cast<std::size_t>(row.text_arg)) == text)
        << "the text did not reach " << made.back() << " whole";
  }
  ExpectOuts(out, row);

  if (row.writes == Writes::kLocalPort) {
    EXPECT_EQ(Ovra_CloseFile(out.number), OVRA_OK);
  } else if (row.writes == Writes::kRemoteSlot) {
    EXPECT_EQ(Ovra_DVR_CloseFile(out.number), OVRA_OK);
  }
  GiveBack(row.state);
  ExpectWholePortTable();
}

}  // namespace

int RunTable(const std::vector<Row>& rows) {
  int cases = 0;
  for (const Row& row : rows) {
    for (const int32_t n : row.numbers) {
      for (const std::string& text : TextsOf(row.texts)) {
        RunCase(row, n, text);
        ++cases;
      }
    }
  }
  ::testing::Test::RecordProperty("cases", cases);
  return cases;
}

void ExpectWholePortTable() {
  for (int32_t expected = OVRA_FIRST_LOCAL_PORT; expected <= OVRA_LAST_LOCAL_PORT; ++expected) {
    int32_t port = -1;
    ASSERT_EQ(Ovra_OpenFile(&port, "whole.mp4"), OVRA_OK) << "opening local port " << expected;
    ASSERT_EQ(port, expected);
  }
  int32_t beyond = kUntouchedNumber;
  EXPECT_EQ(Ovra_OpenFile(&beyond, "whole.mp4"), OVRA_NO_UNUSED_PORT);
  for (int32_t port = OVRA_FIRST_LOCAL_PORT; port <= OVRA_LAST_LOCAL_PORT; ++port) {
    EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK) << "closing local port " << port;
  }

  for (int32_t expected = OVRA_FIRST_REMOTE_SLOT; expected <= OVRA_LAST_REMOTE_SLOT; ++expected) {
    int32_t slot = -1;
    ASSERT_EQ(Ovra_DVR_OpenFileByName(1, &slot, "whole"), OVRA_OK) << "opening slot " << expected;
    ASSERT_EQ(slot, expected);
  }
  EXPECT_EQ(Ovra_DVR_OpenFileByName(1, &beyond, "whole"), OVRA_NO_UNUSED_PORT);
  for (int32_t slot = OVRA_FIRST_REMOTE_SLOT; slot <= OVRA_LAST_REMOTE_SLOT; ++slot) {
    EXPECT_EQ(Ovra_DVR_CloseFile(slot), OVRA_OK) << "closing slot " << slot;
  }
  EXPECT_EQ(beyond, kUntouchedNumber);

  EXPECT_EQ(Ovra_CloseAudio(OVRA_VOICE_PORT), OVRA_AUDIO_NOT_INITIALISED)
      << "the voice channel was left open";
  int32_t voice = -1;
  EXPECT_EQ(Ovra_InitAudio(&voice), OVRA_OK);
  EXPECT_EQ(voice, OVRA_VOICE_PORT);
  EXPECT_EQ(Ovra_CloseAudio(OVRA_VOICE_PORT), OVRA_OK);
}

}  // namespace qxtest
