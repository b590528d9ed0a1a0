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
    ui_->lblInfo->setText(source->resolutionText() + ' ' + source->sizeText());
    ui_->btnDel->setToolTip(tr("Remove this task"));

    if (source->audioStream() == -1) {
        ui_->cbxAudioIndex->hide();
        ui_->lblAudio->hide();
        return;
    }
    // Filling the chooser must not reach the slot; the file's default track is the choice.
    const QSignalBlocker blocker(ui_->cbxAudioIndex);
    IMediaInfo* info = source->mediaInfo();
    for (int i = 0; i < info->GetStreamCount(); ++i)
        if (info->GetStreamRecord(i)->kind == StreamKindAudio)
            ui_->cbxAudioIndex->addItem(audioTrackLabel(*source, i), i);
    const int chosen = defaultAudioStream(*source);
    source->setAudioStream(chosen);
    ui_->cbxAudioIndex->setCurrentIndex(std::max(0, ui_->cbxAudioIndex->findData(chosen)));
    // Labels may be long ("2: Japanese, Commentary — AC3 5.1"): the list shows them whole.
    ui_->cbxAudioIndex->setSizeAdjustPolicy(QComboBox::AdjustToContents);
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
    ui_->lblOutInfo->setText(targetInfoText(setting, source_->duration(), source_->videoStream() >= 0));
}

void QTaskWidget::setRunMode(bool on) {
    if (on) {
        started_ = false;
        outcome_ = TaskOutcome();
        outcomeTarget_.clear();
        outcomeLog_.clear();
        ui_->lblOutcome->hide();
        ui_->lblTime->setText(tr("Wait"));
        ui_->lblTime->show();
        ui_->progressBar->setValue(0);
        ui_->progressBar->show();
        ui_->btnDel->hide();
    } else {
        ui_->lblTime->hide();
        ui_->progressBar->hide();
        ui_->progressBar->setValue(0);
        ui_->btnDel->show();
        ui_->lblOutcome->setVisible(hasOutcome());
    }
}

void QTaskWidget::showOutcome(const TaskOutcome& outcome, const QString& targetPath, const QString& log) {
    outcome_ = outcome;
    outcomeTarget_ = targetPath;
    outcomeLog_ = log;
    refreshOutcomeLine();
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
    const int entry = ui_->cbxAudioIndex->findData(streamIndex);
    if (entry < 0 || !source_->setAudioStream(streamIndex))
        return;
    const QSignalBlocker blocker(ui_->cbxAudioIndex);
    ui_->cbxAudioIndex->setCurrentIndex(entry);
}
