#pragma once

#include "ui/kit/palette.h"

#include <QWidget>

namespace corvane {

class Icon;
class Model;
class PaletteLabel;
class VantraButton;
} // namespace corvane

class QProgressBar;

namespace corvane {

// At most one notice above the page: a settings problem first, then the
// default-browser request, then an available update.
class Banners : public QWidget {
    Q_OBJECT

public:
    enum class Kind { none, problem, defaultBrowser, update };

    Banners(Model& model, const VantraPalette& palette, bool preview, QWidget* parent = nullptr);

    Kind shown() const { return m_shown; }
    // The banner's texts and its button, for tests.
    QString title() const;
    QString detail() const;
    VantraButton* button() const { return m_button; }
    // While an update downloads: how far it is, and the way to stop it.
    QProgressBar* progress() const { return m_progress; }
    VantraButton* cancelButton() const { return m_cancel; }

    static Kind choose(const Model& model, bool preview);

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent*) override;

private:
    void refresh();

    Model& m_model;
    const VantraPalette& m_palette;
    bool m_preview;
    Kind m_shown = Kind::none;
    Icon* m_icon;
    PaletteLabel* m_title;
    PaletteLabel* m_detail;
    VantraButton* m_button;
    VantraButton* m_cancel;
    QProgressBar* m_progress;
    QWidget* m_inner;
};

} // namespace corvane
