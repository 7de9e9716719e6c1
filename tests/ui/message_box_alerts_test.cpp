#include "ui/shell/message_box_alerts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace corvane {
namespace {

// Runs the alert; `act` gets the box once it is on screen.
int answer(const Alert& alert, std::function<void(QMessageBox&)> act)
{
    QTimer::singleShot(0, [act] {
        const auto box = [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); };
        ASSERT_TRUE(QTest::qWaitFor([&] { return box() && box()->isVisible(); }, 5000));
        act(*box());
    });
    int response = -1;
    MessageBoxAlerts().run(alert, [&](int r) { response = r; });
    return response;
}

QAbstractButton* button(QMessageBox& box, const QString& text)
{
    for (QAbstractButton* b : box.buttons()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

TEST(MessageBoxAlerts, ShowsTheTextsAndAnswersWithTheButtonsPlace)
{
    const Alert alert{"Corvane 2.0 is available",
                      "You have 1.0. Install it now; Corvane restarts by itself.",
                      {"Install update", "Later"}};
    QString text, informative;
    EXPECT_EQ(answer(alert,
                     [&](QMessageBox& box) {
                         text = box.text();
                         informative = box.informativeText();
                         EXPECT_EQ(static_cast<QAbstractButton*>(box.defaultButton()),
                                   button(box, "Install update"));
                         button(box, "Later")->click();
                     }),
              1001);
    EXPECT_EQ(text, alert.message);
    EXPECT_EQ(informative, alert.informativeText);
    EXPECT_EQ(answer(alert, [](QMessageBox& box) { button(box, "Install update")->click(); }), 1000);
    EXPECT_EQ(answer(alert, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }), 1001)
        << "Escape is the last button";
    EXPECT_EQ(answer({"You're up to date", "Corvane 1.0 is the latest version.", {}},
                     [](QMessageBox& box) { button(box, "OK")->click(); }),
              1000);
}

TEST(MessageBoxAlerts, TextsAreShownAsWrittenNeverAsMarkup)
{
    const QString link = "<a href='file:///etc/passwd'>Corvane 9</a>";
    const Alert alert{"Corvane " + link + " is available", "<b>You have</b> " + link, {}};
    QStringList shown;
    answer(alert, [&](QMessageBox& box) {
        for (QLabel* label : box.findChildren<QLabel*>()) {
            if (label->text().isEmpty() || !label->isVisible())
                continue;
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
            EXPECT_FALSE(label->openExternalLinks());
            EXPECT_FALSE(label->textInteractionFlags() & Qt::LinksAccessibleByMouse);
            shown << label->text();
        }
        box.buttons().front()->click();
    });
    EXPECT_TRUE(shown.contains(alert.message));
    EXPECT_TRUE(shown.contains(alert.informativeText));
}

} // namespace
} // namespace corvane
