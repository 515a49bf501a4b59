// The runtime math routines that generated code calls, and the factorial tables they
// and the "fact" template read.
//
// The routines live in exco_runtime_x86_64.S. They are not C functions: each takes its
// arguments on the x87 stack and in rax, rdi and esi and returns one Extended value in
// ST(0) (the file's header gives the contract); C++ only takes their addresses.
#pragma once

#include "compiler/exco_types.h"
#include "compiler/host_array.h"

#include <cstdint>

// Factorial tables: n! for n = 0..1754, and (2k-1)!! and (2k)!! for k = 0..1603, each
// value packed in 10 bytes, so that element n lies at table + 10 n.
constexpr int kFactCount = 1755;
constexpr int kFact2Count = 1604;
constexpr int kFact2Largest = 2 * (kFact2Count - 1);  // 3206!!, the last tabulated value

extern "C" {
// Filled once by ExcoFactTable(); the routines address them relative to rip.
extern PackedExtended exco_fact_table[kFactCount];
extern PackedExtended exco_fact2_odd_table[kFact2Count];
extern PackedExtended exco_fact2_even_table[kFact2Count];

void RtExp();
void RtSinh();
void RtCosh();
void RtTanh();
void RtCoTanh();
void RtArcSinh();
void RtArcCosh();
void RtArcTanh();
void RtArcCoTanh();
void RtArcSin();
void RtArcCos();
void RtSign();
void RtIPwr();
void RtFPwr();
void RtIRoot();
void RtFRoot();
void RtLogN();
void RtFactLookup();
void RtFact2Lookup();
void RtVecLen();
void RtListSum();
void RtListSumSq();
void RtListAvr();
void RtListNorm();
void RtListProd();
void RtListMax();
void RtListMin();
}

// The factorial tables, built on the first call.
const PackedExtended* ExcoFactTable();
const PackedExtended* ExcoOddFact2Table();
const PackedExtended* ExcoEvenFact2Table();

// Address of the routine of a function-table entry (0 when the entry has none); for
// the vector entries, the routine of the given array type (vt::SingleArray ...).
intptr_t ExcoRuntimeRoutine(int32_t funcIndex);
intptr_t ExcoVectorRoutine(int32_t funcIndex, int32_t arrayType);

// Whether a routine can fault only through the x87 flags and leaves the control word
// alone, so that with every exception masked it cannot trap: the runtime routines
// that raise no fault through the host (the list routines' empty list, arrays), and
// no host routine. The roots divide an integer by zero only when the control word
// unmasks the zero divide; masked, they raise the invalid-operation flag instead.
bool ExcoRoutineIsContained(intptr_t routine);
