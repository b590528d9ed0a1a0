#include "QTaskWidget.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <QStandardItemModel>
#include <algorithm>

#include "output_setting.h"
#include "plan_inputs.h"
#include "plan_text.h"
#include "size_estimate.h"
#include "source_file.h"
#include "task_status.h"
#include "track_labels.h"
#include "ui_TaskWidget.h"

using namespace MediaBased;

namespace {

// The stand-in picture while a file is read, or when it cannot be: a designer's drawing.
const QImage& placeholderThumbnail() {
    static const QImage picture = [] {
        QImage drawn(QStringLiteral(":/task/thumbnailReading"));
        if (drawn.isNull()) {
            drawn = QImage(SourceFile::kThumbnailWidth, SourceFile::kThumbnailHeight, QImage::Format_RGB32);
            drawn.fill(Qt::lightGray);
        }
        return drawn;
    }();
    return picture;
}

constexpr int kStreamRole = Qt::UserRole + 1;  // a track entry's stream index

}  // namespace

QTaskWidget::QTaskWidget(SourceFile* source, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TaskWidget>()), source_(source) {
    ui_->setupUi(this);
    setFocusPolicy(Qt::NoFocus);
    ui_->lblTime->hide();
    ui_->progressBar->hide();
    ui_->lblOutcome->hide();
    ui_->lblOutcome->installEventFilter(this);
    connect(ui_->lblOutcome, &QLabel::linkActivated, this, &QTaskWidget::on_outcomeLinkActivated);
    ui_->lblFileName->setText(source->fileName());
    ui_->lblFileName->setToolTip(source->path());
    ui_->btnDel->setToolTip(tr("Remove this task"));
    // Labels may be long ("2: Japanese, Commentary — AC3 5.1"): the list shows them whole.
    ui_->cbxAudioIndex->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    audioModel_ = new QStandardItemModel(ui_->cbxAudioIndex);
    ui_->cbxAudioIndex->setModel(audioModel_);
    // A click on a track ticks it and leaves the list open for the next; the combo box's own
    // filter, which would close it, is installed with the view and so runs after this one.
    ui_->cbxAudioIndex->view()->viewport()->installEventFilter(this);
    ui_->cbxAudioIndex->installEventFilter(this);
    // A row being read keeps the plan's place, so the lines do not move once it is known.
    for (QWidget* planPart : {static_cast<QWidget*>(ui_->lblPlanCaption), static_cast<QWidget*>(ui_->lblPlan)}) {
        QSizePolicy policy = planPart->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        planPart->setSizePolicy(policy);
    }
    showSource();
}

void QTaskWidget::showSource() {
    const SourceState state = source_->state();
    ui_->lblInfo->setStyleSheet({});
    switch (state) {
        case SourceState::Reading:
            ui_->lblInfo->setText(tr("Reading…"));
            break;
        case SourceState::Ready:
            ui_->lblInfo->setText(source_->resolutionText() + ' ' + source_->sizeText());
            break;
        case SourceState::Unreadable:
            ui_->lblInfo->setText(tr("Cannot read this file: %1").arg(source_->problem()));
            ui_->lblInfo->setStyleSheet(QStringLiteral("color: #b3261e"));
            break;
    }
    ui_->lblInfo->setToolTip(state == SourceState::Unreadable ? ui_->lblInfo->text() : QString());
    const bool ready = state == SourceState::Ready;
    setThumbnail(ready ? source_->thumbnail() : placeholderThumbnail());
    // What the output will be is known once the file is.
    ui_->lbl2->setVisible(ready);
    ui_->lblOutInfo->setVisible(ready);
    if (state == SourceState::Unreadable) {
        ui_->lblTime->hide();
        ui_->progressBar->hide();
    }
    fillAudioChooser();
    refreshTargetInfo();
}

