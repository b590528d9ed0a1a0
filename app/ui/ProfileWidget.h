// One tab of the profile chooser: a category's profiles as a strip of icons, five a page.
#pragma once

#include <QWidget>
#include <memory>

class ProfileCatalogue;
class QListWidgetItem;

namespace Ui {
class ProfileWidget;
}

class ProfileWidget : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPageSize = 5;
    // Item data role of the profile id: the second role after the first user role.
    static constexpr int kProfileIdRole = Qt::UserRole + 2;

    explicit ProfileWidget(QWidget* parent = nullptr);
    ~ProfileWidget() override;

    // The catalogue is not owned and must outlive the widget.
    void setCategory(const ProfileCatalogue* catalogue, int categoryIndex);
    // Shows the page holding the category's n-th profile and makes it the current item.
    void selectIndex(int n);

    int categoryIndex() const { return categoryIndex_; }
    int currentPage() const { return currentPage_; }
    int lastPage() const;

signals:
    void profileIdChanged(int profileId);

private slots:
    void on_btnPre_clicked();
    void on_btnNext_clicked();
    void on_listProfile_itemClicked(QListWidgetItem* item);

private:
    void showPage(int page);
    int profileCount() const;

    std::unique_ptr<Ui::ProfileWidget> ui_;
    const ProfileCatalogue* catalogue_ = nullptr;
    int categoryIndex_ = 0;
    int currentPage_ = 0;
};
