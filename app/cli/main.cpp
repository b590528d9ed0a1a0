// corvane-cli: Corvane's catalogue and engine without a window.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "app_context.h"
#include "cli_options.h"
#include "cli_progress.h"
#include "conversion_run.h"
#include "vantrel/records.h"

namespace {

enum ExitCode { kAllFinished = 0, kSomeFailed = 1, kUsageError = 2, kCannotStart = 3, kInterrupted = 130 };

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

struct FileResult {
    QString source;
    QString target;
    QString state = QStringLiteral("waiting");
    int percent = 0;
    double seconds = 0.0;
    QElapsedTimer clock;
};

void PrintError(const QString& message) {
    std::fprintf(stderr, "corvane-cli: %s\n", qPrintable(message));
}

void ListProfiles(const ProfileCatalogue& catalogue) {
    for (int c = 0; c < catalogue.categoryCount(); ++c) {
        for (int n = 0; n < catalogue.profileCount(c); ++n) {
            const ProfileEntry* entry = catalogue.entryAt(c, n);
            std::printf("%d\t%s\t%s\n", ProfileCatalogue::profileId(*entry),
                        qPrintable(catalogue.category(c)->title),
                        qPrintable(ProfileCatalogue::profileName(*entry)));
        }
    }
}

QString StateName(int32_t state) {
    switch (state) {
        case MediaBased::TaskFinished: return QStringLiteral("finished");
        case MediaBased::TaskFailed: return QStringLiteral("failed");
        case MediaBased::TaskRunning:
        case MediaBased::TaskHeld: return QStringLiteral("running");
        default: return QStringLiteral("waiting");
    }
}

void UpdateResults(const ConversionRun& run, std::vector<FileResult*>& taskResults) {
    for (int i = 0; i < static_cast<int>(taskResults.size()); ++i) {
        const MediaBased::ConvertTask* task = run.task(i);
        if (task == nullptr)
            continue;
        FileResult& result = *taskResults[static_cast<size_t>(i)];
        const QString state = StateName(task->state.load());
        if (state == QLatin1String("running") && !result.clock.isValid())
            result.clock.start();
        if ((state == QLatin1String("finished") || state == QLatin1String("failed")) &&
            result.state != state && result.clock.isValid())
            result.seconds = result.clock.elapsed() / 1000.0;
        result.state = state;
        result.percent = static_cast<int>(task->progress.load());
    }
}

void PrintJson(const std::vector<FileResult>& results) {
    QJsonArray outputs;
    for (const FileResult& result : results) {
        outputs.append(QJsonObject{{"source", result.source},
                                   {"target", result.target},
                                   {"state", result.state},
                                   {"seconds", result.seconds}});
    }
    const QByteArray text = QJsonDocument(QJsonObject{{"outputs", outputs}}).toJson(QJsonDocument::Compact);
    std::printf("%s\n", text.constData());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("corvane-cli");

    const CliParseResult parsed = parseCliOptions(QCoreApplication::arguments());
    if (parsed.helpRequested) {
        std::printf("%s", qPrintable(parsed.message));
        return kAllFinished;
    }
    if (!parsed.options) {
        PrintError(parsed.message);
        return kUsageError;
    }
    const CliOptions& options = *parsed.options;

    AppContext& context = AppContext::instance();
    if (context.mediaManager() == nullptr) {
        PrintError("the media engine could not be created");
        return kCannotStart;
    }
    const QString profileFolder = AppContext::shippedProfileFolder();
    if (!context.loadProfiles(profileFolder) || context.profileManager()->outputSetting() == nullptr) {
        PrintError(QStringLiteral("the profile catalogue could not be loaded from %1").arg(profileFolder));
        return kCannotStart;
    }
    ProfileManager& profiles = *context.profileManager();
    if (options.listProfiles) {
        ListProfiles(*profiles.catalogue());
        return kAllFinished;
    }

    // A chosen profile applies to this run only; the program's own choice stays as it is.
    OutputSetting setting = *profiles.outputSetting();
    if (options.profileId) {
        const ProfileEntry* entry = profiles.catalogue()->entryById(*options.profileId);
        if (entry == nullptr) {
            PrintError(QStringLiteral("there is no profile %1 (see --list-profiles)").arg(*options.profileId));
            return kUsageError;
        }
        applyProfileDefaults(*entry, setting);
    }
    const QString folder = options.outputFolder.isEmpty() ? context.settings()->outputFileDir()
                                                          : QDir(options.outputFolder).absolutePath();
    if (!QDir().mkpath(folder)) {
        PrintError(QStringLiteral("cannot create the output folder %1").arg(folder));
        return kSomeFailed;
    }

    std::vector<FileResult> results(static_cast<size_t>(options.files.size()));
    std::vector<int> resultOfSource;  // source-list index -> result index
    SourceList& sources = context.sourceList();
    for (int i = 0; i < options.files.size(); ++i) {
        results[static_cast<size_t>(i)].source = options.files.at(i);
        if (sources.add(options.files.at(i)) < 0) {
            results[static_cast<size_t>(i)].state = QStringLiteral("skipped");
            PrintError(QStringLiteral("skipping %1: it cannot be read as media").arg(options.files.at(i)));
        } else {
            resultOfSource.push_back(i);
        }
    }

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    ConversionRun run(context.mediaManager());
    const int parallel = options.parallel.value_or(context.settings()->maxTasksAtOnce());
    if (sources.count() > 0 && !run.start(sources, setting, folder, parallel)) {
        PrintError("the engine could not start the conversion");
        return kCannotStart;
    }
    std::vector<FileResult*> taskResults;
    for (int t = 0; t < run.taskCount(); ++t) {
        FileResult& result = results[static_cast<size_t>(resultOfSource[static_cast<size_t>(run.sourceIndex(t))])];
        result.target = run.targetPath(t);
        taskResults.push_back(&result);
    }

    CliProgress progress(::isatty(STDERR_FILENO) == 1);
    auto showProgress = [&] {
        std::vector<FileProgress> lines;
        for (const FileResult& result : results)
            lines.push_back({QDir::toNativeSeparators(result.source), result.state, result.percent});
        progress.show(lines);
    };
    while (run.isActive() && !g_interrupted) {
        UpdateResults(run, taskResults);
        showProgress();
        if (run.unfinishedCount() == 0)
            break;
        QThread::msleep(100);
    }
    UpdateResults(run, taskResults);
    const bool interrupted = g_interrupted != 0;
    if (interrupted) {
        run.stop();
        for (FileResult* result : taskResults)
            if (result->state != QLatin1String("finished"))
                result->state = QStringLiteral("failed");
    } else {
        run.finish();
    }
    showProgress();

    if (options.json)
        PrintJson(results);
    if (interrupted) {
        PrintError("interrupted");
        return kInterrupted;
    }
    for (const FileResult& result : results)
        if (result.state != QLatin1String("finished"))
            return kSomeFailed;
    return kAllFinished;
}
