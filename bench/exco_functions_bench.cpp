// Compile and evaluation time of typical formulas: Kelvo's compiler, the same formula
// written as C++ (built with the program, g++ -O2), and muparser (Debian's
// libmuparser-dev, used here only as a yardstick).
//
// Compile: Kelvo's ExcoCompile of the text (and freeing the routine); muparser's
// SetExpr and its first Eval, which builds its byte code. C++ is compiled at build
// time. Evaluation: Kelvo's TExco::Calc (the guarded run of the routine), the C++
// function called through a pointer, muparser's Eval; every evaluation reads
// variables that change between calls. The geometric means at the end are those the
// compiler's goals are stated in, and the x87 instructions' own cost shows the floor of
// the formulas with transcendental functions.
#include "bench_support.h"
#include "compiler/exco.h"
#include "compiler/exco_lib.h"

#include <muParser.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double gX = 0.75, gY = 1.25, gZ = 2.5;

struct Formula {
    const char* label;
    std::string kelvo;
    std::string muparser;
    double (*native)();
};

// Keeps the optimiser from hoisting a variable read out of a loop.
inline void clobber() { asm volatile("" ::: "memory"); }

std::string twentyTerms(bool muparser)
{
    (void)muparser;
    std::string text;
    for (int k = 1; k <= 20; ++k) {
        if (k > 1)
            text += "+";
        const char* v = k % 3 == 0 ? "x" : k % 3 == 1 ? "y" : "z";
        text += std::to_string(k) + "*" + v;
    }
    return text;
}

double nativeTwentyTerms()
{
    const double x = gX, y = gY, z = gZ;
    return 1 * y + 2 * z + 3 * x + 4 * y + 5 * z + 6 * x + 7 * y + 8 * z + 9 * x + 10 * y + 11 * z + 12 * x +
           13 * y + 14 * z + 15 * x + 16 * y + 17 * z + 18 * x + 19 * y + 20 * z;
}

const char* kLongKelvo =
    "(x*x+y*y+z*z)/(1+x*y*z)+sin(x)*cos(y)-sqrt(x*x+1)*exp(-z/4)+ln(1+y*y)/(2+x)"
    "+(3*x-2*y+z)*(x-y*2+z*3)/7+abs(x-z)*0.5+(x+y)*(y+z)*(z+x)/100+arctan(x/(1+y))-1.25*z";
const char* kLongMuparser =
    "(x*x+y*y+z*z)/(1+x*y*z)+sin(x)*cos(y)-sqrt(x*x+1)*exp(-z/4)+ln(1+y*y)/(2+x)"
    "+(3*x-2*y+z)*(x-y*2+z*3)/7+abs(x-z)*0.5+(x+y)*(y+z)*(z+x)/100+atan(x/(1+y))-1.25*z";

