#pragma once
// The windows that live for the whole program, created at start-up in this order and
// destroyed in the reverse one, so that the main window goes last and closes the
// session's test after every other window has let go of it. The order of creation is
// also the order in which the windows hear the session's signals.

#include "app/main_window.h"
#include "app/window_instance.h"
#include "editor/captions_editor_window.h"
#include "editor/clone_window.h"
#include "editor/editor_window.h"
#include "editor/formula_builder_window.h"
#include "editor/formula_editor_window.h"
#include "editor/questions_editor_window.h"
#include "results/results_window.h"
#include "ui/log_window.h"

namespace kelvo {

struct ProgramWindows {
    WindowInstance<TForm1> form1{Form1};
    WindowInstance<TForm3> form3{Form3};
    WindowInstance<TForm4> form4{Form4};
    WindowInstance<TForm5> form5{Form5};
    WindowInstance<TForm6> form6{Form6};
    WindowInstance<TForm7> form7{Form7};
    WindowInstance<TForm8> form8{Form8};
    WindowInstance<TForm13> form13{Form13};
    WindowInstance<TForm10> form10{Form10};
};

}  // namespace kelvo
