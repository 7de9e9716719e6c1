#pragma once

#include "core/rules.h"

#include <QAbstractButton>
#include <QStringList>
#include <QWidget>

class QPropertyAnimation;
class QScrollArea;
class QVBoxLayout;
class QPushButton;

namespace corvane {

class Icon;
class Model;
class NavRow;
class Preferences;
class ViewState;

// The dark column at the left: pin button, the three pages, and the
// browser's profiles with their rule counts.
class Sidebar : public QWidget {
    Q_OBJECT

public:
    Sidebar(Model& model, ViewState& state, QWidget* parent = nullptr);

    NavRow* rulesRow() const { return m_rows[0]; }
    NavRow* linksRow() const { return m_rows[1]; }
    NavRow* settingsRow() const { return m_rows[2]; }
    // One row per known profile, in display order.
    QList<NavRow*> profileRows() const { return m_profileRows; }
    // "Connect to <browser>" / "Connecting…"; hidden while profiles are known.
    QPushButton* connectButton() const { return m_connect; }
    QAbstractButton* pinButton() const { return m_pin; }
    QAbstractButton* refreshButton() const { return m_refresh; }

    // Every profile the user can see: the reported ones and those rules name,
    // without the empty name and duplicates, in the file browser's order.
    static QStringList knownProfiles(const QStringList& reported, const std::vector<Rule>& rules);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void updateRows();
    void updateProfiles();
    void updatePin();
    void updateBusy();

    Model& m_model;
    ViewState& m_state;
    Preferences& m_preferences;
    QList<NavRow*> m_rows;
    QAbstractButton* m_pin;
    Icon* m_pinIcon;
    QAbstractButton* m_refresh;
    Icon* m_refreshIcon;
    QPropertyAnimation* m_turn;
    QPushButton* m_connect;
    QScrollArea* m_profileArea;
    QVBoxLayout* m_profileList;
    QList<NavRow*> m_profileRows;
    QStringList m_shownProfiles;
};

} // namespace corvane
