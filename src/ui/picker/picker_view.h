#pragma once

#include "picker_state.h"
#include "ui/kit/palette.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace corvane {

class PickerRow;
class PickerCheckbox;

// The picker's card: the link's site, the profiles as numbered rows, the
// "Always use for this site" box and the reminder that Escape decides later.
// It keeps no logic of its own beyond hover and the box; choices go back
// through the callbacks.
class PickerView : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 240;

    struct Callbacks {
        std::function<void(int row)> choose;
        std::function<void()> openApp;
    };

    // `host` may be empty (a link without one); `browserName` names the
    // browser on the row shown when no profile is known yet.
    PickerView(QString host, QStringList profiles, QString browserName, PickerState* state,
               const VantraPalette& palette, Callbacks callbacks, QWidget* parent = nullptr);

    QString host() const { return m_host; }
    const QStringList& profiles() const { return m_profiles; }
    PickerState* state() const { return m_state; }
    const VantraPalette& palette() const { return m_palette; }

    // The clickable rows in display order: one per profile, or the single
    // connect row when there are none.
    QList<QWidget*> rows() const;
    // The "Always use for this site" row; null when it is not shown.
    QWidget* checkbox() const;
    // The keycap text of a row ("1" … "9"), empty from the tenth row on.
    static QString keyFor(int row);

    // Colours of the card that the palette does not carry.
    static QColor cardColor(const VantraPalette& palette);
    static QColor dividerColor(const VantraPalette& palette);
    static QColor iconGrey(const VantraPalette& palette);
    static QColor mutedGrey(const VantraPalette& palette);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_host;
    QStringList m_profiles;
    QPointer<PickerState> m_state;
    VantraPalette m_palette;
    Callbacks m_callbacks;
    QList<QWidget*> m_rows;
    QWidget* m_checkbox = nullptr;
};

} // namespace corvane
