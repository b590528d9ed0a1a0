#include "native_arguments.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // byte b is kept as kEscapeBase + b (b >= 0x80)

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at text[0], or 0 when it is not one (overlong
// forms, surrogates and values past U+10FFFF included).
int sequenceLength(const unsigned char* text, qsizetype left) {
    const unsigned char lead = text[0];
    if (lead < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || text[1] < low || text[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (!isContinuation(text[i]))
            return 0;
    return length;
}

bool isKeptByte(QChar c) {
    return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF;
}

}  // namespace

QString decodeArgument(const QByteArray& bytes) {
    const auto* text = reinterpret_cast<const unsigned char*>(bytes.constData());
    QString decoded;
    decoded.reserve(bytes.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = sequenceLength(text + i, bytes.size() - i);
        if (length > 0) {
            i += length;
            continue;
        }
        decoded += QString::fromUtf8(bytes.constData() + runStart, i - runStart);
        decoded += QChar(static_cast<char16_t>(kEscapeBase + text[i]));
        runStart = ++i;
    }
    decoded += QString::fromUtf8(bytes.constData() + runStart, bytes.size() - runStart);
    return decoded;
}

QStringList decodeArguments(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << decodeArgument(QByteArray(argv[i]));
    return arguments;
}

QByteArray argumentBytes(const QString& argument) {
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const QChar c = argument.at(i);
        // A low surrogate after a high one is half of a real character, not a kept byte.
        if (c.isHighSurrogate() && i + 1 < argument.size() && argument.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (!isKeptByte(c))
            continue;
        bytes += QStringView(argument).mid(runStart, i - runStart).toUtf8();
        bytes += static_cast<char>(c.unicode() - kEscapeBase);
        runStart = i + 1;
    }
    bytes += QStringView(argument).mid(runStart).toUtf8();
    return bytes;
}

QString shownArgument(const QString& argument) {
    QString shown = argument;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown.at(i).isHighSurrogate() && i + 1 < shown.size() && shown.at(i + 1).isLowSurrogate())
            ++i;
        else if (isKeptByte(shown.at(i)))
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}
