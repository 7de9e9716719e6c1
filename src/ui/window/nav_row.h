#pragma once

#include <QAbstractButton>

namespace corvane {

// A row of the sidebar: icon, title and an optional count, highlighted in a
// blue capsule when it needs attention; selected rows sit on a pill.
class NavRow : public QAbstractButton {
    Q_OBJECT

public:
    NavRow(QString icon, const QString& title, QWidget* parent = nullptr);

    QString icon() const { return m_icon; }
    void setIcon(const QString& icon);
    int count() const { return m_count; }
    void setCount(int count);
    bool highlight() const { return m_highlight; }
    void setHighlight(bool highlight);
    bool selected() const { return m_selected; }
    void setSelected(bool selected);
    bool hovered() const { return m_hovered; }

    QSize sizeHint() const override { return QSize(200, 28); }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    QString m_icon;
    int m_count = 0;
    bool m_highlight = false;
    bool m_selected = false;
    bool m_hovered = false;
};

} // namespace corvane
