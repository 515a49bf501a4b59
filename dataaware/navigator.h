#pragma once
// The button bar that moves through a dataset and edits it. A window shows the subset
// of buttons its page offers; the buttons follow the dataset's state.

#include <QFlags>
#include <QWidget>

#include <functional>
#include <map>

class QToolButton;

namespace kelvo::dataaware {

class Dataset;

enum class NavigatorButton {
    First = 0x1,
    Prior = 0x2,
    Next = 0x4,
    Last = 0x8,
    Insert = 0x10,
    Delete = 0x20,
    Edit = 0x40,
    Post = 0x80,
    Cancel = 0x100,
    Refresh = 0x200,
};
Q_DECLARE_FLAGS(NavigatorButtons, NavigatorButton)

// Every button, in the order they stand.
NavigatorButtons allNavigatorButtons();

class Navigator : public QWidget {
    Q_OBJECT
public:
    explicit Navigator(Dataset& dataset, QWidget* parent = nullptr);

    void setVisibleButtons(NavigatorButtons buttons);
    NavigatorButtons visibleButtons() const { return visible_; }
    // Asked before Delete; a false answer keeps the row. No question without it.
    void setDeleteConfirmation(std::function<bool()> confirm) { confirmDelete_ = std::move(confirm); }

    QToolButton* button(NavigatorButton which) const;
    // Does what the button does when it is shown and enabled; false otherwise.
    bool press(NavigatorButton which);
    Dataset& dataset() const { return dataset_; }

signals:
    // After the button's action ran.
    void clicked(kelvo::dataaware::NavigatorButton which);

private:
    void updateButtons();
    bool isAvailable(NavigatorButton which) const;
    void act(NavigatorButton which);

    Dataset& dataset_;
    NavigatorButtons visible_;
    std::map<NavigatorButton, QToolButton*> buttons_;
    std::function<bool()> confirmDelete_;
};

}  // namespace kelvo::dataaware

Q_DECLARE_OPERATORS_FOR_FLAGS(kelvo::dataaware::NavigatorButtons)