std::vector<Formula> formulas()
{
    return {
        // The fixed cost of a guarded run, against which the short formulas are read.
        {"variable alone", "x", "x", [] { return gX; }},
        {"short linear", "2*x+3*y+1", "2*x+3*y+1", [] { return 2 * gX + 3 * gY + 1; }},
        {"polynomial", "3*x^4-2*x^3+x^2-5*x+7", "3*x^4-2*x^3+x^2-5*x+7",
         [] {
             const double x = gX;
             return 3 * x * x * x * x - 2 * x * x * x + x * x - 5 * x + 7;
         }},
        {"trigonometric mix", "sin(x)*cos(y)+tan(x/2)-sin(2*z)", "sin(x)*cos(y)+tan(x/2)-sin(2*z)",
         [] { return std::sin(gX) * std::cos(gY) + std::tan(gX / 2) - std::sin(2 * gZ); }},
        {"exp/log", "exp(-x^2/2)+ln(1+y)*log10(2+z)", "exp(-x^2/2)+ln(1+y)*log10(2+z)",
         [] { return std::exp(-gX * gX / 2) + std::log(1 + gY) * std::log10(2 + gZ); }},
        {"20-term sum", twentyTerms(false), twentyTerms(true), nativeTwentyTerms},
        {"nested if", "if(x>1,if(y>2,x+y,x-y),if(z>0,z*2,-z))", "x>1 ? (y>2 ? x+y : x-y) : (z>0 ? z*2 : -z)",
         [] { return gX > 1 ? (gY > 2 ? gX + gY : gX - gY) : (gZ > 0 ? gZ * 2 : -gZ); }},
        {"200-character formula", kLongKelvo, kLongMuparser,
         [] {
             const double x = gX, y = gY, z = gZ;
             return (x * x + y * y + z * z) / (1 + x * y * z) + std::sin(x) * std::cos(y) -
                    std::sqrt(x * x + 1) * std::exp(-z / 4) + std::log(1 + y * y) / (2 + x) +
                    (3 * x - 2 * y + z) * (x - y * 2 + z * 3) / 7 + std::fabs(x - z) * 0.5 +
                    (x + y) * (y + z) * (z + x) / 100 + std::atan(x / (1 + y)) - 1.25 * z;
         }},
        {"roots and powers", "sqrt(x*x+y*y)+power(z,2.5)+root(y,3)", "sqrt(x*x+y*y)+z^2.5+y^(1/3)",
         [] { return std::sqrt(gX * gX + gY * gY) + std::pow(gZ, 2.5) + std::cbrt(gY); }},
        {"hyperbolic", "sinh(x)+cosh(y)*tanh(z)", "sinh(x)+cosh(y)*tanh(z)",
         [] { return std::sinh(gX) + std::cosh(gY) * std::tanh(gZ); }},
        {"list functions", "max(x,y,z)-min(x,y,z)+sum(x,y,z)/3", "max(x,y,z)-min(x,y,z)+sum(x,y,z)/3",
         [] {
             return std::max({gX, gY, gZ}) - std::min({gX, gY, gZ}) + (gX + gY + gZ) / 3;
         }},
        {"inverse trigonometric", "arctan(y/x)+arcsin(x/4)+arccos(y/5)", "atan(y/x)+asin(x/4)+acos(y/5)",
         [] { return std::atan(gY / gX) + std::asin(gX / 4) + std::acos(gY / 5); }},
        {"sign and abs", "abs(x-y)+sign(z-1)*sqrt(abs(z))", "abs(x-y)+sign(z-1)*sqrt(abs(z))",
         [] { return std::fabs(gX - gY) + ((gZ > 1) - (gZ < 1)) * std::sqrt(std::fabs(gZ)); }},
    };
}

// Formulas whose time goes mostly to x87 transcendental instructions, which the
// generated code keeps: their ratio to native code has that floor.
bool transcendental(const Formula& f)
{
    static const std::vector<std::string> labels{"trigonometric mix", "exp/log", "200-character formula",
                                                 "roots and powers", "hyperbolic", "inverse trigonometric"};
    return std::find(labels.begin(), labels.end(), f.label) != labels.end();
}

struct GeometricMean {
    double logSum = 0;
    int count = 0;
    void add(double value)
    {
        logSum += std::log(value);
        ++count;
    }
    double value() const { return count > 0 ? std::exp(logSum / count) : 0; }
};

using Clock = std::chrono::steady_clock;

template <class Body>
double nanosecondsPer(int count, Body&& body)
{
    const auto start = Clock::now();
    for (int k = 0; k < count; ++k)
        body(k);
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count;
}

// The variables move a little between evaluations, so that nothing is computed once.
void vary(int k)
{
    gX = 0.75 + (k & 1023) * 1e-6;
    clobber();
}

// One x87 instruction on a value that moves a little between calls, against the C
// library's function of it: the floor of the transcendental formulas.
template <class Instruction, class Library>
void printX87Floor(const char* instruction, Instruction&& x87, const char* function, Library&& library, int count)
{
    volatile double sinkX87 = 0, sinkLibrary = 0;
    const double instructionNs = nanosecondsPer(count, [&](int k) {
        sinkX87 = sinkX87 + static_cast<double>(x87(0.25L + (k & 1023) * 1e-6L));
    });
    const double libraryNs = nanosecondsPer(count, [&](int k) {
        sinkLibrary = sinkLibrary + library(0.25 + (k & 1023) * 1e-6);
    });
    std::printf("  %-7s %8.1f ns   C library %-6s %6.1f ns\n", instruction, instructionNs, function, libraryNs);
}

long double x87Sin(long double v)
{
    asm volatile("fsin" : "+t"(v));
    return v;
}
long double x87Cos(long double v)
{
    asm volatile("fcos" : "+t"(v));
    return v;
}
long double x87Arctan(long double v)
{
    long double r = 0;
    asm volatile("fld1\n\tfpatan" : "=t"(r) : "0"(v));
    return r;
}
long double x87Exp2Minus1(long double v)
{
    asm volatile("f2xm1" : "+t"(v));
    return v;
}

}  // namespace

