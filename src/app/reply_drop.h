#pragma once

#include <QNetworkReply>
#include <QPointer>

namespace corvane {

// Stops listening to a reply that is no longer wanted and ends its transfer.
// `reply` is cleared; `listener` is the object its signals were connected to.
void dropReply(QPointer<QNetworkReply>& reply, QObject* listener);

} // namespace corvane
