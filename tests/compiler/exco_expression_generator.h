// Random expression texts over the whole formula grammar, each built together with its
// value by a plain recursive long double interpreter of the same grammar, independent
// of the compiler. Used by the differential test (fixed seed, a few thousand texts) and
// by bench/exco_differential_bench (a long run before a compiler change lands).
//
// Every generated node carries its value, a bound of the error that Double temporaries
// and Double constant cells may add to it, and the fault that computing it raises. A
// text whose value depends on a rounding (a comparison or a domain edge within the
// error bound, or a magnitude near the Double range) is marked undecidable and skipped.
#pragma once

#include "compiler/exco_h.h"
#include "compiler/exco_lib.h"
#include "compiler/exco_library.h"
#include "compiler/native_call.h"
#include "tests/compiler/exco_host_variables.h"

#include <cfloat>
#include <cmath>
#include <exception>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace excotest {

// Any: two operands fault differently, and which one runs first decides the kind.
enum class Fault { None, ZeroDivide, Invalid, Any };

inline const char* faultName(Fault f) {
  return f == Fault::None ? "none" : f == Fault::ZeroDivide ? "zero divide" : f == Fault::Invalid ? "invalid operation" : "either fault";
}

struct Value {
  long double v = 0;
  long double err = 0;      // absolute error bound of the compiled value
  long double mag = 0;      // the largest term of the sums that led to it, scaled
  Fault fault = Fault::None;
  bool undecidable = false;
};

// Host variables of the generated texts: those of the other tests, with a third
// Double and a negative Integer.
struct GeneratorHost : HostVariables {
  double z = 2.5;
  GeneratorHost() {
    x = 0.7;
    y = -1.3;
    j = -2;
  }
  void bind() {
    HostVariables::bind();
    ExcoDefineVariable("z", &z, 28);
  }
};

