#include "FrmMainWindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPixmap>
#include <QUrl>
#include <utility>

#include "CheckUpdate.h"
#include "ProfileWidget.h"
#include "QTaskWidget.h"
#include "app_context.h"
#include "dialog_seam.h"
#include "frmAbout.h"
#include "frmOptions.h"
#include "frmProfileSet.h"
#include "folder_path.h"
#include "frmShutdown.h"
#include "output_folder.h"
#include "session_power.h"
#include "product_info.h"
#include "quality_trial.h"
#include "queue_store.h"
#include "run_notifier.h"
#include "source_prober.h"
#include "task_status.h"
#include "skin.h"
#include "ui_FrmMainWindow.h"
#include "update_result_box.h"

namespace {

// Task starts and ends are looked for often, so a row changes and a run ends at once; the
// progress of running rows is redrawn at a calmer pace.
constexpr int kEventCheckMs = 100;
constexpr int kProgressRefreshMs = 2000;
constexpr int kSourceRole = Qt::UserRole + 1;
constexpr int kRowHeight = 96;
// Time spent making rows in one turn of the event loop when many files come at once (a row
// takes a millisecond or more): the window keeps answering while a long list fills in.
constexpr int kRowBuildBudgetMs = 10;

bool IsMatroskaFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("mkv") || suffix == QLatin1String("mka");
}

}  // namespace

FrmMainWindow::FrmMainWindow(AppContext& context, std::unique_ptr<SessionPowerBackend> power,
                             QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::FrmMainWindowClass>()),
      context_(context),
      sources_(context.sourceList()),
      profiles_(context.profileManager()),
      settings_(context.settings()),
      run_(context.mediaManager()) {
    ui_->setupUi(this);
    ui_->taskList->hide();
    // Every row is as high as the next: laying out a long list then costs next to nothing.
    ui_->taskList->setUniformItemSizes(true);
    prober_ = std::make_unique<SourceProber>(sources_);
    connect(prober_.get(), &SourceProber::sourceRead, this, &FrmMainWindow::on_sourceRead);
    trials_ = std::make_unique<QualityTrialRunner>(context.mediaManager());
    connect(trials_.get(), &QualityTrialRunner::trialDone, this,
            [this](quint64 serial, quint64 generation, const QualityTrialResult& result) {
                // A result for a setting since replaced, or a row since removed, is dropped.
                if (generation != trials_->generation())
                    return;
                if (QTaskWidget* row = rowOf(sources_.findBySerial(serial)))
                    row->setTrialSize(trialSizeText(result));
            });
    connect(ui_->btnAddFile, &QPushButton::clicked, ui_->actAddFile, &QAction::trigger);

    btnShowHide_ = new QPushButton(ui_->profileTab);
    btnShowHide_->setObjectName("btnShowHide");
    btnShowHide_->setFocusPolicy(Qt::TabFocus);
    btnShowHide_->setGeometry(0, 0, 31, 27);
    connect(btnShowHide_, &QPushButton::clicked, this, &FrmMainWindow::on_btnShowHide_clicked);
    // Through close(), so a running conversion is asked about first.
    connect(ui_->actExit, &QAction::triggered, this, &QWidget::close);

    setRunNotifier(new RunNotifier());
    auto* clearFinished = new QAction(tr("Clear Finished Files"), this);
    clearFinished->setObjectName("actClearFinished");
    ui_->menuFile->insertAction(ui_->actClearTasks, clearFinished);
    connect(clearFinished, &QAction::triggered, this, &FrmMainWindow::clearFinishedRows);

    runSummary_ = new QLabel(ui_->widgetTask);
    runSummary_->setObjectName("lblRunSummary");
    runSummary_->hide();
    ui_->taskLayout->addWidget(runSummary_);

    const QPixmap nav(":/frmMain/frameNav");
    if (!nav.isNull())
        navHeight_ = nav.height();
    expandedHeight_ = navHeight_ + 90;

    setWindowTitle(ProductInfo::kName);
    setWindowIcon(skinApplicationIcon());
    ui_->btnAddFile->setToolTip(tr("Add files"));
    ui_->btnHelp->setToolTip(tr("Help"));
    ui_->btnConvert->setCheckable(true);
    ui_->btnConvert->setChecked(false);

    pollTimer_.setInterval(kEventCheckMs);
    connect(&pollTimer_, &QTimer::timeout, this, &FrmMainWindow::checkRun);
    setAcceptDrops(true);

    aboutDialog_ = new frmAbout(this);
    optionsDialog_ = new frmOptions(settings_, this);
    profileSetDialog_ = new frmProfileSet(this);
    shutdownDialog_ = new frmShutdown(std::move(power), this);
    updateChecker_ = new CCheckUpdate(settings_, this);
    connect(updateChecker_, &CCheckUpdate::updateCallback, this, &FrmMainWindow::on_checkupdate_callback);
    // A build without an update address has nothing to check against.
    ui_->actCheckUpdate->setVisible(updateChecker_->isConfigured());

    connect(ui_->actRemoveTask, &QAction::triggered, this, [this] {
        if (SourceFile* source = sources_.at(ui_->taskList->currentRow()))
            removeSource(source);
    });
    connect(ui_->actStartConversion, &QAction::triggered, this, [this] {
        if (!running_ && ui_->btnConvert->isEnabled())
            ui_->btnConvert->click();
    });
    updateChecker_->checkAtStartup();

    fillProfileTabs();

    ui_->cbxOutDir->blockSignals(true);
    ui_->cbxOutDir->addItem(settings_->outputFileDir());
    ui_->cbxOutDir->addItem(tr("choose output folder..."));
    ui_->cbxOutDir->setCurrentIndex(0);
    ui_->cbxOutDir->blockSignals(false);
    updateUiState();
    auto* afterRunGroup = new QActionGroup(this);
    const std::pair<QAction*, AfterRun> afterRunChoices[] = {
        {ui_->actAfterRunNothing, AfterRun::Nothing},
        {ui_->actAfterRunQuit, AfterRun::Quit},
        {ui_->actAfterRunSuspend, AfterRun::Suspend},
        {ui_->actAfterRunPowerOff, AfterRun::PowerOff}};
    for (const auto& [action, choice] : afterRunChoices) {
        action->setData(static_cast<int>(choice));
        afterRunGroup->addAction(action);
    }
    connect(afterRunGroup, &QActionGroup::triggered, this, &FrmMainWindow::on_afterRun_chosen);
    showAfterRunChoice(settings_->afterRun());
}

