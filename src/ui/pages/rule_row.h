#pragma once

#include "core/rules.h"
#include "ui/kit/palette.h"

#include <QAbstractButton>

class QMenu;

namespace corvane {

class VantraToggle;

// One rule in the list: its place in the whole list, the site icon, the
// pattern and kind, the profile chip, the switch and the actions menu. The
// left part is one button that opens the editor.
class RuleRow : public QAbstractButton {
    Q_OBJECT

public:
    explicit RuleRow(const VantraPalette& palette, QWidget* parent = nullptr);

    void setRule(const Rule& rule, int position, bool canMoveEarlier, bool canMoveLater, bool profileMissing);
    const Rule& rule() const { return m_rule; }
    int position() const { return m_position; }
    bool canMoveEarlier() const { return m_canMoveEarlier; }
    bool canMoveLater() const { return m_canMoveLater; }
    bool profileMissing() const { return m_profileMissing; }
    QString host() const { return m_host; }
    // Whether a hairline separates it from the row above.
    void setFirst(bool first);
    void setBrowserName(const QString& name) { m_browser = name; }

    VantraToggle* toggle() const { return m_toggle; }
    QAbstractButton* actionsButton() const { return m_actions; }
    // The actions menu as it opens now.
    QMenu* buildMenu(QWidget* parent);
    QString chipToolTip() const;

    QSize sizeHint() const override;

signals:
    void edit();
    void toggled(bool enabled);
    void earlier();
    void later();
    void remove();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent*) override;

private:
    QRectF chipRect() const;
    double chipWidth() const;

    const VantraPalette& m_palette;
    Rule m_rule;
    QString m_pattern;
    QString m_profile;
    QString m_kind;
    QString m_host;
    QString m_browser = "Dia";
    int m_position = 0;
    bool m_canMoveEarlier = false;
    bool m_canMoveLater = false;
    bool m_profileMissing = false;
    bool m_first = true;
    VantraToggle* m_toggle;
    QAbstractButton* m_actions;
};

} // namespace corvane
