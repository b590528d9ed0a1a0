// Profiles name codecs by four-character codes and containers by extensions; the engine
// wants FFmpeg encoder and muxer names.
#pragma once

#include <QString>

struct CodecInfo {
    CodecInfo(const char* code, const char* encoder, const char* display, int profile, int level,
              const char* options = "", bool hardware = false)
        : code(QString::fromLatin1(code)),
          encoder(QString::fromLatin1(encoder)),
          display(QString::fromLatin1(display)),
          profile(profile),
          level(level),
          options(QString::fromLatin1(options)),
          hardware(hardware) {}

    QString code;     // four characters, trailing blanks included
    QString encoder;  // FFmpeg encoder name handed to the engine
    QString display;  // shown in the profile settings dialog
    int profile;      // 0 = none requested
    int level;        // 0 = none requested
    QString options;  // fixed encoder options, "key=value:key=value"; empty for none
    bool hardware;    // stands for whichever hardware encoder this machine opens

    bool isH264() const;
};

// The first row whose code matches exactly, or the "ERROR" row.
const CodecInfo& codecInfo(const QString& code);
// The muxer of the first row whose extension (with its dot) matches exactly, or "mp4".
QString muxerForExtension(const QString& extension);

int codecTableSize();
const CodecInfo& codecTableRow(int index);