FrmMainWindow::~FrmMainWindow() {
    stopConversion();
}

void FrmMainWindow::closeEvent(QCloseEvent* event) {
    if (running_) {
        const auto answer = DialogSeam::instance().ask(
            QMessageBox::Question, tr("Quit"),
            tr("A conversion is running. Stop it and quit? Files not finished yet are not kept."),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        cancelConversion();
    }
    QMainWindow::closeEvent(event);
}

void FrmMainWindow::stopForQuit() {
    if (running_)
        cancelConversion();
}

void FrmMainWindow::dragEnterEvent(QDragEnterEvent* event) {
    event->acceptProposedAction();
}

void FrmMainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    QStringList paths;
    for (const QUrl& url : urls)
        paths.append(url.toLocalFile());
    addFiles(paths);
}

bool FrmMainWindow::addFiles(const QStringList& paths) {
    QStringList taken;
    for (const QString& path : paths) {
        // Folders and other containers are not taken: only Matroska files by their suffix.
        if (path.isEmpty() || !IsMatroskaFile(path) || QFileInfo(path).isDir())
            continue;
        taken.append(QFileInfo(path).absoluteFilePath());
    }
    addPaths(taken);
    return !taken.isEmpty();
}

void FrmMainWindow::openFiles(const QStringList& paths) {
    addFiles(paths);
}

void FrmMainWindow::addPaths(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    for (const QString& path : paths)
        prober_->add(path);
    // Outcomes describe the list as it was run; a changed list starts afresh, except in a run.
    if (running_)
        runSummary_->hide();
    else
        clearOutcomes();
    buildMissingRows(kRowBuildBudgetMs);
    updateUiState();
    saveQueue();
}

