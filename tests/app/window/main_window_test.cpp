// The main window driven as a person would, with the dialogs answered by the test.
#include "main_window_fixture.h"

#include "frmShutdown.h"

using namespace window_test;

TEST_F(MainWindowTest, StartsIdleWithTheGuideAndTheProfileTabs) {
    EXPECT_EQ(window_->windowTitle(), "Corvane");
    EXPECT_TRUE(ui().widgetGuide->isVisible());
    EXPECT_FALSE(ui().taskList->isVisible());
    EXPECT_FALSE(ui().btnConvert->isEnabled());
    EXPECT_TRUE(ui().btnConvert->isCheckable());
    const ProfileCatalogue* catalogue = AppContext::instance().profileManager()->catalogue();
    ASSERT_EQ(ui().profileTab->count(), catalogue->categoryCount());
    EXPECT_EQ(ui().profileTab->tabText(0), catalogue->category(0)->title);
    EXPECT_EQ(ui().btnCurProfile->text(), AppContext::instance().profileManager()->outputSetting()->name);
    EXPECT_EQ(ui().cbxOutDir->count(), 2);
    EXPECT_EQ(ui().cbxOutDir->itemText(0), dir_.path() + "/out");
}

TEST_F(MainWindowTest, RowsFollowTheSourceList) {
    SourceList& sources = AppContext::instance().sourceList();
    ASSERT_EQ(sources.add(QString::fromStdString(TestMedia("h264_aac.mkv"))), 0);
    ASSERT_EQ(sources.add(QString::fromStdString(TestMedia("audio_only.mka"))), 1);
    window_->rebuildTaskRows();
    ASSERT_EQ(window_->taskRowCount(), 2);
    EXPECT_EQ(window_->taskRow(0)->source(), sources.at(0));
    EXPECT_EQ(window_->taskRow(1)->source(), sources.at(1));
    EXPECT_TRUE(ui().taskList->isVisible());
    EXPECT_FALSE(ui().widgetGuide->isVisible());
    EXPECT_TRUE(ui().btnConvert->isEnabled());
    EXPECT_EQ(ui().taskList->item(0)->sizeHint().height(), 96);
    // A file with sound only shows the skin's sound picture, not an empty black frame; a film
    // shows its own picture.
    const auto shown = [this](int row) {
        const QIcon icon = window_->taskRow(row)->findChild<QPushButton*>("btnThum")->icon();
        return icon.pixmap(QSize(160, 90)).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QImage sound = QImage(":/task/thumbnailSound").convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(sound.isNull());
    EXPECT_EQ(shown(1), sound);
    EXPECT_NE(shown(0), sound);
    EXPECT_EQ(shown(0).size(), sources.at(0)->thumbnail().size());

    // Removing the first row keeps the second one's widget.
    QTaskWidget* second = window_->taskRow(1);
    QTest::mouseClick(window_->taskRow(0)->findChild<QPushButton*>("btnDel"), Qt::LeftButton);
    ASSERT_EQ(window_->taskRowCount(), 1);
    EXPECT_EQ(window_->taskRow(0), second);

    ui().actClearTasks->trigger();
    EXPECT_EQ(window_->taskRowCount(), 0);
    EXPECT_TRUE(ui().widgetGuide->isVisible());
    EXPECT_FALSE(ui().btnConvert->isEnabled());
}

TEST_F(MainWindowTest, DropsTakeOnlyMatroskaFiles) {
    const QString upper = Copy("h264_aac.mkv", "A.MKV");
    const QString mp4 = Copy("h264_aac.mkv", "movie.mp4");
    QDir().mkpath(dir_.path() + "/folder.mkv");
    Drop({QUrl::fromLocalFile(upper), QUrl::fromLocalFile(mp4), QUrl::fromLocalFile(dir_.path() + "/folder.mkv")});
    ASSERT_EQ(window_->taskRowCount(), 1);
    EXPECT_EQ(window_->taskRow(0)->source()->path(), upper);
}

TEST_F(MainWindowTest, AddingAFolderTakesItsMkvFilesOnly) {
    Copy("h264_aac.mkv", "batch/a.mkv");
    Copy("h264_aac.mkv", "batch/b.MKV");
    Copy("audio_only.mka", "batch/c.mka");
    seam_.folder = dir_.path() + "/batch";
    ui().actAddFolder->trigger();
    // Rows are made a slice of time at a turn of the event loop.
    ASSERT_TRUE(WaitUntil([&] { return window_->taskRowCount() == 2; }, 10000));
    QStringList names;
    for (int i = 0; i < 2; ++i)
        names << window_->taskRow(i)->source()->fileName();
    names.sort();
    EXPECT_EQ(names, (QStringList{"a.mkv", "b.MKV"}));
    EXPECT_EQ(AppContext::instance().settings()->lastOpenFolderPath(), seam_.folder);
}

TEST_F(MainWindowTest, AddingFilesRemembersTheirFolder) {
    seam_.files = {Copy("h264_aac.mkv", "pick/one.mkv"), Copy("audio_only.mka", "pick/two.mka")};
    QTest::mouseClick(ui().btnAddFile, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return window_->taskRowCount() == 2; }, 10000));
    EXPECT_EQ(AppContext::instance().settings()->lastOpenFileDir(), dir_.path() + "/pick");
}

