// The skin's compiled-in resources: the style sheet text, the pictures, the program icon and
// the desktop entry, and that the drawing tool reproduces the compiled-in pictures.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "skin.h"
#include "skin_expectations.h"

namespace {

QString StyleSheetText() {
    return QString::fromUtf8(ReadAll(":/qss/skinqss"));
}

// The style sheet without its comments, so that commented-out rules count as absent.
QString StyleSheetRules() {
    QString text = StyleSheetText();
    text.remove(QRegularExpression(R"(/\*.*?\*/)", QRegularExpression::DotMatchesEverythingOption));
    return text;
}

TEST(SkinStyleSheet, IsCompiledInAndNotEmpty) {
    // No Q_INIT_RESOURCE anywhere: linking the static library must be enough.
    ASSERT_TRUE(QFile::exists(":/qss/skinqss"));
    EXPECT_GT(ReadAll(":/qss/skinqss").size(), 4000);
    EXPECT_EQ(skinStyleSheet(), StyleSheetText());
}

TEST(SkinStyleSheet, EveryLineEndsWithCrLf) {
    const QByteArray bytes = ReadAll(":/qss/skinqss");
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    int lines = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++lines;
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
        } else if (bytes[i] == '\r') {
            ASSERT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at byte " << i;
        }
    }
    EXPECT_GT(lines, 100);
}

TEST(SkinStyleSheet, EveryPictureUrlResolves) {
    const QRegularExpression url(R"(url\(\s*["']?([^"')\s]+)["']?\s*\))");
    int count = 0;
    for (auto it = url.globalMatch(StyleSheetRules()); it.hasNext();) {
        const QString path = it.next().captured(1);
        ++count;
        EXPECT_TRUE(path.startsWith(":/")) << qPrintable(path) << " is not a compiled-in resource";
        EXPECT_TRUE(QFile::exists(path)) << qPrintable(path);
        EXPECT_FALSE(QImage(path).isNull()) << qPrintable(path) << " is not a picture";
    }
    EXPECT_GE(count, int(SkinPictures().size()));
}

TEST(SkinStyleSheet, UsesEveryPictureOfTheSkin) {
    const QString rules = StyleSheetRules();
    for (const SkinPicture& picture : SkinPictures())
        EXPECT_TRUE(rules.contains("url(" + picture.path + ")")) << qPrintable(picture.path) << " is never used";
}

TEST(SkinStyleSheet, NamesVerdanaFirstWithAFallback) {
    const QRegularExpression family(R"(font-family:\s*([^;]+);)");
    int count = 0;
    for (auto it = family.globalMatch(StyleSheetRules()); it.hasNext();) {
        const QString families = it.next().captured(1).trimmed();
        ++count;
        EXPECT_TRUE(families.startsWith("\"verdana\",")) << qPrintable(families);
        EXPECT_TRUE(families.contains("\"DejaVu Sans\"")) << qPrintable(families);
    }
    EXPECT_GT(count, 10);
    // The shorthand would hide a missing fallback from the check above.
    EXPECT_FALSE(StyleSheetRules().contains(QRegularExpression(R"(\bfont:)")));
}

TEST(SkinPictures, ExistWithTheirLayoutSizes) {
    for (const SkinPicture& picture : SkinPictures()) {
        SCOPED_TRACE(picture.path.toStdString());
        ASSERT_TRUE(QFile::exists(picture.path));
        const QImage image = LoadPicture(picture.path);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), picture.size);
    }
}

TEST(SkinPictures, AreDrawnNotBlank) {
    for (const SkinPicture& picture : SkinPictures()) {
        SCOPED_TRACE(picture.path.toStdString());
        const QImage image = LoadPicture(picture.path);
        // Gradients and antialiased edges give many shades; a flat fill or a two-tone
        // placeholder does not.
        EXPECT_GE(DistinctColours(image), 24);
        EXPECT_GE(CoveredShare(image), 0.1);
    }
}

