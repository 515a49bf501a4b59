// The factorial tables and the routine addresses of the function table.
#include "compiler/exco_runtime.h"

#include <algorithm>
#include <array>
#include <mutex>

// Constant-initialised (all zero) before any code runs; filled once by the first
// ExcoFactTable() call, which the library start makes.
PackedExtended exco_fact_table[kFactCount];
PackedExtended exco_fact2_odd_table[kFact2Count];
PackedExtended exco_fact2_even_table[kFact2Count];

namespace {

void fillFactorialTables()
{
    Extended fact = 1;
    exco_fact_table[0] = fact;
    for (int n = 1; n < kFactCount; ++n) {
        fact *= n;
        exco_fact_table[n] = fact;
    }
    Extended odd = 1;
    Extended even = 1;
    exco_fact2_odd_table[0] = odd;
    exco_fact2_even_table[0] = even;
    for (int k = 1; k < kFact2Count; ++k) {
        odd *= 2 * k - 1;
        even *= 2 * k;
        exco_fact2_odd_table[k] = odd;
        exco_fact2_even_table[k] = even;
    }
}

template <class Routine>
intptr_t addressOf(Routine* routine)
{
    return reinterpret_cast<intptr_t>(routine);
}

// Declares the four routines of one vector function, by element type.
#define EXCO_VECTOR_ROUTINES(name)                                                    \
    extern "C" void name##Single();                                                   \
    extern "C" void name##Double();                                                   \
    extern "C" void name##Extended();                                                 \
    extern "C" void name##Integer();                                                  \
    static intptr_t name##ByType(int32_t arrayType)                                   \
    {                                                                                 \
        switch (arrayType) {                                                          \
        case vt::SingleArray: return addressOf(name##Single);                         \
        case vt::DoubleArray: return addressOf(name##Double);                         \
        case vt::ExtendedArray: return addressOf(name##Extended);                     \
        case vt::IntegerArray: return addressOf(name##Integer);                       \
        default: return 0;                                                            \
        }                                                                             \
    }

}  // namespace

EXCO_VECTOR_ROUTINES(RtVecSum)
EXCO_VECTOR_ROUTINES(RtVecSumSq)
EXCO_VECTOR_ROUTINES(RtVecAvr)
EXCO_VECTOR_ROUTINES(RtVecNorm)
EXCO_VECTOR_ROUTINES(RtVecMax)
EXCO_VECTOR_ROUTINES(RtVecMin)
EXCO_VECTOR_ROUTINES(RtVecProd)
#undef EXCO_VECTOR_ROUTINES

const PackedExtended* ExcoFactTable()
{
    static std::once_flag filled;
    std::call_once(filled, fillFactorialTables);
    return exco_fact_table;
}

const PackedExtended* ExcoOddFact2Table()
{
    ExcoFactTable();
    return exco_fact2_odd_table;
}

const PackedExtended* ExcoEvenFact2Table()
{
    ExcoFactTable();
    return exco_fact2_even_table;
}

intptr_t ExcoRuntimeRoutine(int32_t funcIndex)
{
    switch (funcIndex) {
    case fx::Exp: return addressOf(RtExp);
    case fx::ArcSin: return addressOf(RtArcSin);
    case fx::ArcCos: return addressOf(RtArcCos);
    case fx::Sinh: return addressOf(RtSinh);
    case fx::Cosh: return addressOf(RtCosh);
    case fx::Tanh: return addressOf(RtTanh);
    case fx::Cotanh: return addressOf(RtCoTanh);
    case fx::ArcSinh: return addressOf(RtArcSinh);
    case fx::ArcCosh: return addressOf(RtArcCosh);
    case fx::ArcTanh: return addressOf(RtArcTanh);
    case fx::ArcCotanh: return addressOf(RtArcCoTanh);
    case fx::LogN: return addressOf(RtLogN);
    case fx::FPWR: return addressOf(RtFPwr);
    case fx::Fact: return addressOf(RtFactLookup);
    case fx::IPWR: return addressOf(RtIPwr);
    case fx::FROOT: return addressOf(RtFRoot);
    case fx::IROOT: return addressOf(RtIRoot);
    case fx::Sign: return addressOf(RtSign);
    case fx::LenV: return addressOf(RtVecLen);
    case fx::SumD: return addressOf(RtListSum);
    case fx::SumQD: return addressOf(RtListSumSq);
    case fx::AvrD: return addressOf(RtListAvr);
    case fx::MaxD: return addressOf(RtListMax);
    case fx::MinD: return addressOf(RtListMin);
    case fx::NormD: return addressOf(RtListNorm);
    case fx::ProdD: return addressOf(RtListProd);
    case fx::Fact2: return addressOf(RtFact2Lookup);
    default: return 0;
    }
}

bool ExcoRoutineIsContained(intptr_t routine)
{
    static const std::array<intptr_t, 19> contained{
        addressOf(RtExp),     addressOf(RtArcSin),   addressOf(RtArcCos),     addressOf(RtSinh),
        addressOf(RtCosh),    addressOf(RtTanh),     addressOf(RtCoTanh),     addressOf(RtArcSinh),
        addressOf(RtArcCosh), addressOf(RtArcTanh),  addressOf(RtArcCoTanh),  addressOf(RtLogN),
        addressOf(RtFPwr),    addressOf(RtIPwr),     addressOf(RtFactLookup), addressOf(RtFact2Lookup),
        addressOf(RtSign),    addressOf(RtIRoot),    addressOf(RtFRoot)};
    return std::find(contained.begin(), contained.end(), routine) != contained.end();
}

intptr_t ExcoVectorRoutine(int32_t funcIndex, int32_t arrayType)
{
    switch (funcIndex) {
    case fx::SumV: return RtVecSumByType(arrayType);
    case fx::SumQV: return RtVecSumSqByType(arrayType);
    case fx::AvrV: return RtVecAvrByType(arrayType);
    case fx::NormV: return RtVecNormByType(arrayType);
    case fx::MaxV: return RtVecMaxByType(arrayType);
    case fx::MinV: return RtVecMinByType(arrayType);
    case fx::ProdV: return RtVecProdByType(arrayType);
    case fx::LenV: return vt::isArray(arrayType) ? addressOf(RtVecLen) : 0;
    default: return 0;
    }
}
