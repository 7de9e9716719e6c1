#include "reply_drop.h"

#include <QNetworkRequest>

namespace corvane {

void dropReply(QPointer<QNetworkReply>& held, QObject* listener)
{
    if (!held)
        return;
    QNetworkReply* reply = held;
    held = nullptr;
    reply->disconnect(listener);
    // Qt reports an error status itself right after the headers; aborting
    // such a reply too would report twice. Deleting it ends the transfer.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isRunning() && reply->error() == QNetworkReply::NoError && status < 400)
        reply->abort();
    reply->deleteLater();
}

} // namespace corvane
