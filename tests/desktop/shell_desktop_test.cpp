// Corvane on a real X desktop: the panel, the tray icon and the keyboard as a
// person meets them.

#include "desktop_session.h"

#include <QThread>

namespace corvane::testing {
namespace {

using ShellDesktop = DesktopTest;

TEST_F(ShellDesktop, BareLaunchOpensThePanelUnderTheTrayIcon)
{
    startDesktop();
    corvane();

    qulonglong panel = 0;
    ASSERT_TRUE(waitFor([&] { return (panel = visibleWindow("Corvane")) != 0; }));
    qulonglong icon = 0;
    ASSERT_TRUE(waitFor([&] { return (icon = trayIcon()) != 0; }));

    const QRect iconRect = geometry(icon);
    QRect panelRect;
    // The panel is placed before it is mapped; give the window manager time
    // to report the final place.
    ASSERT_TRUE(waitFor([&] {
        panelRect = geometry(panel);
        return panelRect.top() == iconRect.bottom() + 1 + 6;
    })) << panelRect.top()
        << " under an icon ending at " << iconRect.bottom();
    EXPECT_EQ(panelRect.size(), QSize(900, 640));
    EXPECT_LE(panelRect.right(), 1280 - 1 - 8) << "8 inside the screen's right edge";
}

TEST_F(ShellDesktop, TrayIconClosesThePanelAndOpensItAgain)
{
    startDesktop();
    corvane();
    qulonglong icon = 0;
    ASSERT_TRUE(waitFor([&] { return visibleWindow("Corvane") != 0 && (icon = trayIcon()) != 0; }));
    const QPoint middle = geometry(icon).center();

    click(middle);
    EXPECT_TRUE(waitFor([&] { return visibleWindow("Corvane") == 0; }))
        << "a click on the icon closes the panel";

    // Past the guard that keeps the closing click from reopening it.
    QThread::msleep(500);
    click(middle);
    EXPECT_TRUE(waitFor([&] { return visibleWindow("Corvane") != 0; })) << "the next click opens it";
}

TEST_F(ShellDesktop, WithoutATrayHostLaunchingAgainBringsThePanelBack)
{
    startDesktop(false);
    corvane();
    qulonglong panel = 0;
    ASSERT_TRUE(waitFor([&] { return (panel = visibleWindow("Corvane")) != 0; }));

    xdotool({"windowactivate", "--sync", QString::number(panel)});
    xdotool({"key", "Escape"});
    ASSERT_TRUE(waitFor([&] { return visibleWindow("Corvane") == 0; })) << "Escape closes the panel";

    QProcess* again = corvane();
    EXPECT_TRUE(again->waitForFinished(10000)) << "the later launch hands over and ends";
    EXPECT_TRUE(waitFor([&] { return visibleWindow("Corvane") != 0; }));
}

} // namespace
} // namespace corvane::testing
