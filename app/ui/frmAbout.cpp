#include "frmAbout.h"

#include "product_info.h"
#include "ui_frmAbout.h"

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint), ui_(std::make_unique<Ui::frmAbout>()) {
    ui_->setupUi(this);
    connect(ui_->btnOK, &QPushButton::clicked, this, &QDialog::hide);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &QDialog::hide);
    setWindowTitle(tr("About"));
    ui_->lblVersion->setText(tr("Version:") + ProductInfo::fullVersion());
    ui_->lblProduct->setText(ProductInfo::kName);
    ui_->lblCopyRight->setText(ProductInfo::kCopyright);
    ui_->lblmail->setText(QStringLiteral("<a href='mailto:%1'>%1</a>").arg(ProductInfo::kSupportMail));
    ui_->lblmail->setOpenExternalLinks(true);
}

frmAbout::~frmAbout() = default;

QString frmAbout::versionText() const {
    return ui_->lblVersion->text();
}
