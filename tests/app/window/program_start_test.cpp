// The installed program as a user starts it: a real window on an X server, nothing on stderr.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

TEST(ProgramStart, TheWindowComesUpWithoutAWarning) {
    const QString xvfbProgram = QStandardPaths::findExecutable("Xvfb");
    if (xvfbProgram.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    // A private X server on the first free display, which it names on its standard output.
    QProcess xvfb;
    xvfb.start(xvfbProgram, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
    ASSERT_TRUE(xvfb.waitForStarted(10000));
    QByteArray display;
    while (!display.endsWith('\n') && xvfb.waitForReadyRead(10000))
        display += xvfb.readAllStandardOutput();
    ASSERT_FALSE(display.trimmed().isEmpty()) << "Xvfb named no display";

    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QDir(home.path()).mkpath("runtime");
    QFile::setPermissions(home.filePath("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", ":" + QString::fromLatin1(display.trimmed()));
    environment.insert("HOME", home.path());
    environment.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    environment.insert("appdata", home.filePath("appdata"));
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("QT_LOGGING_RULES");

    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(CORVANE_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(10000));
    // Long enough for the window to be built, shown and laid out.
    program.waitForFinished(5000);
    EXPECT_EQ(program.state(), QProcess::Running)
        << "the program ended by itself: " << program.readAllStandardError().toStdString();
    program.terminate();
    if (!program.waitForFinished(10000))
        program.kill();
    program.waitForFinished(5000);
    xvfb.terminate();
    if (!xvfb.waitForFinished(10000))
        xvfb.kill();

    const QString errors = QString::fromLocal8Bit(program.readAllStandardError()).trimmed();
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
}

}  // namespace
