#include "settings_page.h"

#include "app/model.h"
#include "page_card.h"
#include "platform/platform.h"
#include "setting_row.h"
#include "settings_actions.h"
#include "ui/kit/button_style.h"
#include "ui/kit/dropdown.h"
#include "ui/kit/overlay_scroll.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/preferences.h"
#include "ui/kit/segmented.h"
#include "ui/kit/toggle.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace corvane {

namespace {

// Replaces a rebuilt section in place. The old one may hold the button whose
// click caused the rebuild, so it is deleted once that click is over.
void replaceBlock(QVBoxLayout* layout, QWidget*& block, QWidget* fresh)
{
    const int index = layout->indexOf(block);
    layout->insertWidget(index, fresh);
    layout->removeWidget(block);
    block->hide();
    block->deleteLater();
    // Shown now, not on the layout's next turn, so the page never shows
    // neither the old nor the new block.
    fresh->show();
    block = fresh;
}

VantraButton* button(const QString& text, const VantraPalette& palette, bool primary = false)
{
    auto* b = new VantraButton(text, palette, primary, 32);
    b->setObjectName(text);
    return b;
}

// "Default" with a check mark: a state, not an action.
QWidget* defaultMark(const VantraPalette& palette)
{
    auto* mark = new QWidget;
    mark->setObjectName("Default");
    auto* row = new QHBoxLayout(mark);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    auto* check = new ToneIcon("checkmark", 12, palette, ToneIcon::ink);
    // The mark of a 12-point medium label: the artwork's hairline would read grey.
    check->setLineWidth(1.4);
    row->addWidget(check, 0, Qt::AlignVCenter);
    row->addWidget(new PaletteLabel("Default", palette, 12, QFont::Medium), 0, Qt::AlignVCenter);
    return mark;
}

} // namespace

SettingsPage::SettingsPage(Model& model, const VantraPalette& palette, QWidget* parent)
    : QWidget(parent), m_model(model), m_palette(palette), m_scroll(new QScrollArea)
{
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addWidget(pageHeader("Settings", "Connection, routing and appearance.", nullptr, palette));

    auto* content = new QWidget;
    content->setObjectName("settingsContent");
    m_sections = new QVBoxLayout(content);
    m_sections->setContentsMargins(28, 0, 28, 28);
    m_sections->setSpacing(32);
    m_connection = connectionSection();
    m_routing = routingSection();
    m_about = aboutSection();
    m_sections->addWidget(m_connection);
    m_sections->addWidget(m_routing);
    m_sections->addWidget(appearanceSection());
    m_sections->addWidget(m_about);
    m_sections->addWidget(settingsFileSection());
    m_sections->addWidget(privacyNote());
    m_sections->addStretch(1);

    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(content);
    m_scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    overlayScrollers(m_scroll, palette);
    page->addWidget(m_scroll, 1);

    for (auto signal : {&Model::profilesChanged, &Model::busyChanged, &Model::isDefaultBrowserChanged,
                        &Model::defaultIsLinkRouterChanged, &Model::otherDefaultBrowserChanged})
        connect(&model, signal, this, &SettingsPage::rebuildConnection);
    connect(&model, &Model::profilesChanged, this, &SettingsPage::rebuildRouting);
    connect(&model, &Model::configChanged, this, &SettingsPage::rebuildRouting);
    connect(&model, &Model::tabReuseChanged, this, &SettingsPage::rebuildRouting);
    connect(&model, &Model::availableUpdateChanged, this, &SettingsPage::rebuildAbout);
    connect(&model, &Model::installingUpdateChanged, this, &SettingsPage::rebuildAbout);
    Preferences& preferences = Preferences::of(model);
    connect(&preferences, &Preferences::appearanceChanged, this, &SettingsPage::syncPreferences);
    connect(&preferences, &Preferences::reuseOpenTabsChanged, this, &SettingsPage::syncPreferences);
    connect(&preferences, &Preferences::showInMenuBarChanged, this, &SettingsPage::syncPreferences);
}

SettingRow* SettingsPage::row(const QString& title) const
{
    for (SettingRow* found : findChildren<SettingRow*>())
        if (found->title() == title && found->isVisibleTo(this))
            return found;
    return nullptr;
}