TEST_F(MainWindowTest, ConvertingWithAnEmptyListOnlyHints) {
    ui().btnConvert->setEnabled(true);
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    EXPECT_EQ(seam_.asked, QStringList{"Hint: no tasks"});
    EXPECT_FALSE(ui().btnConvert->isChecked());
    EXPECT_FALSE(window_->isRunning());
}

TEST_F(MainWindowTest, ARunConvertsEveryRowAndCanBeCancelled) {
    window_->addFiles({Copy("h264_aac.mkv", "one.mkv"), Copy("audio_longer.mkv", "two.mkv")});
    // Rows are made a slice of time at a turn of the event loop.
    ASSERT_TRUE(WaitUntil([&] { return window_->taskRowCount() == 2; }, 10000));

    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    ASSERT_TRUE(window_->isRunning());
    EXPECT_TRUE(ui().btnConvert->isChecked());
    // Files can still be added and waiting ones removed; the profile and folder are the run's.
    EXPECT_TRUE(ui().btnAddFile->isEnabled());
    EXPECT_TRUE(ui().taskList->isEnabled());
    EXPECT_FALSE(ui().widgetprofile->isEnabled());
    EXPECT_FALSE(ui().cbxOutDir->isEnabled());
    EXPECT_FALSE(ui().actClearTasks->isEnabled());

    // "No" keeps the run going.
    seam_.answers = {QMessageBox::No};
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    EXPECT_EQ(seam_.asked.last(), "Information: Cancel conversion?");
    EXPECT_TRUE(window_->isRunning());
    EXPECT_TRUE(ui().btnConvert->isChecked());

    ASSERT_TRUE(WaitUntil([&] { return !window_->isRunning(); }, 120000)) << "the run did not end";
    EXPECT_FALSE(ui().btnConvert->isChecked());
    EXPECT_TRUE(ui().btnAddFile->isEnabled());
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(window_->taskRow(i)->statusText(), "Finished") << i;
    const QStringList outputs = QDir(dir_.path() + "/out").entryList(QDir::Files);
    ASSERT_EQ(outputs.size(), 2) << outputs.join(',').toStdString();
    for (const QString& output : outputs)
        EXPECT_TRUE(DecodesCleanly((dir_.path() + "/out/" + output).toStdString()));
    EXPECT_EQ(power_->powerOffs + power_->suspends, 0);

    // A second run, cancelled with "Yes".
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    ASSERT_TRUE(window_->isRunning());
    seam_.answers = {QMessageBox::Yes};
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    EXPECT_FALSE(window_->isRunning());
    EXPECT_FALSE(ui().btnConvert->isChecked());
    EXPECT_FALSE(window_->conversionRun().isActive());
}

