#include "sidebar.h"

#include "app/model.h"
#include "nav_row.h"
#include "platform/platform.h"
#include "ui/kit/fonts.h"
#include "ui/kit/icon.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/palette.h"
#include "ui/kit/preferences.h"
#include "ui/kit/view_state.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QVBoxLayout>

namespace corvane {

namespace {

// A square button drawing one icon, optionally on the selected-row pill.
class SquareButton : public QAbstractButton {
public:
    SquareButton(int size, Icon* icon, QWidget* parent = nullptr) : QAbstractButton(parent), m_icon(icon)
    {
        setFixedSize(size, size);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        icon->setParent(this);
        icon->move((size - icon->width()) / 2, (size - icon->height()) / 2);
    }
    void setPill(bool pill)
    {
        m_pill = pill;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!m_pill && !isDown())
            return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(m_pill ? VantraPalette::navPill() : VantraPalette::navHover());
        p.drawRoundedRect(QRectF(rect()), 6, 6);
    }

private:
    Icon* m_icon;
    bool m_pill = false;
};

QString browserName(const Model& model)
{
    return model.targetBrowser().displayName;
}

// The file browser's order: runs of digits compare by value, letters ignore
// case. (QCollator's numeric mode needs ICU, which not every Qt build has.)
int fileBrowserCompare(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            QStringView da = QStringView(a).mid(i, ei - i), db = QStringView(b).mid(j, ej - j);
            while (da.size() > 1 && da.front() == u'0')
                da = da.mid(1);
            while (db.size() > 1 && db.front() == u'0')
                db = db.mid(1);
            if (da.size() != db.size())
                return da.size() < db.size() ? -1 : 1;
            if (const int c = da.compare(db); c != 0)
                return c;
            i = ei;
            j = ej;
            continue;
        }
        qsizetype ei = i, ej = j;
        while (ei < a.size() && !a[ei].isDigit())
            ++ei;
        while (ej < b.size() && !b[ej].isDigit())
            ++ej;
        const QString ta = a.mid(i, ei - i).toLower(), tb = b.mid(j, ej - j).toLower();
        if (const int c = QString::localeAwareCompare(ta, tb); c != 0)
            return c;
        i = ei;
        j = ej;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return QString::compare(a, b);
}

} // namespace

QStringList Sidebar::knownProfiles(const QStringList& reported, const std::vector<Rule>& rules)
{
    QSet<QString> seen;
    QStringList names;
    auto add = [&](const QString& name) {
        if (!name.isEmpty() && !seen.contains(name)) {
            seen.insert(name);
            names << name;
        }
    };
    for (const QString& name : reported)
        add(name);
    for (const Rule& rule : rules)
        add(QString::fromStdString(rule.profile));
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return fileBrowserCompare(a, b) < 0; });
    return names;
}

Sidebar::Sidebar(Model& model, ViewState& state, QWidget* parent)
    : QWidget(parent), m_model(model), m_state(state), m_preferences(Preferences::of(model))
{
    setFixedWidth(216);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 0, 8, 10);
    column->setSpacing(2);

    // The pin button, at the right.
    m_pinIcon = new Icon("pin", 14, VantraPalette::navFaint());
    m_pin = new SquareButton(28, m_pinIcon);
    connect(m_pin, &QAbstractButton::clicked, this,
            [this] { m_preferences.setPinWindow(!m_preferences.pinWindow()); });
    auto* pinRow = new QHBoxLayout;
    pinRow->setContentsMargins(0, 8, 0, 6);
    pinRow->addStretch();
    pinRow->addWidget(m_pin);
    column->addLayout(pinRow);

    const std::array<std::pair<const char*, const char*>, 3> pages{
        {{"split", "Rules"}, {"link", "Links"}, {"settings", "Settings"}}};
    for (const auto& [icon, title] : pages) {
        auto* row = new NavRow(icon, title);
        m_rows << row;
        column->addWidget(row);
    }
    connect(m_rows[0], &QAbstractButton::clicked, this, [this] {
        m_state.setTab(AppTab::rules);
        m_state.setProfileFilter(QString());
    });
    connect(m_rows[1], &QAbstractButton::clicked, this, [this] { m_state.setTab(AppTab::links); });
    connect(m_rows[2], &QAbstractButton::clicked, this, [this] { m_state.setTab(AppTab::settings); });

    // "Profiles" and the refresh button.
    auto* header = new QHBoxLayout;
    header->setContentsMargins(10, 18, 4, 2);
    auto* title = new QLabel("Profiles");
    title->setFont(UIFont::font(12, QFont::Medium));
    QPalette titlePalette = title->palette();
    titlePalette.setColor(QPalette::WindowText, VantraPalette::navFaint());
    title->setPalette(titlePalette);
    header->addWidget(title);
    header->addStretch();
    m_refreshIcon = new Icon("refresh-cw", 13, VantraPalette::navFaint());
    m_refresh = new SquareButton(24, m_refreshIcon);
    m_refresh->setAccessibleName("Refresh profiles");
    connect(m_refresh, &QAbstractButton::clicked, this, [this] { m_model.refresh(false); });
    m_turn = new QPropertyAnimation(m_refreshIcon, "rotation", this);
    m_turn->setDuration(400);
    m_turn->setEasingCurve(QEasingCurve::InOutQuad);
    header->addWidget(m_refresh);
    column->addLayout(header);

    // Either the connect button or the profile rows.
    m_connect = new QPushButton;
    m_connect->setFlat(true);
    m_connect->setCursor(Qt::PointingHandCursor);
    m_connect->setFont(UIFont::font(13));
    m_connect->setFixedHeight(28);
    m_connect->setStyleSheet(
        QString("QPushButton { color: %1; text-align: left; padding: 0 10px; border: none;"
                " background: transparent; }")
            .arg(VantraPalette::navMuted().name()));
    connect(m_connect, &QPushButton::clicked, this, [this] { m_model.refresh(false); });
    column->addWidget(m_connect);

    m_profileArea = new QScrollArea;
    m_profileArea->setFrameShape(QFrame::NoFrame);
    m_profileArea->setWidgetResizable(true);
    m_profileArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_profileArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_profileArea->setStyleSheet("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }");
    auto* list = new QWidget;
    m_profileList = new QVBoxLayout(list);
    m_profileList->setContentsMargins(0, 0, 0, 0);
    m_profileList->setSpacing(2);
    m_profileList->addStretch();
    m_profileArea->setWidget(list);
    column->addWidget(m_profileArea, 1);
    column->addStretch(0);

    connect(&m_model, &Model::configChanged, this, [this] {
        updateRows();
        updateProfiles();
    });
    connect(&m_model, &Model::profilesChanged, this, &Sidebar::updateProfiles);
    connect(&m_model, &Model::targetBrowserChanged, this, &Sidebar::updateProfiles);
    connect(&m_model, &Model::pendingChanged, this, &Sidebar::updateRows);
    connect(&m_model, &Model::busyChanged, this, &Sidebar::updateBusy);
    connect(&m_state, &ViewState::tabChanged, this, [this] {
        updateRows();
        updateProfiles();
    });
    connect(&m_state, &ViewState::profileFilterChanged, this, [this] {
        updateRows();
        updateProfiles();
    });
    connect(&m_preferences, &Preferences::pinWindowChanged, this, &Sidebar::updatePin);
    updateRows();
    updateProfiles();
    updatePin();
    updateBusy();
}

