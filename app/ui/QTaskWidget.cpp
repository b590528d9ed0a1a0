#include "QTaskWidget.h"

#include <QPixmap>

#include "output_setting.h"
#include "source_file.h"
#include "task_status.h"
#include "ui_TaskWidget.h"

using namespace MediaBased;

QTaskWidget::QTaskWidget(SourceFile* source, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TaskWidget>()), source_(source) {
    ui_->setupUi(this);
    setFocusPolicy(Qt::NoFocus);
    ui_->lblTime->hide();
    ui_->progressBar->hide();
    ui_->lblFileName->setText(source->fileName());
    ui_->lblFileName->setToolTip(source->path());
    ui_->lblInfo->setText(source->resolutionText() + ' ' + source->sizeText());
    ui_->btnDel->setToolTip(tr("Remove this task"));

    if (source->audioStream() == -1) {
        ui_->cbxAudioIndex->hide();
        ui_->lblAudio->hide();
        return;
    }
    // Filling the chooser must not reach the slot: the first entry already is the choice.
    const QSignalBlocker blocker(ui_->cbxAudioIndex);
    IMediaInfo* info = source->mediaInfo();
    for (int i = 0; i < info->GetStreamCount(); ++i) {
        const StreamRecord* record = info->GetStreamRecord(i);
        if (record->kind != StreamKindAudio)
            continue;
        const QString codec = QString::fromUtf8(record->codecName ? record->codecName : "");
        ui_->cbxAudioIndex->addItem(QString::number(ui_->cbxAudioIndex->count() + 1) + ": " + codec, i);
    }
    ui_->cbxAudioIndex->setCurrentIndex(0);
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
    ui_->lblOutInfo->setText(targetInfoText(setting, source_->duration()));
}

void QTaskWidget::setRunMode(bool on) {
    if (on) {
        started_ = false;
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
    }
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
            text = view.remainingSeconds >= 0 ? tr("Remaining:") + clockText(view.remainingSeconds)
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
    if (index >= 0)
        source_->setAudioStream(ui_->cbxAudioIndex->itemData(index).toInt());
}
