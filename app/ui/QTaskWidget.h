// One row of the task list: a source file with its thumbnail, details, audio chooser and,
// during a run, its progress.
#pragma once

#include <QDateTime>
#include <QWidget>
#include <memory>

#include "vantrel/records.h"

namespace Ui {
class TaskWidget;
}
class SourceFile;
struct OutputSetting;

class QTaskWidget : public QWidget {
    Q_OBJECT

public:
    QTaskWidget(SourceFile* source, QWidget* parent = nullptr);
    ~QTaskWidget() override;

    SourceFile* source() const { return source_; }
    void setThumbnail(const QImage& image);
    void setTargetInfo(const OutputSetting& setting);
    void setRunMode(bool on);
    void updateStatus(const MediaBased::ConvertTask& task);
    // The same, with the time taken from the caller (tests).
    void updateStatus(int state, double progress, const QDateTime& now);

    QString statusText() const;
    int progressValue() const;

signals:
    void btnDelclick(void* source);

private slots:
    void on_btnDel_clicked();
    void on_cbxAudioIndex_currentIndexChanged(int index);

private:
    std::unique_ptr<Ui::TaskWidget> ui_;
    SourceFile* source_;
    bool started_ = false;
    QDateTime startTime_;
};
