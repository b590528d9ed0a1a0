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
        QObject::connect(checker_.get(), &CCheckUpdate::updateCallback, &receiver_,
                         [this](const QString& version, const QString& url, const QString& error) {
                             ++callback_.count;
                             callback_.version = version;
                             callback_.url = url;
                             callback_.error = error;
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

TEST(UpdateUrlTest, TheBaseComesFromTheSettingsWhenItIsAWebAddress) {
    QDir(qEnvironmentVariable("appdata")).removeRecursively();
    AppSettings settings;
    const QUrl fallback = updateCheckUrl(settings);
    EXPECT_TRUE(isWebUrl(fallback));
    EXPECT_EQ(fallback.path(), "/checkupdate/");
    EXPECT_EQ(productPageUrl(settings, "/help/").host(), fallback.host());

    settings.qsettings()->setValue("UpdateUrl", "http://updates.example.net:8080/corvane//");
    EXPECT_EQ(updateCheckUrl(settings), QUrl("http://updates.example.net:8080/corvane/checkupdate/"));
    EXPECT_EQ(productPageUrl(settings, "/"), QUrl("http://updates.example.net:8080/corvane/"));
    EXPECT_EQ(productPageUrl(settings, "/feedback/"), QUrl("http://updates.example.net:8080/corvane/feedback/"));

    for (const char* unusable : {"file:///tmp", "javascript:alert(1)", "not a url", "   "}) {
        settings.qsettings()->setValue("UpdateUrl", unusable);
        EXPECT_EQ(updateCheckUrl(settings), fallback) << unusable;
    }
}
