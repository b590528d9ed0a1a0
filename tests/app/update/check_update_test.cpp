#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "CheckUpdate.h"
#include "app_settings.h"

namespace {

// A one-purpose HTTP server on 127.0.0.1 that answers every request with one canned reply,
// or never answers at all.
class CannedServer : public QObject {
public:
    CannedServer() {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
            }
        });
        listening_ = server_.listen(QHostAddress::LocalHost);
    }

    bool listening() const { return listening_; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }
    void reply(int status, const QByteArray& body) {
        status_ = status;
        body_ = body;
        silent_ = false;
    }
    void neverAnswer() { silent_ = true; }

    int requests = 0;
    QByteArray lastRequestLine;

private:
    void Serve(QTcpSocket* socket) {
        QByteArray& pending = buffers_[socket];
        pending += socket->readAll();
        if (!pending.contains("\r\n\r\n"))
            return;
        ++requests;
        lastRequestLine = pending.left(pending.indexOf("\r\n"));
        pending.clear();
        if (silent_)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(status_) + " Canned\r\nContent-Type: text/xml\r\n"
                      "Connection: close\r\nContent-Length: " + QByteArray::number(body_.size()) +
                      "\r\n\r\n" + body_);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    bool listening_ = false;
    QMap<QTcpSocket*, QByteArray> buffers_;
    int status_ = 200;
    QByteArray body_;
    bool silent_ = false;
};

QByteArray InfoXml(const QByteArray& version, const QByteArray& url = "https://example.org/download/") {
    return "<?xml version=\"1.0\"?><Update><Info version=\"" + version + "\" download_url=\"" + url +
           "\"/></Update>";
}

struct Callback {
    int count = 0;
    QString version, url, error;
    bool automatic = false;
    bool onGuiThread = false;
};

class CheckUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(qEnvironmentVariable("appdata")).removeRecursively();
        settings_ = std::make_unique<AppSettings>();
        ASSERT_TRUE(server_.listening());
        settings_->qsettings()->setValue("UpdateUrl", server_.baseUrl() + "/");
        checker_ = std::make_unique<CCheckUpdate>(settings_.get());
        Listen(*checker_);
    }

    void Listen(CCheckUpdate& checker) {
        QObject::connect(&checker, &CCheckUpdate::updateCallback, &receiver_,
                         [this](const QString& version, const QString& url, const QString& error,
                                bool automatic) {
                             ++callback_.count;
                             callback_.version = version;
                             callback_.url = url;
                             callback_.error = error;
                             callback_.automatic = automatic;
                             callback_.onGuiThread = QThread::currentThread() == receiver_.thread();
                         });
    }

    // Runs one forced check to its callback and lets the thread end.
    bool CheckAndWait(int timeoutMs = 5000) {
        const int before = callback_.count;
        if (!checker_->checkUpdate(true))
            return false;
        const bool arrived = QTest::qWaitFor([&] { return callback_.count > before; }, timeoutMs);
        checker_->wait();
        return arrived;
    }

    void SetFirstRunDaysAgo(int days) {
        const QDate first = QDate::currentDate().addDays(-days);
        settings_->qsettings()->setValue("it", static_cast<qulonglong>(first.startOfDay().toSecsSinceEpoch()));
    }

    CannedServer server_;
    std::unique_ptr<AppSettings> settings_;
    QObject receiver_;
    Callback callback_;
    std::unique_ptr<CCheckUpdate> checker_;
};

}  // namespace

