#include "QTaskWidget.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFileInfo>
#include <QHash>
#include <QMouseEvent>
#include <QPixmap>
#include <QStandardItemModel>
#include <QStyleOptionComboBox>
#include <algorithm>

#include "output_setting.h"
#include "plan_inputs.h"
#include "plan_text.h"
#include "quality_trial.h"
#include "size_estimate.h"
#include "source_file.h"
#include "task_status.h"
#include "track_labels.h"
#include "ui_TaskWidget.h"

using namespace MediaBased;

namespace {

// A designer's picture from the skin, or a plain grey one where it cannot be read.
QImage skinThumbnail(const QString& resource) {
    QImage drawn(resource);
    if (drawn.isNull()) {
        drawn = QImage(SourceFile::kThumbnailWidth, SourceFile::kThumbnailHeight, QImage::Format_RGB32);
        drawn.fill(Qt::lightGray);
    }
    return drawn;
}

// The stand-in picture while a file is read, or when it cannot be.
const QImage& placeholderThumbnail() {
    static const QImage picture = skinThumbnail(QStringLiteral(":/task/thumbnailReading"));
    return picture;
}

// A file with nothing to show: sound only.
const QImage& soundThumbnail() {
    static const QImage picture = skinThumbnail(QStringLiteral(":/task/thumbnailSound"));
    return picture;
}

constexpr int kStreamRole = Qt::UserRole + 1;  // a track entry's stream index
constexpr int kEntryRole = Qt::UserRole + 2;   // what a subtitle entry does
constexpr int kLabelRole = Qt::UserRole + 3;   // a subtitle track's label without remarks

// The subtitle chooser's entries: what is kept as tracks, then what is burned in.
enum class SubtitleEntry { KeepAll, KeepNone, KeepTrack, BurnDefault, BurnTrack, BurnNothing };

// "1: English, forced — SRT": numbered among the subtitles as corvane-cli's --subtitles and
// --burn count them.
QString subtitleLabel(const SourceStream& stream, int number) {
    QStringList names;
    if (const QString language = languageName(stream.language); !language.isEmpty())
        names << language;
    if (!stream.title.isEmpty() && !names.contains(stream.title, Qt::CaseInsensitive))
        names << stream.title;
    if (stream.isForced)
        names << QTaskWidget::tr("forced");
    QStringList parts;
    if (!names.isEmpty())
        parts << names.join(QStringLiteral(", "));
    parts << codecDisplayName(stream.codec);
    return QStringLiteral("%1: ").arg(number) + parts.join(QStringLiteral(" — "));
}

QStandardItem* subtitleEntry(const QString& text, SubtitleEntry entry, int stream = -1) {
    auto* item = new QStandardItem(text);
    // Ticked by the row, not by the view.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setData(static_cast<int>(entry), kEntryRole);
    item->setData(stream, kStreamRole);
    item->setData(text, kLabelRole);
    return item;
}

QStandardItem* sectionHeading(const QString& text) {
    auto* item = new QStandardItem(text);
    item->setFlags(Qt::NoItemFlags);
    QFont bold = item->font();
    bold.setBold(true);
    item->setFont(bold);
    item->setData(-1, kEntryRole);
    item->setData(-1, kStreamRole);
    return item;
}

}  // namespace

QTaskWidget::QTaskWidget(SourceFile* source, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TaskWidget>()), source_(source) {
    ui_->setupUi(this);
    setFocusPolicy(Qt::NoFocus);
    ui_->lblTime->hide();
    ui_->progressBar->hide();
    ui_->lblOutcome->hide();
    ui_->lblOutcome->installEventFilter(this);
    connect(ui_->lblOutcome, &QLabel::linkActivated, this, &QTaskWidget::on_outcomeLinkActivated);
    ui_->lblFileName->setText(source->fileName());
    ui_->lblFileName->setToolTip(source->path());
    ui_->btnDel->setToolTip(tr("Remove this task"));
    // Labels may be long ("2: Japanese, Commentary — AC3 5.1"): the list shows them whole.
    ui_->cbxAudioIndex->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    audioModel_ = new QStandardItemModel(ui_->cbxAudioIndex);
    ui_->cbxAudioIndex->setModel(audioModel_);
    // A click on a track ticks it and leaves the list open for the next; the combo box's own
    // filter, which would close it, is installed with the view and so runs after this one.
    ui_->cbxAudioIndex->view()->viewport()->installEventFilter(this);
    ui_->cbxAudioIndex->installEventFilter(this);
    // The closed box says in a few words what the list holds; the list shows labels whole.
    ui_->cbxSubtitles->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ui_->cbxSubtitles->setMinimumContentsLength(8);
    subtitleModel_ = new QStandardItemModel(ui_->cbxSubtitles);
    ui_->cbxSubtitles->setModel(subtitleModel_);
    ui_->cbxSubtitles->view()->viewport()->installEventFilter(this);
    // The summary is what the box holds, not a hint: it reads like any chosen entry.
    QPalette palette = ui_->cbxSubtitles->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::PlaceholderText, palette.color(group, QPalette::ButtonText));
    ui_->cbxSubtitles->setPalette(palette);
    ui_->cbxSubtitles->installEventFilter(this);
    // A row being read keeps the plan's place, so the lines do not move once it is known.
    for (QWidget* planPart : {static_cast<QWidget*>(ui_->lblPlanCaption), static_cast<QWidget*>(ui_->lblPlan)}) {
        QSizePolicy policy = planPart->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        planPart->setSizePolicy(policy);
    }
    showSource();
}

