#include "app/favicons.h"
#include "ui/kit/button_style.h"
#include "ui/kit/dropdown.h"
#include "ui/kit/icon.h"
#include "ui/kit/overlay_scroll.h"
#include "ui/kit/segmented.h"
#include "ui/kit/site_icon.h"
#include "ui/kit/toggle.h"

#include <QAccessible>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace corvane {
namespace {

QImage drawn(const QString& name, const QColor& color, double size = 40)
{
    QImage image(qRound(size), qRound(size), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    Icons::paint(p, QRectF(0, 0, size, size), name, color);
    return image;
}

QRect inkBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

TEST(Icon, EveryNameTheInterfaceUsesIsDrawnInTheColourAsked)
{
    const QStringList names{"split",
                            "link",
                            "settings",
                            "pin",
                            "refresh-cw",
                            "plus",
                            "search",
                            "circle-x",
                            "circle-user-round",
                            "mark",
                            "arrow.triangle.branch",
                            "arrow.up",
                            "arrow.down",
                            "checkmark",
                            "checkmark.circle",
                            "checkmark.square.fill",
                            "square",
                            "ellipsis",
                            "exclamationmark.circle",
                            "exclamationmark.triangle",
                            "exclamationmark.triangle.fill",
                            "lock",
                            "magnifyingglass",
                            "person.crop.circle.badge.questionmark",
                            "xmark"};
    for (const QString& name : names) {
        const QImage image = drawn(name, QColor(0, 128, 255));
        const QRect bounds = inkBounds(image);
        ASSERT_FALSE(bounds.isEmpty()) << name.toStdString();
        // Opaque pixels carry exactly the colour; the artwork's black is gone.
        bool sawOpaque = false;
        for (int y = bounds.top(); y <= bounds.bottom(); ++y)
            for (int x = bounds.left(); x <= bounds.right(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255) {
                    sawOpaque = true;
                    EXPECT_EQ(image.pixel(x, y), qRgb(0, 128, 255)) << name.toStdString();
                }
        EXPECT_TRUE(sawOpaque) << name.toStdString();
    }
}

TEST(Icon, ASystemSymbolIsDrawnAtFourFifthsOfTheSize)
{
    // "magnifyingglass" has no file of its own: it is the search drawing,
    // centred at 0.8 times the size.
    const QImage symbol = drawn("magnifyingglass", Qt::black, 50);
    QImage expected(50, 50, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    {
        QPainter p(&expected);
        Icons::paint(p, QRectF(5, 5, 40, 40), "search", Qt::black);
    }
    EXPECT_EQ(inkBounds(symbol), inkBounds(expected));
    EXPECT_LT(inkBounds(symbol).width(), inkBounds(drawn("search", Qt::black, 50)).width());

    EXPECT_TRUE(inkBounds(drawn("no-such-icon", Qt::black)).isEmpty());
    EXPECT_TRUE(Icons::svg("no-such-icon").isEmpty());
}

// A small system symbol stands for a glyph of a weight: given a line width,
// its strokes are that wide whatever its size, instead of thinning with it.
TEST(Icon, ASymbolGivenALineWidthKeepsItsWeightWhenSmall)
{
    const auto coverage = [](double size, double lineWidth) {
        QImage image(qRound(size * 2), qRound(size * 2), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        QPainter p(&image);
        Icons::paint(p, QRectF(0, 0, size, size), "checkmark", Qt::black, lineWidth);
        p.end();
        double sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                sum += qAlpha(image.pixel(x, y)) / 255.0;
        return sum / 4; // in square points
    };
    // The check's two strokes are about 1.2 times the symbol's 0.8-size long.
    const double length = 12 * 0.8 * 1.2;
    EXPECT_LT(coverage(12, 0), length * 1.0) << "the artwork's own lines are thin at this size";
    EXPECT_NEAR(coverage(12, 1.4) / length, 1.4, 0.45);
    EXPECT_NEAR(coverage(24, 1.4) / (length * 2), 1.4, 0.45);
}

TEST(Icon, TheArtworkIsEditedOnceForTemplateDrawing)
{
    const QByteArray svg = Icons::svg("pin");
    EXPECT_FALSE(svg.contains("currentColor"));
    EXPECT_TRUE(svg.contains("stroke-width=\"1.75\""));
    EXPECT_FALSE(svg.contains("stroke-width=\"2\""));
}

TEST(ButtonStyle, ADisabledPrimaryButtonLooksSecondaryWithAFaintLabel)
{
    for (const bool dark : {false, true}) {
        const VantraPalette palette{dark};
        const VantraButtonStyle primary{&palette, true, 30};
        const VantraButtonStyle secondary{&palette, false, 30};
        EXPECT_EQ(primary.fill(true), palette.ink());
        EXPECT_EQ(primary.label(true), dark ? QColor(17, 17, 17) : QColor(255, 255, 255));
        EXPECT_FALSE(primary.bordered(true));
        EXPECT_EQ(primary.fill(false), secondary.fill(true));
        EXPECT_EQ(primary.bordered(false), secondary.bordered(true));
        EXPECT_EQ(primary.label(false), palette.faint());
        EXPECT_EQ(secondary.label(true), palette.ink());
    }
}

TEST(Dropdown, ASelectionMatchingNoOptionShowsNoTitleAndNoCheckmark)
{
    const VantraPalette palette;
    VantraDropdown dropdown(palette, {{QString(""), "Choose a profile"}, {QString("Work"), "Work"}},
                            QString("Gone"), 200);
    EXPECT_EQ(dropdown.title(), "");
    std::unique_ptr<QMenu> menu(dropdown.buildMenu(nullptr));
    ASSERT_EQ(menu->actions().size(), 2);
    for (QAction* action : menu->actions())
        EXPECT_FALSE(action->isChecked()) << action->text().toStdString();

    QSignalSpy changed(&dropdown, &VantraDropdown::selectionChanged);
    menu->actions()[1]->trigger();
    EXPECT_EQ(dropdown.selection(), QVariant(QString("Work")));
    EXPECT_EQ(dropdown.title(), "Work");
    ASSERT_EQ(changed.size(), 1);

    std::unique_ptr<QMenu> again(dropdown.buildMenu(nullptr));
    EXPECT_FALSE(again->actions()[0]->isChecked());
    EXPECT_TRUE(again->actions()[1]->isChecked());
}

// Only the current option carries a mark; the others show nothing beside
// their text, not the empty box of a multiple choice. The menu takes the
// palette it was opened with.
TEST(Dropdown, ItsMenuMarksOnlyTheCurrentOptionInThePalettesColours)
{
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const VantraPalette palette{dark};
        QWidget window;
        window.setPalette(palette.qtPalette());
        window.resize(300, 80);
        auto* dropdown = new VantraDropdown(
            palette, {{0, "Domain + subdomains"}, {1, "Exact host"}, {2, "URL path prefix"}}, 1, 220,
            &window);
        window.show();
        QTest::mouseClick(dropdown, Qt::LeftButton);
        auto* menu = dropdown->findChild<QMenu*>();
        ASSERT_TRUE(menu);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        const QImage shot = menu->grab().toImage();
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), 3);
        const QRect first = menu->actionGeometry(actions[0]);
        const QColor background = shot.pixelColor(first.right() - 6, first.center().y());
        const auto far = [](QColor a, QColor b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                       std::abs(a.blue() - b.blue()) >
                   90;
        };
        EXPECT_FALSE(far(background, palette.card())) << background.name().toStdString();
        for (int i = 0; i < 3; ++i) {
            const QRect item = menu->actionGeometry(actions[i]);
            // The part of the item before its text, inside the menu's frame.
            const int textLeft = item.left() + 24;
            int marked = 0;
            for (int y = item.top() + 1; y < item.bottom(); ++y)
                for (int x = item.left() + 4; x < textLeft; ++x)
                    marked += far(shot.pixelColor(x, y), background);
            if (i == 1) {
                EXPECT_GT(marked, 6) << "the current option is marked";
            } else {
                EXPECT_EQ(marked, 0) << actions[i]->text().toStdString();
            }
        }
        menu->close();
    }
}

TEST(Segmented, AClickSelectsTheSegmentAndMarksItSelected)
{
    const VantraPalette palette;
    VantraSegmented segmented(
        palette, {{QString("system"), "System"}, {QString("light"), "Light"}, {QString("dark"), "Dark"}},
        QString("system"));
    QSignalSpy changed(&segmented, &VantraSegmented::selectionChanged);
    ASSERT_EQ(segmented.segments().size(), 3);
    EXPECT_TRUE(segmented.segments()[0]->isChecked());
    EXPECT_EQ(segmented.segments()[2]->accessibleName(), "Dark");

    QTest::mouseClick(segmented.segments()[2], Qt::LeftButton);
    EXPECT_EQ(segmented.selection(), QVariant(QString("dark")));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_FALSE(segmented.segments()[0]->isChecked());
    EXPECT_TRUE(segmented.segments()[2]->isChecked());
    // Clicking the selected one again changes nothing.
    QTest::mouseClick(segmented.segments()[2], Qt::LeftButton);
    EXPECT_EQ(changed.size(), 1);
    EXPECT_TRUE(segmented.segments()[2]->isChecked());
}

TEST(OverlayScrollers, ShownWhileScrollingAndHiddenWhenIdle)
{
    const VantraPalette palette{true};
    QScrollArea area;
    auto* content = new QWidget;
    content->setFixedSize(200, 2000);
    area.setWidget(content);
    area.resize(220, 300);
    OverlayScrollBar* bar = overlayScrollers(&area, palette);
    area.show();
    EXPECT_EQ(area.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QTRY_VERIFY_WITH_TIMEOUT(area.verticalScrollBar()->maximum() > 0, 5000);
    EXPECT_FALSE(bar->isShowing());
    area.verticalScrollBar()->setValue(400);
    QTRY_VERIFY_WITH_TIMEOUT(bar->isShowing(), 5000);
    EXPECT_EQ(bar->geometry().right(), area.viewport()->geometry().right());
    QTRY_VERIFY_WITH_TIMEOUT(!bar->isShowing(), 5000);
}

TEST(Toggle, AClickFlipsItAndItReportsOnOrOff)
{
    const VantraPalette palette;
    VantraToggle toggle(palette, "Enable example.com");
    toggle.setOn(true);
    QSignalSpy toggled(&toggle, &QAbstractButton::toggled);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&toggle);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Enable example.com");
    EXPECT_EQ(accessible->text(QAccessible::Value), "On");

    QTest::mouseClick(&toggle, Qt::LeftButton);
    EXPECT_FALSE(toggle.isOn());
    ASSERT_EQ(toggled.size(), 1);
    EXPECT_EQ(toggled[0][0].toBool(), false);
    EXPECT_EQ(accessible->text(QAccessible::Value), "Off");
    // The knob springs across and comes to rest at the leading end.
    QTRY_COMPARE_WITH_TIMEOUT(toggle.knob(), 0.0, 5000);
}

TEST(SiteIcon, ThePlaceholderLetter)
{
    const std::vector<std::pair<QString, QString>> cases{
        {"github.com", "G"}, {"www.example.com", "E"}, {"WWW.example.com", "W"}, {"www", "?"},
        {"", "?"},           {"..www..news.org", "N"}, {"élan.fr", "É"},
    };
    for (const auto& [host, letter] : cases)
        EXPECT_EQ(SiteIcon::letter(host), letter) << host.toStdString();
}

TEST(SiteIcon, ShowsTheCachedIconOnceTheStoreHasIt)
{
    QTemporaryDir dir;
    QImage red(32, 32, QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0));
    ASSERT_TRUE(red.save(dir.filePath("example.com.icon"), "PNG"));
    Favicons store(dir.path(), {}, true);
    Favicons::install(&store);

    const VantraPalette palette;
    SiteIcon icon("Example.COM", palette, 20);
    QImage before = icon.grab().toImage();
    EXPECT_NE(before.pixelColor(10, 10), QColor(255, 0, 0)); // the letter placeholder
    icon.show();                                             // asks the store
    QTRY_VERIFY_WITH_TIMEOUT(store.cached("example.com").has_value(), 5000);
    EXPECT_EQ(icon.grab().toImage().pixelColor(10, 10), QColor(255, 0, 0));
    // The corners are rounded away.
    EXPECT_NE(icon.grab().toImage().pixelColor(0, 0), QColor(255, 0, 0));
    Favicons::install(nullptr);
}

} // namespace
} // namespace corvane
