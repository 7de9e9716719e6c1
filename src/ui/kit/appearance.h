#pragma once

#include <QObject>

class QDBusVariant;

#include <optional>

namespace corvane {

// Light or dark for the whole application: the desktop's own scheme, followed
// live, unless the user picked one. Views that are not the window (the
// picker) ask here too.
class Appearance : public QObject {
    Q_OBJECT

public:
    static Appearance& shared();

    bool dark() const { return m_forced.value_or(m_systemDark); }
    bool systemDark() const { return m_systemDark; }
    // From the "colorScheme" preference: "light", "dark", anything else
    // follows the desktop.
    void apply(const QString& appearance);
    // What the desktop says now (tests and the portal's answers).
    void setSystemDark(bool dark);

signals:
    void changed();

private slots:
    void portalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    Appearance();
    void askPortal();

    bool m_systemDark = false;
    std::optional<bool> m_forced;
};

} // namespace corvane