void QTaskWidget::showSource() {
    const SourceState state = source_->state();
    ui_->lblInfo->setStyleSheet({});
    switch (state) {
        case SourceState::Reading:
            ui_->lblInfo->setText(tr("Reading…"));
            break;
        case SourceState::Ready:
            ui_->lblInfo->setText(source_->resolutionText() + ' ' + source_->sizeText());
            break;
        case SourceState::Unreadable:
            ui_->lblInfo->setText(tr("Cannot read this file: %1").arg(source_->problem()));
            ui_->lblInfo->setStyleSheet(QStringLiteral("color: #b3261e"));
            break;
    }
    ui_->lblInfo->setToolTip(state == SourceState::Unreadable ? ui_->lblInfo->text() : QString());
    const bool ready = state == SourceState::Ready;
    if (!ready)
        setThumbnail(placeholderThumbnail());
    else
        setThumbnail(source_->videoStream() >= 0 ? source_->thumbnail() : soundThumbnail());
    // What the output will be is known once the file is.
    ui_->lbl2->setVisible(ready);
    ui_->lblOutInfo->setVisible(ready);
    if (state == SourceState::Unreadable) {
        ui_->lblTime->hide();
        ui_->progressBar->hide();
    }
    fillAudioChooser();
    fillSubtitleChooser();
    refreshTargetInfo();
}

void QTaskWidget::fillAudioChooser() {
    const QList<int> streams = audioStreams();
    const bool hasAudio = !streams.isEmpty();
    ui_->cbxAudioIndex->setVisible(hasAudio);
    ui_->lblAudio->setVisible(hasAudio);
    if (!hasAudio)
        return;
    const QSignalBlocker blocker(ui_->cbxAudioIndex);
    audioModel_->clear();
    audioModel_->appendRow(new QStandardItem(tr("All audio tracks")));
    for (int stream : streams) {
        // Ticked by the row, not by the view: the last ticked track must stay ticked.
        auto* item = new QStandardItem(audioTrackLabel(*source_, stream));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setData(stream, kStreamRole);
        audioModel_->appendRow(item);
    }
    // A choice made before the file was read (a restored list) holds for the tracks it has.
    QList<int> chosen;
    for (int stream : source_->planChoices().audio)
        if (streams.contains(stream) && !chosen.contains(stream))
            chosen.append(stream);
    PlanChoices choices = source_->planChoices();
    choices.audio = chosen.size() == streams.size() ? QList<int>() : chosen;
    source_->setPlanChoices(choices);
    source_->setAudioStream(chosen.isEmpty() ? defaultAudioStream(*source_) : chosen.first());
    showAudioChoice();
}

QList<int> QTaskWidget::audioStreams() const {
    QList<int> streams;
    IMediaInfo* info = source_->isReady() ? source_->mediaInfo() : nullptr;
    for (int i = 0; info != nullptr && i < info->GetStreamCount(); ++i)
        if (const StreamRecord* record = info->GetStreamRecord(i); record && record->kind == StreamKindAudio)
            streams.append(i);
    return streams;
}

