#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>
#include <optional>

class QSettings;

namespace corvane {

// The application's one window: a frameless panel that hangs under the tray
// icon and hosts the whole interface. Unpinned it behaves like a menu, on top
// of everything and closed by a click anywhere else; pinned ("pinWindow") it
// is an ordinary frameless window that stays open and can be dragged by its
// background. It is hidden and shown, never destroyed.
class DropdownPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize panelSize{900, 640};

    // `userDefaults` holds "pinWindow"; it must outlive the panel.
    explicit DropdownPanel(QSettings& userDefaults, QWidget* parent = nullptr);

    // Called whenever the panel closes itself (click away, Escape) and by the
    // shell's own closing paths.
    std::function<void()> onDismiss;
    // True while a sheet (the rule editor) is up inside the panel: Escape and
    // losing activation to it then leave the panel alone.
    std::function<bool()> hasSheet;

    // Hosts `content` filling the panel; the panel owns it.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    // Follows "pinWindow" as it is stored now.
    void applyPin();
    bool pinned() const { return m_pinned; }
    // Whether the panel stays above other applications' windows. Unpinned it
    // does, except while one of our alerts runs over it.
    bool onTop() const;
    void setOnTop(bool onTop);

    // Hides the panel and reports it through onDismiss.
    void dismiss();
    // Another window of ours (the picker) is about to take the keyboard: an
    // unpinned panel closes, as it does on losing the focus to anything else.
    void yieldKeyboard();

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void clickAwayCheck();
    bool staysOpenWithoutFocus() const;
    bool sheetOpen() const { return hasSheet && hasSheet(); }

    QSettings& m_userDefaults;
    QWidget* m_content = nullptr;
    bool m_pinned = false;
    std::optional<QPoint> m_dragOffset; // the grab point, while dragging by hand
};

} // namespace corvane
