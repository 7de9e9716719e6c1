#pragma once

#include "ui/kit/palette.h"

#include <QLabel>
#include <QWidget>

namespace corvane {

class Icon;

// A label in the interface font whose colour follows the palette it is given
// (the palette may switch between light and dark at any time).
class PaletteLabel : public QLabel {
    Q_OBJECT

public:
    enum class Tone { ink, muted, faint, navText, navFaint, custom };
    PaletteLabel(const QString& text, const VantraPalette& palette, double points,
                 QFont::Weight weight = QFont::Normal, Tone tone = Tone::ink, QWidget* parent = nullptr);
    void setTone(Tone tone);
    void setCustomColor(const QColor& color);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColor();
    const VantraPalette& m_palette;
    Tone m_tone;
    QColor m_custom;
    bool m_applying = false;
};

// The title of a page, the line below it and an optional control at the right.
class PageHeader : public QWidget {
    Q_OBJECT

public:
    PageHeader(const QString& title, const QString& detail, QWidget* trailing, const VantraPalette& palette,
               QWidget* parent = nullptr);
    void setTitle(const QString& title);
    void setDetail(const QString& detail);
    QString title() const;
    QString detail() const;
    PaletteLabel* titleLabel() const { return m_title; }
    PaletteLabel* detailLabel() const { return m_detail; }

private:
    PaletteLabel* m_title;
    PaletteLabel* m_detail;
};

// A centred symbol, title and detail for a page with nothing to list.
class EmptyState : public QWidget {
    Q_OBJECT

public:
    EmptyState(const QString& icon, const QString& title, const QString& detail, const VantraPalette& palette,
               QWidget* parent = nullptr);
    void setContent(const QString& icon, const QString& title, const QString& detail);
    QString title() const;
    QString detail() const;
    QString icon() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    const VantraPalette& m_palette;
    Icon* m_icon;
    PaletteLabel* m_title;
    PaletteLabel* m_detail;
};

PageHeader* pageHeader(const QString& title, const QString& detail, QWidget* trailing,
                       const VantraPalette& palette);
EmptyState* emptyState(const QString& icon, const QString& title, const QString& detail,
                       const VantraPalette& palette);
// A one-point horizontal hairline.
QWidget* sectionDivider(const VantraPalette& palette);

} // namespace corvane
