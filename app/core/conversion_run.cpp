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
    if (!prepare(setting, outputFolder, maxParallel))
        return false;
    for (int i = 0; i < sources.count(); ++i)
        append(*sources.at(i), i);
    launch();
    return true;
}

bool ConversionRun::prepare(const OutputSetting& setting, const QString& outputFolder, int maxParallel) {
    stop();
    if (manager_ != nullptr)
        converter_.reset(manager_->CreateConverter());
    if (converter_ == nullptr)
        return false;
    // The engine refuses more than the processor count and would then keep its own default.
    converter_->SetMaxParallelTasks(std::clamp(maxParallel, 1, maxParallelTasks()));
    setting_ = setting;
    namer_ = std::make_unique<OutputNamer>(outputFolder);
    return true;
}

int ConversionRun::append(const SourceFile& source, int sourceIndex) {
    if (converter_ == nullptr || namer_ == nullptr || !source.isReady())
        return -1;
    Owned<IMediaTaskConfig> config(manager_->CreateTaskConfig());
    Owned<IMediaInfo> target(manager_->CreateMediaInfo());
    if (config == nullptr || target == nullptr)
        return -1;
    const QString extension = fillTaskConfiguration(config.get(), target.get(), setting_, source);
    config->SetTargetInfo(target.get());
    config->SetSourcePath(source.enginePath().constData());
    const QString targetPath = QDir::toNativeSeparators(namer_->makeTargetPath(source.baseName(), extension));
    config->SetTargetPath(targetPath.toUtf8().constData());
    // The converter keeps a clone of the configuration.
    if (converter_->AddTask(config.get()) <= 0)
        return -1;
    targets_.append(targetPath);
    sourceIndexes_.push_back(sourceIndex);
    sources_.push_back(&source);
    return static_cast<int>(sources_.size()) - 1;
}

void ConversionRun::launch() {
    if (converter_)
        converter_->Start();
}

bool ConversionRun::removeWaiting(int index) {
    const ConvertTask* record = task(index);
    // The scheduler may start the task between this look and the removal; the engine then
    // stops and joins it, as a cancel of the run would.
    if (record == nullptr || record->state.load(std::memory_order_acquire) != TaskWaiting ||
        !converter_->RemoveTask(static_cast<uint32_t>(index)))
        return false;
    targets_.removeAt(index);
    sourceIndexes_.erase(sourceIndexes_.begin() + index);
    sources_.erase(sources_.begin() + index);
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

const SourceFile* ConversionRun::source(int index) const {
    return index >= 0 && index < static_cast<int>(sources_.size()) ? sources_[static_cast<size_t>(index)] : nullptr;
}

int ConversionRun::taskOf(const SourceFile* source) const {
    const auto found = std::find(sources_.begin(), sources_.end(), source);
    return found == sources_.end() || source == nullptr ? -1 : static_cast<int>(found - sources_.begin());
}

void ConversionRun::stop() {
    if (converter_)
        converter_->Stop();
    converter_.reset();
    namer_.reset();
    targets_.clear();
    sourceIndexes_.clear();
    sources_.clear();
}

void ConversionRun::finish() {
    converter_.reset();
    namer_.reset();
}
