#pragma once

#include "ui/kit/icon.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/palette.h"

#include <QAbstractButton>
#include <QWidget>

#include <functional>

class QVBoxLayout;

namespace corvane {

// A rounded box with a hairline border on the card colour; its rows are
// stacked in `rows()`.
class PageCard : public QWidget {
    Q_OBJECT

public:
    explicit PageCard(const VantraPalette& palette, double radius = 10, QWidget* parent = nullptr);
    QVBoxLayout* rows() const { return m_rows; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const VantraPalette& m_palette;
    double m_radius;
    QVBoxLayout* m_rows;
};

// An icon whose colour is picked from the palette, again whenever the window
// switches between light and dark.
class ToneIcon : public Icon {
    Q_OBJECT

public:
    using Tone = std::function<QColor(const VantraPalette&)>;
    ToneIcon(const QString& name, double size, const VantraPalette& palette, Tone tone,
             QWidget* parent = nullptr);
    static QColor faint(const VantraPalette& palette) { return palette.faint(); }
    static QColor muted(const VantraPalette& palette) { return palette.muted(); }
    static QColor ink(const VantraPalette& palette) { return palette.ink(); }

protected:
    void changeEvent(QEvent* event) override;

private:
    const VantraPalette& m_palette;
    Tone m_tone;
};

// A number on a blue capsule: how many links wait.
class CountBadge : public QWidget {
    Q_OBJECT

public:
    explicit CountBadge(int count, QWidget* parent = nullptr);
    int count() const { return m_count; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int m_count;
};

// A bare icon that acts as a button (the tester's clear button).
class IconButton : public QAbstractButton {
    Q_OBJECT

public:
    IconButton(const QString& icon, double size, const VantraPalette& palette, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_icon;
    double m_size;
    const VantraPalette& m_palette;
};

} // namespace corvane

namespace corvane {

// A link shown whole on one line: selectable, cut at the row's edge instead
// of widening the row, the full text in its tool tip. A selectable label
// carries a whole text document, so it becomes selectable only once the
// pointer reaches it; a list of a hundred links stays quick to build.
class LinkLine : public PaletteLabel {
    Q_OBJECT

public:
    LinkLine(const QString& text, const VantraPalette& palette, double points, QFont::Weight weight,
             QWidget* parent = nullptr);

protected:
    void enterEvent(QEnterEvent* event) override;
};

} // namespace corvane
