// Faults that a compiled routine or a runtime routine can raise. The SIGFPE path of
// the native call throws these; the compile driver maps them to its fault codes.
#pragma once

#include <stdexcept>
#include <string>

struct EExcoFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct EExcoZeroDivide : EExcoFault {
  EExcoZeroDivide() : EExcoFault("Floating point division by zero") {}
};
struct EExcoInvalidOp : EExcoFault {
  EExcoInvalidOp() : EExcoFault("Invalid floating point operation") {}
};
struct EExcoOverflow : EExcoFault {
  EExcoOverflow() : EExcoFault("Floating point overflow") {}
};
struct EExcoUnderflow : EExcoFault {
  EExcoUnderflow() : EExcoFault("Floating point underflow") {}
};
struct EExcoIntOverflow : EExcoFault {
  EExcoIntOverflow() : EExcoFault("Integer overflow") {}
};
struct EExcoAccessViolation : EExcoFault {
  EExcoAccessViolation() : EExcoFault("Access violation") {}
};
struct EExcoOutOfMemory : EExcoFault {
  EExcoOutOfMemory() : EExcoFault("Out of memory") {}
};
struct EExcoStackOverflow : EExcoFault {
  EExcoStackOverflow() : EExcoFault("Stack overflow") {}
};
