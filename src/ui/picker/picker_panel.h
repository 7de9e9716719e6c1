#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class QKeyEvent;

namespace corvane {

// The keys the picker understands. `number` carries a 0-based row.
struct PickerKey {
    enum Kind { number, escape, enter, up, down, other };
    Kind kind = other;
    int row = -1;
    bool operator==(const PickerKey&) const = default;
};

// The picker's window: a frameless pop-up, so it takes the keyboard the
// moment it appears and a click anywhere else closes it.
class PickerPanel : public QWidget {
    Q_OBJECT

public:
    explicit PickerPanel(QWidget* content);

    // Every key the picker understands goes here; others go on unhandled.
    std::function<void(PickerKey)> onKey;
    // Called when the panel goes away without the controller asking: a click
    // outside it, or another window taking over.
    std::function<void()> onResign;

    // The picker's reading of a key press; nothing for keys it leaves alone
    // (0, letters, Tab, several characters).
    static std::optional<PickerKey> map(const QKeyEvent& event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void takeInput();

    int m_grabTries = 0;
};

} // namespace corvane
