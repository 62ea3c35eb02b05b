#include "remote/text_splitter.h"

#include <cstddef>
#include <limits>
#include <new>

namespace qx {
namespace {

constexpr std::string_view kTrimmed = " \t\r\n";

std::string_view Trim(std::string_view token) {
  const std::size_t first = token.find_first_not_of(kTrimmed);
  if (first == std::string_view::npos) {
    return {};
  }
  const std::size_t last = token.find_last_not_of(kTrimmed);
  return token.substr(first, last - first + 1);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) {
    return false;
  }
  const std::string_view tail = text.substr(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (AsciiLower(tail[i]) != AsciiLower(suffix[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

void TextSplitter::SetDelimiter(std::string_view delimiter) { delimiter_ = delimiter; }

bool TextSplitter::Split(std::string_view text) noexcept {
  tokens_.clear();
  read_position_ = 0;
  try {
    source_ = text;
    if (CutTokens()) {
      return true;
    }
  } catch (const std::bad_alloc&) {
    // Out of memory counts as a failed split, like an empty text.
  }
  tokens_.clear();
  return false;
}

bool TextSplitter::CutTokens() {
  if (source_.empty() || delimiter_.empty()) {
    return false;
  }
  std::string_view remaining = source_;
  while (!remaining.empty()) {
    std::string_view token = remaining;
    const std::size_t at = remaining.find(delimiter_);
    if (at == std::string_view::npos) {
      remaining = {};
    } else {
      token = remaining.substr(0, at);
      remaining.remove_prefix(at + delimiter_.size());
    }
    tokens_.emplace_back(trim_ ? Trim(token) : token);
  }
  // The loop ends as soon as nothing is left, so a delimiter at the very end
  // would otherwise leave no token after it.
  if (EndsWithIgnoringAsciiCase(source_, delimiter_)) {
    tokens_.emplace_back();
  }
  return true;
}

std::string TextSplitter::Token(int32_t index) {
  constexpr int32_t kLastPosition = std::numeric_limits<int32_t>::max();
  if (index >= 0) {
    read_position_ = index == kLastPosition ? kLastPosition : index + 1;
  } else if (read_position_ < kLastPosition) {
    ++read_position_;
  }
  if (read_position_ < 1 || static_cast<uint32_t>(read_position_) > Count()) {
    return {};
  }
  return tokens_[static_cast<std::size_t>(read_position_) - 1];
}

}  // namespace qx
