#pragma once

#include "ui/kit/palette.h"

#include <QWidget>

class QScrollArea;
class QVBoxLayout;

namespace corvane {

class Model;
class SettingRow;
class SettingsSection;
class VantraSegmented;
class VantraToggle;

// The Settings tab: the connection to the browser, routing options,
// appearance, version and feedback, and the settings file. Each section is
// rebuilt from the model when what it shows changes; the switches write the
// shared user defaults, so the rest of the application follows at once.
class SettingsPage : public QWidget {
    Q_OBJECT

public:
    SettingsPage(Model& model, const VantraPalette& palette, QWidget* parent = nullptr);

    static constexpr const char* tagline = "Every link in the profile it belongs to.";

    // The row whose title is `title`, or null.
    SettingRow* row(const QString& title) const;
    QList<SettingsSection*> sections() const;
    QScrollArea* scrollArea() const { return m_scroll; }

private:
    QWidget* connectionSection();
    QWidget* routingSection();
    QWidget* appearanceSection();
    QWidget* aboutSection();
    QWidget* settingsFileSection();
    QWidget* privacyNote();
    void rebuildConnection();
    void rebuildRouting();
    void rebuildAbout();
    void syncPreferences();
    void refreshAfterBrowserChange();

    Model& m_model;
    const VantraPalette& m_palette;
    QScrollArea* m_scroll;
    QVBoxLayout* m_sections = nullptr;
    QWidget* m_connection = nullptr;
    QWidget* m_routing = nullptr;
    QWidget* m_about = nullptr;
    VantraToggle* m_reuse = nullptr;
    VantraSegmented* m_colorMode = nullptr;
    VantraToggle* m_menuBar = nullptr;
    QMetaObject::Connection m_deferredRefresh;
};

} // namespace corvane