bool FrmMainWindow::isReadingFiles() const {
    return rowsPending_ || sources_.countIn(SourceState::Reading) > 0;
}

void FrmMainWindow::on_actAddFile_triggered() {
    const QStringList files = DialogSeam::instance().getOpenFileNames(
        this, tr("Select matroska files"), settings_->lastOpenFileDir(), tr("mkv files (*.mkv *.mka)"));
    if (files.isEmpty())
        return;
    settings_->setLastOpenFileDir(QFileInfo(files.first()).absolutePath());
    QStringList paths;
    for (const QString& file : files)
        paths.append(QFileInfo(file).absoluteFilePath());
    addPaths(paths);
}

void FrmMainWindow::on_actAddFolder_triggered() {
    const QString folder = DialogSeam::instance().getExistingDirectory(
        this, tr("select folder"), settings_->lastOpenFolderPath(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    settings_->setLastOpenFolderPath(folder);
    const QDir dir(folder);
    const QStringList entries = dir.entryList({"*.mkv"}, QDir::Files | QDir::NoSymLinks, QDir::NoSort);
    const QString base = withTrailingSeparator(dir.absolutePath());
    QStringList paths;
    for (const QString& entry : entries)
        paths.append(base + entry);
    addPaths(paths);
}

void FrmMainWindow::on_actClearTasks_triggered() {
    sources_.clear();
    rebuildTaskRows();
}

void FrmMainWindow::rebuildTaskRows(bool keepOutcomes) {
    // Outcomes describe the list as it was run; a changed list starts afresh.
    if (keepOutcomes)
        runSummary_->hide();
    else
        clearOutcomes();
    removeStaleRows();
    buildMissingRows(-1);
    updateUiState();
    saveQueue();
}

void FrmMainWindow::removeStaleRows() {
    QListWidget* list = ui_->taskList;
    QSet<const void*> listed;
    for (int s = 0; s < sources_.count(); ++s)
        listed.insert(sources_.at(s));
    list->setUpdatesEnabled(false);
    for (int i = list->count() - 1; i >= 0; --i) {
        if (listed.contains(list->item(i)->data(kSourceRole).value<void*>()))
            continue;
        QListWidgetItem* item = list->takeItem(i);
        delete list->itemWidget(item);
        delete item;
    }
    list->setUpdatesEnabled(true);
    prober_->forgetRemoved();
    QSet<quint64> serials;
    for (int s = 0; s < sources_.count(); ++s)
        serials.insert(sources_.at(s)->serial());
    trials_->forgetAllBut(serials);
}

void FrmMainWindow::buildMissingRows(int budgetMs) {
    QListWidget* list = ui_->taskList;
    QElapsedTimer clock;
    clock.start();
    list->setUpdatesEnabled(false);
    // Sources are only ever appended, so the rows are those of the first sources, in order.
    for (int s = list->count(); s < sources_.count(); ++s) {
        if (budgetMs >= 0 && clock.elapsed() >= budgetMs)
            break;
        SourceFile* source = sources_.at(s);
        auto* row = new QTaskWidget(source);
        connect(row, &QTaskWidget::btnDelclick, this, &FrmMainWindow::on_taskbtnDel_clicked);
        connect(row, &QTaskWidget::openOutputRequested, this, &FrmMainWindow::openOutputFolder);
        connect(row, &QTaskWidget::detailsRequested, this, &FrmMainWindow::showTaskDetails);
        connect(row, &QTaskWidget::audioStreamChosen, this, &FrmMainWindow::rowTracksChosen);
        connect(row, &QTaskWidget::subtitlesChosen, this, &FrmMainWindow::rowTracksChosen);
        if (profiles_->outputSetting())
            row->setTargetInfo(*profiles_->outputSetting());
        row->setRunMode(running_);
        auto* item = new QListWidgetItem(list);
        item->setSizeHint(QSize(0, kRowHeight));
        item->setData(kSourceRole, QVariant::fromValue<void*>(source));
        list->setItemWidget(item, row);
    }
    list->setUpdatesEnabled(true);
    const bool more = list->count() < sources_.count();
    if (more && !rowsPending_) {
        QTimer::singleShot(0, this, [this] {
            rowsPending_ = false;
            buildMissingRows(kRowBuildBudgetMs);
            updateUiState();
        });
    }
    rowsPending_ = more;
}

QTaskWidget* FrmMainWindow::rowOf(const SourceFile* source) const {
    QTaskWidget* row = taskRow(sources_.indexOf(source));
    return row && row->source() == source ? row : nullptr;
}

void FrmMainWindow::on_sourceRead(SourceFile* source) {
    if (QTaskWidget* row = rowOf(source)) {
        row->showSource();
        if (profiles_->outputSetting())
            row->setTargetInfo(*profiles_->outputSetting());
        requestTrial(*source);
    }
    if (!running_)
        return;
    appendReadySources();
    // The last file read may have been the one the run's end waited for. Looked at from the
    // event loop: the run's end may open the countdown dialog.
    if (sources_.countIn(SourceState::Reading) == 0)
        QMetaObject::invokeMethod(this, [this] { if (running_) on_timer(); }, Qt::QueuedConnection);
}

void FrmMainWindow::appendReadySources() {
    for (int i = 0; i < sources_.count(); ++i) {
        const SourceFile* source = sources_.at(i);
        if (source->state() == SourceState::Reading)
            break;
        if (!source->isReady() || run_.taskOf(source) >= 0 || refusedSources_.contains(source->serial()))
            continue;
        if (run_.append(*source, i) < 0) {
            refusedSources_.insert(source->serial());
            if (QTaskWidget* row = rowOf(source))
                row->showOutcome({OutcomeKind::Failed, tr("the media engine refused this file")}, {}, {});
        }
    }
}

void FrmMainWindow::restoreQueue(const QString& file) {
    queue_ = std::make_unique<QueueStore>(file);
    const QList<QueuedFile> files = queue_->load();
    const int first = sources_.count();
    // Read like added files; a file gone since comes back saying so, for the user to remove.
    for (const QueuedFile& entry : files) {
        SourceFile* source = prober_->add(entry.path);
        // Checked against the file's tracks once it is read.
        PlanChoices choices = source->planChoices();
        choices.audio = entry.audio;
        choices.subtitles = entry.subtitles;
        choices.chosenSubtitles = entry.chosenSubtitles;
        choices.burn = entry.burn;
        source->setPlanChoices(choices);
    }
    rebuildTaskRows();
    for (int i = 0; i < files.size(); ++i) {
        const QueuedFile& entry = files.at(i);
        if (QTaskWidget* row = taskRow(first + i); row && entry.outcome.kind != OutcomeKind::Pending)
            row->showOutcome(entry.outcome, entry.target, {});
    }
    saveQueue();
}

void FrmMainWindow::saveQueue() {
    if (queue_ == nullptr)
        return;
    // Only a file whose task runs can be cut short; waiting ones are simply not done yet.
    QSet<const SourceFile*> converting;
    for (int t = 0; running_ && t < run_.taskCount(); ++t)
        if (const MediaBased::ConvertTask* task = run_.task(t);
            task && taskPhaseOf(task->state.load()) == TaskPhase::Running)
            converting.insert(run_.source(t));
    // From the sources: rows of a long list may still be in the making.
    QList<QueuedFile> files;
    for (int i = 0; i < sources_.count(); ++i) {
        const SourceFile* source = sources_.at(i);
        const QTaskWidget* row = taskRow(i);
        QueuedFile file;
        file.path = source->path();
        file.audio = source->planChoices().audio;
        file.subtitles = source->planChoices().subtitles;
        file.chosenSubtitles = source->planChoices().chosenSubtitles;
        file.burn = source->planChoices().burn;
        if (row != nullptr) {
            file.outcome = row->outcome();
            file.target = row->outcomeTarget();
        }
        file.converting = converting.contains(source) && !(row && row->hasOutcome());
        files.append(file);
    }
    queue_->save(files);
}

void FrmMainWindow::clearFinishedRows() {
    if (running_)
        return;
    for (int i = taskRowCount() - 1; i >= 0; --i) {
        const OutcomeKind kind = taskRow(i)->outcome().kind;
        if (kind == OutcomeKind::Finished || kind == OutcomeKind::FinishedEarly)
            sources_.removeAt(i);
    }
    // The rows left keep what they show.
    rebuildTaskRows(true);
}

QTaskWidget* FrmMainWindow::taskRow(int index) const {
    QListWidgetItem* item = ui_->taskList->item(index);
    return item ? qobject_cast<QTaskWidget*>(ui_->taskList->itemWidget(item)) : nullptr;
}

int FrmMainWindow::taskRowCount() const {
    return ui_->taskList->count();
}

void FrmMainWindow::updateUiState() {
    const bool hasTasks = sources_.count() > 0;
    ui_->taskList->setVisible(hasTasks);
    ui_->widgetGuide->setVisible(!hasTasks);
    ui_->btnConvert->setEnabled(hasTasks || running_);

    // Files can be added and waiting ones removed during a run; what the run converts to and
    // where stays as it started.
    const bool idle = !running_;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             ui_->menuHelp, ui_->btnProfileSet, ui_->cbxOutDir, ui_->btnHelp, ui_->widgetprofile})
        widget->setEnabled(idle);
    ui_->actOptions->setEnabled(idle);
    ui_->actClearTasks->setEnabled(idle);
    if (auto* clearFinished = findChild<QAction*>(QStringLiteral("actClearFinished")))
        clearFinished->setEnabled(idle);
    for (int i = 0; i < taskRowCount(); ++i)
        if (QTaskWidget* row = taskRow(i))
            row->setRunMode(!idle);
}

