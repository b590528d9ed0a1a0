// The program's main window: the task list, the profile chooser, the output folder and the
// convert button that doubles as the cancel button.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSet>
#include <QTimer>
#include <memory>

#include "conversion_run.h"

namespace Ui {
class FrmMainWindowClass;
}
class AppContext;
class AppSettings;
class CCheckUpdate;
class ProfileManager;
class QLabel;
class QueueStore;
class RunNotifier;
class QListWidgetItem;
class QPushButton;
class QTaskWidget;
class SourceFile;
class SourceList;
class SourceProber;
class QualityTrialRunner;
class frmAbout;
class frmOptions;
class frmProfileSet;
class frmShutdown;
class QAction;
class SessionPowerBackend;
enum class AfterRun;

class FrmMainWindow : public QMainWindow {
    Q_OBJECT

public:
    // The context's engine and catalogue must be loaded; power is what the countdown after
    // a run calls at its end to suspend or power off.
    FrmMainWindow(AppContext& context, std::unique_ptr<SessionPowerBackend> power,
                  QWidget* parent = nullptr);
    ~FrmMainWindow() override;

    // Adds files as a drop or the file dialog would; true when at least one was added. Rows
    // show at once and fill in as their files are read; during a run the files join it.
    bool addFiles(const QStringList& paths);
    // Files to open from outside (the command line, another start).
    void openFiles(const QStringList& paths);
    // True while added files are still being read or their rows made.
    bool isReadingFiles() const;
    // keepOutcomes: rows that stay keep what became of their task (only rows went away).
    void rebuildTaskRows(bool keepOutcomes = false);
    bool isRunning() const { return running_; }
    QTaskWidget* taskRow(int index) const;
    int taskRowCount() const;
    Ui::FrmMainWindowClass* form() const { return ui_.get(); }
    ConversionRun& conversionRun() { return run_; }
    frmShutdown* shutdownDialog() const { return shutdownDialog_; }
    CCheckUpdate* updateChecker() const { return updateChecker_; }
    int navHeight() const { return navHeight_; }
    // "Conversion ended: 3 finished, 1 failed" after a run, empty while none has ended.
    QString runSummaryText() const;
    // Stops a running conversion without asking: the session is ending.
    void stopForQuit();
    // Brings back the list as it was last saved, files that were converting as interrupted,
    // and keeps it saved in file as it changes from now on.
    void restoreQueue(const QString& file);
    // Replaces the desktop notifier (tests give one on a private bus); the window owns it.
    void setRunNotifier(RunNotifier* notifier);

    // One poll of the running conversion: rows, progress, the end of the run. The window's
    // timer calls it; connected by hand, so kept out of the meta-object, whose by-name
    // connection would look for an object called "timer".
    void on_timer();
    // The timer's tick: a full poll when a task started or ended, or when the progress is due.
    void checkRun();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void on_btnOpenDir_clicked();
    void on_btnConvert_clicked();
    void on_btnProfileSet_clicked();
    void on_btnHelp_clicked();
    void on_actAddFile_triggered();
    void on_actAddFolder_triggered();
    void on_actClearTasks_triggered();
    void on_actOptions_triggered();
    void on_actHome_triggered();
    void on_actCheckUpdate_triggered();
    void on_actAbout_triggered();
    void on_actHelp_triggered();
    void on_actFeedback_triggered();
    void on_cbxOutDir_currentIndexChanged(int index);

private:
    // Connected by hand to objects made in code; plain methods for the reason given at
    // on_timer.
    void on_btnShowHide_clicked();
    void on_taskbtnDel_clicked(void* source);
    void on_profileId_changed(int id);
    void on_checkupdate_callback(QString lastVersion, QString updateUrl, QString error, bool automatic);
    void on_afterRun_chosen(QAction* action);

    // False, after saying why, when the run cannot start.
    bool startConversion();
    void stopConversion();
    void cancelConversion();
    void finishConversion();
    // Gives every row whose task has ended its outcome, once.
    void collectOutcomes();
    void clearOutcomes();
    struct OutcomeCounts {
        int finished = 0;
        int failed = 0;
        int stopped = 0;
    };
    OutcomeCounts countOutcomes() const;
    void showRunSummary();
    // Appends already absolute paths, unfiltered, and shows their rows.
    void addPaths(const QStringList& paths);
    // Makes rows for sources that have none, in list order, for up to budgetMs (all when
    // negative); the rest follow on later turns of the event loop.
    void buildMissingRows(int budgetMs);
    void removeStaleRows();
    void on_sourceRead(SourceFile* source);
    // Gives the run a task for every ready source it lacks, in list order: a file still being
    // read holds back the files after it.
    void appendReadySources();
    void removeSource(SourceFile* source);
    QTaskWidget* rowOf(const SourceFile* source) const;
    void saveQueue();
    void clearFinishedRows();
    void openOutputFolder(const QString& targetPath);
    void showTaskDetails(QTaskWidget* row);
    void updateUiState();
    void fillProfileTabs();
    void showAfterRunChoice(AfterRun choice);
    void refreshTargetInfo();
    // Starts a size trial of source when the current setting encodes it to a constant quality.
    void requestTrial(const SourceFile& source);
    // A row's tracks changed (the sender): kept in the saved list and measured again.
    void rowTracksChosen();
    void openProductPage(const QString& path);

    std::unique_ptr<Ui::FrmMainWindowClass> ui_;
    QPushButton* btnShowHide_ = nullptr;
    bool rowsPending_ = false;  // a later turn makes the rest of the rows
    QSet<uint64_t> refusedSources_;  // serials the engine gave no task in this run
    QLabel* runSummary_ = nullptr;
    RunNotifier* notifier_ = nullptr;
    std::unique_ptr<QueueStore> queue_;  // null until restoreQueue
    AppContext& context_;
    SourceList& sources_;
    ProfileManager* profiles_;
    AppSettings* settings_;
    int navHeight_ = 29;
    int expandedHeight_ = 29 + 90;
    ConversionRun run_;
    bool running_ = false;
    QTimer pollTimer_;
    QElapsedTimer sinceRefresh_;
    frmAbout* aboutDialog_ = nullptr;
    frmOptions* optionsDialog_ = nullptr;
    frmProfileSet* profileSetDialog_ = nullptr;
    frmShutdown* shutdownDialog_ = nullptr;
    CCheckUpdate* updateChecker_ = nullptr;
    // Size trials of constant-quality settings; like the prober, ended before the window.
    std::unique_ptr<QualityTrialRunner> trials_;
    // Last, so it ends first: no file is delivered to a window being taken down.
    std::unique_ptr<SourceProber> prober_;
};
