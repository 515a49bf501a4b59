// Fuzz driver of the compiler: seeded random texts (bytes 1 to 255, up to 4 KB),
// token soups and mutations of typical formulas, compiled through the flat
// interface and run for a bounded time, with the control words checked after each.
// Set KELVO_FUZZ_SECONDS for a longer run by hand.
#pragma once

#include "compiler/exco_h.h"
#include "compiler/exco_lib.h"
#include "compiler/exco_library.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>
#include <vector>

struct ExcoFuzzReport {
  size_t texts = 0;
  size_t compiled = 0;
  size_t refused = 0;
  size_t raised = 0;  // an exception that the compile passes on to its caller
  size_t runFaults = 0;  // compiled texts whose run raised a fault
  std::vector<std::string> failures;
};

class ExcoFuzzer {
 public:
  explicit ExcoFuzzer(uint32_t seed) : rng_(seed) {}

  std::string next() {
    switch (pick(4)) {
      case 0: return randomBytes();
      case 1: return tokenSoup();
      default: return mutate(seeds()[pick(seeds().size())]);
    }
  }

 private:
  static constexpr size_t kMaxLength = 4096;
  std::mt19937 rng_;

  size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  // Mostly short, sometimes up to the limit.
  size_t length() { return pick(8) == 0 ? pick(kMaxLength + 1) : pick(64); }

  static const std::vector<std::string>& seeds() {
    static const std::vector<std::string> s = {
        "2*x+3*y+1", "sin(x)^2+cos(x)^2", "if(x>1,10,20)", "|x-1|*[y]+{x}", "5!+3!!", "a[2*i+1]-a[j]",
        "sum(a)/len(a)", "max(x,y,1)-min(a)", "power(x,y)+root(x,3)", "logn(2,x)*lg(y)", "x^-2*3-2^-i",
        "-(-(x))+((y))", "exp(-x^2/2)/sqrt(2*3.14159)", "if(x<>y,sum(1,x,y),0)", "1e-5*x+2.5E+3",
        "arctg(x)+arcctg(y)+sh(x)*ch(y)", "fact(i)+fact2(j)", "trunc(x)+frac(y)+abs(-x)+sign(y)",
        "(x+1)*(y-1)/(x*y+2)", "norm(x,y)+prod(a)+avg(1,2)", "lda(x)", "compile(x)",
    };
    return s;
  }

  std::string randomBytes() {
    std::string t(length(), ' ');
    for (char& c : t) c = static_cast<char>(1 + pick(255));
    return t;
  }

  std::string tokenSoup() {
    static const char* const tokens[] = {
        "x", "y", "i", "j", "a", "1", "0", "2.5", "1e3", "-", "+", "*", "/", "^", "!", "!!", "(", ")",
        "[", "]", "{", "}", "|", ",", "=", "<", ">", ">=", "<>", "sin(", "if(", "sum(", "max(", "len(",
        "power(", "root(", "lda(", "compile(", "fact(", "@@sumd(", "#JMP", "a[", "e", ".", "@@func",
    };
    const size_t count = length() / 2 + 1;
    std::string t;
    for (size_t k = 0; k < count && t.size() < kMaxLength; ++k) t += tokens[pick(std::size(tokens))];
    return t.substr(0, kMaxLength);
  }

  std::string mutate(std::string t) {
    const size_t steps = 1 + pick(6);
    for (size_t s = 0; s < steps; ++s) {
      const size_t at = t.empty() ? 0 : pick(t.size() + 1);
      switch (pick(5)) {
        case 0:
          if (!t.empty() && at < t.size()) t.erase(at, 1 + pick(3));
          break;
        case 1: t.insert(at, 1, static_cast<char>(1 + pick(255))); break;
        case 2: t.insert(at, 1, "()[]{}|!^+-*/,<>="[pick(17)]); break;
        case 3: t.insert(at, seeds()[pick(seeds().size())]); break;
        default: {
          const size_t times = 1 + pick(200);
          const std::string piece = t.substr(at, 1 + pick(8));
          for (size_t k = 0; k < times && t.size() < kMaxLength; ++k) t.insert(at, piece);
          break;
        }
      }
      if (t.size() > kMaxLength) t.resize(kMaxLength);
    }
    return t;
  }
};

// The control words of the x87 unit and of SSE, which no compile and no run may leave
// changed: the rest of the program computes under them.
inline uint32_t ExcoControlWords() {
  uint16_t x87 = 0;
  uint32_t sse = 0;
  asm volatile("fnstcw %0" : "=m"(x87));
  asm volatile("stmxcsr %0" : "=m"(sse));
  return (static_cast<uint32_t>(x87) << 16) ^ (sse & 0xFFC0u);  // without SSE's sticky flags
}

inline ExcoFuzzReport ExcoFuzz(uint32_t seed, std::chrono::milliseconds budget, size_t maxTexts) {
  if (const char* seconds = std::getenv("KELVO_FUZZ_SECONDS")) {
    budget = std::chrono::milliseconds(static_cast<long>(std::atof(seconds) * 1000));
    maxTexts = SIZE_MAX;
  }
  ExcoFuzzer fuzzer(seed);
  ExcoFuzzReport report;
  const auto end = std::chrono::steady_clock::now() + budget;
  const uint32_t words = ExcoControlWords();
  auto checkWords = [&](const char* when, const std::string& text) {
    if (ExcoControlWords() != words && report.failures.size() < 10)
      report.failures.push_back(std::string("control words changed by the ") + when + " of: " + text);
  };
  while (report.texts < maxTexts && std::chrono::steady_clock::now() < end) {
    const std::string text = fuzzer.next();
    ++report.texts;
    // The front end alone: the text parses or gives an error code.
    const int32_t parsed = ExcoLibraryCompiler().ParseOnly(text);
    int code = 0;
    ExcoGetError(code);
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    if (parsed != 0 && (code < 200 || code > 218) && report.failures.size() < 10)
      report.failures.push_back("parse code " + std::to_string(code) + " for: " + text);
    // The whole compile: a handle, an error code, or an exception for the caller.
    intptr_t handle = 0;
    try {
      ExcoCompile(text, nullptr, handle);
    } catch (const std::exception&) {
      ++report.raised;
      ExcoSetOption(exco_option::Zero, exco_option::Errors);
      checkWords("compile", text);
      continue;
    }
    checkWords("compile", text);
    ExcoGetError(code);
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    if (handle != 0 && code == 0) {
      // A run may fault; it reaches the caller as an exception and changes nothing else.
      try {
        ExcoRunRoutine(handle);
      } catch (const std::exception&) {
        ++report.runFaults;
      }
      checkWords("run", text);
    }
    if (handle != 0 && code == 0) ++report.compiled;
    else if (handle == 0 && code >= 200 && code <= 218) ++report.refused;
    else if (report.failures.size() < 10)
      report.failures.push_back("code " + std::to_string(code) + " handle " + std::to_string(handle) + " for: " + text);
    if (report.texts % 1000 == 0) ExcoSetOption(exco_option::Clear, exco_option::AllRoutines);
  }
  ExcoSetOption(exco_option::Clear, exco_option::AllRoutines);
  return report;
}
