// A second start of the program hands its files to the window that runs and ends.
#include <QProcess>
#include <QProcessEnvironment>

#include "main_window_fixture.h"
#include "single_instance.h"

using namespace window_test;

TEST_F(MainWindowTest, ASecondStartHandsItsFilesToTheRunningWindow) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    SingleInstance running(runtime.filePath("corvane.socket"));
    ASSERT_TRUE(running.listen());
    QObject::connect(&running, &SingleInstance::filesReceived, window_.get(),
                     [this](const QStringList& files) { window_->openFiles(files); });
    window_->addFiles({Copy("h264_aac.mkv", "first.mkv")});
    ASSERT_EQ(window_->taskRowCount(), 1);

    // The real program, started as a file manager would, from another folder.
    const QString second = Copy("audio_only.mka", "elsewhere/second.mka");
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(dir_.path() + "/elsewhere");
    program.start(QStringLiteral(CORVANE_PROGRAM), {"second.mka"});
    ASSERT_TRUE(program.waitForStarted(10000));
    // The answer needs this process's event loop.
    ASSERT_TRUE(WaitUntil([&] { return program.state() == QProcess::NotRunning; }, 20000))
        << "the second start did not end";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    ASSERT_EQ(window_->taskRowCount(), 2);
    EXPECT_EQ(window_->taskRow(1)->source()->path(), second);

    // Opened during a run, files join it.
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    ASSERT_TRUE(window_->isRunning());
    window_->openFiles({Copy("audio_only.mka", "third.mka")});
    EXPECT_EQ(window_->taskRowCount(), 3);
    ASSERT_TRUE(WaitUntil([&] { return !window_->isRunning(); }, 120000));
    ASSERT_EQ(window_->taskRowCount(), 3);
    EXPECT_EQ(window_->taskRow(2)->outcome().kind, OutcomeKind::Finished);
}
