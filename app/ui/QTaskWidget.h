// One row of the task list: a source file with its thumbnail, details, the plan of its
// conversion, its choice of audio and subtitle tracks and, during a run, its progress.
#pragma once

#include <QDateTime>
#include <QList>
#include <QWidget>
#include <memory>

#include "stream_plan.h"
#include "task_outcome.h"
#include "vantrel/records.h"

namespace Ui {
class TaskWidget;
}
class QStandardItemModel;
class SourceFile;
struct OutputSetting;

class QTaskWidget : public QWidget {
    Q_OBJECT

public:
    QTaskWidget(SourceFile* source, QWidget* parent = nullptr);
    ~QTaskWidget() override;

    SourceFile* source() const { return source_; }
    // Shows what is known of the file: a stand-in picture and "Reading…" while it is read,
    // its details once read, or why it cannot be read.
    void showSource();
    void setThumbnail(const QImage& image);
    // The output's shape and estimated size, and the plan line; kept up to date as the tracks
    // chosen change.
    void setTargetInfo(const OutputSetting& setting);
    // What a trial encode found the constant-quality output's size to be; a new setting
    // forgets it.
    void setTrialSize(const QString& text);
    // During a run the row shows its task's state; only a task still waiting can be removed.
    void setRunMode(bool on);
    void updateStatus(const MediaBased::ConvertTask& task);
    // The same, with the time taken from the caller (tests).
    void updateStatus(int state, double progress, const QDateTime& now);

    // Keeps what became of the task until the next run or until the row goes: the outcome,
    // the output's path (finished tasks) and the engine's log for the details.
    void showOutcome(const TaskOutcome& outcome, const QString& targetPath, const QString& log);
    bool hasOutcome() const { return outcome_.kind != OutcomeKind::Pending; }
    const TaskOutcome& outcome() const { return outcome_; }
    const QString& outcomeLog() const { return outcomeLog_; }
    const QString& outcomeTarget() const { return outcomeTarget_; }
    // Keeps only these audio streams (empty: every track), as the chooser would, without
    // telling anyone it changed; for a file not read yet, the choice waits for it.
    void chooseAudioStreams(const QList<int>& streams);
    // The chooser's toggle of one track (by stream index); the last track left stays chosen.
    void toggleAudioStream(int streamIndex);
    // Keeps every subtitle track, none, or the ticked ones, as the chooser would and without
    // telling anyone; for a file not read yet, the choice waits for it.
    void chooseSubtitles(PlanChoices::Subtitles mode, const QList<int>& streams = {});
    // The chooser's toggle of one subtitle track (by stream index); unticking the last keeps none.
    void toggleSubtitleStream(int streamIndex);
    // The subtitle stream drawn into the picture, -1 for the profile's choice (its forced track,
    // or none), PlanChoices::kBurnNothing for none at all; only streams the plan can burn are
    // taken. False when the stream is not offered.
    bool chooseBurnedSubtitle(int streamIndex);
    // Subtitle streams the plan can burn with the row's output setting, in stream order.
    QList<int> burnableSubtitles() const;
    // What the outcome line reads, without its markup.
    QString outcomeText() const;

    QString statusText() const;
    int progressValue() const;

signals:
    void btnDelclick(void* source);
    // The output's folder should open, with the output selected where the desktop can.
    void openOutputRequested(const QString& targetPath);
    void detailsRequested(QTaskWidget* row);
    // The user changed the tracks the conversion keeps.
    void audioStreamChosen();
    // The user changed the subtitles kept or the one burned into the picture.
    void subtitlesChosen();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void on_btnDel_clicked();
    void on_cbxAudioIndex_activated(int index);
    void on_cbxSubtitles_activated(int index);

private:
    void on_outcomeLinkActivated(const QString& link);
    void refreshOutcomeLine();
    void fillAudioChooser();
    // Every audio stream of the file, in stream order.
    QList<int> audioStreams() const;
    void setAudioChoice(const QList<int>& streams);
    void showAudioChoice();
    void refreshTargetInfo();
    // Every subtitle stream of the file, in stream order.
    QList<int> subtitleStreams() const;
    void fillSubtitleChooser();
    void showSubtitleChoice();
    void setSubtitleChoice(const PlanChoices& choices);
    // An entry of the subtitle chooser picked by click or keyboard; false for one that does nothing.
    bool pickSubtitleEntry(int row);

    QStandardItemModel* audioModel_;  // owned by the chooser
    QStandardItemModel* subtitleModel_;  // owned by the chooser
    std::unique_ptr<OutputSetting> setting_;
    QString trialSize_;
    std::unique_ptr<Ui::TaskWidget> ui_;
    SourceFile* source_;
    bool runMode_ = false;
    bool started_ = false;
    QDateTime startTime_;
    TaskOutcome outcome_;
    QString outcomeTarget_;
    QString outcomeLog_;
};