void QTaskWidget::showAudioChoice() {
    const QList<int>& chosen = source_->planChoices().audio;
    QComboBox* chooser = ui_->cbxAudioIndex;
    const QSignalBlocker blocker(chooser);
    int onlyRow = 0;
    QStringList labels;
    for (int row = 1; row < audioModel_->rowCount(); ++row) {
        QStandardItem* item = audioModel_->item(row);
        const bool ticked = chosen.isEmpty() || chosen.contains(item->data(kStreamRole).toInt());
        item->setData(ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        if (ticked) {
            labels.append(item->text());
            onlyRow = row;
        }
    }
    if (chosen.isEmpty()) {
        chooser->setCurrentIndex(0);
        chooser->setToolTip(tr("Every audio track the output can hold"));
        return;
    }
    // Several tracks but not all: no entry says that, the empty choice's placeholder does.
    chooser->setPlaceholderText(tr("%1 of %2 tracks").arg(chosen.size()).arg(audioModel_->rowCount() - 1));
    chooser->setCurrentIndex(chosen.size() == 1 ? onlyRow : -1);
    chooser->setToolTip(labels.join('\n'));
}

void QTaskWidget::setAudioChoice(const QList<int>& streams) {
    PlanChoices choices = source_->planChoices();
    choices.audio = streams.size() == audioStreams().size() ? QList<int>() : streams;
    source_->setPlanChoices(choices);
    // What still shows a single track shows the first one kept.
    source_->setAudioStream(choices.audio.isEmpty() ? defaultAudioStream(*source_) : choices.audio.first());
    showAudioChoice();
    refreshTargetInfo();
}

void QTaskWidget::chooseAudioStreams(const QList<int>& streams) {
    if (!source_->isReady()) {
        PlanChoices choices = source_->planChoices();
        choices.audio = streams;
        source_->setPlanChoices(choices);
        return;
    }
    QList<int> kept;
    for (int stream : audioStreams())
        if (streams.contains(stream))
            kept.append(stream);
    setAudioChoice(kept);
}

void QTaskWidget::toggleAudioStream(int streamIndex) {
    const QList<int> streams = audioStreams();
    if (!streams.contains(streamIndex))
        return;
    QList<int> chosen = source_->planChoices().audio;
    if (chosen.isEmpty())
        chosen = streams;
    if (chosen.contains(streamIndex)) {
        if (chosen.size() == 1)
            return;
        chosen.removeAll(streamIndex);
    } else {
        chosen.append(streamIndex);
        std::sort(chosen.begin(), chosen.end());
    }
    setAudioChoice(chosen);
    emit audioStreamChosen();
}

QList<int> QTaskWidget::subtitleStreams() const {
    QList<int> streams;
    if (!source_->isReady())
        return streams;
    for (const SourceStream& stream : sourceStreamsOf(*source_))
        if (stream.kind == PlanKind::Subtitle)
            streams.append(stream.index);
    return streams;
}

QList<int> QTaskWidget::burnableSubtitles() const {
    QList<int> burnable;
    if (!source_->isReady() || setting_ == nullptr)
        return burnable;
    // The plan decides: a track is offered when the plan burns it once it is chosen.
    const QList<SourceStream> streams = sourceStreamsOf(*source_);
    const PlanTarget target = planTargetFor(*setting_);
    PlanChoices choices = source_->planChoices();
    for (const SourceStream& stream : streams) {
        if (stream.kind != PlanKind::Subtitle)
            continue;
        choices.burn = stream.index;
        const TaskPlan plan = planTask(streams, source_->videoStream(), target, choices);
        if (const PlannedStream* burned = plan.burned(); burned && burned->source.index == stream.index)
            burnable.append(stream.index);
    }
    return burnable;
}

void QTaskWidget::fillSubtitleChooser() {
    const QList<SourceStream> all = source_->isReady() ? sourceStreamsOf(*source_) : QList<SourceStream>();
    QList<SourceStream> subtitles;
    for (const SourceStream& stream : all)
        if (stream.kind == PlanKind::Subtitle)
            subtitles.append(stream);
    const bool shown = !subtitles.isEmpty();
    ui_->cbxSubtitles->setVisible(shown);
    ui_->lblSubtitles->setVisible(shown);
    // A file being read keeps a restored choice until its tracks are known.
    if (!source_->isReady())
        return;

    QList<int> streams;
    for (const SourceStream& stream : subtitles)
        streams.append(stream.index);
    // A choice made before the file was read holds for the tracks it has; a track to burn that
    // this setting cannot burn gives way to the profile's choice.
    PlanChoices choices = source_->planChoices();
    QList<int> chosen;
    for (int stream : choices.chosenSubtitles)
        if (streams.contains(stream) && !chosen.contains(stream))
            chosen.append(stream);
    std::sort(chosen.begin(), chosen.end());
    choices.chosenSubtitles = chosen;
    const QList<int> burnable = burnableSubtitles();
    if (choices.burn >= 0 && (setting_ != nullptr ? !burnable.contains(choices.burn) : !streams.contains(choices.burn)))
        choices.burn = -1;
    source_->setPlanChoices(choices);
    if (!shown)
        return;

    const QSignalBlocker blocker(ui_->cbxSubtitles);
    subtitleModel_->clear();
    QHash<int, QString> labels;
    for (int i = 0; i < subtitles.size(); ++i)
        labels.insert(subtitles.at(i).index, subtitleLabel(subtitles.at(i), i + 1));
    subtitleModel_->appendRow(subtitleEntry(tr("All subtitles"), SubtitleEntry::KeepAll));
    subtitleModel_->appendRow(subtitleEntry(tr("No subtitles"), SubtitleEntry::KeepNone));
    for (int stream : streams)
        subtitleModel_->appendRow(subtitleEntry(labels.value(stream), SubtitleEntry::KeepTrack, stream));
    if (!burnable.isEmpty()) {
        subtitleModel_->appendRow(sectionHeading(tr("Burn into picture:")));
        // Without a track of the user's, the profile's: its forced one, or none.
        PlanChoices profiles = choices;
        profiles.burn = -1;
        const TaskPlan plan = planTask(all, source_->videoStream(), planTargetFor(*setting_), profiles);
        const PlannedStream* forced = plan.burned();
        QStandardItem* byProfile = subtitleEntry(
            forced ? tr("Forced track: %1").arg(labels.value(forced->source.index)) : tr("None"),
            SubtitleEntry::BurnDefault, forced ? forced->source.index : -1);
        subtitleModel_->appendRow(byProfile);
        // Where the profile would burn its forced track, the user may still want none.
        if (forced) {
            byProfile->setToolTip(tr("The profile burns the forced subtitles into the picture"));
            subtitleModel_->appendRow(subtitleEntry(tr("None"), SubtitleEntry::BurnNothing));
        }
        for (int stream : burnable)
            subtitleModel_->appendRow(subtitleEntry(labels.value(stream), SubtitleEntry::BurnTrack, stream));
    }
    showSubtitleChoice();
}

void QTaskWidget::showSubtitleChoice() {
    QComboBox* chooser = ui_->cbxSubtitles;
    if (subtitleModel_->rowCount() == 0)
        return;
    const QSignalBlocker blocker(chooser);
    const PlanChoices& choices = source_->planChoices();
    // What the row burns: the user's track or the profile's forced one.
    int burned = -1;
    QString burnedLabel;
    for (int row = 0; row < subtitleModel_->rowCount(); ++row) {
        QStandardItem* item = subtitleModel_->item(row);
        const auto entry = static_cast<SubtitleEntry>(item->data(kEntryRole).toInt());
        const int stream = item->data(kStreamRole).toInt();
        if ((entry == SubtitleEntry::BurnDefault && choices.burn == -1) ||
            (entry == SubtitleEntry::BurnTrack && choices.burn == stream)) {
            burned = stream;
            burnedLabel = item->text();
        }
    }
    for (int row = 0; burned >= 0 && row < subtitleModel_->rowCount(); ++row) {
        const QStandardItem* item = subtitleModel_->item(row);
        if (item->data(kEntryRole).toInt() == static_cast<int>(SubtitleEntry::KeepTrack) &&
            item->data(kStreamRole).toInt() == burned) {
            burnedLabel = item->data(kLabelRole).toString();  // without "Forced track:"
            break;
        }
    }

    int tracks = 0;
    QStringList kept;
    for (int row = 0; row < subtitleModel_->rowCount(); ++row) {
        QStandardItem* item = subtitleModel_->item(row);
        const int entryValue = item->data(kEntryRole).toInt();
        if (entryValue < 0)
            continue;
        const auto entry = static_cast<SubtitleEntry>(entryValue);
        const int stream = item->data(kStreamRole).toInt();
        bool ticked = false;
        switch (entry) {
        case SubtitleEntry::KeepAll:
        case SubtitleEntry::KeepNone:
            continue;
        case SubtitleEntry::KeepTrack: {
            ++tracks;
            const bool chosen = choices.subtitles == PlanChoices::Subtitles::All ||
                                (choices.subtitles == PlanChoices::Subtitles::Chosen &&
                                 choices.chosenSubtitles.contains(stream));
            // A burned track is drawn into the picture, not kept beside it.
            const bool isBurned = stream == burned;
            item->setFlags(isBurned ? Qt::NoItemFlags : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            // Said in words too: a style sheet may draw the disabled entry like the others.
            const QString label = item->data(kLabelRole).toString();
            item->setText(isBurned ? tr("%1 (burned in)").arg(label) : label);
            item->setToolTip(isBurned ? tr("Burned into the picture") : QString());
            ticked = chosen && !isBurned;
            if (ticked)
                kept.append(label);
            break;
        }
        case SubtitleEntry::BurnDefault:
            ticked = choices.burn == -1;
            break;
        case SubtitleEntry::BurnNothing:
            ticked = choices.burn == PlanChoices::kBurnNothing;
            break;
        case SubtitleEntry::BurnTrack:
            ticked = choices.burn == stream;
            break;
        }
        item->setData(ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }

    const int others = burned >= 0 ? tracks - 1 : tracks;
    QString keeps;
    if (kept.isEmpty())
        keeps = burned >= 0 ? tr("none kept") : tr("No subtitles");
    else if (kept.size() == others)
        keeps = burned >= 0 ? tr("the rest kept") : tr("All subtitles");
    else
        keeps = burned >= 0 ? tr("%1 of %2 kept").arg(kept.size()).arg(others)
                            : tr("%1 of %2 subtitles").arg(kept.size()).arg(others);
    const QString burnedNumber = burnedLabel.section(':', 0, 0);
    chooser->setPlaceholderText(burned >= 0 ? tr("%1 burned in, %2").arg(burnedNumber, keeps) : keeps);
    chooser->setCurrentIndex(-1);
    // The box is as wide as its summary: narrower than the list's labels, never cut.
    QStyleOptionComboBox option;
    option.initFrom(chooser);
    const QSize text(chooser->fontMetrics().horizontalAdvance(chooser->placeholderText()), chooser->fontMetrics().height());
    chooser->setMinimumWidth(chooser->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, chooser).width());
    // The list shows the longest label whole, however narrow the closed box; a style sheet's
    // entries leave the tick box out of their own width.
    QAbstractItemView* list = chooser->view();
    int widest = 0;
    for (int row = 0; row < subtitleModel_->rowCount(); ++row) {
        const QStandardItem* item = subtitleModel_->item(row);
        widest = std::max(widest, QFontMetrics(item->font()).horizontalAdvance(item->text()));
    }
    const int tick = chooser->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, chooser);
    list->setMinimumWidth(std::max(list->sizeHintForColumn(0), widest + tick + 24) + 2 * list->frameWidth());
    QStringList tip;
    if (burned >= 0)
        tip << tr("Burned into the picture: %1").arg(burnedLabel);
    tip << (kept.isEmpty() ? tr("No subtitle tracks kept") : tr("Kept as tracks: %1").arg(kept.join(QStringLiteral(", "))));
    chooser->setToolTip(tip.join('\n'));
}

void QTaskWidget::setSubtitleChoice(const PlanChoices& wanted) {
    PlanChoices choices = wanted;
    const QList<int> streams = subtitleStreams();
    if (choices.subtitles == PlanChoices::Subtitles::Chosen) {
        if (choices.chosenSubtitles.isEmpty())
            choices.subtitles = PlanChoices::Subtitles::None;
        else if (choices.chosenSubtitles == streams)
            choices.subtitles = PlanChoices::Subtitles::All;
    }
    if (choices.subtitles != PlanChoices::Subtitles::Chosen)
        choices.chosenSubtitles.clear();
    source_->setPlanChoices(choices);
    showSubtitleChoice();
    refreshTargetInfo();
}

void QTaskWidget::chooseSubtitles(PlanChoices::Subtitles mode, const QList<int>& streams) {
    PlanChoices choices = source_->planChoices();
    choices.subtitles = mode;
    choices.chosenSubtitles.clear();
    if (!source_->isReady()) {
        choices.chosenSubtitles = streams;
        source_->setPlanChoices(choices);
        return;
    }
    for (int stream : subtitleStreams())
        if (streams.contains(stream))
            choices.chosenSubtitles.append(stream);
    setSubtitleChoice(choices);
}

void QTaskWidget::toggleSubtitleStream(int streamIndex) {
    const QList<int> streams = subtitleStreams();
    if (!streams.contains(streamIndex))
        return;
    // The burned track's entry is not a choice while it is burned.
    for (int row = 0; row < subtitleModel_->rowCount(); ++row) {
        const QStandardItem* item = subtitleModel_->item(row);
        if (item->data(kEntryRole).toInt() == static_cast<int>(SubtitleEntry::KeepTrack) &&
            item->data(kStreamRole).toInt() == streamIndex && !(item->flags() & Qt::ItemIsEnabled))
            return;
    }
    PlanChoices choices = source_->planChoices();
    QList<int> chosen;
    if (choices.subtitles == PlanChoices::Subtitles::All)
        chosen = streams;
    else if (choices.subtitles == PlanChoices::Subtitles::Chosen)
        chosen = choices.chosenSubtitles;
    if (chosen.contains(streamIndex))
        chosen.removeAll(streamIndex);
    else
        chosen.append(streamIndex);
    std::sort(chosen.begin(), chosen.end());
    choices.subtitles = PlanChoices::Subtitles::Chosen;
    choices.chosenSubtitles = chosen;
    setSubtitleChoice(choices);
    emit subtitlesChosen();
}

bool QTaskWidget::chooseBurnedSubtitle(int streamIndex) {
    if (!source_->isReady()) {
        PlanChoices choices = source_->planChoices();
        choices.burn = streamIndex;
        source_->setPlanChoices(choices);
        return true;
    }
    if (streamIndex >= 0 && !burnableSubtitles().contains(streamIndex))
        return false;
    PlanChoices choices = source_->planChoices();
    choices.burn = streamIndex == PlanChoices::kBurnNothing || streamIndex >= 0 ? streamIndex : -1;
    setSubtitleChoice(choices);
    return true;
}

bool QTaskWidget::pickSubtitleEntry(int row) {
    const QStandardItem* item = subtitleModel_->item(row);
    if (item == nullptr || !(item->flags() & Qt::ItemIsEnabled) || item->data(kEntryRole).toInt() < 0)
        return false;
    const PlanChoices before = source_->planChoices();
    const int stream = item->data(kStreamRole).toInt();
    switch (static_cast<SubtitleEntry>(item->data(kEntryRole).toInt())) {
    case SubtitleEntry::KeepAll:
        chooseSubtitles(PlanChoices::Subtitles::All);
        break;
    case SubtitleEntry::KeepNone:
        chooseSubtitles(PlanChoices::Subtitles::None);
        break;
    case SubtitleEntry::KeepTrack:
        toggleSubtitleStream(stream);  // tells of the change itself
        return true;
    case SubtitleEntry::BurnDefault:
        chooseBurnedSubtitle(-1);
        break;
    case SubtitleEntry::BurnTrack:
        chooseBurnedSubtitle(stream);
        break;
    case SubtitleEntry::BurnNothing:
        chooseBurnedSubtitle(PlanChoices::kBurnNothing);
        break;
    }
    const PlanChoices& after = source_->planChoices();
    if (after.subtitles != before.subtitles || after.chosenSubtitles != before.chosenSubtitles ||
        after.burn != before.burn)
        emit subtitlesChosen();
    return true;
}

QTaskWidget::~QTaskWidget() = default;

void QTaskWidget::setThumbnail(const QImage& image) {
    const QPixmap pixmap = QPixmap::fromImage(image);
    // The list is disabled during a run; the pictures should not turn grey with it.
    QIcon icon(pixmap);
    icon.addPixmap(pixmap, QIcon::Disabled);
    ui_->btnThum->setIcon(icon);
    // The whole picture, scaled into the button rather than cut to it.
    ui_->btnThum->setIconSize(pixmap.size().scaled(ui_->btnThum->maximumSize(), Qt::KeepAspectRatio));
}

void QTaskWidget::setTargetInfo(const OutputSetting& setting) {
    if (setting_ == nullptr || !(*setting_ == setting))
        trialSize_.clear();
    setting_ = std::make_unique<OutputSetting>(setting);
    // What can be burned, and what the profile burns by itself, follow the setting.
    fillSubtitleChooser();
    refreshTargetInfo();
}

void QTaskWidget::setTrialSize(const QString& text) {
    trialSize_ = text;
    refreshTargetInfo();
}

void QTaskWidget::refreshTargetInfo() {
    const bool known = source_->isReady() && setting_ != nullptr;
    ui_->lblPlanCaption->setVisible(known);
    ui_->lblPlan->setVisible(known);
    if (!known) {
        ui_->lblOutInfo->clear();
        ui_->lblPlan->clear();
        ui_->lblPlan->setToolTip({});
        return;
    }
    const TaskPlan plan = planFor(*source_, *setting_);
    const auto video = std::find_if(plan.streams.begin(), plan.streams.end(), [](const PlannedStream& stream) {
        return stream.source.kind == PlanKind::Video && stream.action != PlanAction::Drop;
    });
    QString shape = tr("audio only");
    const MediaBased::StreamRecord* record =
        video != plan.streams.end() && source_->mediaInfo()
            ? source_->mediaInfo()->GetStreamRecord(video->source.index)
            : nullptr;
    if (video != plan.streams.end() && video->action == PlanAction::Copy) {
        shape = source_->resolutionText();
    } else if (record != nullptr) {
        const PictureSize size = encodedPictureSize(*setting_, *record);
        shape = QStringLiteral("%1*%2").arg(size.width).arg(size.height);
    }
    const qint64 bytes = plannedOutputBytes(plan, *source_, *setting_);
    // A constant quality's size comes from a trial encode, once there is one.
    const QString size = bytes != kSizeUnknown ? formatSize(bytes)
                         : trialSize_.isEmpty() ? trialPendingText() : trialSize_;
    ui_->lblOutInfo->setText(shape + ' ' + size);
    const QString summary = planSummary(plan);
    ui_->lblPlan->setText(summary);
    ui_->lblPlan->setToolTip(summary + QStringLiteral("\n\n") + planDetails(plan));
}

void QTaskWidget::setRunMode(bool on) {
    // Rows come and go during a run; a row already in its mode keeps what it shows.
    if (on == runMode_)
        return;
    runMode_ = on;
    // The track of a file in the run is settled.
    ui_->cbxAudioIndex->setEnabled(!on);
    ui_->cbxSubtitles->setEnabled(!on);
    ui_->btnDel->setEnabled(true);
    const bool unreadable = source_->state() == SourceState::Unreadable;
    if (on) {
        started_ = false;
        outcome_ = TaskOutcome();
        outcomeTarget_.clear();
        outcomeLog_.clear();
        ui_->lblOutcome->hide();
        ui_->lblTime->setText(tr("Wait"));
        ui_->lblTime->setVisible(!unreadable);
        ui_->progressBar->setValue(0);
        ui_->progressBar->setVisible(!unreadable);
    } else {
        ui_->lblTime->hide();
        ui_->progressBar->hide();
        ui_->progressBar->setValue(0);
        ui_->lblOutcome->setVisible(hasOutcome());
    }
}

void QTaskWidget::showOutcome(const TaskOutcome& outcome, const QString& targetPath, const QString& log) {
    outcome_ = outcome;
    outcomeTarget_ = targetPath;
    outcomeLog_ = log;
    refreshOutcomeLine();
    // During a run the line shows when the run ends; an ended task stays in the run.
    if (runMode_)
        ui_->btnDel->setEnabled(false);
    else
        ui_->lblOutcome->setVisible(hasOutcome());
}

QString QTaskWidget::outcomeText() const {
    const QString name = QFileInfo(outcomeTarget_).fileName();
    switch (outcome_.kind) {
        case OutcomeKind::Finished:
            return tr("Finished: %1").arg(name);
        case OutcomeKind::FinishedEarly:
            return tr("Finished — %1: %2").arg(outcome_.reason, name);
        case OutcomeKind::Failed:
            return tr("Failed: %1").arg(outcome_.reason);
        case OutcomeKind::Stopped:
            return tr("Stopped");
        case OutcomeKind::Interrupted:
            return tr("Interrupted: Corvane ended during the conversion");
        case OutcomeKind::Pending:
            break;
    }
    return {};
}

void QTaskWidget::refreshOutcomeLine() {
    QLabel* line = ui_->lblOutcome;
    if (!hasOutcome()) {
        line->clear();
        return;
    }
    // The reason may be long: it gives way first, the links stay whole.
    const QFontMetrics metrics(line->font());
    const auto fit = [&](const QString& text, int reserved) {
        return metrics.elidedText(text, Qt::ElideRight, std::max(40, line->width() - reserved)).toHtmlEscaped();
    };
    const QString details = tr("Details");
    const QString detailsLink = QStringLiteral(" &nbsp;<a href=\"details\">%1</a>").arg(details);
    const int detailsWidth = metrics.horizontalAdvance(QStringLiteral("  ") + details);
    const QString name = QFileInfo(outcomeTarget_).fileName();
    QString html;
    switch (outcome_.kind) {
        case OutcomeKind::Finished:
            html = tr("Finished:") + QStringLiteral(" <a href=\"open\">%1</a>")
                                         .arg(fit(name, metrics.horizontalAdvance(tr("Finished:") + ' ')));
            break;
        case OutcomeKind::FinishedEarly: {
            const QString lead = tr("Finished — %1:").arg(outcome_.reason);
            const int nameWidth = std::min(metrics.horizontalAdvance(name) + 4, line->width() / 3);
            html = fit(lead, nameWidth + detailsWidth) +
                   QStringLiteral(" <a href=\"open\">%1</a>").arg(fit(name, line->width() - nameWidth)) +
                   detailsLink;
            break;
        }
        case OutcomeKind::Failed:
            html = QStringLiteral("<span style=\"color:#b3261e\">%1</span>")
                       .arg(fit(outcomeText(), detailsWidth)) +
                   detailsLink;
            break;
        case OutcomeKind::Stopped:
        case OutcomeKind::Interrupted:
            html = fit(outcomeText(), 0);
            break;
        case OutcomeKind::Pending:
            break;
    }
    line->setText(html);
    line->setToolTip(outcome_.kind == OutcomeKind::Finished || outcome_.kind == OutcomeKind::FinishedEarly
                         ? outcomeText() + '\n' + outcomeTarget_
                         : outcomeText());
}

bool QTaskWidget::eventFilter(QObject* watched, QEvent* event) {
    // The line's own width decides how much of the reason fits.
    if (watched == ui_->lblOutcome && event->type() == QEvent::Resize)
        refreshOutcomeLine();
    // Turning the wheel over the closed chooser would tick and untick tracks unseen.
    if ((watched == ui_->cbxAudioIndex || watched == ui_->cbxSubtitles) && event->type() == QEvent::Wheel)
        return true;
    // A track kept or not is ticked with the list left open; the other entries close it.
    if (watched == ui_->cbxSubtitles->view()->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* click = static_cast<QMouseEvent*>(event);
        const QModelIndex entry = ui_->cbxSubtitles->view()->indexAt(click->position().toPoint());
        if (click->button() == Qt::LeftButton && entry.isValid() &&
            entry.data(kEntryRole).toInt() == static_cast<int>(SubtitleEntry::KeepTrack)) {
            pickSubtitleEntry(entry.row());
            return true;
        }
    }
    if (watched == ui_->cbxAudioIndex->view()->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* click = static_cast<QMouseEvent*>(event);
        const QModelIndex entry = ui_->cbxAudioIndex->view()->indexAt(click->position().toPoint());
        if (click->button() == Qt::LeftButton && entry.isValid() && entry.row() > 0) {
            toggleAudioStream(entry.data(kStreamRole).toInt());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void QTaskWidget::on_outcomeLinkActivated(const QString& link) {
    if (link == QLatin1String("open"))
        emit openOutputRequested(outcomeTarget_);
    else if (link == QLatin1String("details"))
        emit detailsRequested(this);
}

void QTaskWidget::updateStatus(const ConvertTask& task) {
    updateStatus(task.state.load(), task.progress.load(), QDateTime::currentDateTime());
}

void QTaskWidget::updateStatus(int state, double progress, const QDateTime& now) {
    if (state == TaskRunning && !started_) {
        startTime_ = now;
        started_ = true;
    }
    const qint64 elapsed = started_ ? startTime_.secsTo(now) : 0;
    const TaskStatusView view = taskStatusView(state, progress, elapsed);
    QString text;
    switch (view.phase) {
        case TaskPhase::Waiting:
            text = tr("Wait");
            break;
        case TaskPhase::Running:
            text = view.remainingSeconds >= 0 ? tr("Remaining: %1").arg(clockText(view.remainingSeconds))
                                              : tr("Run...");
            break;
        case TaskPhase::Finished:
            text = tr("Finished");
            break;
        case TaskPhase::Failed:
            text = tr("Error");
            break;
        case TaskPhase::Unknown:
            return;
    }
    ui_->btnDel->setEnabled(view.phase == TaskPhase::Waiting);
    ui_->progressBar->setValue(view.progressValue);
    ui_->lblTime->setText(text);
}

QString QTaskWidget::statusText() const {
    return ui_->lblTime->text();
}

int QTaskWidget::progressValue() const {
    return ui_->progressBar->value();
}

void QTaskWidget::on_btnDel_clicked() {
    emit btnDelclick(source_);
}

void QTaskWidget::on_cbxAudioIndex_activated(int index) {
    // From the keyboard: the first entry keeps every track, the others tick or untick theirs.
    if (index == 0) {
        const bool changed = !source_->planChoices().audio.isEmpty();
        setAudioChoice({});
        if (changed)
            emit audioStreamChosen();
    } else if (index > 0) {
        toggleAudioStream(audioModel_->item(index)->data(kStreamRole).toInt());
    }
    showAudioChoice();
}

void QTaskWidget::on_cbxSubtitles_activated(int index) {
    pickSubtitleEntry(index);
    showSubtitleChoice();
}
