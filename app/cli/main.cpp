// corvane-cli: Corvane's catalogue and engine without a window.
#include <QCoreApplication>
#include <QDir>
#include <csignal>
#include <cstdio>
#include <optional>
#include <unistd.h>
#include <vector>

#include "app_context.h"
#include "cli_options.h"
#include "cli_progress.h"
#include "cli_results.h"
#include "conversion_run.h"
#include "input_check.h"
#include "library_logging.h"
#include "native_arguments.h"
#include "output_folder.h"
#include "plan_inputs.h"
#include "plan_report.h"
#include "track_labels.h"
#include "track_choices.h"
#include "track_listing.h"

namespace {

enum ExitCode { kAllFinished = 0, kSomeFailed = 1, kUsageError = 2, kCannotStart = 3, kInterrupted = 130 };

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

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

int ListTracks(MediaBased::IMediaManager* manager, const QString& file) {
    const QByteArray native = argumentBytes(file);
    QString reason = unreadableReason(native);
    SourceFile source(manager);
    if (reason.isEmpty() && !source.probeNative(native))
        reason = notMediaReason();
    if (!reason.isEmpty()) {
        PrintError(QStringLiteral("%1: %2").arg(shownArgument(file), reason));
        return kSomeFailed;
    }
    for (const QString& line : trackListing(source))
        std::printf("%s\n", qPrintable(line));
    return kAllFinished;
}

// The profile the run uses: the program's last choice unless --profile names another, which
// applies to this run only. Null, after saying why, when the named profile does not exist.
std::optional<OutputSetting> ChooseSetting(const CliOptions& options, ProfileManager& profiles) {
    OutputSetting setting = *profiles.outputSetting();
    if (options.profileId) {
        const ProfileEntry* entry = profiles.catalogue()->entryById(*options.profileId);
        if (entry == nullptr) {
            PrintError(
                QStringLiteral("there is no profile %1 (see --list-profiles)").arg(*options.profileId));
            return std::nullopt;
        }
        applyProfileDefaults(*entry, setting);
    }
    return setting;
}

// Adds every file the engine can open to the source list; the others are kept as skipped,
// with the reason. resultOfSource maps source-list indexes to result indexes.
std::vector<FileResult> AddSources(const CliOptions& options, SourceList& sources,
                                   std::vector<int>& resultOfSource) {
    std::vector<FileResult> results(static_cast<size_t>(options.files.size()));
    for (int i = 0; i < options.files.size(); ++i)
        results[static_cast<size_t>(i)].source = shownArgument(options.files.at(i));
    for (int i = 0; i < options.files.size() && !g_interrupted; ++i) {
        FileResult& result = results[static_cast<size_t>(i)];
        const QByteArray native = argumentBytes(options.files.at(i));
        result.reason = unreadableReason(native);
        if (result.reason.isEmpty() && sources.addNative(native) < 0)
            result.reason = notMediaReason();
        if (result.reason.isEmpty())
            resultOfSource.push_back(i);
        else
            result.state = QStringLiteral("skipped");
    }
    return results;
}

// Gives every source the tracks the options choose. False, after saying why, when a file has
// no track of a number given.
bool ChooseTracks(const CliOptions& options, SourceList& sources, const std::vector<FileResult>& results,
                  const std::vector<int>& resultOfSource) {
    for (int s = 0; s < sources.count(); ++s) {
        SourceFile& source = *sources.at(s);
        if (const int stream = defaultAudioStream(source); stream >= 0)
            source.setAudioStream(stream);
        QString problem;
        if (!applyTrackChoices(options, source, &problem)) {
            const QString& name = results[static_cast<size_t>(resultOfSource[static_cast<size_t>(s)])].source;
            // "--audio 3: movie.mkv has 2 audio tracks (see --list-tracks)"
            const int colon = problem.indexOf(QLatin1String(": "));
            PrintError(problem.left(colon + 2) + name + ' ' + problem.mid(colon + 2));
            return false;
        }
    }
    return true;
}

// --plan: what each file's conversion would copy, encode, convert or drop, as JSON.
int PrintPlans(const SourceList& sources, const OutputSetting& setting, const std::vector<FileResult>& results,
               const std::vector<int>& resultOfSource) {
    std::vector<PlannedFile> plans;
    for (int s = 0; s < sources.count(); ++s)
        plans.push_back({results[static_cast<size_t>(resultOfSource[static_cast<size_t>(s)])].source,
                         planFor(*sources.at(s), setting)});
    std::printf("%s\n", plansJson(plans).constData());
    for (const FileResult& result : results)
        if (result.state == QLatin1String("skipped"))
            return kSomeFailed;
    return kAllFinished;
}

void ShowProgress(CliProgress& progress, const std::vector<FileResult>& results) {
    std::vector<FileProgress> lines;
    for (const FileResult& result : results)
        lines.push_back(
            {QDir::toNativeSeparators(result.source), result.state, result.percent, result.reason});
    progress.show(lines);
}

// Converts the sources, showing progress, until every task ended or an interrupt came.
// Returns false when the engine could not start the run.
bool RunConversion(AppContext& context, const OutputSetting& setting, const QString& folder, int parallel,
                   std::vector<FileResult>& results, const std::vector<int>& resultOfSource) {
    SourceList& sources = context.sourceList();
    CliProgress progress(::isatty(STDERR_FILENO) == 1);
    ConversionRun run(context.mediaManager());
    if (sources.count() == 0 || g_interrupted) {
        ShowProgress(progress, results);
        return true;
    }
    if (!run.start(sources, setting, folder, parallel))
        return false;

    std::vector<FileResult*> taskResults;
    std::vector<bool> hasTask(results.size(), false);
    for (int t = 0; t < run.taskCount(); ++t) {
        const auto resultIndex = static_cast<size_t>(resultOfSource[static_cast<size_t>(run.sourceIndex(t))]);
        results[resultIndex].target = run.targetPath(t);
        hasTask[resultIndex] = true;
        taskResults.push_back(&results[resultIndex]);
    }
    for (int resultIndex : resultOfSource) {
        FileResult& result = results[static_cast<size_t>(resultIndex)];
        if (!hasTask[static_cast<size_t>(resultIndex)]) {
            result.state = QStringLiteral("failed");
            result.reason = QStringLiteral("the engine refused the conversion");
        }
    }

    TaskTracker tracker(run, taskResults);
    while (run.isActive() && !g_interrupted) {
        tracker.update();
        ShowProgress(progress, results);
        if (run.unfinishedCount() == 0)
            break;
        run.waitForChange(100);  // wakes at once when a task starts or ends
    }
    tracker.update();
    if (g_interrupted) {
        tracker.markStopped();
        run.stop();
    } else {
        run.finish();
    }
    ShowProgress(progress, results);
    return true;
}

// Files that would have been converted when the run could not start.
void FailUnstarted(std::vector<FileResult>& results, const QString& reason) {
    for (FileResult& result : results) {
        if (result.ended())
            continue;
        result.state = QStringLiteral("failed");
        result.reason = reason;
    }
}

// Files that never started because an interrupt came first.
void StopUnstarted(std::vector<FileResult>& results) {
    for (FileResult& result : results) {
        if (result.ended())
            continue;
        result.state = QStringLiteral("stopped");
        result.reason = QStringLiteral("interrupted before it started");
        result.target.clear();
    }
}

int Report(std::vector<FileResult>& results, bool json, std::optional<int> exitCode = std::nullopt) {
    if (g_interrupted)
        StopUnstarted(results);
    if (json)
        std::printf("%s\n", resultsJson(results).constData());
    if (exitCode)
        return *exitCode;
    if (g_interrupted) {
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
    quietEncoderLibraries();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("corvane-cli");
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    // Not QCoreApplication::arguments(): that loses the bytes of names that are not UTF-8.
    const CliParseResult parsed = parseCliOptions(decodeArguments(argc, argv));
    if (parsed.helpRequested) {
        std::printf("%s", qPrintable(parsed.message));
        return kAllFinished;
    }
    if (!parsed.options) {
        PrintError(parsed.message);
        return kUsageError;
    }
    const CliOptions& options = *parsed.options;

    // The settings are read fresh here and never written back: a window may be changing them.
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
    if (!options.listTracksOf.isEmpty())
        return ListTracks(context.mediaManager(), options.listTracksOf);
    std::optional<OutputSetting> setting = ChooseSetting(options, profiles);
    if (!setting)
        return kUsageError;
    if (const QString problem = applyRateOptions(options, *setting); !problem.isEmpty()) {
        PrintError(problem);
        return kUsageError;
    }
    if (options.noCopy)
        setting->copyStreams = false;

    std::vector<int> resultOfSource;  // source-list index -> result index
    context.sourceList().setThumbnails(false);  // nothing here shows one
    std::vector<FileResult> results = AddSources(options, context.sourceList(), resultOfSource);
    if (!ChooseTracks(options, context.sourceList(), results, resultOfSource))
        return kUsageError;
    if (options.plan)
        return PrintPlans(context.sourceList(), *setting, results, resultOfSource);

    const QString folder = options.outputFolder.isEmpty()
                               ? context.settings()->outputFileDir()
                               : QDir(shownArgument(options.outputFolder)).absolutePath();
    QString folderProblem;
    if (!prepareOutputFolder(folder, &folderProblem)) {
        PrintError(folderProblem);
        FailUnstarted(results, folderProblem);
        CliProgress progress(::isatty(STDERR_FILENO) == 1);
        ShowProgress(progress, results);
        return Report(results, options.json, kCannotStart);
    }

    const int parallel = options.parallel.value_or(context.settings()->maxTasksAtOnce());
    if (!RunConversion(context, *setting, folder, parallel, results, resultOfSource)) {
        PrintError("the engine could not start the conversion");
        FailUnstarted(results, QStringLiteral("the engine could not start the conversion"));
        return Report(results, options.json, kCannotStart);
    }
    return Report(results, options.json);
}
