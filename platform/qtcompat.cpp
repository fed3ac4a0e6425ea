#include "qtcompat.h"

namespace QtCompat {

const char *replyErrorSignal()
{
    // Qt 6 knows this signal only as errorOccurred, its second name since Qt 5.15.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return SIGNAL(errorOccurred(QNetworkReply::NetworkError));
#else
    return SIGNAL(error(QNetworkReply::NetworkError));
#endif
}

QDebug operator<<(QDebug debug, const LoggedList &list)
{
    const QDebugStateSaver saver(debug);
    debug.nospace() << '(';
    for (qsizetype i = 0; i < list.items.size(); ++i) {
        if (i > 0)
            debug << ", ";
        debug << list.items.at(i);
    }
    debug << ')';
    return debug;
}

} // namespace QtCompat
