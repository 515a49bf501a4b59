#include "dataaware/navigator.h"

#include "dataaware/dataset.h"

#include <QHBoxLayout>
#include <QToolButton>

#include <array>

namespace kelvo::dataaware {

namespace {

struct ButtonText {
    NavigatorButton which;
    const char* caption;
    const char* hint;
};

constexpr std::array kButtonTexts {
    ButtonText {NavigatorButton::First, "First", "First record"},
    ButtonText {NavigatorButton::Prior, "Prior", "Prior record"},
    ButtonText {NavigatorButton::Next, "Next", "Next record"},
    ButtonText {NavigatorButton::Last, "Last", "Last record"},
    ButtonText {NavigatorButton::Insert, "Insert", "Insert record"},
    ButtonText {NavigatorButton::Delete, "Delete", "Delete record"},
    ButtonText {NavigatorButton::Edit, "Edit", "Edit record"},
    ButtonText {NavigatorButton::Post, "Post", "Post edit"},
    ButtonText {NavigatorButton::Cancel, "Cancel", "Cancel edit"},
    ButtonText {NavigatorButton::Refresh, "Refresh", "Refresh data"},
};

}  // namespace

NavigatorButtons allNavigatorButtons()
{
    NavigatorButtons all;
    for (const ButtonText& text : kButtonTexts)
        all |= text.which;
    return all;
}

Navigator::Navigator(Dataset& dataset, QWidget* parent)
    : QWidget(parent), dataset_(dataset), visible_(allNavigatorButtons())
{
    setAccessibleName(QStringLiteral("Navigator"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    for (const ButtonText& text : kButtonTexts) {
        auto* button = new QToolButton(this);
        button->setText(QString::fromLatin1(text.caption));
        button->setAccessibleName(QString::fromLatin1(text.caption));
        button->setToolTip(QString::fromLatin1(text.hint));
        layout->addWidget(button);
        buttons_.emplace(text.which, button);
        connect(button, &QToolButton::clicked, this, [this, which = text.which] { press(which); });
    }
    layout->addStretch();
    connect(&dataset_, &Dataset::stateChanged, this, [this] { updateButtons(); });
    connect(&dataset_, &Dataset::currentChanged, this, [this] { updateButtons(); });
    connect(&dataset_, &Dataset::rowsChanged, this, [this] { updateButtons(); });
    updateButtons();
}

void Navigator::setVisibleButtons(NavigatorButtons buttons)
{
    visible_ = buttons;
    for (const auto& [which, button] : buttons_)
        button->setVisible(visible_.testFlag(which));
}

QToolButton* Navigator::button(NavigatorButton which) const { return buttons_.at(which); }

bool Navigator::isAvailable(NavigatorButton which) const
{
    if (!dataset_.isActive())
        return false;
    const int row = dataset_.currentIndex();
    const bool browsing = dataset_.state() == DatasetState::Browse;
    switch (which) {
    case NavigatorButton::First:
    case NavigatorButton::Prior: return row > 0;
    case NavigatorButton::Next:
    case NavigatorButton::Last: return row >= 0 && row + 1 < dataset_.rowCount();
    case NavigatorButton::Insert: return dataset_.canModify();
    case NavigatorButton::Delete: return dataset_.canModify() && !dataset_.isEmpty();
    case NavigatorButton::Edit: return dataset_.canModify() && browsing && row >= 0;
    case NavigatorButton::Post:
    case NavigatorButton::Cancel: return dataset_.isEditing();
    case NavigatorButton::Refresh: return true;
    }
    return false;
}

void Navigator::updateButtons()
{
    for (const auto& [which, button] : buttons_)
        button->setEnabled(isAvailable(which));
}

bool Navigator::press(NavigatorButton which)
{
    if (!visible_.testFlag(which) || !isAvailable(which))
        return false;
    dataset_.guard([&] {
        act(which);
        emit clicked(which);
    });
    return true;
}

void Navigator::act(NavigatorButton which)
{
    switch (which) {
    case NavigatorButton::First: dataset_.first(); break;
    case NavigatorButton::Prior: dataset_.prior(); break;
    case NavigatorButton::Next: dataset_.next(); break;
    case NavigatorButton::Last: dataset_.last(); break;
    case NavigatorButton::Insert: dataset_.insert(); break;
    case NavigatorButton::Delete:
        if (!confirmDelete_ || confirmDelete_())
            dataset_.remove();
        break;
    case NavigatorButton::Edit: dataset_.edit(); break;
    case NavigatorButton::Post: dataset_.post(); break;
    case NavigatorButton::Cancel: dataset_.cancel(); break;
    case NavigatorButton::Refresh: dataset_.refresh(); break;
    }
}

}  // namespace kelvo::dataaware