QList<SettingsSection*> SettingsPage::sections() const
{
    QList<SettingsSection*> found;
    for (int i = 0; i < m_sections->count(); ++i)
        if (auto* section = qobject_cast<SettingsSection*>(m_sections->itemAt(i)->widget()))
            found.append(section);
    return found;
}

QWidget* SettingsPage::connectionSection()
{
    const TargetBrowser browser = m_model.targetBrowser();
    const QString name = browser.displayName;
    QList<QWidget*> rows;

    // With several supported browsers installed, the person picks the one
    // whose profiles the links open in.
    // A chosen browser that is gone stays the choice, shown as missing, until
    // the person picks another: links are never sent elsewhere behind their back.
    const QList<TargetBrowser> installed = m_model.platform().installedBrowsers();
    const bool missing = !browser.installed && !installed.isEmpty();
    if (installed.size() >= 2 || missing) {
        VantraDropdown::Options options;
        if (missing)
            options.append({browser.id, name + " (not installed)"});
        for (const TargetBrowser& each : installed)
            options.append({each.id, each.displayName});
        auto* choice = new VantraDropdown(m_palette, options, browser.id, 190);
        choice->setObjectName("browser");
        connect(choice, &VantraDropdown::selectionChanged, this, [this](const QVariant& id) {
            if (id.toString() == m_model.targetBrowser().id)
                return;
            m_model.setTargetBrowser(id.toString());
            // The names listed belong to the other browser.
            m_model.setProfiles({});
            refreshAfterBrowserChange();
        });
        rows.append(new SettingRow("Browser",
                                   missing ? name + " is not installed. Links wait until it is back or you "
                                                    "choose another browser."
                                           : "Links open in this browser's profiles.",
                                   choice, m_palette));
    }

    const QStringList& profiles = m_model.profiles();
    auto* refresh = button(m_model.busy() ? "Connecting\u2026" : "Refresh", m_palette);
    refresh->setEnabled(!m_model.busy());
    connect(refresh, &QAbstractButton::clicked, this, [this] { m_model.refresh(false); });
    rows.append(new SettingRow((profiles.isEmpty() ? "Not connected to " : "Connected to ") + name,
                               profiles.isEmpty()
                                   ? "Open a " + name + " window, then connect to list your profiles."
                                   : profiles.join(QStringLiteral("  \u00b7  ")),
                               refresh, m_palette));

    QString detail;
    const std::optional<QString>& other = m_model.otherDefaultBrowser();
    if (m_model.isDefaultBrowser())
        detail = "Corvane receives links opened from other apps.";
    else if (m_model.defaultIsLinkRouter())
        detail = other.value_or("Your link router") +
                 " is your default browser. Choose Corvane as its browser so your rules apply.";
    else
        detail = "Links from other apps go to " + other.value_or("another browser") +
                 " now. Make Corvane the default so your rules apply.";
    QWidget* control = nullptr;
    if (m_model.isDefaultBrowser()) {
        control = defaultMark(m_palette);
    } else {
        auto* set = button("Set as default\u2026", m_palette);
        connect(set, &QAbstractButton::clicked, this, [this] { m_model.setDefault(); });
        control = set;
    }
    rows.append(new SettingRow("Default browser", detail, control, m_palette));
    return new SettingsSection("Connection", rows, m_palette);
}

namespace {

// "Work", "Work and Play", "Work, Home and Play".
QString spokenList(const QStringList& names)
{
    if (names.size() < 2)
        return names.join(QString());
    return names.first(names.size() - 1).join(", ") + " and " + names.last();
}

// Tab reuse goes through the extension, so the row says where it is connected.
QString reuseDetail(const QStringList& connected, const QStringList& profiles)
{
    const QString what = "If the page is already open in that profile, switch to it instead of opening a new tab.";
    if (connected.isEmpty())
        return what + " This needs the extension below; it is connected in no profile now, so links open in a "
                      "new tab.";
    const bool everywhere = !profiles.isEmpty() && std::all_of(profiles.begin(), profiles.end(), [&](const QString& p) {
        return connected.contains(p);
    });
    if (everywhere)
        return what + " Works in every profile: the extension is connected in each.";
    return what + " Works in " + spokenList(connected) +
           ", where the extension is connected; other profiles open a new tab.";
}

} // namespace

