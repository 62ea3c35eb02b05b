// Fuzzes the text splitter and the time-string parser against references
// written from their rules alone, so that a fault shows as a broken
// invariant and not only as a crash.
//
// Input: the bytes up to the first NUL are the time text; the whole input is
// also split at a fixed set of delimiters, and up to four bytes after the
// first NUL serve as one more delimiter.
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "backends/network.h"
#include "remote/text_splitter.h"
#include "remote/time_string.h"

namespace {

using Fields = std::array<int32_t, 6>;

void Require(bool condition, const char* invariant) {
  if (!condition) {
    std::fprintf(stderr, "broken invariant: %s\n", invariant);
    std::abort();
  }
}

bool IsTrimmedCharacter(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trimmed(std::string_view piece) {
  while (!piece.empty() && IsTrimmedCharacter(piece.front())) {
    piece.remove_prefix(1);
  }
  while (!piece.empty() && IsTrimmedCharacter(piece.back())) {
    piece.remove_suffix(1);
  }
  return std::string(piece);
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) {
    return false;
  }
  const auto lower = [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
  };
  return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(),
                    [&](char a, char b) { return lower(a) == lower(b); });
}

// The tokens of a non-empty text: every piece between leftmost occurrences
// of the delimiter, the last piece only when it holds anything, then one
// empty token when the text ends in the delimiter without regard to case;
// every token trimmed.
std::vector<std::string> ReferenceTokens(std::string_view text, std::string_view delimiter) {
  std::vector<std::string> pieces;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(delimiter, from);
    if (at == std::string_view::npos) {
      pieces.emplace_back(text.substr(from));
      break;
    }
    pieces.emplace_back(text.substr(from, at - from));
    from = at + delimiter.size();
  }
  if (pieces.back().empty()) {
    pieces.pop_back();
  }
  if (EndsWithIgnoringCase(text, delimiter)) {
    pieces.emplace_back();
  }
  for (std::string& piece : pieces) {
    piece = Trimmed(piece);
  }
  return pieces;
}

// The C library's reading of a decimal number, clamped to int32_t.
int32_t ReferenceNumber(const std::string& token) {
  errno = 0;
  const long long value = std::strtoll(token.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

Fields FieldsOf(const NetDateTime& t) {
  return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

void CheckSplitter(std::string_view text, std::string_view delimiter) {
  qx::TextSplitter splitter;
  splitter.SetDelimiter(delimiter);
  const bool split = splitter.Split(text);
  Require(split == !text.empty(), "a split succeeds exactly for a non-empty text");
  if (!split) {
    Require(splitter.Count() == 0 && splitter.Token(0).empty(), "a failed split has no tokens");
    return;
  }
  const std::vector<std::string> expected = ReferenceTokens(text, delimiter);
  Require(splitter.Count() == expected.size(), "token count");
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string token = splitter.Token(static_cast<int32_t>(i));
    Require(token == expected[i], "token by index");
    Require(
        token.empty() || (!IsTrimmedCharacter(token.front()) && !IsTrimmedCharacter(token.back())),
        "tokens are trimmed");
  }
  Require(splitter.Token(static_cast<int32_t>(expected.size())).empty(), "index past the end");
  // A new split restarts the reading; negative indices walk the tokens.
  Require(splitter.Split(text), "the same text splits again");
  for (const std::string& token : expected) {
    Require(splitter.Token(-1) == token, "next token");
  }
  Require(splitter.Token(-1).empty(), "next token past the end");
}

// Expected fields of a time text that splits into exactly two parts, over a
// record that held `before`.
Fields ExpectedFields(const std::vector<std::string>& parts, const Fields& before) {
  Fields fields = before;
  for (std::size_t part = 0; part < 2; ++part) {
    if (parts[part].empty()) {
      continue;  // an empty part writes nothing
    }
    const std::vector<std::string> numbers = ReferenceTokens(parts[part], "-");
    for (std::size_t i = 0; i < 3; ++i) {
      fields[part * 3 + i] = i < numbers.size() ? ReferenceNumber(numbers[i]) : 0;
    }
  }
  return fields;
}

void CheckParser(const std::string& text) {
  const Fields before = {-101, -102, -103, -104, -105, -106};
  NetDateTime record = {before[0], before[1], before[2], before[3], before[4], before[5]};
  const bool parsed = qx::ParseTimeString(text.c_str(), &record);
  const std::vector<std::string> parts =
      text.empty() ? std::vector<std::string>{} : ReferenceTokens(text, " ");
  Require(parsed == (parts.size() == 2), "parses exactly when there are two space-parts");
  if (!parsed) {
    Require(FieldsOf(record) == before, "a failed parse writes nothing");
    return;
  }
  Require(FieldsOf(record) == ExpectedFields(parts, before), "fields are the leading numbers");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string text(input.substr(0, nul));

  CheckParser(text);

  // The same text with every space but one made into another character
  // always splits into two parts, so it always parses.
  std::string one_space = text;
  std::replace(one_space.begin(), one_space.end(), ' ', '_');
  one_space.insert(size == 0 ? 0 : data[0] % (one_space.size() + 1), 1, ' ');
  NetDateTime record{};
  Require(qx::ParseTimeString(one_space.c_str(), &record), "one space always parses");
  CheckParser(one_space);

  for (const std::string_view delimiter : {" ", "-", ":", "aB", "--"}) {
    CheckSplitter(input, delimiter);
  }
  if (nul != std::string_view::npos && nul + 1 < size) {
    CheckSplitter(input, input.substr(nul + 1, 4));
  }

  // A fresh splitter cuts at ":"; an empty delimiter never splits.
  qx::TextSplitter fresh;
  Require(fresh.Split(input) == !input.empty(), "default delimiter split");
  Require(input.empty() || fresh.Count() == ReferenceTokens(input, ":").size(),
          "the default delimiter is a colon");
  fresh.SetDelimiter("");
  Require(!fresh.Split(input) && fresh.Count() == 0, "an empty delimiter never splits");
  return 0;
}
