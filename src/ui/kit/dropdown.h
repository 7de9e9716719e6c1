#pragma once

#include "palette.h"

#include <QAbstractButton>
#include <QList>
#include <QPair>
#include <QVariant>

class QMenu;

namespace corvane {

// A pop-up choice: the face shows the label of the option equal to the
// selection (empty when none is), the menu marks that option.
class VantraDropdown : public QAbstractButton {
    Q_OBJECT

public:
    using Options = QList<QPair<QVariant, QString>>;

    VantraDropdown(const VantraPalette& palette, Options options, QVariant selection, double width,
                   QWidget* parent = nullptr);

    QVariant selection() const { return m_selection; }
    // Without emitting selectionChanged().
    void setSelection(const QVariant& value);
    const Options& options() const { return m_options; }
    void setOptions(Options options);
    // The label of the first option equal to the selection, or "".
    QString title() const;
    // The menu as it would open now: one checkable action per option.
    QMenu* buildMenu(QWidget* parent);

    QSize sizeHint() const override;

signals:
    void selectionChanged(const QVariant& value);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void openMenu();

    const VantraPalette& m_palette;
    Options m_options;
    QVariant m_selection;
    double m_width;
};

} // namespace corvane