void FrmMainWindow::on_btnConvert_clicked() {
    if (!running_) {
        if (sources_.count() > 0 && sources_.countIn(SourceState::Unreadable) == sources_.count()) {
            DialogSeam::instance().information(tr("Hint"), tr("None of these files can be read, so there is nothing to convert."));
            ui_->btnConvert->setChecked(false);
        } else if (sources_.count() > 0) {
            if (startConversion()) {
                running_ = true;
                pollTimer_.start();
                saveQueue();
            } else {
                ui_->btnConvert->setChecked(false);
            }
        } else {
            DialogSeam::instance().information(tr("Hint"), tr("no tasks"));
            ui_->btnConvert->setChecked(false);
        }
        updateUiState();
        return;
    }
    ui_->btnConvert->setChecked(true);
    const auto answer = DialogSeam::instance().ask(QMessageBox::Information, tr("Information"),
                                                   tr("Cancel conversion?"),
                                                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        cancelConversion();
}

bool FrmMainWindow::startConversion() {
    const OutputSetting* setting = profiles_->outputSetting();
    if (setting == nullptr)
        return false;
    const QString folder = settings_->outputFileDir();
    QString reason;
    if (!prepareOutputFolder(folder, &reason)) {
        DialogSeam::instance().ask(QMessageBox::Warning, tr("Output folder"),
                                   reason + ' ' + tr("Choose another output folder."), QMessageBox::Ok,
                                   QMessageBox::Ok);
        return false;
    }
    shutdownDialog_->markStart();
    stopConversion();
    clearOutcomes();
    refusedSources_.clear();
    if (!run_.prepare(*setting, folder, settings_->maxTasksAtOnce())) {
        DialogSeam::instance().information(tr("Conversion"), tr("The media engine could not start a conversion."));
        return false;
    }
    // Files still being read join the run as they are read: the run starts now and does not
    // end before they are done.
    appendReadySources();
    run_.launch();
    return true;
}

void FrmMainWindow::cancelConversion() {
    // Tasks that ended before the stop keep what became of them; the rest were stopped.
    collectOutcomes();
    QList<QTaskWidget*> inRun;
    for (int t = 0; t < run_.taskCount(); ++t)
        if (QTaskWidget* row = rowOf(run_.source(t)); row && !row->hasOutcome())
            inRun.append(row);
    stopConversion();
    for (QTaskWidget* row : inRun)
        row->showOutcome(taskOutcome(MediaBased::TaskWaiting, {}, true), {}, {});
    pollTimer_.stop();
    ui_->btnConvert->setChecked(false);
    running_ = false;
    updateUiState();
    showRunSummary();
    saveQueue();
}

void FrmMainWindow::collectOutcomes() {
    for (int t = 0; t < run_.taskCount(); ++t) {
        const MediaBased::ConvertTask* task = run_.task(t);
        QTaskWidget* row = rowOf(run_.source(t));
        if (task == nullptr || row == nullptr || row->hasOutcome())
            continue;
        const int state = task->state.load(std::memory_order_acquire);
        if (state != MediaBased::TaskFinished && state != MediaBased::TaskFailed)
            continue;
        const QString log = run_.taskLog(t);
        row->showOutcome(taskOutcome(state, log, false), run_.targetPath(t), log);
        saveQueue();
    }
}

void FrmMainWindow::clearOutcomes() {
    runSummary_->hide();
    runSummary_->clear();
    for (int i = 0; i < taskRowCount(); ++i)
        if (QTaskWidget* row = taskRow(i))
            row->showOutcome(TaskOutcome(), {}, {});
}

void FrmMainWindow::setRunNotifier(RunNotifier* notifier) {
    delete notifier_;
    notifier_ = notifier;
    notifier_->setParent(this);
    connect(notifier_, &RunNotifier::openFolderRequested, this,
            [](const QString& folder) { DialogSeam::instance().openUrl(QUrl::fromLocalFile(folder)); });
}

FrmMainWindow::OutcomeCounts FrmMainWindow::countOutcomes() const {
    OutcomeCounts counts;
    for (int i = 0; i < taskRowCount(); ++i) {
        const QTaskWidget* row = taskRow(i);
        if (row == nullptr)
            continue;
        switch (row->outcome().kind) {
            case OutcomeKind::Finished:
            case OutcomeKind::FinishedEarly:
                ++counts.finished;
                break;
            case OutcomeKind::Failed:
                ++counts.failed;
                break;
            case OutcomeKind::Stopped:
                ++counts.stopped;
                break;
            case OutcomeKind::Interrupted:  // from an earlier run of the program
            case OutcomeKind::Pending:
                break;
        }
    }
    return counts;
}

void FrmMainWindow::showRunSummary() {
    const OutcomeCounts counts = countOutcomes();
    const QString summary = outcomeSummary(counts.finished, counts.failed, counts.stopped);
    runSummary_->setText(summary.isEmpty() ? QString() : tr("Conversion ended: %1").arg(summary));
    runSummary_->setVisible(!summary.isEmpty());
}

QString FrmMainWindow::runSummaryText() const {
    return runSummary_->isVisible() ? runSummary_->text() : QString();
}

void FrmMainWindow::openOutputFolder(const QString& targetPath) {
    DialogSeam::instance().openUrl(QUrl::fromLocalFile(QFileInfo(targetPath).absolutePath()));
}

void FrmMainWindow::showTaskDetails(QTaskWidget* row) {
    const QString log = row->outcomeLog().trimmed();
    const QString text = row->outcomeText() + QStringLiteral("\n\n") +
                         (log.isEmpty() ? tr("The media engine reported nothing for this file.") : log);
    DialogSeam::instance().showText(this, tr("Details: %1").arg(row->source()->fileName()), text);
}

void FrmMainWindow::stopConversion() {
    run_.stop();
}

void FrmMainWindow::checkRun() {
    if (run_.waitForChange(0) || !sinceRefresh_.isValid() || sinceRefresh_.elapsed() >= kProgressRefreshMs)
        on_timer();
}

void FrmMainWindow::on_timer() {
    sinceRefresh_.start();
    if (!run_.isActive())
        return;
    // Read before the rows, so every task counted as ended has its outcome below. Files
    // still being read will join the run: it goes on for them.
    const bool ended = run_.unfinishedCount() == 0 && sources_.countIn(SourceState::Reading) == 0;
    for (int t = 0; t < run_.taskCount(); ++t) {
        const MediaBased::ConvertTask* task = run_.task(t);
        QTaskWidget* row = rowOf(run_.source(t));
        if (task && row)
            row->updateStatus(*task);
    }
    collectOutcomes();
    if (ended)
        finishConversion();
}

void FrmMainWindow::finishConversion() {
    pollTimer_.stop();
    run_.finish();
    ui_->btnConvert->setChecked(false);
    running_ = false;
    updateUiState();
    showRunSummary();
    saveQueue();
    // A run that ends while the user looks elsewhere is told once, for all its files.
    if (!isActiveWindow()) {
        const OutcomeCounts counts = countOutcomes();
        notifier_->notifyRunEnded(counts.finished, counts.failed, counts.stopped, settings_->outputFileDir());
    }
    // The countdown and its cancel come first whatever the choice; quitting is then the
    // window's own part, a normal close.
    const AfterRun afterRun = settings_->afterRun();
    if (shutdownDialog_->arm(afterRun) && shutdownDialog_->exec() == QDialog::Accepted &&
        afterRun == AfterRun::Quit)
        close();
}

void FrmMainWindow::on_taskbtnDel_clicked(void* source) {
    removeSource(static_cast<SourceFile*>(source));
}

void FrmMainWindow::removeSource(SourceFile* source) {
    const int index = sources_.indexOf(source);
    if (index < 0)
        return;
    if (running_) {
        // A task that started or ended belongs to the run until it ends.
        const int task = run_.taskOf(source);
        if (task >= 0 && !run_.removeWaiting(task))
            return;
    }
    sources_.removeAt(index);
    rebuildTaskRows(running_);
    // Its task may have been the last one the run waited for.
    if (running_)
        on_timer();
}

void FrmMainWindow::on_btnOpenDir_clicked() {
    DialogSeam::instance().openUrl(QUrl::fromLocalFile(ui_->cbxOutDir->itemText(0)));
}

void FrmMainWindow::on_btnHelp_clicked() {
    ui_->menuHelp->popup(QCursor::pos());
}

void FrmMainWindow::on_cbxOutDir_currentIndexChanged(int index) {
    if (index == 0)
        return;
    const QSignalBlocker blocker(ui_->cbxOutDir);
    ui_->cbxOutDir->setCurrentIndex(0);
    const QString folder = DialogSeam::instance().getExistingDirectory(
        nullptr, tr("Choose Folder"), ui_->cbxOutDir->itemText(0),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (folder.isEmpty())
        return;
    const QString absolute = QFileInfo(folder).absoluteFilePath();
    ui_->cbxOutDir->setItemText(0, absolute);
    settings_->setOutputFileDir(absolute);
}

void FrmMainWindow::fillProfileTabs() {
    QTabWidget* tabs = ui_->profileTab;
    while (tabs->count() > 0) {
        QWidget* page = tabs->widget(0);
        tabs->removeTab(0);
        delete page;
    }
    const OutputSetting* setting = profiles_->outputSetting();
    const ProfileCatalogue* catalogue = profiles_->catalogue();
    if (setting == nullptr || catalogue == nullptr)
        return;
    const ProfileEntry* current = catalogue->entryById(setting->profileId);
    for (int i = 0; i < catalogue->categoryCount(); ++i) {
        auto* page = new ProfileWidget(tabs);
        connect(page, &ProfileWidget::profileIdChanged, this, &FrmMainWindow::on_profileId_changed);
        page->setCategory(catalogue, i);
        // "&" in a title is text, not a keyboard shortcut.
        QString title = catalogue->category(i)->title;
        tabs->addTab(page, title.replace('&', QLatin1String("&&")));
        tabs->setTabToolTip(i, catalogue->category(i)->title);
        if (current && catalogue->category(i)->id == current->categoryId) {
            tabs->setCurrentIndex(i);
            page->selectIndex(current->indexInCategory);
        }
    }
    ui_->btnCurProfile->setText(setting->name);
    btnShowHide_->raise();
    // The pages are made after the form: their arrows and tiles go between the category bar
    // and the Settings button in the tab order.
    QWidget* previous = tabs->tabBar();
    for (int i = 0; i < tabs->count(); ++i)
        for (const char* name : {"btnPre", "listProfile", "btnNext"})
            if (QWidget* control = tabs->widget(i)->findChild<QWidget*>(name)) {
                QWidget::setTabOrder(previous, control);
                previous = control;
            }
    QWidget::setTabOrder(previous, ui_->btnProfileSet);
}

void FrmMainWindow::on_profileId_changed(int id) {
    OutputSetting* setting = profiles_->outputSetting();
    if (setting == nullptr || id == setting->profileId)
        return;
    profiles_->selectProfile(id);
    // One tile is the current profile, whichever tab it is in.
    for (int i = 0; i < ui_->profileTab->count(); ++i)
        if (auto* page = qobject_cast<ProfileWidget*>(ui_->profileTab->widget(i)))
            page->setCurrentProfileId(id);
    ui_->btnCurProfile->setText(setting->name);
    refreshTargetInfo();
}

void FrmMainWindow::refreshTargetInfo() {
    const OutputSetting* setting = profiles_->outputSetting();
    if (setting == nullptr)
        return;
    // Every trial measured the setting before this one.
    trials_->clear();
    for (int i = 0; i < taskRowCount(); ++i)
        if (QTaskWidget* row = taskRow(i)) {
            row->setTargetInfo(*setting);
            requestTrial(*row->source());
        }
}

void FrmMainWindow::rowTracksChosen() {
    saveQueue();
    // The tracks a trial encoded are part of its size: the row's is measured again.
    auto* row = qobject_cast<QTaskWidget*>(sender());
    const OutputSetting* setting = profiles_->outputSetting();
    if (row != nullptr && setting != nullptr && wantsQualityTrial(*row->source(), *setting)) {
        row->setTrialSize(QString());
        requestTrial(*row->source());
    }
}

void FrmMainWindow::requestTrial(const SourceFile& source) {
    const OutputSetting* setting = profiles_->outputSetting();
    if (setting != nullptr && wantsQualityTrial(source, *setting))
        trials_->request(source, *setting);
}

void FrmMainWindow::on_btnProfileSet_clicked() {
    OutputSetting* setting = profiles_->outputSetting();
    const ProfileEntry* entry = setting ? profiles_->catalogue()->entryById(setting->profileId) : nullptr;
    if (entry == nullptr)
        return;
    profileSetDialog_->setProfile(entry, setting);
    if (profileSetDialog_->exec() == QDialog::Accepted) {
        profiles_->saveOutputSetting();
        refreshTargetInfo();
    }
}

void FrmMainWindow::on_btnShowHide_clicked() {
    QWidget* area = ui_->widgetprofile;
    area->setFixedHeight(area->height() > navHeight_ ? navHeight_ : expandedHeight_);
}

void FrmMainWindow::on_actOptions_triggered() {
    optionsDialog_->exec();
}

void FrmMainWindow::on_afterRun_chosen(QAction* action) {
    settings_->setAfterRun(static_cast<AfterRun>(action->data().toInt()));
}

void FrmMainWindow::showAfterRunChoice(AfterRun choice) {
    for (QAction* action : ui_->actAfterRunNothing->actionGroup()->actions())
        action->setChecked(static_cast<AfterRun>(action->data().toInt()) == choice);
}

void FrmMainWindow::openProductPage(const QString& path) {
    DialogSeam::instance().openUrl(productPageUrl(*settings_, path));
}

void FrmMainWindow::on_actHome_triggered() {
    openProductPage("/");
}

void FrmMainWindow::on_actHelp_triggered() {
    openProductPage("/help/");
}

void FrmMainWindow::on_actFeedback_triggered() {
    openProductPage("/feedback/");
}

void FrmMainWindow::on_actCheckUpdate_triggered() {
    updateChecker_->checkUpdate(true);
}

void FrmMainWindow::on_actAbout_triggered() {
    aboutDialog_->exec();
}

void FrmMainWindow::on_checkupdate_callback(QString lastVersion, QString updateUrl, QString error,
                                            bool automatic) {
    answerUpdateCheck(DialogSeam::instance(), lastVersion, updateUrl, error, automatic);
}
