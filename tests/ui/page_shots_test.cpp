#include "app/model.h"
#include "page_fixture.h"
#include "ui/pages/links_page.h"
#include "ui/pages/settings_page.h"
#include "ui/window/content_view.h"

#include <QCoreApplication>
#include <QDir>
#include <QScrollArea>
#include <QScrollBar>

namespace corvane::testing {
namespace {

// Pictures of both pages over sample data, to look at by eye. Written only
// when CORVANE_PAGE_SHOTS names a folder.
class PageShots : public PageTest {};

TEST_F(PageShots, WritesBothPagesLightAndDark)
{
    const QString folder = qEnvironmentVariable("CORVANE_PAGE_SHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "set CORVANE_PAGE_SHOTS to a folder to write the pictures";
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
    {
        // The Links page with nothing waiting and nothing opened yet.
        QList<Pending> pending = model->pending();
        QList<Opened> recent = model->recent();
        model->setPending({});
        model->setRecent({});
        ContentView window(*model, ColorScheme::light);
        window.state().setTab(AppTab::links);
        window.show();
        QCoreApplication::processEvents();
        QImage image(window.size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        window.render(&image);
        EXPECT_TRUE(image.save(folder + "/links-empty-light.png"));
        model->setPending(pending);
        model->setRecent(recent);
    }
    for (bool dark : {false, true}) {
        for (AppTab tab : {AppTab::links, AppTab::settings}) {
            ContentView window(*model, dark ? ColorScheme::dark : ColorScheme::light);
            window.state().setTab(tab);
            window.show();
            QCoreApplication::processEvents();
            const QString file =
                folder + "/" + (tab == AppTab::links ? "links" : "settings") + (dark ? "-dark" : "-light");
            const auto shot = [&] {
                QImage image(window.size() * 2, QImage::Format_ARGB32_Premultiplied);
                image.setDevicePixelRatio(2);
                image.fill(Qt::transparent);
                window.render(&image);
                return image;
            };
            EXPECT_TRUE(shot().save(file + ".png")) << file.toStdString();
            auto* area = window.page(tab)->findChild<QScrollArea*>();
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
            EXPECT_TRUE(shot().save(file + "-end.png")) << file.toStdString();
        }
    }
}

} // namespace
} // namespace corvane::testing
