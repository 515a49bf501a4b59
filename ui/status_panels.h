#pragma once
// A status bar of numbered panels, as the windows' status bars address them (panel 1
// the variable, panel 3 a count, ...). The last panel takes the width that is left.

#include <vector>

class QLabel;
class QStatusBar;
class QWidget;

namespace kelvo {

// A new status bar "status" on `parent` holding `count` panels, which go to `panels`.
QStatusBar* MakePanelStatusBar(QWidget* parent, int count, std::vector<QLabel*>& panels);

}  // namespace kelvo
