#include "QTaskWidget.h"

#include <QEvent>
#include <algorithm>
#include <QFileInfo>
#include <QPixmap>

#include "output_setting.h"
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
}

void QTaskWidget::fillAudioChooser() {
    const bool hasAudio = source_->isReady() && source_->audioStream() != -1;
    ui_->cbxAudioIndex->setVisible(hasAudio);
    ui_->lblAudio->setVisible(hasAudio);
    if (!hasAudio)
        return;
    // Filling the chooser must not reach the slot; the file's default track is the choice,
    // unless one was chosen before the file was read (a restored list).
    const QSignalBlocker blocker(ui_->cbxAudioIndex);
    ui_->cbxAudioIndex->clear();
    IMediaInfo* info = source_->mediaInfo();
    for (int i = 0; i < info->GetStreamCount(); ++i)
        if (info->GetStreamRecord(i)->kind == StreamKindAudio)
            ui_->cbxAudioIndex->addItem(audioTrackLabel(*source_, i), i);
    const int early = source_->audioStreamChosenEarly();
    const int chosen = early >= 0 && ui_->cbxAudioIndex->findData(early) >= 0 ? early : defaultAudioStream(*source_);
    source_->setAudioStream(chosen);
    ui_->cbxAudioIndex->setCurrentIndex(std::max(0, ui_->cbxAudioIndex->findData(chosen)));
    ui_->cbxAudioIndex->setToolTip(ui_->cbxAudioIndex->currentText());
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
    if (!source_->isReady()) {
        ui_->lblOutInfo->clear();
        return;
    }
    ui_->lblOutInfo->setText(targetInfoText(setting, source_->duration(), source_->videoStream() >= 0));
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

void QTaskWidget::on_cbxAudioIndex_currentIndexChanged(int index) {
    ui_->cbxAudioIndex->setToolTip(ui_->cbxAudioIndex->currentText());
    if (index >= 0 && source_->setAudioStream(ui_->cbxAudioIndex->itemData(index).toInt()))
        emit audioStreamChosen();
}

void QTaskWidget::selectAudioStream(int streamIndex) {
    // Not read yet: the file takes the choice once it is, if the stream is one of its tracks.
    if (source_->state() == SourceState::Reading) {
        source_->setAudioStream(streamIndex);
        return;
    }
    const int entry = ui_->cbxAudioIndex->findData(streamIndex);
    if (entry < 0 || !source_->setAudioStream(streamIndex))
        return;
    const QSignalBlocker blocker(ui_->cbxAudioIndex);
    ui_->cbxAudioIndex->setCurrentIndex(entry);
}