namespace ref {

constexpr long double kEps = 0x1p-50L;  // a few Double ulps per operation
constexpr long double kLimit = 1e30L;   // beyond this a Double temporary may overflow

// v computed from operands of error err; exactOp: the long double operation itself was
// exact, so a result that a Double holds is exact in the compiled code too.
// magnitude: the largest operand, for a sum whose terms the compiler may take in another
// order (constant terms are folded into one, added first or last).
inline Value rounded(long double v, long double err, bool exactOp = true, long double magnitude = 0) {
  Value r;
  r.v = v;
  const bool exact = exactOp && v == static_cast<long double>(static_cast<double>(v));
  r.mag = std::max(std::fabs(v), magnitude);
  r.err = err + (exact && err == 0 ? 0 : kEps * r.mag);
  if (!std::isfinite(v) || std::fabs(v) > kLimit || !std::isfinite(r.err)) r.undecidable = true;
  return r;
}

inline Value withFault(Fault f) {
  Value r;
  r.fault = f;
  return r;
}

// A faulting or undecidable operand decides the result. Operands may run in any
// order, so two different faults leave either kind possible.
inline bool passOn(const Value& a, Value& out) {
  if (a.fault == Fault::None && !a.undecidable) return false;
  if (out.undecidable) return true;
  if (a.undecidable) out.undecidable = true;
  else if (out.fault == Fault::None) out.fault = a.fault;
  else if (out.fault != a.fault) out.fault = Fault::Any;
  return true;
}

inline bool passOn(const Value& a, const Value& b, Value& out) {
  const bool first = passOn(a, out);
  const bool second = passOn(b, out);
  return first || second;
}

inline long double magnitude(const Value& a) { return std::max(a.mag, std::fabs(a.v)); }

inline Value add(const Value& a, const Value& b, bool subtract) {
  Value out;
  if (passOn(a, b, out)) return out;
  const long double b2 = subtract ? -b.v : b.v;
  const long double r = a.v + b2;
  // Terms may be summed in another order, so a sum is exact only of whole numbers.
  const auto whole = [](long double t) { return t == std::trunc(t) && std::fabs(t) < 0x1p52L; };
  const bool exact = whole(a.v) && whole(b.v) && whole(r) && whole(a.mag) && whole(b.mag);
  return rounded(r, a.err + b.err, exact, std::max(magnitude(a), magnitude(b)));
}

inline Value mul(const Value& a, const Value& b) {
  Value out;
  if (passOn(a, b, out)) return out;
  const long double r = a.v * b.v;
  return rounded(r, std::fabs(a.v) * b.err + std::fabs(b.v) * a.err + a.err * b.err, std::fmal(a.v, b.v, -r) == 0,
                 std::max(magnitude(a) * std::fabs(b.v), magnitude(b) * std::fabs(a.v)));
}

inline Value div(const Value& a, const Value& b) {
  Value out;
  if (passOn(a, b, out)) return out;
  if (std::fabs(b.v) <= b.err) {
    if (b.err != 0 || b.v != 0) return out.undecidable = true, out;
    return withFault(a.v == 0 ? Fault::Invalid : Fault::ZeroDivide);
  }
  const long double q = a.v / b.v;
  // A division by a constant runs as a product with its reciprocal, kept in a Double cell.
  return rounded(q, (a.err + std::fabs(q) * b.err) / (std::fabs(b.v) - b.err), false, magnitude(a) / std::fabs(b.v));
}

// A function of one value: its domain decides the fault, its spread over the error
// interval of the argument the error bound.
struct Unary {
  std::function<long double(long double)> f;
  // The fault of an argument outside the domain, or None inside it.
  std::function<Fault(long double)> domain = [](long double) { return Fault::None; };
  // The error of the routine's own formula at v, beyond a rounding of its result: the
  // inverse hyperbolics take a logarithm near 1 for a small argument, which loses its
  // low digits.
  std::function<long double(long double)> absolute = [](long double) { return 0.0L; };
  // The result is exact (abs, trunc, frac, sign): a Double result stays exact.
  bool exact = false;
  bool steps = false;
};

inline Fault anywhere(long double) { return Fault::None; }
inline long double nearOne(long double) { return 1e-18L; }
// fsin, fcos and fptan reduce their argument with a 66-bit pi: near a pole of tan the
// reduced argument's error of about |v| 2^-64 shows in the result.
inline std::function<long double(long double)> reduced(long double (*f)(long double)) {
  return [f](long double v) { return 4 * std::fabs(f(v + std::fabs(v) * 0x1p-63L) - f(v)); };
}
inline long double cotangent(long double v) { return 1 / std::tan(v); }
inline long double sine(long double v) { return std::sin(v); }
inline long double cosine(long double v) { return std::cos(v); }
inline long double tangent(long double v) { return std::tan(v); }
inline Unary exactly(std::function<long double(long double)> f) { return {std::move(f), anywhere, [](long double) { return 0.0L; }, true}; }
// trunc and frac: exact, but a step wherever the argument's error may cross a whole
// number (or where the argument no longer holds its fraction at all).
inline Unary stepping(std::function<long double(long double)> f) {
  Unary u = exactly(std::move(f));
  u.steps = true;
  return u;
}

inline Value apply(const Unary& u, const Value& a) {
  Value out;
  if (passOn(a, out)) return out;
  const Fault at = u.domain(a.v);
  if (a.err > 0 && (u.domain(a.v - a.err) != at || u.domain(a.v + a.err) != at)) return out.undecidable = true, out;
  if (at != Fault::None) return withFault(at);
  if (u.steps && (std::fabs(a.v) > 1e12L || std::trunc(a.v - a.err) != std::trunc(a.v + a.err))) return out.undecidable = true, out;
  const long double r = u.f(a.v);
  long double spread = 0;
  if (a.err > 0) spread = std::max(std::fabs(u.f(a.v - a.err) - r), std::fabs(u.f(a.v + a.err) - r));
  return rounded(r, 2 * spread + u.absolute(a.v), u.exact);
}

}  // namespace ref

// One generated text with its value.
struct Generated {
  std::string text;
  Value value;
  int precedence = 3;      // 0 sum, 1 product, 2 power, 3 atom
  bool constant = true;    // uses no variable
  bool hasBar = false;     // holds |...|, which cannot nest inside another
};

class ExpressionGenerator {
 public:
  explicit ExpressionGenerator(uint32_t seed, int maxDepth = 5) : rng_(seed), maxDepth_(maxDepth) {}

  Generated next() { return expression(0); }

 private:
  std::mt19937 rng_;
  int maxDepth_;
  GeneratorHost host_;  // the values only; the test binds its own instance

  size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  bool chance(int percent) { return static_cast<int>(pick(100)) < percent; }

  static Generated leaf(std::string text, long double v, bool constant, int precedence = 3) {
    Generated g;
    g.text = std::move(text);
    g.value = ref::rounded(v, 0);
    g.constant = constant;
    g.precedence = precedence;
    return g;
  }