void QTaskWidget::fillAudioChooser() {
    const QList<int> streams = audioStreams();
    const bool hasAudio = !streams.isEmpty();
    ui_->cbxAudioIndex->setVisible(hasAudio);
    ui_->lblAudio->setVisible(hasAudio);
    if (!hasAudio)
        return;
    const QSignalBlocker blocker(ui_->cbxAudioIndex);
    audioModel_->clear();
    audioModel_->appendRow(new QStandardItem(tr("All audio tracks")));
    for (int stream : streams) {
        // Ticked by the row, not by the view: the last ticked track must stay ticked.
        auto* item = new QStandardItem(audioTrackLabel(*source_, stream));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setData(stream, kStreamRole);
        audioModel_->appendRow(item);
    }
    // A choice made before the file was read (a restored list) holds for the tracks it has.
    QList<int> chosen;
    for (int stream : source_->planChoices().audio)
        if (streams.contains(stream) && !chosen.contains(stream))
            chosen.append(stream);
    PlanChoices choices = source_->planChoices();
    choices.audio = chosen.size() == streams.size() ? QList<int>() : chosen;
    source_->setPlanChoices(choices);
    source_->setAudioStream(chosen.isEmpty() ? defaultAudioStream(*source_) : chosen.first());
    showAudioChoice();
}

QList<int> QTaskWidget::audioStreams() const {
    QList<int> streams;
    IMediaInfo* info = source_->isReady() ? source_->mediaInfo() : nullptr;
    for (int i = 0; info != nullptr && i < info->GetStreamCount(); ++i)
        if (const StreamRecord* record = info->GetStreamRecord(i); record && record->kind == StreamKindAudio)
            streams.append(i);
    return streams;
}

