#include "conversion_run.h"

#include <QDir>
#include <QThread>
#include <algorithm>
#include <unistd.h>

#include "output_namer.h"
#include "source_file.h"

using namespace MediaBased;

int maxParallelTasks() {
    return std::max(1, QThread::idealThreadCount());
}

int automaticTaskCount() {
    // A 1080p task with its queues, decoder and encoder: a few hundred MB at most.
    constexpr long long kBytesPerTask = 512LL * 1024 * 1024;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    int byMemory = maxParallelTasks();
    if (pages > 0 && pageSize > 0)
        byMemory = static_cast<int>(std::min<long long>(byMemory, static_cast<long long>(pages) * pageSize / kBytesPerTask));
    return std::max(1, byMemory);
}

bool ConversionRun::start(const SourceList& sources, const OutputSetting& setting,
                          const QString& outputFolder, int maxParallel) {
    stop();
    if (manager_ != nullptr)
        converter_.reset(manager_->CreateConverter());
    if (converter_ == nullptr)
        return false;
    // The engine refuses more than the processor count and would then keep its own default.
    converter_->SetMaxParallelTasks(std::clamp(maxParallel, 1, maxParallelTasks()));

    OutputNamer namer(outputFolder);
    for (int i = 0; i < sources.count(); ++i) {
        const SourceFile* source = sources.at(i);
        Owned<IMediaTaskConfig> config(manager_->CreateTaskConfig());
        Owned<IMediaInfo> target(manager_->CreateMediaInfo());
        if (config == nullptr || target == nullptr)
            continue;
        const QString extension = fillTaskConfiguration(config.get(), target.get(), setting, *source);
        config->SetTargetInfo(target.get());
        config->SetSourcePath(source->enginePath().constData());
        const QString targetPath =
            QDir::toNativeSeparators(namer.makeTargetPath(source->baseName(), extension));
        config->SetTargetPath(targetPath.toUtf8().constData());
        // The converter keeps a clone of the configuration.
        if (converter_->AddTask(config.get()) > 0) {
            targets_.append(targetPath);
            sourceIndexes_.push_back(i);
        }
    }
    converter_->Start();
    return true;
}

int ConversionRun::taskCount() const {
    return converter_ ? converter_->GetTaskCount() : 0;
}

int ConversionRun::unfinishedCount() const {
    return converter_ ? converter_->GetUnfinishedTaskCount() : 0;
}

const ConvertTask* ConversionRun::task(int index) const {
    return converter_ && index >= 0 ? converter_->GetTask(static_cast<uint32_t>(index)) : nullptr;
}

QString ConversionRun::targetPath(int index) const {
    // The engine moves an output to the next free name when another run took its name; it
    // says so in the task's configuration before the task reads finished.
    const ConvertTask* record = task(index);
    if (record != nullptr && record->config != nullptr &&
        record->state.load(std::memory_order_acquire) == TaskFinished)
        return QString::fromUtf8(record->config->GetTargetPath());
    return targets_.value(index);
}

bool ConversionRun::waitForChange(int milliseconds) const {
    return converter_ != nullptr && converter_->WaitForTaskChange(milliseconds);
}

QString ConversionRun::taskLog(int index) const {
    if (converter_ == nullptr || index < 0)
        return {};
    const char* text = converter_->GetTaskLog(static_cast<uint32_t>(index));
    return text ? QString::fromUtf8(text) : QString();
}

int ConversionRun::sourceIndex(int index) const {
    return index >= 0 && index < static_cast<int>(sourceIndexes_.size()) ? sourceIndexes_[static_cast<size_t>(index)] : -1;
}

void ConversionRun::stop() {
    if (converter_)
        converter_->Stop();
    converter_.reset();
    targets_.clear();
    sourceIndexes_.clear();
}

void ConversionRun::finish() {
    converter_.reset();
}
