// Asks the product's web endpoint for the newest released version.
#pragma once

#include <QByteArray>
#include <QString>
#include <QThread>
#include <QUrl>
#include <mutex>

#include "product_info.h"

class AppSettings;

// The error text of every failed check.
inline const QString kUpdateCheckError = QStringLiteral("ERROR");

// Whether candidate is a later version than current. Both must be four dot-separated decimal
// numbers; anything else is never newer. Parts compare as numbers, so 1.0.1.99 < 1.0.1.121.
bool isNewerVersion(const QString& candidate, const QString& current = ProductInfo::fullVersion());

// Only web pages may be opened from a reply.
bool isWebUrl(const QUrl& url);

struct UpdateReply {
    QString version;
    QString url;
    QString error;  // kUpdateCheckError, or empty when version and url are set
};

// Reads <Root><Info version="..." download_url="..."/></Root>; the body is Latin-1, whatever
// the XML declaration says.
UpdateReply parseUpdateReply(const QByteArray& body);

enum class UpdateResultKind {
    Error,       // the check failed
    NewVersion,  // version is newer and url may be opened
    Latest,      // nothing newer (also for versions that do not parse)
};
UpdateResultKind classifyUpdateResult(const QString& version, const QString& url, const QString& error);

// The address the build was configured with (CORVANE_UPDATE_URL); empty by default.
QString buildUpdateUrl();
// The base of the update endpoint and the product pages: the settings key UpdateUrl when it
// holds an http(s) URL, else buildUrl when it is one. Never ends in "/"; empty when neither is.
QString productBaseUrl(const AppSettings& settings, const QString& buildUrl = buildUpdateUrl());
// Whether there is an address to check for updates at; a build without one has no check.
bool isUpdateConfigured(const AppSettings& settings, const QString& buildUrl = buildUpdateUrl());
// base + "/checkupdate/"; empty when there is no base.
QUrl updateCheckUrl(const AppSettings& settings, const QString& buildUrl = buildUpdateUrl());
// base + path, for the Help menu's "/", "/help/" and "/feedback/"; empty when there is no base.
QUrl productPageUrl(const AppSettings& settings, const QString& path,
                    const QString& buildUrl = buildUpdateUrl());

// The automatic schedule: on when CheckForUpdate is set and CheckUpdateDays > 0, on the first
// day and every CheckUpdateDays-th day after it.
bool shouldCheckAtStartup(AppSettings& settings);

// One HTTP request per check on a thread of its own; the answer arrives as updateCallback,
// queued to the receiver's thread. A forced check is the user's; an unforced one is automatic,
// and its answer says so, so that only the user is shown a failure.
class CCheckUpdate : public QThread {
    Q_OBJECT

public:
    static constexpr int kDefaultTimeoutMs = 30000;

    // settings is not owned and must outlive the checker. buildUrl stands for the build's
    // address.
    explicit CCheckUpdate(AppSettings* settings, QObject* parent = nullptr,
                          QString buildUrl = buildUpdateUrl());
    // Abandons a running request and waits for the thread; no callback follows.
    ~CCheckUpdate() override;

    static QString fullVersion() { return ProductInfo::fullVersion(); }
    static bool isNewerVersion(const QString& version) { return ::isNewerVersion(version); }

    // False when there is no address to check at: no check starts then.
    bool isConfigured() const;

    // Starts a check when forced, or when none was made today; records today either way.
    // True when a request started (false also while one is still waiting for its answer; a
    // forced check then makes that answer the user's). False without an address.
    bool checkUpdate(bool force);
    // The start-up check: the schedule, then checkUpdate(false).
    bool checkAtStartup();

    // Limit of one request, answer included.
    void setTimeout(int ms) { timeoutMs_ = ms; }
    int timeout() const { return timeoutMs_; }

signals:
    // automatic: the check started unforced and no forced one joined it.
    void updateCallback(QString last_version, QString update_url, QString error, bool automatic);

protected:
    void run() override;

private:
    AppSettings* settings_;
    const QString buildUrl_;
    // Written only while the thread is not running.
    QUrl url_;
    int timeoutMs_ = kDefaultTimeoutMs;
    // Whether the running check has answered, and whether it is automatic; a forced check
    // may turn a waiting automatic one into the user's until the answer is taken.
    std::mutex answerLock_;
    bool answered_ = false;
    bool automatic_ = false;
};
