#pragma once

#include "app/records.h"
#include "core/rules.h"
#include "ui/kit/palette.h"

#include <QWidget>

namespace corvane {

class Model;
class MenuButton;
class VantraButton;

// One link waiting for a profile, with the actions that release it. Built
// from one entry of the model's queue and thrown away when the queue changes.
class PendingRow : public QWidget {
    Q_OBJECT

public:
    PendingRow(const Pending& link, Model& model, const VantraPalette& palette, QWidget* parent = nullptr);

    const Pending& link() const { return m_link; }
    MenuButton* openMenu() const { return m_open; }
    // All four buttons, enabled or disabled together.
    QWidget* controls() const { return m_controls; }

signals:
    void createRule(const corvane::Rule& rule);

private:
    Pending m_link;
    MenuButton* m_open;
    QWidget* m_controls;
};

} // namespace corvane
