#include "ProfileWidget.h"

#include <QApplication>
#include <QHelpEvent>
#include <QIcon>
#include <QListWidgetItem>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>

#include "elided_label.h"
#include "profile_catalogue.h"
#include "ui_ProfileWidget.h"

namespace {

// The view cuts a name that does not fit its tile; this shows the whole name as the tile's tooltip
// then, and no tooltip for a name shown whole.
class TileDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem tile = option;
        initStyleOption(&tile, index);
        if (!nameIsCut(tile)) {
            QToolTip::hideText();
            event->ignore();
            return false;
        }
        QToolTip::showText(event->globalPos(), tile.text, view->viewport(), option.rect);
        return true;
    }

private:
    static bool nameIsCut(const QStyleOptionViewItem& tile) {
        const QWidget* widget = tile.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        // As the styles lay out an item's text: its text rectangle less the focus frame's margin.
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &tile, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        return fitText(tile.fontMetrics, tile.text, text.width() - 2 * margin, tile.textElideMode).elided;
    }
};

}  // namespace

ProfileWidget::ProfileWidget(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::ProfileWidget>()) {
    ui_->setupUi(this);
    ui_->listProfile->setItemDelegate(new TileDelegate(ui_->listProfile));
}

ProfileWidget::~ProfileWidget() = default;

void ProfileWidget::setCategory(const ProfileCatalogue* catalogue, int categoryIndex) {
    catalogue_ = catalogue;
    categoryIndex_ = categoryIndex;
    showPage(0);
}

int ProfileWidget::profileCount() const {
    return catalogue_ ? catalogue_->profileCount(categoryIndex_) : 0;
}

int ProfileWidget::lastPage() const {
    const int count = profileCount();
    return count > 0 ? (count - 1) / kPageSize : 0;
}

void ProfileWidget::showPage(int page) {
    page = std::clamp(page, 0, lastPage());
    const int count = profileCount();
    QListWidget* list = ui_->listProfile;
    list->setUpdatesEnabled(false);
    list->clear();
    for (int i = page * kPageSize; i < std::min((page + 1) * kPageSize, count); ++i) {
        const ProfileEntry* entry = catalogue_->entryAt(categoryIndex_, i);
        if (entry == nullptr)
            continue;
        const QString icon = QStringLiteral(":/profile/ICONS/%1.png").arg(entry->icon);
        auto* item = new QListWidgetItem(QIcon(icon), entry->name, list);
        item->setData(kProfileIdRole, entry->profileId);
    }
    currentPage_ = page;
    highlightCurrentProfile();
    list->setUpdatesEnabled(true);
}

void ProfileWidget::highlightCurrentProfile() {
    QListWidget* list = ui_->listProfile;
    for (int row = 0; row < list->count(); ++row) {
        if (currentProfileId_ != 0 && list->item(row)->data(kProfileIdRole).toInt() == currentProfileId_) {
            list->setCurrentRow(row);
            return;
        }
    }
    list->setCurrentItem(nullptr);
    list->clearSelection();
}

void ProfileWidget::selectIndex(int n) {
    if (n < 0)
        return;
    showPage(n / kPageSize);
    // A page clamped to the last one may not hold row n % 5; then nothing is current.
    QListWidgetItem* item = currentPage_ == n / kPageSize ? ui_->listProfile->item(n % kPageSize) : nullptr;
    setCurrentProfileId(item ? item->data(kProfileIdRole).toInt() : 0);
}

void ProfileWidget::setCurrentProfileId(int profileId) {
    currentProfileId_ = profileId;
    highlightCurrentProfile();
}

void ProfileWidget::on_btnPre_clicked() {
    if (currentPage_ > 0)
        showPage(currentPage_ - 1);
}

void ProfileWidget::on_btnNext_clicked() {
    if (currentPage_ < lastPage())
        showPage(currentPage_ + 1);
}

void ProfileWidget::on_listProfile_itemClicked(QListWidgetItem* item) {
    if (item == nullptr)
        return;
    const int id = item->data(kProfileIdRole).toInt();
    // Re-clicking the current profile is reported too; selectProfile ignores it.
    if (id != 0) {
        currentProfileId_ = id;
        emit profileIdChanged(id);
    }
}

void ProfileWidget::on_listProfile_itemActivated(QListWidgetItem* item) {
    on_listProfile_itemClicked(item);
}
