// corvane-cli over every sample file and damaged copies of it: each file ends finished, failed
// or skipped, never a crash or a hang, and the exit code and the JSON agree with the outputs.
#include <gtest/gtest.h>

#include "cli_fixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "process_helpers.h"

namespace {

constexpr int kRunLimitMs = 120000;

// Every file below folder, hidden ones left out, in a stable order.
QStringList FilesBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}

// The shared sample corpus, $CORVANE_CORPUS overriding the configured folder.
std::vector<std::string> CorpusFiles() {
    const QByteArray corpus = qgetenv("CORVANE_CORPUS");
    std::vector<std::string> files;
    for (const QString& path :
         FilesBelow(corpus.isEmpty() ? QString(CORVANE_CORPUS_DEFAULT) : QString::fromLocal8Bit(corpus)))
        files.push_back(path.toStdString());
    return files;
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = std::to_string(info.index) + "_";
    for (const char c : QFileInfo(QString::fromStdString(info.param)).fileName().toStdString())
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

class CliDamagedInputTest : public CliTest {
protected:
    // Copies of the file cut at 10, 50 and 90 % and with a few bytes changed; the seed comes
    // from the name so a failure can be reproduced.
    QStringList DamagedCopies(const QString& path) const {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = file.readAll();
        const QString stem = home_.path() + "/in/" + QFileInfo(path).completeBaseName();
        const QString suffix = "." + QFileInfo(path).suffix();
        QDir().mkpath(home_.path() + "/in");
        QStringList copies;
        auto write = [&](const QString& name, const QByteArray& content) {
            QFile out(stem + name + suffix);
            EXPECT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(content);
            copies << out.fileName();
        };
        for (const int percent : {10, 50, 90})
            write(QStringLiteral("-cut%1").arg(percent), bytes.left(bytes.size() * percent / 100));
        const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5);
        std::mt19937 random(static_cast<uint32_t>(qFromLittleEndian<quint32>(hash.constData())));
        for (const int variant : {1, 2}) {
            QByteArray changed = bytes;
            const int count = std::max(1, static_cast<int>(changed.size() / 2000)) * variant;
            for (int i = 0; i < count && !changed.isEmpty(); ++i)
                changed[static_cast<int>(random() % changed.size())] = static_cast<char>(random());
            write(QStringLiteral("-changed%1").arg(variant), changed);
        }
        return copies;
    }

    // Converts the file and its damaged copies in one run of the program.
    void CheckFileAndDamagedCopies(const QString& original);
};

void CliDamagedInputTest::CheckFileAndDamagedCopies(const QString& original) {
    SCOPED_TRACE(original.toStdString());
    QStringList inputs{original};
    inputs << DamagedCopies(original);
    const QString output = output_;

    QProcess process;
    process.setProcessEnvironment(environment_);
    process.start(CORVANE_CLI, QStringList{"--json", "--profile", CORVANE_CORPUS_PROFILE, "--parallel", "2",
                                           "--output", output} + inputs);
    ASSERT_TRUE(process.waitForStarted(10000));
    if (!process.waitForFinished(kRunLimitMs)) {
        process.kill();
        process.waitForFinished(5000);
        FAIL() << "corvane-cli hung on " << inputs.join(' ').toStdString();
    }
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << "corvane-cli crashed: " << errors.toStdString();
    const int exitCode = process.exitCode();
    ASSERT_TRUE(exitCode == 0 || exitCode == 1) << exitCode << ": " << errors.toStdString();

    const QJsonDocument json = QJsonDocument::fromJson(process.readAllStandardOutput());
    const QJsonArray outputs = json.object().value("outputs").toArray();
    ASSERT_EQ(outputs.size(), inputs.size()) << errors.toStdString();
    bool allFinished = true;
    QString summary;
    for (int i = 0; i < outputs.size(); ++i) {
        const QJsonObject result = outputs[i].toObject();
        const QString state = result["state"].toString();
        const QString target = result["target"].toString();
        SCOPED_TRACE(inputs[i].toStdString() + " -> " + state.toStdString());
        EXPECT_EQ(result["source"].toString(), inputs[i]);
        summary += QStringLiteral(" %1=%2").arg(i == 0 ? "original" : QFileInfo(inputs[i]).completeBaseName().section('-', -1), state);
        allFinished &= state == QLatin1String("finished");
        if (state == QLatin1String("finished")) {
            const CommandResult probe = RunCommand("ffprobe -v error " + ShellQuote(target.toStdString()));
            EXPECT_EQ(probe.exitCode, 0) << "a finished output must be readable: " << probe.output;
        } else if (state == QLatin1String("failed")) {
            EXPECT_FALSE(QFile::exists(target)) << "a failed conversion left its partial output";
        } else {
            EXPECT_EQ(state, QLatin1String("skipped"));
            EXPECT_TRUE(target.isEmpty());
        }
    }
    EXPECT_EQ(exitCode, allFinished ? 0 : 1) << "the exit code disagrees with the JSON";
    std::printf("corpus %s: exit %d%s\n", qPrintable(QFileInfo(original).fileName()), exitCode, qPrintable(summary));
}

class CliCorpusTest : public CliDamagedInputTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(CliCorpusTest, FileAndDamagedCopiesEndFinishedOrFailed) {
    CheckFileAndDamagedCopies(QString::fromStdString(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Samples, CliCorpusTest, ::testing::ValuesIn(CorpusFiles()), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CliCorpusTest);

// The generated media are listed when the test runs: they may not exist yet when tests are listed.
TEST_F(CliDamagedInputTest, GeneratedMediaAndDamagedCopiesEndFinishedOrFailed) {
    const QStringList files = FilesBelow(QFileInfo(QString::fromStdString(TestMedia("h264_aac.mkv"))).path());
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files)
        CheckFileAndDamagedCopies(file);
}

}  // namespace
