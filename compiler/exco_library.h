// The library's one compiler instance and one typed-evaluator instance, for the parts
// of the compiler that work on them beside the flat interface (and for tests).
#pragma once

#include <cstdint>

class TExcoH;
class TExcoD_Custom;

TExcoH& ExcoLibraryCompiler();
TExcoD_Custom& ExcoLibraryEvaluator();

// Whether entry is the entry address of a live compiled routine (a compiled text or
// the body of a text-defined function).
bool ExcoIsRoutine(intptr_t entry);
