#include "wait_until.h"

#include <QDeadlineTimer>
#include <QTest>

namespace corvane::test {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

} // namespace corvane::test
