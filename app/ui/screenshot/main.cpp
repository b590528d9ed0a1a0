// Renders the main window with three tasks, one of them mid-conversion, to a PNG file; with
// "ended", the window after a run in which some files converted and some could not.
// Usage: corvane-screenshot OUTPUT.png MEDIA_DIR [ended]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "FrmMainWindow.h"
#include "app_context.h"
#include "session_power.h"
#include "skin.h"

namespace {

// Never suspends or powers anything off: the countdown cannot be reached from here anyway.
class NoSessionPower : public SessionPowerBackend {
public:
    bool requestPowerOff() override { return false; }
    bool requestSuspend() override { return false; }
};

// A film the default profile encodes: MPEG-4 Part 2, as an older camera writes it, which an
// H.264 profile cannot copy. The picture then shows a conversion under way rather than a copy
// that is over at once.
bool MakeLongInput(const QString& path) {
    return QProcess::execute("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                        "testsrc2=size=1920x1080:rate=24000/1001:duration=40", "-f", "lavfi",
                                        "-i", "sine=frequency=440:duration=40", "-c:v", "mpeg4", "-q:v", "3",
                                        "-c:a", "aac", path}) == 0;
}

bool Save(QWidget& window, const QString& output) {
    const bool saved = window.grab().save(output);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(output));
    return saved;
}

// Two files that convert, one cut off after its headers and one deleted after it was added.
int RenderEndedRun(QApplication& app, AppContext& context, const QString& home, const QString& media,
                   const QString& output) {
    const QString interview = home + "/Interview (two languages).mkv";
    const QString concert = home + "/Concert recording.mka";
    const QString damaged = home + "/Damaged download.mkv";
    const QString moved = home + "/Moved away.mkv";
    QFile::copy(media + "/two_audio_subs.mkv", interview);
    QFile::copy(media + "/audio_only.mka", concert);
    QFile::copy(media + "/h264_aac.mkv", moved);
    QFile whole(media + "/h264_aac.mkv");
    QFile cut(damaged);
    if (!whole.open(QIODevice::ReadOnly) || !cut.open(QIODevice::WriteOnly))
        return 1;
    cut.write(whole.read(4096));
    cut.close();

    FrmMainWindow window(context, std::make_unique<NoSessionPower>());
    window.resize(980, 660);
    window.show();
    window.addFiles({interview, damaged, concert, moved});
    while (window.isReadingFiles())
        app.processEvents(QEventLoop::AllEvents, 20);
    QFile::remove(moved);
    if (auto* convert = window.findChild<QPushButton*>("btnConvert"))
        convert->click();
    QElapsedTimer clock;
    clock.start();
    while (window.isRunning() && clock.elapsed() < 120000)
        app.processEvents(QEventLoop::AllEvents, 50);
    app.processEvents();
    return Save(window, output) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool ended = argc == 4 && QByteArray(argv[3]) == "ended";
    if (argc != 3 && !ended) {
        std::fprintf(stderr, "usage: corvane-screenshot OUTPUT.png MEDIA_DIR [ended]\n");
        return 2;
    }
    // A private settings folder, so the picture never depends on (or changes) the user's own.
    QTemporaryDir home;
    qputenv("appdata", home.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setStyleSheet(skinStyleSheet());

    const QString output = QString::fromLocal8Bit(argv[1]);
    const QString media = QString::fromLocal8Bit(argv[2]);
    AppContext& context = AppContext::instance();
    QString error;
    if (!context.open(&error)) {
        std::fprintf(stderr, "corvane-screenshot: %s\n", qPrintable(error));
        return 1;
    }
    context.settings()->setOutputFileDir(home.path() + "/Corvane output");
    context.settings()->setMaxTasksAtOnce(1);
    context.settings()->setCheckForUpdate(false);

    if (ended)
        return RenderEndedRun(app, context, home.path(), media, output);

    const QString movie = home.path() + "/Holiday in the Alps.mkv";
    if (!MakeLongInput(movie)) {
        std::fprintf(stderr, "corvane-screenshot: ffmpeg could not make the input\n");
        return 1;
    }
    QFile::copy(media + "/two_audio_subs.mkv", home.path() + "/Interview (two languages).mkv");
    QFile::copy(media + "/audio_only.mka", home.path() + "/Concert recording.mka");

    FrmMainWindow window(context, std::make_unique<NoSessionPower>());
    window.resize(980, 660);
    window.show();
    window.addFiles({movie, home.path() + "/Interview (two languages).mkv",
                     home.path() + "/Concert recording.mka"});
    while (window.isReadingFiles())
        app.processEvents(QEventLoop::AllEvents, 20);
    if (auto* convert = window.findChild<QPushButton*>("btnConvert"))
        convert->click();

    // Let the first task run a while and the poll show its progress and remaining time.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 7000)
        app.processEvents(QEventLoop::AllEvents, 50);
    window.on_timer();
    app.processEvents();
    return Save(window, output) ? 0 : 1;
}