TEST(SkinPictures, BarsAreOpaqueSoTheyCoverTheWindow) {
    for (const char* path : {":/frmMain/widgetTop", ":/frmMain/widgetBottom", ":/frmMain/frameNav"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(CoveredShare(LoadPicture(path)), 1.0);
        EXPECT_FALSE(LoadPicture(path).pixelColor(0, 0).alpha() < 255);
    }
}

TEST(SkinPictures, ButtonStatesLookDifferent) {
    const std::vector<std::vector<QString>> groups{
        {"btnAdd_normal", "btnAdd_hover", "btnAdd_down"},
        {"btnHelp_normal", "btnHelp_hover", "btnHelp_down"},
        {"btnConvert_normal", "btnConvert_hover", "btnConvert_down", "btnConvert_disable"},
        {"btnConvert_cancel_normal", "btnConvert_cancel_hover", "btnConvert_cancel_down"},
        {"btnShowHide_normal", "btnShowHide_hover", "btnShowHide_down"},
        {"btnOpenDir_normal", "btnOpenDir_hover", "btnOpenDir_down"},
        {"btnSetting_normal", "btnSetting_hover", "btnSetting_down"},
        {"profile_cate_hover", "profile_cate_select"},
        {"profileItem_normal", "profileItem_hover", "profileItem_selected"},
        {"btnPre_normal", "btnPre_hover"},
        {"btnNext_normal", "btnNext_hover"},
    };
    for (const auto& group : groups) {
        for (size_t i = 0; i < group.size(); ++i) {
            for (size_t j = i + 1; j < group.size(); ++j) {
                SCOPED_TRACE((group[i] + " / " + group[j]).toStdString());
                // At least a twentieth of the face must visibly change.
                EXPECT_GT(DifferingShare(LoadPicture(":/frmMain/" + group[i]), LoadPicture(":/frmMain/" + group[j])),
                          0.05);
            }
        }
    }
}

TEST(SkinPictures, CheckedConvertButtonIsACancelButton) {
    for (const char* state : {"normal", "hover", "down"}) {
        SCOPED_TRACE(state);
        const QImage convert = LoadPicture(QStringLiteral(":/frmMain/btnConvert_") + state);
        const QImage cancel = LoadPicture(QStringLiteral(":/frmMain/btnConvert_cancel_") + state);
        EXPECT_GT(DifferingShare(convert, cancel), 0.05);
    }
    // Both faces share the same frame, so the change is in the emblem and the word; the
    // cancel emblem is warm where the convert emblem is blue.
    const QImage convert = LoadPicture(":/frmMain/btnConvert_normal");
    const QImage cancel = LoadPicture(":/frmMain/btnConvert_cancel_normal");
    const QColor convertEmblem = convert.pixelColor(12, 16);
    const QColor cancelEmblem = cancel.pixelColor(12, 16);
    EXPECT_GT(convertEmblem.blue(), convertEmblem.red());
    EXPECT_GT(cancelEmblem.red(), cancelEmblem.blue());
}

TEST(SkinPictures, DisabledConvertButtonIsGrey) {
    const QImage disabled = LoadPicture(":/frmMain/btnConvert_disable");
    qint64 saturation = 0, opaque = 0;
    for (int y = 0; y < disabled.height(); ++y) {
        for (int x = 0; x < disabled.width(); ++x) {
            const QColor c = disabled.pixelColor(x, y);
            if (c.alpha() == 255) {
                saturation += c.hsvSaturation();
                ++opaque;
            }
        }
    }
    ASSERT_GT(opaque, 0);
    EXPECT_LT(saturation / opaque, 40);
    EXPECT_GT(DifferingShare(disabled, LoadPicture(":/frmMain/btnConvert_normal")), 0.2);
}

TEST(SkinPictures, ComboFrameStretchesOnlyItsMiddle) {
    // The frame is cut 10 px from each side; everything that is not plain middle must sit in
    // those ends, so the middle columns are all alike.
    const QImage combo = LoadPicture(":/frmMain/combox_normal");
    for (int x = 11; x < combo.width() - 11; ++x)
        for (int y = 0; y < combo.height(); ++y)
            ASSERT_EQ(combo.pixel(x, y), combo.pixel(10, y)) << "column " << x << " row " << y;
}

TEST(SkinIcon, ComesInEveryDesktopSize) {
    for (int size : IconSizes()) {
        SCOPED_TRACE(size);
        const QString path = QStringLiteral(":/icons/corvane-%1.png").arg(size);
        const QImage icon = LoadPicture(path);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_GE(DistinctColours(icon), 24);
        // A rounded tile: transparent in the very corner, opaque in the middle.
        EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(icon.pixelColor(size / 2, size / 2).alpha(), 255);
    }
    const QIcon icon = skinApplicationIcon();
    for (int size : IconSizes())
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
}

TEST(SkinIcon, IsTheAboutBoxLogo) {
    EXPECT_EQ(DifferingShare(LoadPicture(":/icons/corvane-128.png"), LoadPicture(":/frmAbout/logo"), 0), 0.0);
}

TEST(SkinIcon, DesktopEntryLaunchesTheProgram) {
    QFile file(CORVANE_DESKTOP_FILE);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "[Desktop Entry]");
    QMap<QString, QString> keys;
    for (const QString& line : lines.mid(1)) {
        const qsizetype eq = line.indexOf('=');
        ASSERT_GT(eq, 0) << qPrintable(line);
        EXPECT_FALSE(keys.contains(line.left(eq))) << "duplicate key " << qPrintable(line);
        keys.insert(line.left(eq), line.mid(eq + 1));
    }
    EXPECT_EQ(keys.value("Type"), "Application");
    EXPECT_EQ(keys.value("Name"), "Corvane");
    EXPECT_EQ(keys.value("GenericName"), "Matroska Converter");
    EXPECT_FALSE(keys.value("Comment").isEmpty());
    EXPECT_EQ(keys.value("Exec"), "corvane");
    EXPECT_EQ(keys.value("Icon"), "corvane");
    EXPECT_EQ(keys.value("Terminal"), "false");
    EXPECT_EQ(keys.value("Categories"), "AudioVideo;Video;Audio;AudioVideoEditing;Qt;");
    EXPECT_EQ(keys.value("MimeType"), "video/x-matroska;audio/x-matroska;");
}

// The compiled-in pictures must be exactly what the drawing tool draws now, every time.
TEST(SkinDrawingTool, ReproducesTheCompiledInPictures) {
    QTemporaryDir first, second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    for (const QTemporaryDir* dir : {&first, &second}) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        tool.setProcessEnvironment(env);
        tool.start(CORVANE_DRAW_SKIN, {dir->path()});
        ASSERT_TRUE(tool.waitForFinished(60000));
        ASSERT_EQ(tool.exitStatus(), QProcess::NormalExit);
        ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    }
    const QStringList drawn = QDir(first.path()).entryList({"*.png"}, QDir::Files, QDir::Name);
    EXPECT_EQ(drawn.size(), qsizetype(SkinPictures().size() + IconSizes().size()));
    for (const QString& name : drawn) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = ReadAll(first.filePath(name));
        EXPECT_EQ(bytes, ReadAll(second.filePath(name)));
        QString resource = name.startsWith("corvane-") ? ":/icons/" + name : ":/frmMain/" + name.chopped(4);
        if (name == "logo.png")
            resource = ":/frmAbout/logo";
        EXPECT_EQ(bytes, ReadAll(resource));
    }
}

}  // namespace