TEST_F(MainWindowTest, OutputFolderChoiceAndAfterRunChoice) {
    seam_.folder.clear();  // the folder dialog is cancelled
    ui().cbxOutDir->setCurrentIndex(1);
    EXPECT_EQ(ui().cbxOutDir->currentIndex(), 0);
    EXPECT_EQ(ui().cbxOutDir->itemText(0), dir_.path() + "/out");

    seam_.folder = dir_.path();
    ui().cbxOutDir->setCurrentIndex(1);
    EXPECT_EQ(ui().cbxOutDir->currentIndex(), 0);
    EXPECT_EQ(ui().cbxOutDir->itemText(0), dir_.path());
    EXPECT_EQ(AppContext::instance().settings()->outputFileDir(), dir_.path());

    // Four exclusive choices in the Tool menu's submenu; the checked one is the stored one.
    const std::pair<QAction*, AfterRun> choices[] = {{ui().actAfterRunPowerOff, AfterRun::PowerOff},
                                                     {ui().actAfterRunSuspend, AfterRun::Suspend},
                                                     {ui().actAfterRunQuit, AfterRun::Quit},
                                                     {ui().actAfterRunNothing, AfterRun::Nothing}};
    EXPECT_TRUE(ui().menuTool->actions().contains(ui().menuAfterRun->menuAction()));
    EXPECT_EQ(ui().menuAfterRun->title(), "When All Tasks Finish");
    for (const auto& [action, choice] : choices) {
        EXPECT_TRUE(ui().menuAfterRun->actions().contains(action));
        action->trigger();
        EXPECT_EQ(AppContext::instance().settings()->afterRun(), choice) << action->text().toStdString();
        for (const auto& [other, unused] : choices)
            EXPECT_EQ(other->isChecked(), other == action) << other->text().toStdString();
    }

    // A new window shows what is stored, the older on/off setting included.
    AppContext::instance().settings()->qsettings()->remove("AfterRun");
    AppContext::instance().settings()->qsettings()->setValue("ShutdownAfterFinished", true);
    window_ = std::make_unique<DroppableWindow>(AppContext::instance(), std::make_unique<RecordingSessionPower>());
    EXPECT_TRUE(window_->form()->actAfterRunPowerOff->isChecked());
    EXPECT_FALSE(window_->form()->actAfterRunNothing->isChecked());
    window_->form()->actAfterRunNothing->trigger();
}

TEST_F(MainWindowTest, AfterALongRunTheChoiceFollowsItsCountdown) {
    frmShutdown* countdown = window_->shutdownDialog();
    countdown->setTickInterval(2);
    QDateTime now(QDate(2024, 3, 7), QTime(10, 0));
    countdown->setClock([&now] { return now; });
    window_->addFiles({Copy("h264_aac.mkv", "one.mkv")});
    // Starts a run that seems to last ten minutes and waits for its end, countdown included.
    const auto runWith = [&](QAction* choice) {
        choice->trigger();
        QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
        EXPECT_TRUE(window_->isRunning());
        now = now.addSecs(600);
        return WaitUntil([&] { return !window_->isRunning(); }, 120000);
    };

    ASSERT_TRUE(runWith(ui().actAfterRunNothing));
    EXPECT_EQ(power_->powerOffs + power_->suspends, 0);
    EXPECT_FALSE(countdown->isCounting());

    ASSERT_TRUE(runWith(ui().actAfterRunSuspend));
    EXPECT_EQ(power_->suspends, 1);
    EXPECT_EQ(power_->powerOffs, 0);
    EXPECT_TRUE(window_->isVisible()) << "after a suspend the window is still there";

    ASSERT_TRUE(runWith(ui().actAfterRunPowerOff));
    EXPECT_EQ(power_->powerOffs, 1);
    EXPECT_EQ(power_->suspends, 1);

    // Cancelled while it counts: the window stays.
    countdown->setTickInterval(50);
    bool cancelled = false;
    QTimer canceller;
    canceller.setInterval(5);
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        if (countdown->isCounting() && !cancelled) {
            cancelled = true;
            countdown->findChild<QPushButton*>("btnCancel")->click();
        }
    });
    canceller.start();
    ASSERT_TRUE(runWith(ui().actAfterRunQuit));
    canceller.stop();
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(window_->isVisible());

    countdown->setTickInterval(2);
    ASSERT_TRUE(runWith(ui().actAfterRunQuit));
    EXPECT_FALSE(window_->isVisible()) << "the window closes once the countdown ends";
    EXPECT_EQ(power_->powerOffs + power_->suspends, 2);
    ui().actAfterRunNothing->trigger();
}

