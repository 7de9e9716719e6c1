#pragma once

#include <QObject>
#include <QString>

class QSettings;

namespace corvane {

class Model;

// The window's persisted preferences, kept in the model's user-defaults store
// so the shell sees a change at once. One instance per model, shared by every
// view that asks for it.
class Preferences : public QObject {
    Q_OBJECT

public:
    static Preferences& of(Model& model);

    // "system", "light" or "dark".
    QString appearance() const;
    void setAppearance(const QString& value);
    bool reuseOpenTabs() const;
    void setReuseOpenTabs(bool value);
    bool showInMenuBar() const;
    void setShowInMenuBar(bool value);
    bool pinWindow() const;
    void setPinWindow(bool value);

signals:
    void appearanceChanged();
    void reuseOpenTabsChanged();
    void showInMenuBarChanged();
    void pinWindowChanged();

private:
    explicit Preferences(Model& model);
    QSettings& m_store;
};

} // namespace corvane
