#include "appearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>

namespace corvane {

namespace {

constexpr auto portalService = "org.freedesktop.portal.Desktop";
constexpr auto portalPath = "/org/freedesktop/portal/desktop";
constexpr auto portalInterface = "org.freedesktop.portal.Settings";

// The portal's color-scheme: 1 prefers dark, 2 prefers light, 0 no preference.
std::optional<bool> darkFromPortal(const QVariant& value)
{
    QVariant v = value;
    while (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
        v = v.value<QDBusVariant>().variant();
    bool ok = false;
    const uint scheme = v.toUInt(&ok);
    if (!ok || (scheme != 1 && scheme != 2))
        return std::nullopt;
    return scheme == 1;
}

bool paletteIsDark()
{
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

} // namespace

Appearance& Appearance::shared()
{
    static Appearance* instance = new Appearance();
    return *instance;
}

Appearance::Appearance()
{
    m_systemDark = paletteIsDark();
    askPortal();
}

void Appearance::askPortal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(portalService, portalPath, portalInterface, "SettingChanged", this,
                SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read = QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, "Read");
    read << QString("org.freedesktop.appearance") << QString("color-scheme");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        QDBusPendingReply<QVariant> reply = *call;
        if (!reply.isError())
            if (const auto dark = darkFromPortal(reply.value()))
                setSystemDark(*dark);
        call->deleteLater();
    });
}

void Appearance::portalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    if (group == "org.freedesktop.appearance" && key == "color-scheme")
        setSystemDark(darkFromPortal(value.variant()).value_or(paletteIsDark()));
}

void Appearance::apply(const QString& appearance)
{
    const bool before = dark();
    if (appearance == "light")
        m_forced = false;
    else if (appearance == "dark")
        m_forced = true;
    else
        m_forced.reset();
    if (dark() != before)
        emit changed();
}

void Appearance::setSystemDark(bool value)
{
    const bool before = dark();
    m_systemDark = value;
    if (dark() != before)
        emit changed();
}

} // namespace corvane