TEST_F(MainWindowTest, ProfileAreaFoldsToTheCategoryBar) {
    const int navHeight = window_->navHeight();
    QPushButton* fold = ui().profileTab->findChild<QPushButton*>("btnShowHide");
    ASSERT_NE(fold, nullptr);
    ui().widgetprofile->setFixedHeight(navHeight + 90);
    QTest::mouseClick(fold, Qt::LeftButton);
    EXPECT_EQ(ui().widgetprofile->height(), navHeight);
    QTest::mouseClick(fold, Qt::LeftButton);
    EXPECT_EQ(ui().widgetprofile->height(), navHeight + 90);
}

TEST_F(MainWindowTest, TheAudioChooserNamesTracksAndKeepsEveryOne) {
    // The second track is the one the file marks as default.
    const QString path = dir_.path() + "/interview.mkv";
    const CommandResult made = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x180:rate=25:duration=1 "
        "-f lavfi -i sine=frequency=440:duration=1 -f lavfi -i sine=frequency=880:duration=1 "
        "-map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast -c:a:0 aac -ac:a:0 2 -c:a:1 ac3 -ac:a:1 6 "
        "-metadata:s:a:0 language=eng -metadata:s:a:1 language=jpn -metadata:s:a:1 title=Commentary "
        "-disposition:a:0 0 -disposition:a:1 default " + ShellQuote(path.toStdString()));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ASSERT_TRUE(window_->addFiles({path}));
    ASSERT_TRUE(WaitForReading());
    auto* chooser = window_->taskRow(0)->findChild<QComboBox*>("cbxAudioIndex");
    ASSERT_NE(chooser, nullptr);
    ASSERT_EQ(chooser->count(), 3);
    EXPECT_EQ(chooser->itemText(0), "All audio tracks");
    EXPECT_EQ(chooser->itemText(1), "1: English — AAC stereo");
    EXPECT_EQ(chooser->itemText(2), "2: Japanese, Commentary — AC3 5.1");
    EXPECT_EQ(chooser->currentIndex(), 0);
    EXPECT_TRUE(window_->taskRow(0)->source()->planChoices().audio.isEmpty()) << "the conversion keeps both";
    EXPECT_EQ(window_->taskRow(0)->source()->audioStream(), 2) << "the default track is the one shown alone";
}

TEST_F(MainWindowTest, TheKeyboardAddsRemovesAndStarts) {
    // Shortcuts belong to the active window.
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    seam_.files = {Copy("audio_only.mka", "keys/one.mka")};
    QTest::keySequence(window_.get(), QKeySequence(Qt::CTRL | Qt::Key_O));
    ASSERT_EQ(window_->taskRowCount(), 1);
    window_->addFiles({Copy("audio_only.mka", "keys/two.mka")});
    ASSERT_TRUE(WaitUntil([&] { return window_->taskRowCount() == 2; }, 10000));

    ui().taskList->setFocus();
    ui().taskList->setCurrentRow(0);
    QTest::keyClick(window_.get(), Qt::Key_Delete);
    ASSERT_EQ(window_->taskRowCount(), 1);
    EXPECT_EQ(window_->taskRow(0)->source()->fileName(), "two.mka");

    QTest::keySequence(window_.get(), QKeySequence(Qt::CTRL | Qt::Key_Return));
    EXPECT_TRUE(window_->isRunning());
    ASSERT_TRUE(WaitUntil([&] { return !window_->isRunning(); }, 60000));
}