  // Pieces appended into one text (GCC 12 at -O3 warns falsely on "literal" + string).
  static std::string joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts) out.append(p);
    return out;
  }

  // Wraps g in brackets when it binds looser than needed.
  static std::string at(const Generated& g, int precedence) {
    return g.precedence >= precedence ? g.text : "(" + g.text + ")";
  }

  // A constant subtree is folded while the text is read, so a fault in it fails the
  // compile wherever it stands; such subtrees are drawn again.
  template <class Make>
  Generated avoidingConstantFaults(Make make) {
    for (int attempt = 0; attempt < 8; ++attempt) {
      Generated g = make();
      if (!(g.constant && (g.value.fault != Fault::None || g.value.undecidable))) return g;
    }
    return number();
  }

  Generated number() {
    static const char* const texts[] = {"0", "1", "2", "3", "4", "10", "0.5", "0.25", "1.5", "2.5", "7", "100", "0.1", "1e-3", "2E1"};
    // Read as Extended, kept in a Double cell.
    const char* t = texts[pick(std::size(texts))];
    Generated g = leaf(t, std::strtold(t, nullptr), true);
    g.value.err = std::fabs(g.value.v - static_cast<long double>(static_cast<double>(g.value.v)));
    return g;
  }

  Generated variable() {
    switch (pick(7)) {
      case 0: return leaf("x", host_.x, false);
      case 1: return leaf("y", host_.y, false);
      case 2: return leaf("z", host_.z, false);
      case 3: return leaf("i", host_.i, false);
      case 4: return leaf("j", host_.j, false);
      case 5: {
        // An element: indexes that stay within the array's four elements.
        static const struct { const char* index; int value; } indexes[] = {
            {"0", 0}, {"3", 3}, {"i", 3}, {"i-1", 2}, {"j+3", 1}, {"2*i-5", 1}, {"x*2", 1}, {"z", 2},
            {"if(x<y,0,2)", 2}, {"-j", 2}, {"0.5*i", 1},
        };
        const auto& k = indexes[pick(std::size(indexes))];
        const bool brackets = chance(50);
        return leaf(std::string("a") + (brackets ? "[" : "(") + k.index + (brackets ? "]" : ")"), host_.storage.elements[k.value], false);
      }
      default: return chance(50) ? leaf("x", host_.x, false) : leaf("y", host_.y, false);
    }
  }

  Generated operand(int depth) {
    if (depth >= maxDepth_ || chance(depth * 12 + 10)) return chance(55) ? variable() : number();
    switch (pick(10)) {
      case 0:
      case 1: return call(depth + 1);
      case 2: return conditional(depth + 1);
      case 3: return listCall(depth + 1);
      case 4: return notation(depth + 1);
      case 5: return linearAround(depth + 1);
      default: {
        Generated inner = expression(depth + 1);
        inner.text = "(" + inner.text + ")";
        inner.precedence = 3;
        return inner;
      }
    }
  }

  // A constant coefficient or addend around an operand: 2*e+1, 10-e, e/4, -e.
  Generated linearAround(int depth) {
    Generated e = operand(depth);
    Generated out;
    out.constant = e.constant;
    out.hasBar = e.hasBar;
    const Value two = ref::rounded(2, 0), one = ref::rounded(1, 0), ten = ref::rounded(10, 0), four = ref::rounded(4, 0);
    switch (pick(5)) {
      case 0:
        out.text = "2*" + at(e, 2) + "+1";
        out.value = ref::add(ref::mul(two, e.value), one, false);
        out.precedence = 0;
        break;
      case 1:
        out.text = "10-" + at(e, 1);
        out.value = ref::add(ten, e.value, true);
        out.precedence = 0;
        break;
      case 2:
        out.text = at(e, 2) + "/4";
        out.value = ref::div(e.value, four);
        out.precedence = 1;
        break;
      case 3:
        out.text = at(e, 2) + "*2-1";
        out.value = ref::add(ref::mul(e.value, two), one, true);
        out.precedence = 0;
        break;
      default:
        out.text = joined({"-", at(e, 2)});
        out.value = ref::mul(ref::rounded(-1, 0), e.value);
        out.precedence = 0;
        break;
    }
    return out;
  }

  Generated expression(int depth) {
    return avoidingConstantFaults([&] { return sum(depth); });
  }

  Generated sum(int depth) {
    Generated first = product(depth);
    const size_t terms = depth >= maxDepth_ ? 0 : pick(3);
    if (terms == 0) return first;
    Generated out = first;
    out.text = at(first, 0);
    for (size_t k = 0; k < terms; ++k) {
      Generated t = product(depth + 1);
      const bool subtract = chance(50);
      out.text += subtract ? "-" : "+";
      out.text += at(t, 1);
      out.value = ref::add(out.value, t.value, subtract);
      out.constant = out.constant && t.constant;
      out.hasBar = out.hasBar || t.hasBar;
    }
    out.precedence = 0;
    return out;
  }

  Generated product(int depth) {
    Generated first = power(depth);
    const size_t factors = depth >= maxDepth_ ? 0 : pick(3);
    if (factors == 0) return first;
    Generated out = first;
    out.text = at(first, 1);
    // Constant factors are folded while the text is read, so a constant divisor 0
    // fails the compile whatever the other factors do; it is drawn again.
    bool zeroFactor = first.value.fault == Fault::None && std::fabs(first.value.v) <= first.value.err;
    bool zeroDivisor = false;
    for (size_t k = 0; k < factors; ++k) {
      Generated f = avoidingConstantFaults([&] { return power(depth + 1); });
      const bool divide = chance(35) && !(f.constant && f.value.v == 0);
      const bool zero = f.value.fault == Fault::None && std::fabs(f.value.v) <= f.value.err;
      (divide ? zeroDivisor : zeroFactor) = (divide ? zeroDivisor : zeroFactor) || zero;
      // A sign right after the operator is the factor's own.
      const bool sign = chance(10);
      out.text += std::string(divide ? "/" : "*") + (sign ? "-" : "") + at(f, 2);
      const Value factor = sign ? ref::mul(ref::rounded(-1, 0), f.value) : f.value;
      out.value = divide ? ref::div(out.value, factor) : ref::mul(out.value, factor);
      out.constant = out.constant && f.constant;
      out.hasBar = out.hasBar || f.hasBar;
    }
    if (out.constant && (out.value.fault != Fault::None || out.value.undecidable)) return number();
    // Factors may be taken in another order: 0/0 instead of x/0.
    if (out.value.fault != Fault::None && zeroDivisor && zeroFactor) out.value.fault = Fault::Any;
    out.precedence = 1;
    return out;
  }

  static Value powerValue(const Value& base, const Value& exponent) {
    Value out;
    if (ref::passOn(base, exponent, out)) return out;
    const bool whole = exponent.err == 0 && exponent.v == std::trunc(exponent.v);
    if (base.v == 0 && base.err == 0) {
      if (std::fabs(exponent.v) <= exponent.err && exponent.err > 0) return out.undecidable = true, out;
      if (exponent.v < 0) return ref::withFault(Fault::ZeroDivide);
      return ref::rounded(exponent.v == 0 ? 1 : 0, 0);
    }
    if (std::fabs(base.v) <= base.err) return out.undecidable = true, out;
    if (base.v < 0 && !whole) {
      if (std::fabs(exponent.v - std::round(exponent.v)) <= exponent.err) return out.undecidable = true, out;
      return ref::withFault(Fault::Invalid);
    }
    const long double r = std::pow(base.v, exponent.v);
    const long double logBase = std::log(std::fabs(base.v));
    const long double err = std::fabs(r) * (std::fabs(exponent.v) * base.err / std::fabs(base.v) + std::fabs(logBase) * exponent.err);
    return ref::rounded(r, 2 * err, false);
  }

  Generated power(int depth) {
    if (depth >= maxDepth_ || chance(70)) return signedOperand(depth);
    Generated base = operand(depth + 1);
    Generated exponent;
    static const char* const constants[] = {"2", "-2", "0.5", "-1", "3", "5", "-4", "16", "-16", "20", "2.5", "0", "1"};
    switch (pick(4)) {
      case 0:
      case 1: {
        const char* t = constants[pick(std::size(constants))];
        exponent = leaf(t, std::strtod(t, nullptr), true);
        break;
      }
      case 2: exponent = chance(50) ? leaf("i", host_.i, false) : leaf("j", host_.j, false); break;
      default: exponent = operand(depth + 1); break;
    }
    Generated out;
    // The character right after "^" is the exponent's own, so a sign needs no bracket.
    out.text = at(base, 2) + "^" + (exponent.text[0] == '-' && exponent.precedence == 3 ? exponent.text : at(exponent, 3));
    if (chance(30)) out.text = "power(" + base.text + "," + exponent.text + ")";
    out.value = powerValue(base.value, exponent.value);
    out.constant = base.constant && exponent.constant;
    out.hasBar = base.hasBar || exponent.hasBar;
    out.precedence = out.text.compare(0, 6, "power(") == 0 ? 3 : 2;
    return out;
  }

  Generated signedOperand(int depth) {
    Generated g = operand(depth);
    if (!chance(12)) return g;
    g.text = joined({"-", at(g, 2)});
    g.value = ref::mul(ref::rounded(-1, 0), g.value);
    g.precedence = 0;
    return g;
  }

  struct UnaryEntry {
    std::vector<const char*> names;
    ref::Unary fn;
  };

  static const std::vector<UnaryEntry>& unaryFunctions() {
    using ref::Unary;
    auto below = [](long double edge, Fault f) { return [=](long double v) { return v < edge ? f : Fault::None; }; };
    auto logDomain = [](long double v) { return v < 0 ? Fault::Invalid : v == 0 ? Fault::ZeroDivide : Fault::None; };
    auto unit = [](long double v) { return std::fabs(v) > 1 ? Fault::Invalid : Fault::None; };
    auto nonZero = [](long double v) { return v == 0 ? Fault::ZeroDivide : Fault::None; };
    auto trig = [](long double v) { return std::fabs(v) > 1e3L ? Fault::Invalid : Fault::None; };  // drawn again
    // tanh and cotanh are computed from e^2x, which leaves the Extended range first.
    auto large = [](long double v) { return std::fabs(v) > 5000 ? Fault::Invalid : Fault::None; };  // drawn again
    static const std::vector<UnaryEntry> table = {
        {{"sqr"}, {[](long double v) { return v * v; }}},
        {{"sqrt"}, {[](long double v) { return std::sqrt(v); }, below(0, Fault::Invalid)}},
        {{"ln"}, {[](long double v) { return std::log(v); }, logDomain}},
        {{"exp"}, {[](long double v) { return std::exp(v); }, [](long double v) { return v > 60 ? Fault::Invalid : Fault::None; }}},
        {{"log2", "lg2"}, {[](long double v) { return std::log2(v); }, logDomain}},
        {{"log10", "lg"}, {[](long double v) { return std::log10(v); }, logDomain}},
        {{"sin"}, {ref::sine, trig, ref::reduced(ref::sine)}},
        {{"cos"}, {ref::cosine, trig, ref::reduced(ref::cosine)}},
        {{"tan", "tg"}, {ref::tangent, trig, ref::reduced(ref::tangent)}},
        {{"cotan", "ctg", "cot"}, {ref::cotangent, [=](long double v) { return v == 0 ? nonZero(v) : trig(v); }, ref::reduced(ref::cotangent)}},
        {{"arcsin", "asin"}, {[](long double v) { return std::asin(v); }, unit}},
        {{"arccos", "acos"}, {[](long double v) { return std::acos(v); }, unit}},
        {{"arctan", "arctg", "atan"}, {[](long double v) { return std::atan(v); }}},
        {{"arccotan", "arcctg", "acot"}, {[](long double v) { return 1.57079632679489661923132169163975144L - std::atan(v); }}},
        {{"sinh", "sh"}, {[](long double v) { return std::sinh(v); }, [](long double v) { return std::fabs(v) > 60 ? Fault::Invalid : Fault::None; }}},
        {{"cosh", "ch"}, {[](long double v) { return std::cosh(v); }, [](long double v) { return std::fabs(v) > 60 ? Fault::Invalid : Fault::None; }}},
        {{"tanh", "th"}, {[](long double v) { return std::tanh(v); }, large}},
        {{"cotanh", "cth", "coth"}, {[](long double v) { return 1 / std::tanh(v); }, [](long double v) { return v == 0 ? Fault::ZeroDivide : std::fabs(v) > 5000 ? Fault::Invalid : Fault::None; }}},
        {{"arcsinh", "arcsh", "asinh"}, {[](long double v) { return std::asinh(v); }, ref::anywhere, ref::nearOne}},
        {{"arccosh", "arcch", "acosh"}, {[](long double v) { return std::acosh(v); }, below(1, Fault::Invalid), ref::nearOne}},
        {{"arctanh", "arcth", "atanh"}, {[](long double v) { return std::atanh(v); },
                                         [](long double v) { return std::fabs(v) == 1 ? Fault::ZeroDivide : std::fabs(v) > 1 ? Fault::Invalid : Fault::None; }, ref::nearOne}},
        {{"abs"}, ref::exactly([](long double v) { return std::fabs(v); })},
        {{"trunc"}, ref::stepping([](long double v) { return std::trunc(v); })},
        {{"frac"}, ref::stepping([](long double v) { return v - std::trunc(v); })},
        {{"sign", "sgn"}, ref::exactly([](long double v) { return static_cast<long double>((v > 0) - (v < 0)); })},
    };
    return table;
  }

  // Functions whose domain edge the generator keeps away from: a fault there is drawn again.
  static bool redrawn(const char* name, Fault f) {
    const std::string n = name;
    return f != Fault::None && (n == "exp" || n == "sin" || n == "cos" || n == "tan" || n == "tg" || n == "sinh" ||
                                n == "sh" || n == "cosh" || n == "ch" || n == "tanh" || n == "th" ||
                                (f == Fault::Invalid && (n == "cotan" || n == "ctg" || n == "cot")) ||
                                (f == Fault::Invalid && (n == "cotanh" || n == "cth" || n == "coth")));
  }

  Generated call(int depth) {
    for (int attempt = 0; attempt < 8; ++attempt) {
      Generated g = callOnce(depth);
      if (!g.text.empty()) return g;
    }
    return number();
  }

  Generated callOnce(int depth) {
    Generated out;
    out.precedence = 3;
    const size_t kind = pick(10);
    if (kind < 7) {
      const UnaryEntry& u = unaryFunctions()[pick(unaryFunctions().size())];
      const char* name = u.names[pick(u.names.size())];
      Generated arg = expression(depth);
      out.value = ref::apply(u.fn, arg.value);
      if (redrawn(name, out.value.fault) || (arg.constant && out.value.fault != Fault::None)) return {};
      out.text = std::string(name) + "(" + arg.text + ")";
      out.constant = arg.constant;
      out.hasBar = arg.hasBar;
      return out;
    }
    if (kind == 7) {
      // fact and fact2 of small whole numbers.
      static const struct { const char* text; int value; } args[] = {{"3", 3}, {"i", 3}, {"i+1", 4}, {"0", 0}, {"j+4", 2}, {"5", 5}, {"3.9", 3}};
      const auto& k = args[pick(std::size(args))];
      const bool two = chance(40);
      long double r = 1;
      for (int n = k.value; n > 1; n -= two ? 2 : 1) r *= n;
      const bool postfix = chance(50);
      std::string argText = k.text;
      out.text = postfix ? "(" + argText + ")" + (two ? "!!" : "!") : std::string(two ? "fact2(" : "fact(") + argText + ")";
      out.value = ref::rounded(r, 0);
      out.constant = std::string(k.text).find_first_of("ij") == std::string::npos;
      return out;
    }
    if (kind == 8) {
      // root of a positive base; logn of a positive argument to a base away from 1.
      Generated v = expression(depth);
      Value abs = ref::apply(ref::exactly([](long double t) { return std::fabs(t); }), v.value);
      Value base = ref::add(abs, ref::rounded(1, 0), false);
      static const char* const degrees[] = {"2", "3", "4", "5", "2.5"};
      const char* d = degrees[pick(std::size(degrees))];
      const long double degree = std::strtod(d, nullptr);
      const std::string baseText = "abs(" + v.text + ")+1";
      if (chance(50)) {
        out.text = "root(" + baseText + "," + d + ")";
        out.value = ref::apply({[=](long double t) { return std::pow(t, 1 / degree); }}, base);
      } else {
        out.text = std::string(chance(50) ? "logn(" : "log(") + d + "," + baseText + ")";
        out.value = ref::apply({[=](long double t) { return std::log(t) / std::log(degree); }}, base);
      }
      out.constant = v.constant;
      out.hasBar = v.hasBar;
      return out;
    }
    // A function of a function of the same argument, the pairs the optimiser shares.
    Generated arg = operand(depth);
    static const char* const pairs[][2] = {{"sin", "cos"}, {"tan", "cotan"}, {"sh", "ch"}, {"exp", "th"}, {"sin", "sin"}};
    const auto& p = pairs[pick(std::size(pairs))];
    const auto find = [](const char* name) -> const ref::Unary& {
      for (const UnaryEntry& u : unaryFunctions())
        for (const char* n : u.names)
          if (std::string(n) == name) return u.fn;
      throw std::logic_error(name);
    };
    const Value first = ref::apply(find(p[0]), arg.value);
    const Value second = ref::apply(find(p[1]), arg.value);
    if (first.fault != Fault::None || second.fault != Fault::None) return {};
    const bool added = chance(50);
    out.text = std::string(p[0]) + "(" + arg.text + ")" + (added ? "+" : "*") + p[1] + "(" + arg.text + ")";
    out.value = added ? ref::add(first, second, false) : ref::mul(first, second);
    out.constant = arg.constant;
    out.hasBar = arg.hasBar;
    out.precedence = added ? 0 : 1;
    return out;
  }

  static Value listValue(const std::string& name, const std::vector<Value>& values) {
    Value out;
    // The length of a list is its count: no value of it is computed.
    if (name == "len") return ref::rounded(static_cast<long double>(values.size()), 0);
    bool faulted = false;
    for (const Value& v : values) faulted = ref::passOn(v, out) || faulted;
    if (faulted) return out;
    Value acc = ref::rounded(name == "prod" ? 1 : 0, 0);
    if (name == "max" || name == "min") acc = values.front();
    for (size_t k = 0; k < values.size(); ++k) {
      const Value& v = values[k];
      if (name == "sum" || name == "avr" || name == "avg") acc = ref::add(acc, v, false);
      else if (name == "sumq" || name == "norm") acc = ref::add(acc, ref::mul(v, v), false);
      else if (name == "prod") acc = ref::mul(acc, v);
      else if (k > 0) {
        if (std::fabs(v.v - acc.v) <= v.err + acc.err && (v.err + acc.err) > 0 && v.v != acc.v) return out.undecidable = true, out;
        if ((name == "max") == (v.v > acc.v)) acc = v;
      }
    }
    if (name == "avr" || name == "avg") acc = ref::div(acc, ref::rounded(static_cast<long double>(values.size()), 0));
    if (name == "norm") acc = ref::apply({[](long double t) { return std::sqrt(t); }}, acc);
    return acc;
  }

  Generated listCall(int depth) {
    static const char* const names[] = {"sum", "sumq", "avr", "avg", "len", "max", "min", "norm", "prod"};
    const std::string name = names[pick(std::size(names))];
    Generated out;
    out.precedence = 3;
    std::vector<Value> values;
    if (chance(25)) {
      out.text = name + "(a)";
      for (double e : host_.storage.elements) values.push_back(ref::rounded(e, 0));
      out.constant = false;
    } else {
      const size_t count = 1 + pick(4);
      out.text = name + "(";
      for (size_t k = 0; k < count; ++k) {
        Generated g = expression(depth);
        out.text += (k ? "," : "") + g.text;
        values.push_back(g.value);
        out.constant = out.constant && g.constant;
        out.hasBar = out.hasBar || g.hasBar;
      }
      out.text += ")";
    }
    out.value = listValue(name, values);
    // Nothing of a list's values is compiled for its length.
    if (name == "len") out.constant = true;
    return out;
  }

  Generated conditional(int depth) {
    static const struct { const char* text; int relation; } relations[] = {
        {"=", 0}, {"<>", 1}, {">", 2}, {"<", 3}, {">=", 4}, {"=>", 4}, {"<=", 5}, {"=<", 5},
    };
    const auto& r = relations[pick(std::size(relations))];
    Generated left = chance(30) ? variable() : sum(depth);
    Generated right = chance(40) ? number() : sum(depth);
    const size_t values = 1 + pick(3);
    Generated a = values >= 2 ? expression(depth) : leaf("1", 1, true);
    Generated b = values >= 3 ? expression(depth) : leaf("0", 0, true);
    Generated out;
    out.precedence = 3;
    out.text = "if(" + left.text + r.text + right.text + (values >= 2 ? "," + a.text : "") + (values >= 3 ? "," + b.text : "") + ")";
    out.constant = left.constant && right.constant && a.constant && b.constant;
    out.hasBar = left.hasBar || right.hasBar || a.hasBar || b.hasBar;
    Value cond;
    if (ref::passOn(left.value, right.value, cond)) {
      out.value = cond;
      return out;
    }
    const long double l = left.value.v, rv = right.value.v, tolerance = left.value.err + right.value.err;
    if (tolerance > 0 && std::fabs(l - rv) <= tolerance) {
      out.value.undecidable = true;
      return out;
    }
    bool holds = false;
    switch (r.relation) {
      case 0: holds = l == rv; break;
      case 1: holds = l != rv; break;
      case 2: holds = l > rv; break;
      case 3: holds = l < rv; break;
      case 4: holds = l >= rv; break;
      default: holds = l <= rv; break;
    }
    out.value = holds ? a.value : b.value;
    return out;
  }

  // The bracket notations: |e|, [e], {e}.
  Generated notation(int depth) {
    Generated e = expression(depth);
    Generated out;
    out.precedence = 3;
    out.constant = e.constant;
    out.hasBar = e.hasBar;
    switch (pick(3)) {
      case 0:
        out.text = e.hasBar ? "abs(" + e.text + ")" : "|" + e.text + "|";
        out.hasBar = true;
        out.value = ref::apply(ref::exactly([](long double t) { return std::fabs(t); }), e.value);
        break;
      case 1:
        out.text = "[" + e.text + "]";
        out.value = ref::apply(ref::stepping([](long double t) { return std::trunc(t); }), e.value);
        break;
      default:
        out.text = "{" + e.text + "}";
        out.value = ref::apply(ref::stepping([](long double t) { return t - std::trunc(t); }), e.value);
        break;
    }
    return out;
  }
};

