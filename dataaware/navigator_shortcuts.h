#pragma once
// Ctrl + key on a grid or memo presses a button of its navigator:
//   Home First, Page Up Prior, Page Down Next, End Last, Insert Insert, Delete Delete,
//   E Edit, S Post (only while a row is edited or inserted, a beep otherwise),
//   C Cancel, R Refresh.
// A button the navigator does not show is not pressed. The keys act when released (Ctrl
// may be let go first) and their presses are held back: views take Ctrl+Home and
// Ctrl+End on key press, and a grid opens its current cell on any letter pressed,
// Ctrl+E included.

#include <QObject>

#include <functional>
#include <map>

namespace kelvo::dataaware {

class Navigator;

class NavigatorShortcuts : public QObject {
    Q_OBJECT
public:
    // Watches `target`'s keys; lives as long as `target`.
    NavigatorShortcuts(QWidget& target, Navigator& navigator);

    // Ctrl + `key` runs `action` instead of its button (a window's own use of a key).
    void setKeyAction(int key, std::function<void()> action) { actions_[key] = std::move(action); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void run(int key);

    Navigator& navigator_;
    std::map<int, std::function<void()>> actions_;
    // The key whose press with Ctrl was held back, until it is released.
    int heldKey_ = 0;
};

}  // namespace kelvo::dataaware
