#include "source_prober.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <algorithm>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Results handed over in one turn of the event loop: well below a frame's worth of
// stutter, however many files come back at once.
constexpr int kDeliveryBudgetMs = 15;
// Probing is as much disk as processor work; more readers than this only seek more.
constexpr int kMostReaders = 4;
constexpr int kReaderNiceness = 10;

// Reading files is background work: the window's thread, and a conversion, come first.
// Linux keeps a nice value per thread, and the decoder threads a probe starts inherit it.
void yieldToTheWindow() {
    thread_local bool lowered = false;
    if (!lowered) {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kReaderNiceness);
        lowered = true;
    }
}

}  // namespace

SourceProber::SourceProber(SourceList& list, int threads, QObject* parent) : QObject(parent), list_(list) {
    pool_.setMaxThreadCount(threads > 0 ? threads : std::clamp(QThread::idealThreadCount(), 1, kMostReaders));
}

SourceProber::~SourceProber() {
    pool_.clear();
    pool_.waitForDone();
}

SourceFile* SourceProber::add(const QString& path) {
    const QByteArray nativePath = QFile::encodeName(path);
    SourceFile* file = list_.addUnread(nativePath);
    const uint64_t serial = file->serial();
    {
        const std::lock_guard<std::mutex> guard(lock_);
        wanted_.insert(serial);
    }
    // The engine's manager keeps no state and every probe opens an importer of its own, so
    // probes run side by side without a lock.
    MediaBased::IMediaManager* manager = list_.manager();
    const bool thumbnails = list_.thumbnails();
    pool_.start([this, serial, nativePath, manager, thumbnails] {
        yieldToTheWindow();
        auto probed = std::make_unique<SourceFile>(manager);
        if (isWanted(serial)) {
            probed->setWantsThumbnail(thumbnails);
            probed->probeNative(nativePath);
        }
        finished({serial, std::move(probed)});
    });
    return file;
}

void SourceProber::forgetRemoved() {
    QSet<uint64_t> listed;
    for (int i = 0; i < list_.count(); ++i)
        listed.insert(list_.at(i)->serial());
    const std::lock_guard<std::mutex> guard(lock_);
    wanted_.intersect(listed);
}

int SourceProber::pendingCount() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(wanted_.size());
}

bool SourceProber::isWanted(uint64_t serial) const {
    const std::lock_guard<std::mutex> guard(lock_);
    return wanted_.contains(serial);
}

void SourceProber::finished(Result result) {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        results_.push_back(std::move(result));
        if (deliveryPosted_)
            return;
        deliveryPosted_ = true;
    }
    // Runs on this object's thread; dropped with the object should it go first.
    QMetaObject::invokeMethod(this, [this] { deliver(); }, Qt::QueuedConnection);
}

void SourceProber::deliver() {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        Result result;
        {
            const std::lock_guard<std::mutex> guard(lock_);
            if (results_.empty()) {
                deliveryPosted_ = false;
                return;
            }
            result = std::move(results_.front());
            results_.pop_front();
            wanted_.remove(result.serial);
        }
        // A record removed meanwhile is gone from the list: its result is simply dropped.
        SourceFile* file = list_.findBySerial(result.serial);
        if (file != nullptr && file->state() == SourceState::Reading) {
            file->takeProbeOf(*result.probed);
            emit sourceRead(file);
        }
        if (clock.elapsed() >= kDeliveryBudgetMs) {
            QMetaObject::invokeMethod(this, [this] { deliver(); }, Qt::QueuedConnection);
            return;
        }
    }
}
