#pragma once

#include "app/records.h"
#include "core/rules.h"
#include "ui/kit/palette.h"

#include <QWidget>

namespace corvane {

class VantraButton;

// One link opened recently: where it went and why, and a shortcut to a rule
// for links that no rule routed.
class RecentRow : public QWidget {
    Q_OBJECT

public:
    RecentRow(const Opened& link, const VantraPalette& palette, QWidget* parent = nullptr);

    const Opened& link() const { return m_link; }
    // Absent for a link that a rule routed.
    VantraButton* createButton() const { return m_create; }
    // "Opened in …" or "Switched to the open tab in …".
    QString outcome() const;

signals:
    void createRule(const corvane::Rule& rule);

private:
    Opened m_link;
    VantraButton* m_create = nullptr;
};

} // namespace corvane
