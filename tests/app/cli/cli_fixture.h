// Runs corvane-cli as a script would, in a home folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <grp.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "engine_test_support.h"
#include "process_helpers.h"

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        // The program keeps its settings and installed catalogue under $appdata.
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert("appdata", home_.path() + "/appdata");
        environment_.insert("HOME", home_.path());
        output_ = home_.path() + "/out";
    }

    void Start(QProcess& process, const QStringList& arguments, const QString& program = CORVANE_CLI) {
        process.setProcessEnvironment(environment_);
        if (asNobody_) {
            process.setChildProcessModifier([] {
                // Only the child runs this: it gives up root so that permissions count.
                if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(125);
            });
        }
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    static CliResult Finish(QProcess& process) {
        EXPECT_TRUE(process.waitForFinished(180000)) << "corvane-cli did not finish";
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    CliResult Run(const QStringList& arguments, const QString& program = CORVANE_CLI) {
        QProcess process;
        Start(process, arguments, program);
        return Finish(process);
    }

    // Through the shell, for arguments whose bytes are not UTF-8 (QProcess would re-encode
    // them): script may use "$0" for the program.
    CliResult RunScript(const QString& script) {
        QProcess process;
        Start(process, {"-c", script, CORVANE_CLI}, "/bin/sh");
        return Finish(process);
    }

    static QJsonArray Outputs(const CliResult& result) {
        const QJsonDocument json = QJsonDocument::fromJson(result.out.toUtf8());
        EXPECT_TRUE(json.isObject()) << result.out.toStdString();
        return json.object().value("outputs").toArray();
    }

    QString Media(const char* name) const { return QString::fromStdString(TestMedia(name)); }

    // Makes path with ffmpeg; arguments go between the inputs and the output name.
    static void MakeMedia(const std::string& arguments, const QString& path) {
        const CommandResult made =
            RunCommand("ffmpeg -nostdin -v error -y " + arguments + " " + ShellQuote(path.toStdString()));
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }

    QTemporaryDir home_;
    QProcessEnvironment environment_;
    QString output_;
    bool asNobody_ = false;
};