// What running a text through the compiler gave.
struct Outcome {
  bool compiled = false;
  int errorCode = 0;        // of a failed compile
  long double value = 0;
  Fault fault = Fault::None;
  std::string other;        // any other exception's text
};

inline Outcome runText(const std::string& text) {
  Outcome out;
  intptr_t handle = 0;
  try {
    ExcoCompile(text, nullptr, handle);
  } catch (const std::exception& e) {
    out.other = std::string("compile raised: ") + e.what();
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    return out;
  }
  ExcoGetError(out.errorCode);
  ExcoSetOption(exco_option::Zero, exco_option::Errors);
  if (handle == 0) {
    if (out.errorCode == 203) out.fault = Fault::ZeroDivide;
    if (out.errorCode == 204) out.fault = Fault::Invalid;
    return out;
  }
  out.compiled = true;
  try {
    out.value = ExcoRunRoutine(handle);
  } catch (const EExcoZeroDivide&) {
    out.fault = Fault::ZeroDivide;
  } catch (const EExcoInvalidOp&) {
    out.fault = Fault::Invalid;
  } catch (const std::exception& e) {
    out.other = std::string("run raised: ") + e.what();
  }
  ExcoSetOption(exco_option::Clear, handle);
  return out;
}

// Empty when the outcome agrees with the reference, else what differs.
inline std::string compare(const Generated& g, const Outcome& got) {
  const Value& want = g.value;
  if (!got.other.empty()) return got.other;
  if (want.fault != Fault::None || got.fault != Fault::None) {
    if (want.fault == got.fault || (want.fault == Fault::Any && got.fault != Fault::None)) return {};
    return std::string("fault ") + faultName(got.fault) + " (error " + std::to_string(got.errorCode) + "), expected " +
           faultName(want.fault) + (want.fault == Fault::None ? " and " + std::to_string(static_cast<double>(want.v)) : "");
  }
  if (!got.compiled) return "error " + std::to_string(got.errorCode);
  // A text without variables is run by the compile and kept as its printed value.
  const long double tolerance = 16 * want.err + (g.constant ? 1e-14L * std::fabs(want.v) : 0) + 1e-300L;
  if (std::fabs(got.value - want.v) <= tolerance) return {};
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "gives %.17Lg, expected %.17Lg (within %.3Lg)", got.value, want.v, tolerance);
  return buffer;
}

struct DifferentialReport {
  size_t texts = 0, compared = 0, undecidable = 0, faults = 0;
  std::vector<std::string> failures;
};

// Runs count texts of seed through the compiler with the optimiser on and off.
inline DifferentialReport RunDifferential(uint32_t seed, size_t count, int maxDepth = 4, size_t keepFailures = 20) {
  TExcoH& h = ExcoLibraryCompiler();
  ExpressionGenerator generator(seed, maxDepth);
  DifferentialReport report;
  for (size_t n = 0; n < count; ++n) {
    const Generated g = generator.next();
    ++report.texts;
    if (g.value.undecidable) {
      ++report.undecidable;
      continue;
    }
    ++report.compared;
    if (g.value.fault != Fault::None) ++report.faults;
    for (const bool optimise : {true, false}) {
      h.Optimise = optimise;
      h.CodeListOptimisation = optimise;
      const std::string difference = compare(g, runText(g.text));
      if (!difference.empty() && report.failures.size() < keepFailures)
        report.failures.push_back(std::string(optimise ? "optimised " : "plain ") + g.text + ": " + difference);
    }
  }
  h.Optimise = true;
  h.CodeListOptimisation = true;
  return report;
}

}  // namespace excotest
