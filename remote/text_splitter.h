// Cuts a text into tokens at a delimiter.
//
// The delimiter is searched for exactly, letter case included; every token
// is trimmed of spaces, tabs, carriage returns and line feeds at both ends,
// and an empty piece is kept as an empty token. A text that ends with the
// delimiter (compared without regard to ASCII letter case) gets one further
// empty token, so "a-b-" gives a, b and an empty token.
//
// Tokens are read by index, or one after another with a negative index; the
// read position is 1-based and 0 after every split.
#ifndef QXPLAYSDK_REMOTE_TEXT_SPLITTER_H
#define QXPLAYSDK_REMOTE_TEXT_SPLITTER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

class TextSplitter final {
 public:
  TextSplitter() = default;

  void SetDelimiter(std::string_view delimiter);

  // Replaces the tokens by those of `text`. Fails, with no tokens left, for
  // an empty text, an empty delimiter or when memory runs out.
  bool Split(std::string_view text) noexcept;

  [[nodiscard]] uint32_t Count() const { return static_cast<uint32_t>(tokens_.size()); }

  // An index of 0 or more reads that token (0-based) and moves the read
  // position to it; a negative index reads the token after the one last
  // read. Past either end the answer is an empty text.
  std::string Token(int32_t index);

 private:
  bool CutTokens();

  std::string source_;
  std::string delimiter_ = ":";
  bool trim_ = true;
  int32_t read_position_ = 0;
  std::vector<std::string> tokens_;
};

}  // namespace qx

#endif  // QXPLAYSDK_REMOTE_TEXT_SPLITTER_H