TEST_F(CheckUpdateTest, RepliesArriveOnTheGuiThreadAndAreJudged) {
    const struct {
        int status;
        QByteArray body;
        UpdateResultKind kind;
    } cases[] = {
        {200, InfoXml("1.0.2.130"), UpdateResultKind::NewVersion},
        {200, InfoXml("1.0.1.121"), UpdateResultKind::Latest},
        {200, InfoXml("1.0.0.200"), UpdateResultKind::Latest},
        {200, InfoXml("1.0.1.99"), UpdateResultKind::Latest},
        {200, InfoXml("2.0"), UpdateResultKind::Latest},
        {200, "<Update><Info version=\"1.0.2.0\"", UpdateResultKind::Error},
        {200, "<Update><Other/></Update>", UpdateResultKind::Error},
        {200, "", UpdateResultKind::Error},
        {200, InfoXml("1.0.2.0", "ftp://example.org/setup"), UpdateResultKind::Error},
        {200, InfoXml("1.0.2.0", "javascript:alert(1)"), UpdateResultKind::Error},
        {404, InfoXml("1.0.2.0"), UpdateResultKind::Error},
    };
    for (const auto& c : cases) {
        server_.reply(c.status, c.body);
        ASSERT_TRUE(CheckAndWait()) << c.body.constData();
        EXPECT_EQ(server_.lastRequestLine, "GET /checkupdate/ HTTP/1.1");
        EXPECT_TRUE(callback_.onGuiThread);
        EXPECT_FALSE(callback_.automatic) << "a forced check is the user's";
        EXPECT_EQ(classifyUpdateResult(callback_.version, callback_.url, callback_.error), c.kind)
            << c.status << " " << c.body.constData();
        if (c.kind == UpdateResultKind::NewVersion) {
            EXPECT_EQ(callback_.version, "1.0.2.130");
            EXPECT_EQ(callback_.url, "https://example.org/download/");
        } else if (c.kind == UpdateResultKind::Error) {
            EXPECT_EQ(callback_.error, "ERROR");
            EXPECT_TRUE(callback_.version.isEmpty() && callback_.url.isEmpty());
        }
    }
    EXPECT_EQ(callback_.count, static_cast<int>(std::size(cases)));
}

