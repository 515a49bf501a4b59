// The library's one compiler instance and one typed-evaluator instance, for the parts
// of the compiler that work on them beside the flat interface (and for tests).
#pragma once

class TExcoH;
class TExcoD_Custom;

TExcoH& ExcoLibraryCompiler();
TExcoD_Custom& ExcoLibraryEvaluator();
