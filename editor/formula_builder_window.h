#pragma once
// The formula builder: puts item conditions together from the question tree.

#include <QDialog>

#include <optional>

namespace kelvo {

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);

    // The autoid of the formula selected in the formula tree; nothing when none is.
    std::optional<int> selectedFormulaAutoid() const { return std::nullopt; }
};

// The program's one instance, owned by the main routine.
extern TForm5* Form5;

}  // namespace kelvo