QWidget* SettingsPage::routingSection()
{
    const TargetBrowser browser = m_model.targetBrowser();
    const std::optional<std::string>& current = m_model.config().defaultProfile;

    std::set<QString> names(m_model.profiles().begin(), m_model.profiles().end());
    if (current)
        names.insert(QString::fromStdString(*current));
    names.erase(QString());
    VantraDropdown::Options options{{QString(), "Ask every time"}};
    for (const QString& name : names)
        options.append({name, name});
    auto* unmatched =
        new VantraDropdown(m_palette, options, current ? QString::fromStdString(*current) : QString(), 190);
    unmatched->setObjectName("unmatched");
    connect(unmatched, &VantraDropdown::selectionChanged, this, [this](const QVariant& value) {
        Configuration config = m_model.config();
        const QString name = value.toString();
        // The empty choice means "ask": no key at all in the file, not "".
        config.defaultProfile = name.isEmpty() ? std::nullopt : std::optional(name.toStdString());
        m_model.setConfig(config);
    });

    m_reuse = new VantraToggle(m_palette, "Reuse open tabs");
    m_reuse->setObjectName("reuseOpenTabs");
    m_reuse->setOn(Preferences::of(m_model).reuseOpenTabs());
    connect(m_reuse, &QAbstractButton::toggled, this,
            [this](bool on) { Preferences::of(m_model).setReuseOpenTabs(on); });

    auto* extension = button("Show extension", m_palette);
    connect(extension, &QAbstractButton::clicked, this, [this] { m_model.revealExtension(); });

    const QString name = browser.displayName;
    const QString extensionIntro =
        "The optional extension adds \u201cRoute with Corvane\u201d to a link\u2019s right-click menu. In " +
        name + ", open " + browser.extensionsPage;
    return new SettingsSection(
        "Routing",
        {new SettingRow("Unmatched links", "Pick a profile each time, or send them to one profile.",
                        unmatched, m_palette),
         new SettingRow("Reuse open tabs", reuseDetail(m_model.tabReuseProfiles(), m_model.profiles()),
                        m_reuse, m_palette),
         new SettingRow(
             "Links inside " + name,
             browser.firefox
                 ? extensionIntro + ", choose This Firefox" +
                       ", then Load Temporary Add-on and pick manifest.json in the folder this button "
                       "shows. It stays only until " +
                       name + " restarts unless it is signed."
                 : extensionIntro + ", turn on Developer mode, choose Load unpacked and pick the folder this "
                                    "button shows.",
             extension, m_palette)},
        m_palette);
}

QWidget* SettingsPage::appearanceSection()
{
    m_colorMode = new VantraSegmented(m_palette, {{"system", "System"}, {"light", "Light"}, {"dark", "Dark"}},
                                      Preferences::of(m_model).appearance());
    m_colorMode->setObjectName("colorMode");
    connect(m_colorMode, &VantraSegmented::selectionChanged, this,
            [this](const QVariant& value) { Preferences::of(m_model).setAppearance(value.toString()); });

    m_menuBar = new VantraToggle(m_palette, "Show in tray");
    m_menuBar->setObjectName("showInMenuBar");
    m_menuBar->setOn(Preferences::of(m_model).showInMenuBar());
    connect(m_menuBar, &QAbstractButton::toggled, this,
            [this](bool on) { Preferences::of(m_model).setShowInMenuBar(on); });

    return new SettingsSection(
        "Appearance",
        {new SettingRow("Color mode", "Frame in light mode, Solid in dark mode.", m_colorMode, m_palette),
         new SettingRow("Show in tray",
                        "When off, Corvane keeps working in the background. Open it from your applications "
                        "menu to get back here.",
                        m_menuBar, m_palette)},
        m_palette);
}

