// The about box: product, version, copyright and the support address.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmAbout;
}

class frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    QString versionText() const;

private:
    std::unique_ptr<Ui::frmAbout> ui_;
};
