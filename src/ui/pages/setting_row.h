#pragma once

#include "ui/kit/palette.h"

#include <QList>
#include <QWidget>

namespace corvane {

class PaletteLabel;

// A row of the Settings page: a title, an explanatory line below it and one
// control at the right.
class SettingRow : public QWidget {
    Q_OBJECT

public:
    SettingRow(const QString& title, const QString& detail, QWidget* control, const VantraPalette& palette,
               QWidget* parent = nullptr);

    QString title() const;
    QString detail() const;
    QWidget* control() const { return m_control; }

private:
    PaletteLabel* m_title;
    PaletteLabel* m_detail;
    QWidget* m_control;
};

// A titled card of the Settings page whose rows are separated by hairlines.
class SettingsSection : public QWidget {
    Q_OBJECT

public:
    SettingsSection(const QString& title, const QList<QWidget*>& rows, const VantraPalette& palette,
                    QWidget* parent = nullptr);
    QString title() const;
    QList<SettingRow*> rows() const;

private:
    PaletteLabel* m_title;
};

} // namespace corvane
