// The codes of the flat call interface, named once: the options of ExcoSetOption and
// the error codes ExcoGetError reports. Callers use these names, never the numbers.
#pragma once

#include <cstdint>
#include <string>

namespace exco_option {
// ExcoSetOption(Zero, what): sets constants or variables to zero, or clears the errors.
inline constexpr int Zero = 48;
// ExcoSetOption(Clear, what): forgets constants or variables, restores the function
// table, frees every routine, or (given a routine handle) frees that routine.
inline constexpr int Clear = 51;
// ExcoSetOption(ClearFunctionNames, index): the names of one function table entry.
inline constexpr int ClearFunctionNames = 56;

// What Zero and Clear act on.
inline constexpr intptr_t Constants = 49;
inline constexpr intptr_t Variables = 50;
inline constexpr intptr_t FunctionTable = 54;
inline constexpr intptr_t AllRoutines = 55;
inline constexpr intptr_t Errors = 75;
}  // namespace exco_option

// The error codes of ExcoGetError: the faults of a run, then the compile errors.
namespace exco_error {
inline constexpr int AccessViolation = 200, OutOfMemory = 201, StackOverflow = 202;
inline constexpr int ZeroDivide = 203, InvalidOp = 204, Overflow = 205, Underflow = 206,
                     IntOverflow = 207;
inline constexpr int UnknownSymbol = 208, MissingOpen = 209, MissingClose = 210,
                     MissingOperation = 211, ArgumentCount = 212, MissingExpression = 213,
                     UnknownFunction = 214;
inline constexpr int AddFunction = 215, NonexistentFunction = 216, IncorrectArgument = 217,
                     MissingArgument = 218;
}  // namespace exco_error

// The name of an error code of ExcoGetError ("DIVIDE ON ZERO"); empty for other codes.
std::string ExcoErrorName(int code);
