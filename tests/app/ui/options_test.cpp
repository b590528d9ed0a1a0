#include <gtest/gtest.h>

#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

#include "app_settings.h"
#include "conversion_run.h"
#include "frmOptions.h"

namespace {

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(qEnvironmentVariable("appdata")).removeRecursively();
        settings_ = std::make_unique<AppSettings>();
    }

    static QSpinBox* Spin(frmOptions& dialog, const char* name) { return dialog.findChild<QSpinBox*>(name); }
    static QGroupBox* CheckGroup(frmOptions& dialog) { return dialog.findChild<QGroupBox*>("gbxCheckUpdate"); }
    static void Press(frmOptions& dialog, const char* name) { dialog.findChild<QPushButton*>(name)->click(); }

    std::unique_ptr<AppSettings> settings_;
};

}  // namespace

TEST_F(OptionsTest, StoredValuesOutsideTheRangesShowAsTheNearestBound) {
    settings_->setMaxTasksAtOnce(0);
    settings_->setCheckUpdateDays(0);
    settings_->setCheckForUpdate(false);
    frmOptions low(settings_.get());
    EXPECT_EQ(Spin(low, "spnMaxRun")->value(), 1);
    EXPECT_EQ(Spin(low, "spnCheckUpdate")->value(), 1);
    EXPECT_FALSE(CheckGroup(low)->isChecked());
    EXPECT_FALSE(Spin(low, "spnCheckUpdate")->isEnabled());

    settings_->setMaxTasksAtOnce(64);
    settings_->qsettings()->setValue("CheckUpdateDays", 1000);
    frmOptions high(settings_.get());
    EXPECT_EQ(Spin(high, "spnMaxRun")->value(), maxParallelTasks())
        << "no more than the engine runs on this machine";
    EXPECT_EQ(Spin(high, "spnMaxRun")->maximum(), maxParallelTasks());
    EXPECT_EQ(Spin(high, "spnCheckUpdate")->value(), 180);

    settings_->setMaxTasksAtOnceAutomatic();
    frmOptions automatic(settings_.get());
    EXPECT_EQ(Spin(automatic, "spnMaxRun")->text(), "Automatic");
    Spin(automatic, "spnMaxRun")->setValue(1);
    Press(automatic, "btnOK");
    EXPECT_FALSE(settings_->maxTasksAtOnceIsAutomatic());
    automatic.show();
    Spin(automatic, "spnMaxRun")->setValue(0);
    Press(automatic, "btnOK");
    EXPECT_TRUE(settings_->maxTasksAtOnceIsAutomatic());
}

TEST_F(OptionsTest, OkStoresAndCancelKeepsTheStoredValues) {
    frmOptions dialog(settings_.get());
    dialog.show();
    const int most = maxParallelTasks();
    Spin(dialog, "spnMaxRun")->setValue(most);
    Spin(dialog, "spnCheckUpdate")->setValue(30);
    CheckGroup(dialog)->setChecked(false);
    Press(dialog, "btnOK");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(settings_->maxTasksAtOnce(), most);
    EXPECT_EQ(settings_->checkUpdateDays(), 30);
    EXPECT_FALSE(settings_->checkForUpdate());

    dialog.show();
    Spin(dialog, "spnMaxRun")->setValue(1);
    Spin(dialog, "spnCheckUpdate")->setValue(90);
    CheckGroup(dialog)->setChecked(true);
    Press(dialog, "btnCancel");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(settings_->maxTasksAtOnce(), most);
    EXPECT_EQ(settings_->checkUpdateDays(), 30);
    EXPECT_FALSE(settings_->checkForUpdate());
}
