// A damaged copy of the catalogue in the user's folder is put aside and replaced from the
// shipped one, instead of keeping the program from starting.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app_settings.h"
#include "catalogue_fixture.h"
#include "profile_manager.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class CatalogueRepairTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(qEnvironmentVariable("appdata")).removeRecursively();
        settings_ = std::make_unique<AppSettings>();
        shipped_ = scratch_.path() + "/shipped";
        installed_ = settings_->programFolder() + "/profile";
        ASSERT_TRUE(WriteCatalogue(shipped_, HeaderXml(2), SampleListXml(), SampleFormatXml()));
        // The first start installs the user's copy.
        ProfileManager first(settings_.get());
        ASSERT_TRUE(first.load(shipped_));
        ASSERT_EQ(ReadAll(installed_ + "/profile.res"), ReadAll(shipped_ + "/profile.res"));
    }

    // Loads as a start of the program does, and checks that the catalogue is whole.
    void ExpectLoads() {
        ProfileManager manager(settings_.get());
        ASSERT_TRUE(manager.load(shipped_));
        ASSERT_NE(manager.catalogue(), nullptr);
        EXPECT_EQ(manager.catalogue()->entryCount(), 3);
        ASSERT_NE(manager.outputSetting(), nullptr);
        EXPECT_EQ(manager.outputSetting()->profileId, 1003);
    }

    void ExpectRepaired(const QString& damagedName, const QByteArray& damaged) {
        EXPECT_EQ(ReadAll(installed_ + "/profile.xml"), ReadAll(shipped_ + "/profile.xml"));
        EXPECT_EQ(ReadAll(installed_ + "/profile.res"), ReadAll(shipped_ + "/profile.res"));
        EXPECT_EQ(ReadAll(installed_ + "/" + damagedName + ".damaged"), damaged) << "kept for a look";
        const QString sound = damagedName == "profile.xml" ? "profile.res" : "profile.xml";
        EXPECT_FALSE(QFile::exists(installed_ + "/" + sound + ".damaged"))
            << "only the damaged file is set aside";
        // The next start reads the user's copy again.
        ProfileManager next(settings_.get());
        ASSERT_TRUE(next.load(shipped_));
        EXPECT_EQ(next.registeredBundle(), installed_ + "/profile.res");
    }

    QTemporaryDir scratch_;
    std::unique_ptr<AppSettings> settings_;
    QString shipped_;
    QString installed_;
};

}  // namespace

TEST_F(CatalogueRepairTest, ADamagedHeaderIsReplaced) {
    const QByteArray damagedHeaders[] = {QByteArray("<ProfileHead><Info version="), QByteArray(),
                                         QByteArray("\0\0\0", 3)};
    for (const QByteArray& damaged : damagedHeaders) {
        SCOPED_TRACE(damaged.toHex().toStdString());
        WriteBytes(installed_ + "/profile.xml", damaged);
        ExpectLoads();
        ExpectRepaired("profile.xml", damaged);
    }
}

TEST_F(CatalogueRepairTest, ADamagedBundleIsReplaced) {
    const QByteArray whole = ReadAll(installed_ + "/profile.res");
    ASSERT_GT(whole.size(), 64);
    QByteArray flipped = whole;
    for (qsizetype i = 20; i < flipped.size(); i += 7)
        flipped[i] = static_cast<char>(~flipped[i]);
    for (const QByteArray& damaged : {whole.left(whole.size() / 2), whole.left(10), QByteArray(), flipped,
                                      QByteArray(4096, 'x')}) {
        SCOPED_TRACE(damaged.size());
        WriteBytes(installed_ + "/profile.res", damaged);
        ExpectLoads();
        ExpectRepaired("profile.res", damaged);
    }
}

TEST_F(CatalogueRepairTest, ABundleWhoseDocumentsDoNotParseIsReplaced) {
    const QString broken = scratch_.path() + "/broken";
    ASSERT_TRUE(WriteCatalogue(broken, HeaderXml(2), "<ProfileList><Profile>", SampleFormatXml()));
    const QByteArray damaged = ReadAll(broken + "/profile.res");
    WriteBytes(installed_ + "/profile.res", damaged);
    ExpectLoads();
    ExpectRepaired("profile.res", damaged);
}

TEST_F(CatalogueRepairTest, AMissingCopyIsInstalledAgain) {
    ASSERT_TRUE(QFile::remove(installed_ + "/profile.res"));
    ExpectLoads();
    EXPECT_EQ(ReadAll(installed_ + "/profile.res"), ReadAll(shipped_ + "/profile.res"));
    EXPECT_FALSE(QFile::exists(installed_ + "/profile.res.damaged"));
}

TEST_F(CatalogueRepairTest, TheUsersCopyIsLeftAloneWhenTheShippedOneIsDamagedToo) {
    const QString broken = scratch_.path() + "/broken";
    ASSERT_TRUE(WriteCatalogue(broken, HeaderXml(2), "<ProfileList><Profile>", SampleFormatXml()));
    const QByteArray damaged = ReadAll(broken + "/profile.res");
    WriteBytes(installed_ + "/profile.res", damaged);
    WriteBytes(shipped_ + "/profile.res", damaged);

    ProfileManager manager(settings_.get());
    EXPECT_FALSE(manager.load(shipped_));
    EXPECT_EQ(manager.outputSetting(), nullptr);
    EXPECT_EQ(ReadAll(installed_ + "/profile.res"), damaged);
    EXPECT_FALSE(QFile::exists(installed_ + "/profile.res.damaged")) << "nothing better was there to install";
}