int main()
{
    ExcoDefineVariable("x", &gX, 28);
    ExcoDefineVariable("y", &gY, 28);
    ExcoDefineVariable("z", &gZ, 28);
    mu::Parser parser;
    parser.DefineVar("x", &gX);
    parser.DefineVar("y", &gY);
    parser.DefineVar("z", &gZ);

    const int kCompiles = kelvo::bench::sized(20000, 100);
    const int kEvaluations = kelvo::bench::sized(2000000, 1000);
    TExco exco;
    std::printf("%-22s %10s %10s %9s | %10s %10s %10s %9s %9s\n", "formula", "compile", "mu parse", "ratio",
                "Kelvo", "C++ -O2", "muparser", "K/C++", "mu/K");
    std::printf("%-22s %10s %10s %9s | %10s %10s %10s %9s %9s\n", "", "ns", "ns", "mu/K", "ns/eval", "ns/eval",
                "ns/eval", "", "");
    double worstNative = 0, worstArithmetic = 0, worstMuparser = 1e30;
    GeometricMean compileMean, parseMean, evalMean, arithmeticMean;
    for (const Formula& f : formulas()) {
        intptr_t handle = 0;
        const double compile = nanosecondsPer(kCompiles, [&](int) {
            ExcoCompile(f.kelvo, nullptr, handle);
            ExcoSetOption(exco_option::Clear, handle);
        });
        double parsed = 0;
        const double parse = nanosecondsPer(kCompiles, [&](int) {
            parser.SetExpr(f.muparser);
            parsed += parser.Eval();
        });

        ExcoCompile(f.kelvo, nullptr, handle);
        int code = 0;
        ExcoGetError(code);
        if (handle == 0) {
            std::printf("%-22s compile error %d\n", f.label, code);
            continue;
        }
        void* routine = reinterpret_cast<void*>(handle);
        // Each loop keeps its values as a host keeps a variable, in a double: an 80-bit
        // sink would put a slow long double store and reload on Kelvo's loop alone.
        volatile double sinkKelvo = 0, sinkNative = 0, sinkMu = 0;
        const double kelvo = nanosecondsPer(kEvaluations, [&](int k) {
            vary(k);
            sinkKelvo = sinkKelvo + static_cast<double>(exco.Calc(routine));
        });
        double (*volatile native)() = f.native;
        const double cpp = nanosecondsPer(kEvaluations, [&](int k) {
            vary(k);
            sinkNative = sinkNative + native();
        });
        parser.SetExpr(f.muparser);
        const double mu = nanosecondsPer(kEvaluations, [&](int k) {
            vary(k);
            sinkMu = sinkMu + parser.Eval();
        });
        // The three must agree, or the comparison means nothing.
        gX = 0.75;
        const double a = static_cast<double>(exco.Calc(routine)), b = f.native(), c = parser.Eval();
        const bool agree = std::fabs(a - b) <= 1e-12 * std::max(1.0, std::fabs(b)) &&
                           std::fabs(c - b) <= 1e-12 * std::max(1.0, std::fabs(b));
        ExcoSetOption(exco_option::Clear, handle);
        worstNative = std::max(worstNative, kelvo / cpp);
        compileMean.add(compile);
        parseMean.add(parse);
        evalMean.add(kelvo / cpp);
        if (!transcendental(f)) {
            arithmeticMean.add(kelvo / cpp);
            worstArithmetic = std::max(worstArithmetic, kelvo / cpp);
        }
        worstMuparser = std::min(worstMuparser, mu / kelvo);
        std::printf("%-22s %10.0f %10.0f %9.2f | %10.1f %10.1f %10.1f %9.2f %9.2f%s\n", f.label, compile, parse,
                    parse / compile, kelvo, cpp, mu, kelvo / cpp, mu / kelvo, agree ? "" : "  (values differ)");
    }
    std::printf("\nworst Kelvo/C++ evaluation ratio %.2f; smallest muparser/Kelvo evaluation ratio %.2f\n",
                worstNative, worstMuparser);
    std::printf("geometric means: compile %.0f ns (muparser %.0f ns); Kelvo/C++ evaluation %.2f, "
                "%.2f over the formulas without transcendental functions (worst %.2f)\n",
                compileMean.value(), parseMean.value(), evalMean.value(), arithmeticMean.value(), worstArithmetic);
    std::printf("x87 transcendental instructions against the C library:\n");
    const int kFloorCalls = kelvo::bench::sized(2000000, 1000);
    printX87Floor("fsin", x87Sin, "sin", [](double v) { return std::sin(v); }, kFloorCalls);
    printX87Floor("fcos", x87Cos, "cos", [](double v) { return std::cos(v); }, kFloorCalls);
    printX87Floor("fpatan", x87Arctan, "atan", [](double v) { return std::atan(v); }, kFloorCalls);
    printX87Floor("f2xm1", x87Exp2Minus1, "exp2", [](double v) { return std::exp2(v) - 1; }, kFloorCalls);
    return 0;
}
