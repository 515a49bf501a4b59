// What the parser asks of every node text, answered from one pass over the preprocessed
// text: every node text is a view into it, so where a bracket closes, whether a view
// holds a call or a character that no constant holds, and where its next operator
// stands are found without scanning the view again in every node that holds it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

class TTextIndex {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  // Forgets the text: views of any other text are answered by scanning them.
  void Clear() { text_ = {}; }

  // What a character is to the index, as bits of a table that the caller gives.
  static constexpr uint8_t kConstant = 1;  // may stand in a constant text
  static constexpr uint8_t kCut = 2;       // may split a text: a sign, * /, a comma or a bracket
  static constexpr uint8_t kOpensCall = 4;  // a "(" after it starts an argument list or an index

  // Indexes text, in one pass from its end: counts run from each position to the end.
  void Build(std::string_view text, const std::array<uint8_t, 256>& kinds) {
    const size_t n = text.size();
    close_.resize(n);
    calls_.resize(n + 1);
    nonConstant_.resize(n + 1);
    nextCut_.resize(n + 1);
    closing_.clear();
    uint32_t calls = 0, nonConstant = 0;
    uint32_t next = static_cast<uint32_t>(n);
    calls_[n] = nonConstant_[n] = 0;
    nextCut_[n] = next;
    for (size_t i = n; i-- > 0;) {
      const char c = text[i];
      const uint8_t kind = kinds[static_cast<unsigned char>(c)];
      close_[i] = kNone;
      if (c == ')') {
        closing_.push_back(static_cast<uint32_t>(i));
      } else if (c == '(') {
        if (!closing_.empty()) {
          close_[i] = closing_.back();
          closing_.pop_back();
        }
        if (i > 0 && (kinds[static_cast<unsigned char>(text[i - 1])] & kOpensCall)) ++calls;
      }
      if (!(kind & kConstant)) ++nonConstant;
      if (kind & kCut) next = static_cast<uint32_t>(i);
      calls_[i] = calls;
      nonConstant_[i] = nonConstant;
      nextCut_[i] = next;
    }
    text_ = text;
  }

  bool Covers(std::string_view view) const {
    const auto start = reinterpret_cast<uintptr_t>(text_.data());
    const auto at = reinterpret_cast<uintptr_t>(view.data());
    return !text_.empty() && at >= start && at + view.size() <= start + text_.size();
  }
  // For a covered view: the offset of the view in the text.
  size_t OffsetOf(std::string_view view) const { return static_cast<size_t>(view.data() - text_.data()); }

  // For a covered view whose character at open is "(": the index in the view of the
  // ")" that closes it, or kNone when it does not close within the view.
  size_t CloseIn(size_t offset, size_t size, size_t open) const {
    const uint32_t close = close_[offset + open];
    return close != kNone && close < offset + size ? close - offset : kNone;
  }
  // Whether a "(" after the first character of a covered view opens a call.
  bool HoldsCall(size_t offset, size_t size) const { return size > 1 && calls_[offset + 1] != calls_[offset + size]; }
  bool HoldsNonConstant(size_t offset, size_t size) const {
    return nonConstant_[offset] != nonConstant_[offset + size];
  }
  // For a covered view: the index from i on of its first character that may split it,
  // or its size.
  size_t NextCut(size_t offset, size_t size, size_t i) const {
    const size_t next = nextCut_[offset + i] - offset;
    return next < size ? next : size;
  }

 private:
  std::string_view text_;
  std::vector<uint32_t> close_;        // per "(": where it closes, or kNone
  std::vector<uint32_t> calls_;        // from each position on: "(" that open a call
  std::vector<uint32_t> nonConstant_;  // from each position on: characters no constant holds
  std::vector<uint32_t> nextCut_;      // from each position: the next character that may split
  std::vector<uint32_t> closing_;      // while building: ")" not matched yet
};
