// The update-reply reader on arbitrary bodies; whatever it accepts must also classify.
#include <cstdint>

#include "CheckUpdate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const UpdateReply reply =
        parseUpdateReply(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    (void)classifyUpdateResult(reply.version, reply.url, reply.error);
    (void)isNewerVersion(reply.version);
    (void)isWebUrl(QUrl(reply.url));
    return 0;
}
