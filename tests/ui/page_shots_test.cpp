#include "app/model.h"
#include "page_fixture.h"
#include "ui/pages/links_page.h"
#include "ui/pages/settings_page.h"

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
    for (bool dark : {false, true}) {
        for (const char* name : {"links", "settings"}) {
            host = std::make_unique<PageHost>();
            host->setDark(dark);
            QWidget* page = QString(name) == "links"
                                ? static_cast<QWidget*>(new LinksPage(*model, host->vantraPalette()))
                                : new SettingsPage(*model, host->vantraPalette());
            host->setPage(page);
            host->show();
            QCoreApplication::processEvents();
            const QString file = folder + "/" + name + (dark ? "-dark" : "-light");
            EXPECT_TRUE(host->shot().save(file + ".png")) << file.toStdString();
            auto* area = page->findChild<QScrollArea*>();
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
            EXPECT_TRUE(host->shot().save(file + "-end.png")) << file.toStdString();
        }
    }
}

} // namespace
} // namespace corvane::testing
