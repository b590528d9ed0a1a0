// corvane-cli: Corvane's catalogue and engine without a window.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <csignal>
#include <optional>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "app_context.h"
#include "cli_options.h"
#include "cli_progress.h"
#include "conversion_run.h"
#include "task_status.h"
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
            std::printf("%d\t%s\t%s\n", entry->profileId, qPrintable(catalogue.category(c)->title),
                        qPrintable(entry->name));
        }
    }
}

QString StateName(int32_t state) {
    switch (taskPhaseOf(state)) {
        case TaskPhase::Finished: return QStringLiteral("finished");
        case TaskPhase::Failed: return QStringLiteral("failed");
        case TaskPhase::Running: return QStringLiteral("running");
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
            result.state != state) {
            if (result.clock.isValid())
                result.seconds = result.clock.elapsed() / 1000.0;
            result.target = run.targetPath(i);  // the name the output really got
        }
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

// The profile the run uses: the program's last choice unless --profile names another, which
// applies to this run only. Null, after saying why, when the named profile does not exist.
std::optional<OutputSetting> ChooseSetting(const CliOptions& options, ProfileManager& profiles) {
    OutputSetting setting = *profiles.outputSetting();
    if (options.profileId) {
        const ProfileEntry* entry = profiles.catalogue()->entryById(*options.profileId);
        if (entry == nullptr) {
            PrintError(QStringLiteral("there is no profile %1 (see --list-profiles)").arg(*options.profileId));
            return std::nullopt;
        }
        applyProfileDefaults(*entry, setting);
    }
    return setting;
}

// Adds every readable file to the source list; the others are reported and kept as skipped.
std::vector<FileResult> AddSources(const CliOptions& options, SourceList& sources,
                                   std::vector<int>& resultOfSource) {
    std::vector<FileResult> results(static_cast<size_t>(options.files.size()));
    for (int i = 0; i < options.files.size(); ++i) {
        results[static_cast<size_t>(i)].source = options.files.at(i);
        if (sources.add(options.files.at(i)) < 0) {
            results[static_cast<size_t>(i)].state = QStringLiteral("skipped");
            PrintError(QStringLiteral("skipping %1: it cannot be read as media").arg(options.files.at(i)));
        } else {
            resultOfSource.push_back(i);
        }
    }
    return results;
}

// Converts the sources, showing progress, until every task ended or an interrupt came.
// Returns false when the engine could not start the run.
bool RunConversion(AppContext& context, const OutputSetting& setting, const QString& folder,
                   int parallel, std::vector<FileResult>& results,
                   const std::vector<int>& resultOfSource, bool& interrupted) {
    SourceList& sources = context.sourceList();
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    ConversionRun run(context.mediaManager());
    if (sources.count() > 0 && !run.start(sources, setting, folder, parallel))
        return false;
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
    interrupted = g_interrupted != 0;
    if (interrupted) {
        run.stop();
        for (FileResult* result : taskResults)
            if (result->state != QLatin1String("finished"))
                result->state = QStringLiteral("failed");
    } else {
        run.finish();
    }
    showProgress();
    return true;
}

int Report(const std::vector<FileResult>& results, bool json, bool interrupted) {
    if (json)
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
    QString error;
    if (!context.open(&error)) {
        PrintError(error);
        return kCannotStart;
    }
    ProfileManager& profiles = *context.profileManager();
    if (options.listProfiles) {
        ListProfiles(*profiles.catalogue());
        return kAllFinished;
    }
    const std::optional<OutputSetting> setting = ChooseSetting(options, profiles);
    if (!setting)
        return kUsageError;
    const QString folder = options.outputFolder.isEmpty() ? context.settings()->outputFileDir()
                                                          : QDir(options.outputFolder).absolutePath();
    if (!QDir().mkpath(folder)) {
        PrintError(QStringLiteral("cannot create the output folder %1").arg(folder));
        return kSomeFailed;
    }

    std::vector<int> resultOfSource;  // source-list index -> result index
    std::vector<FileResult> results = AddSources(options, context.sourceList(), resultOfSource);
    bool interrupted = false;
    const int parallel = options.parallel.value_or(context.settings()->maxTasksAtOnce());
    if (!RunConversion(context, *setting, folder, parallel, results, resultOfSource, interrupted)) {
        PrintError("the engine could not start the conversion");
        return kCannotStart;
    }
    return Report(results, options.json, interrupted);
}
