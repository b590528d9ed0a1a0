// Which hardware video encoders this machine can actually open. A driver or library that is
// installed but cannot open an encoder counts as absent, so a run never starts on an encoder
// that fails at its first frame.
#pragma once

#include <QString>
#include <QStringList>

struct HardwareProbe {
    QString h264Encoder;   // "h264_vaapi", "h264_nvenc", "h264_qsv"; empty: none opened
    QString hevcEncoder;
    QStringList log;       // one line per candidate: why it did or did not open
};

// Opens each candidate encoder once on a tiny picture.
HardwareProbe probeHardwareEncoders();
// Probed once per process, thread-safe.
const HardwareProbe& hardwareEncoders();
// "HWH4", "HWH5".
bool isHardwareCodecCode(const QString& code);
// False for a hardware code whose probe found nothing; true for every other code.
bool hardwareCodecAvailable(const QString& code);
