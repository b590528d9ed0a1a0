// Reads added files on worker threads, so that adding many never holds up the caller's
// thread: the record goes into the list at once, still Reading, and is filled in when its
// probe and thumbnail are done.
#pragma once

#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <deque>
#include <memory>
#include <mutex>

#include "source_file.h"

class SourceProber : public QObject {
    Q_OBJECT

public:
    // Records are read on up to threads workers at once (0: one per processor, at most 4).
    explicit SourceProber(SourceList& list, int threads = 0, QObject* parent = nullptr);
    // Reads not started yet are dropped, those under way waited for.
    ~SourceProber() override;
    SourceProber(const SourceProber&) = delete;
    SourceProber& operator=(const SourceProber&) = delete;

    // Appends path to the list, Reading, and has it read; sourceRead follows on this object's
    // thread. Never null.
    SourceFile* add(const QString& path);
    // Files taken out of the list are not read if their turn has not come yet.
    void forgetRemoved();
    // Files added whose result has not been delivered yet.
    int pendingCount() const;

signals:
    // file, still in the list, is now Ready or Unreadable.
    void sourceRead(SourceFile* file);

private:
    struct Result {
        uint64_t serial;
        std::unique_ptr<SourceFile> probed;
    };
    bool isWanted(uint64_t serial) const;
    void finished(Result result);
    // On this object's thread: hands results over for a slice of time, then lets the event
    // loop breathe before the rest.
    void deliver();

    SourceList& list_;
    QThreadPool pool_;
    mutable std::mutex lock_;
    QSet<uint64_t> wanted_;       // guarded by lock_
    std::deque<Result> results_;  // guarded by lock_
    bool deliveryPosted_ = false;  // guarded by lock_
};
