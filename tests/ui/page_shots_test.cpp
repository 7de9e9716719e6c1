#include "app/model.h"
#include "page_fixture.h"
#include "ui/kit/palette.h"
#include "ui/pages/links_page.h"
#include "ui/pages/settings_page.h"
#include "ui/window/content_view.h"

#include <QCoreApplication>
#include <QDir>
#include <QScrollArea>
#include <QScrollBar>

namespace corvane::testing {
namespace {

// Every page in both schemes, drawn as the previews draw them. The card's
// rounded corners show the frame behind it (no page paints a square over
// them), the window's own corners are clear, and the card is white in light
// mode and near black in dark mode, at the top of each page and scrolled to
// its end. With CORVANE_PAGE_SHOTS naming a folder the pictures are kept too.
class PageShots : public PageTest {
protected:
    static QImage shot(QWidget& window)
    {
        QImage image(window.size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        // As the panel shows it: over nothing, the window's own background
        // left out (the panel is translucent).
        window.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }
    static int distance(QColor a, QColor b)
    {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
    }
    // Checks one picture; `where` names it in failures.
    static void check(const QImage& image, bool dark, const std::string& where)
    {
        SCOPED_TRACE(where);
        ASSERT_EQ(image.size(), ContentView::panelSize * 2);
        for (QPoint corner : {QPoint(0, 0), QPoint(1799, 0), QPoint(0, 1279), QPoint(1799, 1279)})
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << "the window is rounded";
        // The card is inset 8 points at the right, top and bottom and starts
        // after the 216-point sidebar; 2 pixels in from each of its corners
        // lies outside its radius of 11 points.
        const QRect card(2 * 216, 2 * 8, 2 * 676, 2 * 624);
        for (QPoint corner : {card.topLeft() + QPoint(2, 2), card.topRight() + QPoint(-2, 2),
                              card.bottomLeft() + QPoint(2, -2), card.bottomRight() + QPoint(-2, -2)}) {
            const QColor seen = image.pixelColor(corner);
            EXPECT_LT(distance(seen, VantraPalette::frame()), 12)
                << "card corner " << corner.x() << "," << corner.y() << " is " << seen.name().toStdString();
        }
        // The page margin at the card's right, halfway down.
        const QColor fill = image.pixelColor(card.right() - 12, card.center().y());
        EXPECT_LT(distance(fill, VantraPalette{dark}.card()), 12) << fill.name().toStdString();
    }
};

TEST_F(PageShots, EveryPageKeepsTheCardRoundInBothSchemes)
{
    const QString folder = qEnvironmentVariable("CORVANE_PAGE_SHOTS");
    if (!folder.isEmpty())
        QDir().mkpath(folder);
    writeFile(env.settingsPath,
              R"({"version":1,"rules":[{"id":"6F9619FF-8B86-4011-B42D-00C04FC964FF","enabled":true,)"
              R"("kind":"domain","pattern":"github.com","profile":"Work"}],"defaultProfile":"Personal"})");
    model = makeModel();
    model->setProfiles({"Work", "Personal"});
    model->setIsDefaultBrowser(false);
    model->setOtherDefaultBrowser("Firefox ESR");
    model->setPending({pendingLink("https://news.example.com/2026/12/story-of-the-day?ref=mail"),
                       pendingLink("https://docs.example.org/guide/install", QString("Work"),
                                   "The browser did not answer.", true)});
    model->setRecent({openedLink("https://github.com/corvane/corvane/pull/12", "Work", "Rule 1: github.com"),
                      openedLink("https://shop.example/cart", "Personal", "Default profile", true)});
    model->setTestURL("github.com/corvane");
    for (bool dark : {false, true}) {
        for (AppTab tab : {AppTab::rules, AppTab::links, AppTab::settings}) {
            ContentView window(*model, dark ? ColorScheme::dark : ColorScheme::light);
            window.state().setTab(tab);
            window.show();
            QCoreApplication::processEvents();
            const std::string name = std::string(tab == AppTab::rules   ? "rules"
                                                 : tab == AppTab::links ? "links"
                                                                        : "settings") +
                                     (dark ? "-dark" : "-light");
            const QImage top = shot(window);
            check(top, dark, name);
            auto* area = window.page(tab)->findChild<QScrollArea*>();
            ASSERT_TRUE(area);
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
            const QImage end = shot(window);
            check(end, dark, name + "-end");
            if (!folder.isEmpty()) {
                EXPECT_TRUE(top.save(folder + "/" + QString::fromStdString(name) + ".png"));
                EXPECT_TRUE(end.save(folder + "/" + QString::fromStdString(name) + "-end.png"));
            }
        }
    }
}

} // namespace
} // namespace corvane::testing