void Sidebar::updateRows()
{
    const bool onRules = m_state.tab() == AppTab::rules;
    m_rows[0]->setCount(int(m_model.config().rules.size()));
    m_rows[0]->setSelected(onRules && m_state.profileFilter().isEmpty());
    m_rows[1]->setCount(int(m_model.pending().size()));
    m_rows[1]->setHighlight(!m_model.pending().isEmpty());
    m_rows[1]->setSelected(m_state.tab() == AppTab::links);
    m_rows[2]->setSelected(m_state.tab() == AppTab::settings);
}

void Sidebar::updateProfiles()
{
    const QString browser = browserName(m_model);
    m_refresh->setToolTip("Refresh profiles from " + browser);
    const std::vector<Rule>& rules = m_model.config().rules;
    const QStringList known = knownProfiles(m_model.profiles(), rules);
    m_connect->setVisible(known.isEmpty());
    m_profileArea->setVisible(!known.isEmpty());
    updateBusy();

    if (known != m_shownProfiles) {
        qDeleteAll(m_profileRows);
        m_profileRows.clear();
        for (const QString& name : known) {
            auto* row = new NavRow(QString(), name);
            connect(row, &QAbstractButton::clicked, this, [this, name] {
                m_state.setTab(AppTab::rules);
                m_state.setProfileFilter(m_state.profileFilter() == name ? QString() : name);
            });
            m_profileList->insertWidget(m_profileList->count() - 1, row);
            m_profileRows << row;
        }
        m_shownProfiles = known;
    }
    for (NavRow* row : m_profileRows) {
        const QString name = row->text();
        const bool reported = m_model.profiles().contains(name);
        row->setIcon(reported ? "circle-user-round" : "person.crop.circle.badge.questionmark");
        row->setToolTip(reported ? "Show rules for " + name : name + " was not found in " + browser);
        row->setCount(int(std::count_if(rules.begin(), rules.end(), [&](const Rule& r) {
            return QString::fromStdString(r.profile) == name;
        })));
        row->setSelected(m_state.tab() == AppTab::rules && m_state.profileFilter() == name);
    }
}

void Sidebar::updatePin()
{
    const bool pinned = m_preferences.pinWindow();
    auto* pin = static_cast<SquareButton*>(m_pin);
    pin->setPill(pinned);
    m_pinIcon->setRotation(pinned ? 0 : 45);
    m_pinIcon->setColor(pinned ? VantraPalette::navText() : VantraPalette::navFaint());
    m_pin->setToolTip(pinned ? "Pinned: stays open. Click so it closes when you click away."
                             : "Keep this window open while you use other apps");
    m_pin->setAccessibleName(pinned ? "Unpin window" : "Pin window");
}

void Sidebar::updateBusy()
{
    const bool busy = m_model.busy();
    m_connect->setText(busy ? "Connecting…" : "Connect to " + browserName(m_model));
    const double target = busy ? 180 : 0;
    if (m_turn->endValue().toDouble() != target || m_turn->state() != QAbstractAnimation::Running) {
        if (m_refreshIcon->rotation() == target)
            return;
        m_turn->stop();
        m_turn->setStartValue(m_refreshIcon->rotation());
        m_turn->setEndValue(target);
        m_turn->start();
    }
}

} // namespace corvane
