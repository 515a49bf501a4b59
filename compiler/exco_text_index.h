// What the parser asks of every node text, answered from one pass over the preprocessed
// text: every node text is a view into it, so where a bracket closes, whether a view
// holds a call or a character that no constant holds, and where its next operator
// stands are found without scanning the view again in every node that holds it.
#pragma once

#include <array>
#include <cstdint>
#include <emmintrin.h>
#include <string>
#include <string_view>
#include <vector>

class TTextIndex {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  // Forgets the text: views of any other text are answered by scanning them.
  void Clear() { text_ = {}; }

  // What a character is to the index, as bits of a table that the caller gives.
  static constexpr uint8_t kConstant = 1;  // may stand in a constant text
  static constexpr uint8_t kCut = 2;       // may split a text: a sign, * /, a comma or a bracket (which must be one)
  static constexpr uint8_t kOpensCall = 4;  // a "(" after it starts an argument list or an index

  // Bits of the table above these are the caller's.
  static constexpr uint8_t kIndexBits = 7;

  // Indexes text in one pass from its start. A character whose kind holds any of the
  // caller's bits is first handed to rewrite(i, c, kind), which returns the character
  // that stands there once it has written it: so the last pass over a text that is
  // still being rewritten indexes it too.
  template <class Rewrite>
  void Build(std::string& text, const std::array<uint8_t, 256>& kinds, Rewrite&& rewrite) {
    const size_t n = text.size();
    char* const t = text.data();
    // The arrays only grow: texts of every length follow each other, and growing them
    // again each time would clear what is written over at once. The next cuts are
    // written four at a time, up to three past the last.
    if (counts_.size() <= n) {
      close_.resize(n + 1);
      counts_.resize(n + 1);
      nextCut_.resize(n + 4);
    }
    opening_.clear();
    openingCount_ = closingCount_ = 0;
    uint32_t* const close = close_.data();
    uint64_t* const counts = counts_.data();
    uint32_t* const next = nextCut_.data();
    uint64_t count = 0;
    size_t cutFrom = 0;  // the first position whose next cut is not known yet
    const auto cutAt = [&](size_t at) {
      const __m128i cut = _mm_set1_epi32(static_cast<int>(at));
      do {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(next + cutFrom), cut);
        cutFrom += 4;
      } while (cutFrom <= at);
      cutFrom = at + 1;
    };
    for (size_t i = 0; i < n; ++i) {
      counts[i] = count;
      char c = t[i];
      uint8_t kind = kinds[static_cast<unsigned char>(c)];
      if (kind & ~kIndexBits) {
        c = rewrite(i, c, kind);
        kind = kinds[static_cast<unsigned char>(c)];
      }
      count += (~kind) & kConstant;
      if (kind & kCut) {
        cutAt(i);
        if (c == '(') {
          close[i] = kNone;
          opening_.push_back(static_cast<uint32_t>(i));
          ++openingCount_;
          if (i > 0 && (kinds[static_cast<unsigned char>(t[i - 1])] & kOpensCall)) count += kOneCall;
        } else if (c == ')') {
          ++closingCount_;
          if (!opening_.empty()) {
            close[opening_.back()] = static_cast<uint32_t>(i);
            opening_.pop_back();
          }
        }
      }
    }
    counts[n] = count;
    if (cutFrom <= n) cutAt(n);
    text_ = text;
  }

  // Of the text last built: its "(" and its ")".
  size_t Opening() const { return openingCount_; }
  size_t Closing() const { return closingCount_; }

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
  bool HoldsCall(size_t offset, size_t size) const {
    return size > 1 && (counts_[offset + 1] >> 32) != (counts_[offset + size] >> 32);
  }
  bool HoldsNonConstant(size_t offset, size_t size) const {
    return static_cast<uint32_t>(counts_[offset]) != static_cast<uint32_t>(counts_[offset + size]);
  }
  // For a covered view: the index from i on of its first character that may split it,
  // or its size.
  size_t NextCut(size_t offset, size_t size, size_t i) const {
    const size_t next = nextCut_[offset + i] - offset;
    return next < size ? next : size;
  }

 private:
  std::string_view text_;
  // Before each position: "(" that open a call in the high half, characters that no
  // constant holds in the low half (a text is shorter than 2^32).
  static constexpr uint64_t kOneCall = uint64_t{1} << 32;
  std::vector<uint32_t> close_;    // per "(": where it closes, or kNone
  std::vector<uint64_t> counts_;
  std::vector<uint32_t> nextCut_;  // from each position: the next character that may split
  std::vector<uint32_t> opening_;  // while building: "(" not matched yet
  size_t openingCount_ = 0, closingCount_ = 0;
};
