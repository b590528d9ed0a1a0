#include "codec_tables.h"

#include <array>
#include <utility>

namespace {

const std::array<CodecInfo, 55> kCodecs = {{
    {"MAAC", "aac", "AAC", 0, 0},
    {"AAC ", "aac", "AAC", 0, 0},
    {"MP3 ", "mp3", "MP3", 0, 0},
    {"fmp3", "mp3", "MP3", 0, 0},
    {"AC3 ", "ac3", "AC3", 0, 0},
    {"WMA9", "wmav2", "WMA2", 0, 0},
    {"WMA8", "wmav2", "WMA2", 0, 0},
    {"wma2", "wmav2", "WMA2", 0, 0},
    {"wma1", "wmav1", "WMA1", 0, 0},
    {"PCM ", "pcm_s16le", "PCM", 0, 0},
    {"DPCM", "pcm_s16le", "PCM", 0, 0},
    {"OGG ", "libvorbis", "vorbis", 0, 0},
    {"APE ", "ERROR", "ERROR", 0, 0},
    {"pcmb", "pcm_s16be", "pcm big ending", 0, 0},
    {"in24", "pcm_s24be", "PCM_s24be", 0, 0},
    {"flac", "flac", "FLAC", 0, 0},
    {"MP2A", "mp2", "MPEG2-audio", 0, 0},
    {"VBIS", "libvorbis", "vorbis", 0, 0},
    {"AMRN", "amr_nb", "AMR_NB", 0, 0},
    {"APCM", "adpcm_ima_wav", "ADPCM", 0, 0},
    {"IPAN", "h264", "H264", 66, 31},
    {"M264", "h264", "H264", 66, 0},
    {"H264", "h264", "H264", 66, 0},
    {"havc", "h264", "H264", 66, 0},
    {"HAVC", "h264", "H264", 66, 0},
    {"X264", "h264", "H264", 66, 0},
    {"FAVC", "h264", "H264", 66, 0},
    {"PAVC", "h264", "H264", 77, 0},
    {"PS3H", "h264", "H264", 100, 0},
    {"H263", "h263", "H263", 0, 0},
    {"MJPG", "mjpeg", "MJPEG", 0, 0},
    {"mp43", "msmpeg4v3", "MSMPEGV3", 0, 0},
    {"WMV1", "wmv1", "WMV1", 0, 0},
    {"WMV2", "wmv2", "WMV2", 0, 0},
    {"WMV3", "wmv2", "WMV2", 0, 0},
    {"MP1V", "mpeg1video", "MPEG-1", 0, 0},
    {"mp2v", "mpeg2video", "MPEG-2", 0, 0},
    {"HMP2", "mpeg2video", "MPEG-2", 4, 0},
    {"MP4V", "mpeg4", "MPEG-4", 0, 0},
    {"MPAN", "mpeg4", "MPEG-4", 0, 0},
    {"Xvid", "libxvid", "Xvid", 0, 0},
    {"DIVX", "libxvid", "Divx", 0, 0},
    {"VP8 ", "vp8", "VP8", 0, 0},
    {"flv1", "flv1", "FLV", 0, 0},
    {"AVCH", "h264", "H.264 High", 100, 0},
    {"HEVC", "libx265", "HEVC", 1, 0},
    {"HV10", "libx265", "HEVC Main 10", 2, 0},
    {"AV1 ", "libsvtav1", "AV1", 0, 0},
    {"VP9 ", "libvpx-vp9", "VP9", 0, 0},
    {"APCN", "prores_ks", "ProRes 422", 2, 0},
    // The encoders the probe finds stand in for these; the named ones are the software fallback.
    {"HWH4", "libx264", "H.264 (hardware)", 100, 0, "", true},
    {"HWH5", "libx265", "HEVC (hardware)", 1, 0, "", true},
    {"OPUS", "libopus", "Opus", 0, 0},
    {"ALAC", "alac", "ALAC", 0, 0},
    // LAME's best variable-rate mode (V0): a quality scale, no bit rate.
    {"MP3V", "mp3", "MP3 VBR", 0, 0, "flags=+qscale:global_quality=0"},
}};

const CodecInfo kUnknownCodec = {"ERROR", "ERROR", "ERROR", 0, 0};

const std::array<std::pair<const char*, const char*>, 26> kMuxers = {{
    {".mp4", "mp4"},   {".mkv", "matroska"}, {".webm", "webm"}, {".wmv", "asf"},
    {".asf", "asf"},   {".avi", "avi"},      {".m4v", "ipod"},  {".flv", "flv"},
    {".f4v", "f4v"},   {".3gp", "3gp"},      {".3g2", "3g2"},   {".vob", "vob"},
    {".mov", "mov"},   {".mp3", "mp3"},      {".aac", "adts"},  {".ac3", "ac3"},
    {".flac", "flac"}, {".mka", "matroska"}, {".wav", "wav"},   {".wma", "asf"},
    {".ogg", "ogg"},   {".aiff", "aiff"},    {".m4r", "ipod"},  {".m4b", "ipod"},
    {".m4a", "ipod"},  {".opus", "opus"},
}};

}  // namespace

const CodecInfo& codecInfo(const QString& code) {
    for (const CodecInfo& row : kCodecs)
        if (row.code == code)
            return row;
    return kUnknownCodec;
}

QString muxerForExtension(const QString& extension) {
    for (const auto& [ext, muxer] : kMuxers)
        if (extension == QLatin1String(ext))
            return QString::fromLatin1(muxer);
    return QStringLiteral("mp4");
}

int codecTableSize() {
    return static_cast<int>(kCodecs.size());
}

const CodecInfo& codecTableRow(int index) {
    return kCodecs.at(static_cast<size_t>(index));
}

bool CodecInfo::isH264() const {
    return encoder == QLatin1String("h264") || encoder == QLatin1String("libx264");
}