void QTaskWidget::showAudioChoice() {
    const QList<int>& chosen = source_->planChoices().audio;
    QComboBox* chooser = ui_->cbxAudioIndex;
    const QSignalBlocker blocker(chooser);
    int onlyRow = 0;
    QStringList labels;
    for (int row = 1; row < audioModel_->rowCount(); ++row) {
        QStandardItem* item = audioModel_->item(row);
        const bool ticked = chosen.isEmpty() || chosen.contains(item->data(kStreamRole).toInt());
        item->setData(ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        if (ticked) {
            labels.append(item->text());
            onlyRow = row;
        }
    }
    if (chosen.isEmpty()) {
        chooser->setCurrentIndex(0);
        chooser->setToolTip(tr("Every audio track the output can hold"));
        return;
    }
    // Several tracks but not all: no entry says that, the empty choice's placeholder does.
    chooser->setPlaceholderText(tr("%1 of %2 tracks").arg(chosen.size()).arg(audioModel_->rowCount() - 1));
    chooser->setCurrentIndex(chosen.size() == 1 ? onlyRow : -1);
    chooser->setToolTip(labels.join('\n'));
}

void QTaskWidget::setAudioChoice(const QList<int>& streams) {
    PlanChoices choices = source_->planChoices();
    choices.audio = streams.size() == audioStreams().size() ? QList<int>() : streams;
    source_->setPlanChoices(choices);
    // What still shows a single track shows the first one kept.
    source_->setAudioStream(choices.audio.isEmpty() ? defaultAudioStream(*source_) : choices.audio.first());
    showAudioChoice();
    refreshTargetInfo();
}

void QTaskWidget::chooseAudioStreams(const QList<int>& streams) {
    if (!source_->isReady()) {
        PlanChoices choices = source_->planChoices();
        choices.audio = streams;
        source_->setPlanChoices(choices);
        return;
    }
    QList<int> kept;
    for (int stream : audioStreams())
        if (streams.contains(stream))
            kept.append(stream);
    setAudioChoice(kept);
}

void QTaskWidget::toggleAudioStream(int streamIndex) {
    const QList<int> streams = audioStreams();
    if (!streams.contains(streamIndex))
        return;
    QList<int> chosen = source_->planChoices().audio;
    if (chosen.isEmpty())
        chosen = streams;
    if (chosen.contains(streamIndex)) {
        if (chosen.size() == 1)
            return;
        chosen.removeAll(streamIndex);
    } else {
        chosen.append(streamIndex);
        std::sort(chosen.begin(), chosen.end());
    }
    setAudioChoice(chosen);
    emit audioStreamChosen();
}

QTaskWidget::~QTaskWidget() = default;

void QTaskWidget::setThumbnail(const QImage& image) {
    const QPixmap pixmap = QPixmap::fromImage(image);
    // The list is disabled during a run; the pictures should not turn grey with it.
    QIcon icon(pixmap);
    icon.addPixmap(pixmap, QIcon::Disabled);
    ui_->btnThum->setIcon(icon);
    // The whole picture, scaled into the button rather than cut to it.
    ui_->btnThum->setIconSize(pixmap.size().scaled(ui_->btnThum->maximumSize(), Qt::KeepAspectRatio));
}

void QTaskWidget::setTargetInfo(const OutputSetting& setting) {
    setting_ = std::make_unique<OutputSetting>(setting);
    refreshTargetInfo();
}

void QTaskWidget::refreshTargetInfo() {
    const bool known = source_->isReady() && setting_ != nullptr;
    ui_->lblPlanCaption->setVisible(known);
    ui_->lblPlan->setVisible(known);
    if (!known) {
        ui_->lblOutInfo->clear();
        ui_->lblPlan->clear();
        ui_->lblPlan->setToolTip({});
        return;
    }
    const TaskPlan plan = planFor(*source_, *setting_);
    const auto video = std::find_if(plan.streams.begin(), plan.streams.end(), [](const PlannedStream& stream) {
        return stream.source.kind == PlanKind::Video && stream.action != PlanAction::Drop;
    });
    QString shape = tr("audio only");
    if (video != plan.streams.end())
        shape = video->action == PlanAction::Copy ? source_->resolutionText() : setting_->videoResolution;
    ui_->lblOutInfo->setText(shape + ' ' + formatSize(plannedOutputBytes(plan, *source_, *setting_)));
    const QString summary = planSummary(plan);
    ui_->lblPlan->setText(summary);
    ui_->lblPlan->setToolTip(summary + QStringLiteral("\n\n") + planDetails(plan));
}

void QTaskWidget::setRunMode(bool on) {
    // Rows come and go during a run; a row already in its mode keeps what it shows.
    if (on == runMode_)
        return;
    runMode_ = on;
    // The track of a file in the run is settled.
    ui_->cbxAudioIndex->setEnabled(!on);
    ui_->btnDel->setEnabled(true);
    const bool unreadable = source_->state() == SourceState::Unreadable;
    if (on) {
        started_ = false;
        outcome_ = TaskOutcome();
        outcomeTarget_.clear();
        outcomeLog_.clear();
        ui_->lblOutcome->hide();
        ui_->lblTime->setText(tr("Wait"));
        ui_->lblTime->setVisible(!unreadable);
        ui_->progressBar->setValue(0);
        ui_->progressBar->setVisible(!unreadable);
    } else {
        ui_->lblTime->hide();
        ui_->progressBar->hide();
        ui_->progressBar->setValue(0);
        ui_->lblOutcome->setVisible(hasOutcome());
    }
}

void QTaskWidget::showOutcome(const TaskOutcome& outcome, const QString& targetPath, const QString& log) {
    outcome_ = outcome;
    outcomeTarget_ = targetPath;
    outcomeLog_ = log;
    refreshOutcomeLine();
    // During a run the line shows when the run ends; an ended task stays in the run.
    if (runMode_)
        ui_->btnDel->setEnabled(false);
    else
        ui_->lblOutcome->setVisible(hasOutcome());
}

QString QTaskWidget::outcomeText() const {
    const QString name = QFileInfo(outcomeTarget_).fileName();
    switch (outcome_.kind) {
        case OutcomeKind::Finished:
            return tr("Finished: %1").arg(name);
        case OutcomeKind::FinishedEarly:
            return tr("Finished — %1: %2").arg(outcome_.reason, name);
        case OutcomeKind::Failed:
            return tr("Failed: %1").arg(outcome_.reason);
        case OutcomeKind::Stopped:
            return tr("Stopped");
        case OutcomeKind::Interrupted:
            return tr("Interrupted: Corvane ended during the conversion");
        case OutcomeKind::Pending:
            break;
    }
    return {};
}

void QTaskWidget::refreshOutcomeLine() {
    QLabel* line = ui_->lblOutcome;
    if (!hasOutcome()) {
        line->clear();
        return;
    }
    // The reason may be long: it gives way first, the links stay whole.
    const QFontMetrics metrics(line->font());
    const auto fit = [&](const QString& text, int reserved) {
        return metrics.elidedText(text, Qt::ElideRight, std::max(40, line->width() - reserved)).toHtmlEscaped();
    };
    const QString details = tr("Details");
    const QString detailsLink = QStringLiteral(" &nbsp;<a href=\"details\">%1</a>").arg(details);
    const int detailsWidth = metrics.horizontalAdvance(QStringLiteral("  ") + details);
    const QString name = QFileInfo(outcomeTarget_).fileName();
    QString html;
    switch (outcome_.kind) {
        case OutcomeKind::Finished:
            html = tr("Finished:") + QStringLiteral(" <a href=\"open\">%1</a>")
                                         .arg(fit(name, metrics.horizontalAdvance(tr("Finished:") + ' ')));
            break;
        case OutcomeKind::FinishedEarly: {
            const QString lead = tr("Finished — %1:").arg(outcome_.reason);
            const int nameWidth = std::min(metrics.horizontalAdvance(name) + 4, line->width() / 3);
            html = fit(lead, nameWidth + detailsWidth) +
                   QStringLiteral(" <a href=\"open\">%1</a>").arg(fit(name, line->width() - nameWidth)) +
                   detailsLink;
            break;
        }
        case OutcomeKind::Failed:
            html = QStringLiteral("<span style=\"color:#b3261e\">%1</span>")
                       .arg(fit(outcomeText(), detailsWidth)) +
                   detailsLink;
            break;
        case OutcomeKind::Stopped:
        case OutcomeKind::Interrupted:
            html = fit(outcomeText(), 0);
            break;
        case OutcomeKind::Pending:
            break;
    }
    line->setText(html);
    line->setToolTip(outcome_.kind == OutcomeKind::Finished || outcome_.kind == OutcomeKind::FinishedEarly
                         ? outcomeText() + '\n' + outcomeTarget_
                         : outcomeText());
}

bool QTaskWidget::eventFilter(QObject* watched, QEvent* event) {
    // The line's own width decides how much of the reason fits.
    if (watched == ui_->lblOutcome && event->type() == QEvent::Resize)
        refreshOutcomeLine();
    // Turning the wheel over the closed chooser would tick and untick tracks unseen.
    if (watched == ui_->cbxAudioIndex && event->type() == QEvent::Wheel)
        return true;
    if (watched == ui_->cbxAudioIndex->view()->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* click = static_cast<QMouseEvent*>(event);
        const QModelIndex entry = ui_->cbxAudioIndex->view()->indexAt(click->position().toPoint());
        if (click->button() == Qt::LeftButton && entry.isValid() && entry.row() > 0) {
            toggleAudioStream(entry.data(kStreamRole).toInt());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void QTaskWidget::on_outcomeLinkActivated(const QString& link) {
    if (link == QLatin1String("open"))
        emit openOutputRequested(outcomeTarget_);
    else if (link == QLatin1String("details"))
        emit detailsRequested(this);
}

void QTaskWidget::updateStatus(const ConvertTask& task) {
    updateStatus(task.state.load(), task.progress.load(), QDateTime::currentDateTime());
}

void QTaskWidget::updateStatus(int state, double progress, const QDateTime& now) {
    if (state == TaskRunning && !started_) {
        startTime_ = now;
        started_ = true;
    }
    const qint64 elapsed = started_ ? startTime_.secsTo(now) : 0;
    const TaskStatusView view = taskStatusView(state, progress, elapsed);
    QString text;
    switch (view.phase) {
        case TaskPhase::Waiting:
            text = tr("Wait");
            break;
        case TaskPhase::Running:
            text = view.remainingSeconds >= 0 ? tr("Remaining: %1").arg(clockText(view.remainingSeconds))
                                              : tr("Run...");
            break;
        case TaskPhase::Finished:
            text = tr("Finished");
            break;
        case TaskPhase::Failed:
            text = tr("Error");
            break;
        case TaskPhase::Unknown:
            return;
    }
    ui_->btnDel->setEnabled(view.phase == TaskPhase::Waiting);
    ui_->progressBar->setValue(view.progressValue);
    ui_->lblTime->setText(text);
}

QString QTaskWidget::statusText() const {
    return ui_->lblTime->text();
}

int QTaskWidget::progressValue() const {
    return ui_->progressBar->value();
}

void QTaskWidget::on_btnDel_clicked() {
    emit btnDelclick(source_);
}

void QTaskWidget::on_cbxAudioIndex_activated(int index) {
    // From the keyboard: the first entry keeps every track, the others tick or untick theirs.
    if (index == 0) {
        const bool changed = !source_->planChoices().audio.isEmpty();
        setAudioChoice({});
        if (changed)
            emit audioStreamChosen();
    } else if (index > 0) {
        toggleAudioStream(audioModel_->item(index)->data(kStreamRole).toInt());
    }
    showAudioChoice();
}
