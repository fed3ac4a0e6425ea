#include "qtcompat.h"

namespace QtCompat {

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
