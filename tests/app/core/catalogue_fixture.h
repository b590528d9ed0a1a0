// Writes small profile catalogues (profile.xml + a profile.res compiled with rcc) for tests.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTextStream>

inline void WriteTextFile(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        QTextStream(&file) << text;
}

inline QString HeaderXml(int version) {
    return QStringLiteral("<ProfileHead><Info version=\"%1\" product=\"Corvane\"/></ProfileHead>\n").arg(version);
}

// Builds folder/profile.xml and folder/profile.res; false when rcc fails.
inline bool WriteCatalogue(const QString& folder, const QString& header, const QString& listXml,
                           const QString& formatXml) {
    const QString sources = folder + "/sources";
    WriteTextFile(folder + "/profile.xml", header);
    WriteTextFile(sources + "/profile/profilelist.xml", listXml);
    WriteTextFile(sources + "/profile/format.xml", formatXml);
    WriteTextFile(sources + "/profile.qrc",
                  "<RCC><qresource prefix=\"/\">"
                  "<file>profile/profilelist.xml</file><file>profile/format.xml</file>"
                  "</qresource></RCC>\n");
    QProcess rcc;
    rcc.setWorkingDirectory(sources);
    rcc.start(QStringLiteral(CORVANE_RCC), {"-binary", "profile.qrc", "-o", folder + "/profile.res"});
    return rcc.waitForFinished(30000) && rcc.exitCode() == 0;
}

// Two categories (ids 2 and 1) and entries in categories 2, 1, 2: a linked H.264 + AAC MP4
// (1003), an audio-only unlinked MP3 (2001) and a linked MPEG-4 AVI with its own name (1004).
inline QString SampleListXml() {
    return R"(<ProfileList>
  <Profile>
    <Category id="2" title="General Video"/>
    <Category id="1" title="Audio"/>
  </Profile>
  <Format>
    <Item ID="1003" Categoryid="2" Linked="TRUE"/>
    <Item ID="2001" Categoryid="1" Linked="false" Name="MP3 Audio" Icon="music" FourCC="MP3 " Format=".mp3">
      <VideoEnc defVideoFourCC="" defResolution=""/>
      <AudioEnc defAudioFourCC="MP3 " defChannel="2">
        <Audio AudioFourCC="MP3 " Channel="2" defSampleRate="44100" defAudioBitrate="192 kbps">
          <AudioBitrate>128;192;256</AudioBitrate><SampleRate>44100;48000</SampleRate>
        </Audio>
      </AudioEnc>
    </Item>
    <Item ID="1004" Categoryid="2" Linked="true" Name="My AVI"/>
  </Format>
</ProfileList>
)";
}

inline QString SampleFormatXml() {
    return R"(<Formats>
  <Profile ID="1003" FourCC="MP4 " Format=".mp4" Icon="video">
    <Name>MP4 Video</Name>
    <VideoEnc defVideoFourCC="H264" defResolution="640*360">
      <Video VideoFourCC="H264" Resolution="1280*720" defVideoBitrate="2500" defFrameRate="29.97">
        <VideoBitrate>2000;2500</VideoBitrate><FrameRate>25;29.97</FrameRate>
      </Video>
      <Video VideoFourCC="H264" Resolution="640*360" defVideoBitrate="1500 kbps" defFrameRate="25">
        <VideoBitrate>1000;1500</VideoBitrate><FrameRate>25;29.97</FrameRate>
      </Video>
    </VideoEnc>
    <AudioEnc defAudioFourCC="AAC " defChannel="2">
      <Audio AudioFourCC="AAC " Channel="2" defSampleRate="44100" defAudioBitrate="128">
        <AudioBitrate>96;128</AudioBitrate><SampleRate>44100;48000</SampleRate>
      </Audio>
    </AudioEnc>
  </Profile>
  <Profile ID="1004" FourCC="AVI " Format=".avi" Icon="film">
    <Name>AVI Video</Name>
    <VideoEnc defVideoFourCC="MP4V" defResolution="Keep Original">
      <Video VideoFourCC="MP4V" Resolution="Keep Original" defVideoBitrate="1200" defFrameRate="Keep Original">
        <VideoBitrate>1200</VideoBitrate><FrameRate>Keep Original</FrameRate>
      </Video>
    </VideoEnc>
    <AudioEnc defAudioFourCC="MP3 " defChannel="2">
      <Audio AudioFourCC="MP3 " Channel="2" defSampleRate="48000" defAudioBitrate="160">
        <AudioBitrate>160</AudioBitrate><SampleRate>48000</SampleRate>
      </Audio>
    </AudioEnc>
  </Profile>
</Formats>
)";
}
