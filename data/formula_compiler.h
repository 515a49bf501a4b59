#pragma once
// The program's one compiler component. The formula editor window creates it at
// start-up, owns it until shut-down and sets it here, so that every compilation of the
// layers below the windows (validation, a run's variables, the formula checks) goes
// through that one instance.

class TExco;

namespace kelvo {

// The component every compilation uses. Until a window has set one (the tests of the
// layers below the windows, the benchmarks) a component of this module stands in; every
// component works on the compiler's one library state, so both compile alike.
TExco& FormulaCompiler();

// Makes `compiler` the program's component; null gives the stand-in back. The owner
// clears it before it frees the component.
void SetFormulaCompiler(TExco* compiler);

}  // namespace kelvo
