// The flat call interface of the expression compiler. One compiler instance and one
// typed-evaluator instance exist for the whole process; every call works on them.
// Results come back through the reference parameters. Addresses and handles are
// 64-bit; option, type and query arguments are small integers, many of them
// character codes (48 is "0", 51 is "3", 56 is "8", 75 is "K"), named in exco_codes.h.
#pragma once

#include "compiler/exco_codes.h"

#include <cstdint>
#include <string>

// Result destination of ExcoCompile: where (0 none; 57..61 a store through EAX, EBX,
// ECX, EDX or ESP plus the displacement; any other value an absolute address), an
// external type code (26..29, anything else means no store) and a displacement.
struct ExcoDest {
  intptr_t where = 0;
  int32_t typeCode = 0;
  int32_t displacement = 0;
};

// Descriptor of an added function: fifteen words (routine, argument count, kind, type
// code, per-argument types, flags, extra x87 registers, register mask, inline code,
// auxiliary routines). Words that hold addresses are pointer-sized.
struct ExcoFuncDescriptor {
  intptr_t word[15] = {};
};

void ExcoSetOption(int code, intptr_t value);
void ExcoCompile(const std::string& expr, const ExcoDest* dest, intptr_t& code);
void ExcoDefineVariable(const std::string& name, void* address, int typeCode);
void ExcoGetError(int& code);
void ExcoGetErrorText(std::string& text);
void ExcoAddAlias(int id, const std::string& name);
void ExcoAddFunction(const std::string& definition, const ExcoFuncDescriptor* descriptor, intptr_t& id);
void InitFuncDescriptor(ExcoFuncDescriptor& descriptor);
void ExcoGetInfo(int query, intptr_t index, intptr_t& value);