QWidget* SettingsPage::aboutSection()
{
    auto* brand = new QWidget;
    brand->setObjectName("brand");
    auto* brandRow = new QHBoxLayout(brand);
    brandRow->setContentsMargins(16, 15, 16, 15);
    brandRow->setSpacing(12);
    brandRow->addWidget(new ToneIcon("mark", 22, m_palette, ToneIcon::ink), 0, Qt::AlignVCenter);
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    names->addWidget(new PaletteLabel("Corvane", m_palette, 15, QFont::DemiBold));
    names->addWidget(new PaletteLabel(tagline, m_palette, 12, QFont::Normal, PaletteLabel::Tone::muted));
    brandRow->addLayout(names, 1);

    const QString version = SettingsActions::appVersion(m_model);
    const std::optional<UpdateInfo>& update = m_model.availableUpdate();
    QString detail;
    VantraButton* action = nullptr;
    const bool packaged = SettingsActions::updatesFromPackage(m_model);
    if (!update) {
        detail =
            "Corvane checks " + SettingsActions::updateFeedHost(m_model) + " for new versions once a day.";
        if (packaged)
            detail = "Updates come from the package. " + detail;
        action = button("Check for updates", m_palette);
        connect(action, &QAbstractButton::clicked, this,
                [this] { SettingsActions::checkForUpdates(m_model); });
    } else if (packaged) {
        detail = "Version " + update->version +
                 " is available. Updates come from the package: install the new "
                 "package from the website.";
        action = button("Open website", m_palette, true);
        connect(action, &QAbstractButton::clicked, this, [this] { SettingsActions::installUpdate(m_model); });
    } else {
        detail = "Version " + update->version +
                 " is available. Installing takes a few seconds and restarts the app.";
        action = button(m_model.installingUpdate() ? "Installing\u2026" : "Install " + update->version,
                        m_palette, true);
        action->setEnabled(!m_model.installingUpdate());
        connect(action, &QAbstractButton::clicked, this, [this] { SettingsActions::installUpdate(m_model); });
    }
    action->setObjectName("versionAction");

    auto* feedback = button("Send feedback", m_palette);
    connect(feedback, &QAbstractButton::clicked, this, [this] { SettingsActions::sendFeedback(m_model); });

    return new SettingsSection(
        "About",
        {brand, new SettingRow("Version " + version, detail, action, m_palette),
         new SettingRow("Feedback", "Bugs, ideas or questions. It goes straight to me.", feedback,
                        m_palette)},
        m_palette);
}

QWidget* SettingsPage::settingsFileSection()
{
    auto* reveal = button("Reveal file", m_palette);
    connect(reveal, &QAbstractButton::clicked, this, [this] { m_model.revealSettings(); });
    return new SettingsSection(
        "Settings file",
        {new SettingRow(
            "Stored on this computer",
            "Rules never leave this computer. The previous version is kept as a backup when you save.",
            reveal, m_palette)},
        m_palette);
}

QWidget* SettingsPage::privacyNote()
{
    auto* note = new QWidget;
    note->setObjectName("privacyNote");
    auto* row = new QHBoxLayout(note);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(new ToneIcon("lock", 11, m_palette, ToneIcon::muted), 0, Qt::AlignVCenter);
    row->addWidget(
        new PaletteLabel("No browsing history. No telemetry. Site icons come straight from each site.",
                         m_palette, 11, QFont::Normal, PaletteLabel::Tone::muted),
        1);
    return note;
}

void SettingsPage::rebuildConnection()
{
    replaceBlock(m_sections, m_connection, connectionSection());
}

void SettingsPage::rebuildRouting()
{
    replaceBlock(m_sections, m_routing, routingSection());
}

void SettingsPage::rebuildAbout()
{
    replaceBlock(m_sections, m_about, aboutSection());
}

void SettingsPage::refreshAfterBrowserChange()
{
    // A refresh still running asks the previous browser; its answer must not
    // be the last word, so ask again once it is over.
    disconnect(m_deferredRefresh);
    if (!m_model.busy()) {
        m_model.refresh(false);
        return;
    }
    m_deferredRefresh = connect(&m_model, &Model::busyChanged, this, [this] {
        if (m_model.busy())
            return;
        disconnect(m_deferredRefresh);
        m_model.refresh(false);
    });
}

void SettingsPage::syncPreferences()
{
    const Preferences& preferences = Preferences::of(m_model);
    if (m_reuse->isOn() != preferences.reuseOpenTabs())
        m_reuse->setOn(preferences.reuseOpenTabs());
    if (m_menuBar->isOn() != preferences.showInMenuBar())
        m_menuBar->setOn(preferences.showInMenuBar());
    if (m_colorMode->selection() != preferences.appearance())
        m_colorMode->setSelection(preferences.appearance());
}

} // namespace corvane
