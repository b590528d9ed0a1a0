#include "library_logging.h"

#include <QByteArray>
#include <QtGlobal>

void quietEncoderLibraries() {
    // SVT-AV1 writes a dozen "Svt[info]" lines for every encoder it opens; 1 keeps its errors.
    if (qEnvironmentVariableIsEmpty("SVT_LOG"))
        qputenv("SVT_LOG", QByteArrayLiteral("1"));
}
