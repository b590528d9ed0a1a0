// One tab of the profile chooser: a category's profiles as a strip of tiles, five a page. The
// current profile's tile stays highlighted whenever its page is shown; a name too long for its
// tile is cut with an ellipsis and shown whole as the tile's tooltip.
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
    // Shows the page holding the category's n-th profile and makes it the current profile.
    void selectIndex(int n);
    // The profile whose tile is highlighted when its page shows; 0 for none. The window calls this
    // when a profile of another category becomes current, so that only one tile is highlighted.
    void setCurrentProfileId(int profileId);
    int currentProfileId() const { return currentProfileId_; }

    int categoryIndex() const { return categoryIndex_; }
    int currentPage() const { return currentPage_; }
    int lastPage() const;

signals:
    void profileIdChanged(int profileId);

private slots:
    void on_btnPre_clicked();
    void on_btnNext_clicked();
    void on_listProfile_itemClicked(QListWidgetItem* item);
    // Return or Enter on the tile with the keyboard focus.
    void on_listProfile_itemActivated(QListWidgetItem* item);

private:
    void showPage(int page);
    void highlightCurrentProfile();
    int profileCount() const;

    std::unique_ptr<Ui::ProfileWidget> ui_;
    const ProfileCatalogue* catalogue_ = nullptr;
    int categoryIndex_ = 0;
    int currentPage_ = 0;
    int currentProfileId_ = 0;
};
