#pragma once

#include "palette.h"

#include <QMenu>

namespace corvane {

// A pop-up menu in the colours of the view that opens it. A menu is a window
// of its own, so it never inherits the view's palette: without this it stays
// white in dark mode and icons drawn in ink vanish on it. The current choice
// of a list carries a check mark and nothing else (no box beside every
// option), and destructive actions read red.
class VantraMenu : public QMenu {
    Q_OBJECT

public:
    VantraMenu(const VantraPalette& palette, QWidget* parent);

    // The current choice of a list: checkable, and marked when `checked`.
    QAction* addChoice(const QString& text, bool checked);
    // An action whose text is red: it removes something.
    QAction* addDestructive(const QString& text);
    // An action with a symbol drawn in the menu's ink (white while hovered).
    QAction* addSymbolAction(const QString& symbol, const QString& text);
    static bool isDestructive(const QAction* action);

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
    void showEvent(QShowEvent* event) override;

private:
    QIcon symbol(const QString& name) const;
    void applyPalette();

    const VantraPalette& m_palette;
};

} // namespace corvane
