#pragma once

#include "ui/kit/palette.h"

#include <QAbstractButton>
#include <QList>

#include <functional>

class QMenu;

namespace corvane {

// A secondary button that drops down a menu of actions.
class MenuButton : public QAbstractButton {
    Q_OBJECT

public:
    struct Item {
        QString title;
        std::function<void()> action;
    };

    MenuButton(const QString& text, const VantraPalette& palette, double height, QWidget* parent = nullptr);

    void setItems(QList<Item> items) { m_items = std::move(items); }
    QStringList itemTitles() const;
    // The menu as it would open now.
    QMenu* buildMenu(QWidget* parent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void openMenu();

    const VantraPalette& m_palette;
    double m_height;
    QList<Item> m_items;
};

} // namespace corvane
