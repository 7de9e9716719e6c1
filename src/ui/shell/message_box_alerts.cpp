#include "message_box_alerts.h"

#include "run_in_front.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace corvane {

void MessageBoxAlerts::run(const Alert& alert, std::function<void(int response)> done)
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Corvane"));
    // Alert texts can carry what a server sent (a feed's version, a system
    // message naming a path): always plain text, never a link to click.
    box.setTextFormat(Qt::PlainText);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    for (QLabel* label : box.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    QList<QAbstractButton*> buttons;
    for (qsizetype i = 0; i < titles.size(); ++i)
        buttons << box.addButton(titles[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    // Escape answers with the last button: "Later", "Cancel", "Close".
    box.setEscapeButton(buttons.last());
    runInFront(box);
    const qsizetype index = buttons.indexOf(box.clickedButton());
    if (done)
        done(index < 0 ? 0 : AlertPresenter::firstButton + int(index));
}

} // namespace corvane
