#include "CheckUpdate.h"

#include <QDate>
#include <QDomDocument>
#include <QDomElement>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <utility>

#include "app_settings.h"
#include "product_info.h"

namespace {

constexpr int kInterruptPollMs = 50;

// A decimal number of any length, without sign or blanks, leading zeros stripped; null when
// the text is not one.
QString DecimalDigits(const QString& text) {
    if (text.isEmpty())
        return {};
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    qsizetype first = 0;
    while (first + 1 < text.size() && text.at(first) == QLatin1Char('0'))
        ++first;
    return text.mid(first);
}

// Compares two stripped digit strings as numbers: a longer one is larger.
int CompareDecimal(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return QString::compare(a, b);
}

bool ParseVersion(const QString& text, QStringList& parts) {
    parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (QString& part : parts) {
        part = DecimalDigits(part);
        if (part.isNull())
            return false;
    }
    return true;
}

UpdateReply ErrorReply() {
    return {QString(), QString(), kUpdateCheckError};
}

}  // namespace

bool isNewerVersion(const QString& candidate, const QString& current) {
    QStringList theirs;
    QStringList ours;
    if (!ParseVersion(candidate, theirs) || !ParseVersion(current, ours))
        return false;
    for (int i = 0; i < 4; ++i) {
        const int order = CompareDecimal(theirs.at(i), ours.at(i));
        if (order != 0)
            return order > 0;
    }
    return false;
}

bool isWebUrl(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

UpdateReply parseUpdateReply(const QByteArray& body) {
    QDomDocument document;
    if (!document.setContent(QString::fromLatin1(body), false))
        return ErrorReply();
    const QDomElement info = document.documentElement().firstChildElement(QStringLiteral("Info"));
    const QString version = info.attribute(QStringLiteral("version"));
    const QString url = info.attribute(QStringLiteral("download_url"));
    // A reply naming another kind of link (file:, javascript:, ...) is no valid answer.
    if (version.isEmpty() || url.isEmpty() || !isWebUrl(QUrl(url, QUrl::StrictMode)))
        return ErrorReply();
    return {version, url, QString()};
}

UpdateResultKind classifyUpdateResult(const QString& version, const QString& url, const QString& error) {
    if (!error.isEmpty())
        return UpdateResultKind::Error;
    if (!isNewerVersion(version))
        return UpdateResultKind::Latest;
    return isWebUrl(QUrl(url, QUrl::StrictMode)) ? UpdateResultKind::NewVersion : UpdateResultKind::Error;
}

QString buildUpdateUrl() {
    return QStringLiteral(CORVANE_DEFAULT_UPDATE_URL);
}

QString productBaseUrl(const AppSettings& settings, const QString& buildUrl) {
    QString base = settings.qsettings()->value(QStringLiteral("UpdateUrl")).toString().trimmed();
    if (!isWebUrl(QUrl(base, QUrl::StrictMode)))
        base = buildUrl.trimmed();
    // A build address that is no web page is as good as none.
    if (!isWebUrl(QUrl(base, QUrl::StrictMode)))
        return {};
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

bool isUpdateConfigured(const AppSettings& settings, const QString& buildUrl) {
    return !productBaseUrl(settings, buildUrl).isEmpty();
}

QUrl updateCheckUrl(const AppSettings& settings, const QString& buildUrl) {
    return productPageUrl(settings, QStringLiteral("/checkupdate/"), buildUrl);
}

QUrl productPageUrl(const AppSettings& settings, const QString& path, const QString& buildUrl) {
    const QString base = productBaseUrl(settings, buildUrl);
    return base.isEmpty() ? QUrl() : QUrl(base + path);
}

bool shouldCheckAtStartup(AppSettings& settings) {
    if (!settings.checkForUpdate())
        return false;
    const int days = settings.checkUpdateDays();
    return days > 0 && settings.firstRunDays() % days == 0;
}

CCheckUpdate::CCheckUpdate(AppSettings* settings, QObject* parent, QString buildUrl)
    : QThread(parent), settings_(settings), buildUrl_(std::move(buildUrl)) {}

CCheckUpdate::~CCheckUpdate() {
    requestInterruption();
    wait();
}

bool CCheckUpdate::isConfigured() const {
    return settings_ != nullptr && isUpdateConfigured(*settings_, buildUrl_);
}

bool CCheckUpdate::checkUpdate(bool force) {
    if (!isConfigured())
        return false;
    const QDate today = QDate::currentDate();
    const bool due = force || settings_->lastCheckUpdateDate() != today;
    // Stored even when no check starts or the check fails, so that a day has one automatic try.
    settings_->setLastCheckUpdateDate(today);
    if (!due)
        return false;
    if (isRunning()) {
        {
            std::lock_guard<std::mutex> lock(answerLock_);
            // The user asked while a check waits: its answer, failure included, is theirs.
            if (!answered_) {
                automatic_ = automatic_ && !force;
                return false;
            }
        }
        // A thread that has sent its answer is only winding down; a new check may follow it.
        wait();
    }
    url_ = updateCheckUrl(*settings_, buildUrl_);
    answered_ = false;
    automatic_ = !force;
    start();
    return true;
}

bool CCheckUpdate::checkAtStartup() {
    return settings_ != nullptr && shouldCheckAtStartup(*settings_) && checkUpdate(false);
}

void CCheckUpdate::run() {
    UpdateReply result = ErrorReply();
    {
        QNetworkAccessManager manager;
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url_)));
        QEventLoop loop;
        connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

        // A request that runs out of time is aborted and fails like any other.
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.setTimerType(Qt::PreciseTimer);
        connect(&deadline, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
        deadline.start(timeoutMs_);

        QTimer interruption;
        connect(&interruption, &QTimer::timeout, reply.get(), [this, request = reply.get()] {
            if (isInterruptionRequested())
                request->abort();
        });
        interruption.start(kInterruptPollMs);

        if (!reply->isFinished())
            loop.exec();
        // An error page is no answer, whatever its body holds.
        if (reply->error() == QNetworkReply::NoError)
            result = parseUpdateReply(reply->readAll());
    }
    if (isInterruptionRequested())
        return;
    bool automatic = false;
    {
        std::lock_guard<std::mutex> lock(answerLock_);
        answered_ = true;
        automatic = automatic_;
    }
    emit updateCallback(result.version, result.url, result.error, automatic);
}
