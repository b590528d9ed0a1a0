// SIGTERM and SIGINT (a logout, kill, Ctrl+C in the terminal) turned into a Qt signal, so the
// program can stop its run cleanly on the event loop instead of dying mid-write.
#pragma once

#include <QObject>

class QSocketNotifier;

class QuitSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; one instance per process.
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested(int signalNumber);

private:
    void onReadable();

    QSocketNotifier* notifier_ = nullptr;
};
