#include "run_in_front.h"

#include "app_delegate.h"
#include "dropdown_panel.h"

#include <QMessageBox>
#include <QPointer>

namespace corvane {

int runInFront(QMessageBox& box)
{
    QPointer<DropdownPanel> panel = AppDelegate::shared() ? AppDelegate::shared()->window() : nullptr;
    const bool wasOnTop = panel && panel->onTop();
    if (panel)
        panel->setOnTop(false);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.show();
    box.raise();
    box.activateWindow();
    const int result = box.exec();
    if (panel)
        panel->setOnTop(wasOnTop);
    return result;
}

} // namespace corvane