TEST_F(CheckUpdateTest, NoServerAndASilentServerBothFail) {
    {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        settings_->qsettings()->setValue("UpdateUrl", QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
    }  // the port is free again: the connection is refused
    ASSERT_TRUE(CheckAndWait());
    EXPECT_EQ(callback_.error, "ERROR");

    settings_->qsettings()->setValue("UpdateUrl", server_.baseUrl());
    server_.neverAnswer();
    checker_->setTimeout(400);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(CheckAndWait());
    EXPECT_GE(clock.elapsed(), 350);  // the silence, not some other failure, ended it
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(server_.requests, 1);
    EXPECT_EQ(callback_.error, "ERROR");
}

TEST_F(CheckUpdateTest, AnUnforcedCheckRunsOncePerDayAndAForcedOneAlways) {
    server_.reply(200, InfoXml("1.0.1.121"));
    ASSERT_TRUE(CheckAndWait());
    EXPECT_FALSE(checker_->checkUpdate(false));
    QTest::qWait(50);
    EXPECT_EQ(server_.requests, 1);
    EXPECT_TRUE(CheckAndWait());
    EXPECT_EQ(server_.requests, 2);
}

TEST_F(CheckUpdateTest, ASecondCheckWhileOneWaitsStartsNoOtherRequest) {
    server_.neverAnswer();
    checker_->setTimeout(300);
    ASSERT_TRUE(checker_->checkUpdate(true));
    ASSERT_TRUE(QTest::qWaitFor([this] { return server_.requests == 1; }, 5000));
    EXPECT_FALSE(checker_->checkUpdate(true));
    ASSERT_TRUE(QTest::qWaitFor([this] { return callback_.count == 1; }, 5000));
    checker_->wait();
    EXPECT_EQ(server_.requests, 1);

    // Right after an answer a new check is accepted.
    server_.reply(200, InfoXml("1.0.2.0"));
    EXPECT_TRUE(CheckAndWait());
    EXPECT_EQ(callback_.version, "1.0.2.0");
}

TEST_F(CheckUpdateTest, AnAutomaticCheckSaysSoUntilTheUserAsksWhileItWaits) {
    server_.reply(200, InfoXml("1.0.1.121"));
    settings_->setLastCheckUpdateDate(QDate::currentDate().addDays(-1));
    ASSERT_TRUE(checker_->checkUpdate(false));
    ASSERT_TRUE(QTest::qWaitFor([this] { return callback_.count == 1; }, 5000));
    checker_->wait();
    EXPECT_TRUE(callback_.automatic);

    // The user asks while an automatic check waits: no second request, and the answer (here a
    // failure) is reported as the user's, so that it is shown.
    server_.neverAnswer();
    checker_->setTimeout(400);
    settings_->setLastCheckUpdateDate(QDate::currentDate().addDays(-1));
    ASSERT_TRUE(checker_->checkUpdate(false));
    ASSERT_TRUE(QTest::qWaitFor([this] { return server_.requests == 2; }, 5000));
    EXPECT_FALSE(checker_->checkUpdate(true));
    ASSERT_TRUE(QTest::qWaitFor([this] { return callback_.count == 2; }, 5000));
    checker_->wait();
    EXPECT_FALSE(callback_.automatic);
    EXPECT_EQ(callback_.error, "ERROR");
    EXPECT_EQ(server_.requests, 2);
}

TEST_F(CheckUpdateTest, WithoutAnAddressNoCheckStarts) {
    settings_->qsettings()->remove("UpdateUrl");
    settings_->setCheckForUpdate(true);
    settings_->setCheckUpdateDays(1);
    SetFirstRunDaysAgo(0);
    const QDate lastCheck = QDate::currentDate().addDays(-3);
    settings_->setLastCheckUpdateDate(lastCheck);

    CCheckUpdate unconfigured(settings_.get(), nullptr, QString());
    Listen(unconfigured);
    EXPECT_FALSE(unconfigured.isConfigured());
    EXPECT_FALSE(unconfigured.checkAtStartup());
    EXPECT_FALSE(unconfigured.checkUpdate(true));
    EXPECT_FALSE(unconfigured.isRunning());
    EXPECT_EQ(settings_->lastCheckUpdateDate(), lastCheck) << "no check, so none is recorded";

    // An address that is no web page counts as none.
    CCheckUpdate unusable(settings_.get(), nullptr, QStringLiteral("ftp://updates.example.net/"));
    EXPECT_FALSE(unusable.isConfigured());
    EXPECT_FALSE(unusable.checkUpdate(true));
    QTest::qWait(50);
    EXPECT_EQ(server_.requests, 0);
    EXPECT_EQ(callback_.count, 0);

    // The build's address is enough, and so is the settings' alone.
    server_.reply(200, InfoXml("1.0.1.121"));
    CCheckUpdate built(settings_.get(), nullptr, server_.baseUrl() + "/");
    Listen(built);
    EXPECT_TRUE(built.isConfigured());
    ASSERT_TRUE(built.checkAtStartup());
    ASSERT_TRUE(QTest::qWaitFor([this] { return callback_.count == 1; }, 5000));
    built.wait();
    EXPECT_EQ(server_.lastRequestLine, "GET /checkupdate/ HTTP/1.1");

    settings_->qsettings()->setValue("UpdateUrl", server_.baseUrl());
    EXPECT_TRUE(unconfigured.isConfigured());
    ASSERT_TRUE(unconfigured.checkUpdate(true));
    ASSERT_TRUE(QTest::qWaitFor([this] { return callback_.count == 2; }, 5000));
    unconfigured.wait();
    EXPECT_EQ(server_.requests, 2);
}

TEST_F(CheckUpdateTest, DestroyingTheCheckerAbandonsARunningRequest) {
    server_.neverAnswer();
    ASSERT_EQ(checker_->timeout(), 30000);  // the wait must not end by the time limit
    ASSERT_TRUE(checker_->checkUpdate(true));
    ASSERT_TRUE(QTest::qWaitFor([this] { return server_.requests == 1; }, 5000));
    ASSERT_TRUE(checker_->isRunning());
    QElapsedTimer clock;
    clock.start();
    checker_.reset();  // must wait for the thread, not destroy it running
    EXPECT_LT(clock.elapsed(), 2000);
    QTest::qWait(50);
    EXPECT_EQ(callback_.count, 0);
}

TEST_F(CheckUpdateTest, TheStartupScheduleChecksOnScheduledDaysOnce) {
    settings_->setCheckUpdateDays(7);
    SetFirstRunDaysAgo(15);
    EXPECT_FALSE(shouldCheckAtStartup(*settings_));
    SetFirstRunDaysAgo(0);
    EXPECT_TRUE(shouldCheckAtStartup(*settings_));
    for (int off : {0, -7}) {
        settings_->setCheckUpdateDays(off);
        EXPECT_FALSE(shouldCheckAtStartup(*settings_)) << off;
    }

    server_.reply(200, InfoXml("1.0.1.121"));
    settings_->setCheckUpdateDays(7);
    SetFirstRunDaysAgo(14);
    settings_->setLastCheckUpdateDate(QDate::currentDate().addDays(-1));
    ASSERT_TRUE(checker_->checkAtStartup());
    ASSERT_TRUE(QTest::qWaitFor([this] { return callback_.count == 1; }, 5000));
    checker_->wait();
    EXPECT_TRUE(callback_.automatic);
    EXPECT_EQ(settings_->lastCheckUpdateDate(), QDate::currentDate());

    // The next start on the same day, with a fresh checker as a new program run would have.
    CCheckUpdate again(settings_.get());
    EXPECT_FALSE(again.checkAtStartup());
    // Switched off, even a new scheduled day brings no automatic check.
    settings_->setLastCheckUpdateDate(QDate::currentDate().addDays(-7));
    settings_->setCheckForUpdate(false);
    EXPECT_FALSE(again.checkAtStartup());
    EXPECT_EQ(server_.requests, 1);
}

TEST(UpdateUrlTest, TheBaseComesFromTheSettingsWhenItIsAWebAddressElseFromTheBuild) {
    QDir(qEnvironmentVariable("appdata")).removeRecursively();
    AppSettings settings;
    const QString build = QStringLiteral("https://builds.example.org/");
    const QUrl fallback = updateCheckUrl(settings, build);
    EXPECT_EQ(fallback, QUrl("https://builds.example.org/checkupdate/"));
    EXPECT_EQ(productPageUrl(settings, "/help/", build), QUrl("https://builds.example.org/help/"));
    EXPECT_TRUE(isUpdateConfigured(settings, build));

    // Without a build address nothing is there to open or check.
    for (const QString& none : {QString(), QStringLiteral("  "), QStringLiteral("file:///tmp")}) {
        EXPECT_FALSE(isUpdateConfigured(settings, none)) << none.toStdString();
        EXPECT_TRUE(productBaseUrl(settings, none).isEmpty());
        EXPECT_TRUE(updateCheckUrl(settings, none).isEmpty());
        EXPECT_TRUE(productPageUrl(settings, "/help/", none).isEmpty());
    }

    settings.qsettings()->setValue("UpdateUrl", "http://updates.example.net:8080/corvane//");
    for (const QString& any : {build, QString()}) {
        EXPECT_TRUE(isUpdateConfigured(settings, any));
        EXPECT_EQ(updateCheckUrl(settings, any),
                  QUrl("http://updates.example.net:8080/corvane/checkupdate/"));
        EXPECT_EQ(productPageUrl(settings, "/", any), QUrl("http://updates.example.net:8080/corvane/"));
        EXPECT_EQ(productPageUrl(settings, "/feedback/", any),
                  QUrl("http://updates.example.net:8080/corvane/feedback/"));
    }

    for (const char* unusable : {"file:///tmp", "javascript:alert(1)", "not a url", "   "}) {
        settings.qsettings()->setValue("UpdateUrl", unusable);
        EXPECT_EQ(updateCheckUrl(settings, build), fallback) << unusable;
        EXPECT_FALSE(isUpdateConfigured(settings, QString())) << unusable;
    }
}
