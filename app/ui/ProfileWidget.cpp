#include "ProfileWidget.h"

#include <QIcon>
#include <algorithm>
#include <QListWidgetItem>

#include "profile_catalogue.h"
#include "ui_ProfileWidget.h"

ProfileWidget::ProfileWidget(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::ProfileWidget>()) {
    ui_->setupUi(this);
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
    list->setUpdatesEnabled(true);
}

void ProfileWidget::selectIndex(int n) {
    if (n < 0)
        return;
    showPage(n / kPageSize);
    // A page clamped to the last one may not hold row n % 5; then nothing is current.
    if (currentPage_ == n / kPageSize)
        ui_->listProfile->setCurrentRow(n % kPageSize);
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
    if (id != 0)
        emit profileIdChanged(id);
}
