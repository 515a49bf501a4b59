// The differentiation functions of the language, "diff1" to "diff4" and "diffn": native
// functions whose arguments are the entry address of a compiled function, the address
// of the variable to vary, that variable's internal type and (diffn) the order.
#pragma once

#include <cstdint>

class TExcoH;
class TUserFunctions;

// The routines the functions call. A function that is no live compiled routine, or a
// variable that is not a defined variable of that type, fails the running formula
// with an access violation; an order below 1 with an invalid operation.
long double CallDiff1(intptr_t f, intptr_t v, int32_t t);
long double CallDiff2(intptr_t f, intptr_t v, int32_t t);
long double CallDiff3(intptr_t f, intptr_t v, int32_t t);
long double CallDiff4(intptr_t f, intptr_t v, int32_t t);
long double CallDiffN(intptr_t f, intptr_t v, int32_t t, int32_t n);

// Registers diff1 to diff4 and diffn (library start-up).
void AddDiffFunctions(TUserFunctions& functions, TExcoH& compiler);
