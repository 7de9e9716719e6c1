#include "page_fixture.h"

#include "core/router.h"

#include <QPainter>

namespace corvane::testing {

PageHost::PageHost() : m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    setPalette(m_palette.qtPalette());
    // The window's content card.
    resize(676, 624);
}

void PageHost::setDark(bool dark)
{
    m_palette.dark = dark;
    setPalette(m_palette.qtPalette());
    update();
}

void PageHost::setPage(QWidget* page)
{
    m_layout->addWidget(page);
}

QImage PageHost::shot()
{
    QImage image(size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    render(&image);
    return image;
}

void PageHost::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), m_palette.card());
}

void PageTest::SetUp()
{
    ModelTest::SetUp();
    env.saveDelayMs = 20;
    env.updates.version = "1.2.0";
    env.updates.feedURL = "https://updates.example.net/corvane/latest.json";
    icons = std::make_unique<Favicons>(path("icons"), Favicons::Fetch{}, true);
    Favicons::install(icons.get());
    host = std::make_unique<PageHost>();
}

void PageTest::TearDown()
{
    host.reset();
    model.reset();
    Favicons::install(nullptr);
    icons.reset();
    ModelTest::TearDown();
}

Pending pendingLink(const QString& url, std::optional<QString> profile, const QString& reason, bool attempted)
{
    return Pending{Uuid::random(), Router::incoming(url.toStdString()), std::move(profile), reason,
                   attempted, {}};
}

Opened openedLink(const QString& url, const QString& profile, const QString& reason, bool reused)
{
    return Opened{Uuid::random(), Router::incoming(url.toStdString()), profile, reason, reused};
}

} // namespace corvane::testing
