// The skin's compiled-in resources: the style sheet text, the pictures it names, the program
// icon and the desktop entry.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QSet>

#include "skin.h"
#include "skin_test_support.h"

namespace {

TEST(SkinStyleSheet, IsCompiledInWithCrLfLineEnds) {
    // No Q_INIT_RESOURCE anywhere: linking the static library must be enough.
    const QByteArray bytes = ReadAll(":/qss/skinqss");
    ASSERT_GT(bytes.size(), 4000);
    EXPECT_EQ(skinStyleSheet(), QString::fromUtf8(bytes));
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

// Every picture is an SVG read through Qt's svg image plugin; without the plugin the window
// would come up with bare controls, so this names the missing package.
TEST(SkinPictures, SvgPluginIsInstalled) {
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("svg"))
        << "Qt's svg image plugin is missing (Debian package libqt6svg6)";
}

TEST(SkinPictures, EveryPictureTheSheetNamesIsCompiledInAndDrawsSomething) {
    const QStringList urls = PictureUrls();
    ASSERT_GE(urls.size(), 30);
    for (const QString& path : urls) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(path.startsWith(":/")) << "not a compiled-in resource";
        ASSERT_TRUE(QFile::exists(path));
        QImageReader reader(path);
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << qPrintable(reader.errorString());
        // An SVG that parses but draws nothing (a broken path, a missing gradient) comes out
        // transparent.
        EXPECT_GE(CoveredShare(image), 0.1);
    }
}

// Nothing compiled in that the sheet never shows: a picture listed in the build but renamed
// in the sheet would otherwise go unnoticed.
TEST(SkinPictures, EveryCompiledInPictureIsUsed) {
    const QStringList urls = PictureUrls();
    int count = 0;
    for (const char* folder : {":/frmMain", ":/frmAbout"}) {
        for (const QString& name : QDir(folder).entryList(QDir::Files)) {
            ++count;
            const QString path = QLatin1String(folder) + '/' + name;
            EXPECT_TRUE(urls.contains(path)) << qPrintable(path) << " is never used";
        }
    }
    EXPECT_EQ(count, urls.size());
}

// Where a rule gives a control a fixed size and draws a whole picture over it, the picture must
// have that size: anything else is stretched and comes out blurred or squashed.
TEST(SkinPictures, FixedSizeControlsGetPicturesOfTheirSize) {
    const std::vector<SheetRule> rules = SheetRulesBySelector();
    static const QRegularExpression wholePicture(R"(^url\(([^)]+)\)$)");
    static const QRegularExpression px(R"(^(\d+)px$)");
    QSet<QString> checked;
    for (const SheetRule& rule : rules) {
        const QRegularExpressionMatch picture = wholePicture.match(rule.declarations.value("border-image"));
        if (!picture.hasMatch())
            continue;  // no picture, or one cut into stretchable slices
        const QString base = WithoutStates(rule.selector);
        QMap<QString, QString> box;
        for (const SheetRule& other : rules)
            if (other.selector == base)
                box.insert(other.declarations);
        auto fixed = [&](const char* dimension) {
            const QString low = box.value(QStringLiteral("min-") + dimension);
            const QString high = box.value(QStringLiteral("max-") + dimension);
            const QRegularExpressionMatch m = px.match(low);
            return low == high && m.hasMatch() ? m.captured(1).toInt() : -1;
        };
        const QSize size(fixed("width"), fixed("height"));
        if (size.width() < 0 || size.height() < 0)
            continue;
        SCOPED_TRACE((rule.selector + " -> " + picture.captured(1)).toStdString());
        // Qt adds padding and border widths on top of the min/max sizes.
        for (const char* property : {"padding", "border-width"}) {
            const QString value = box.value(property);
            EXPECT_TRUE(value.isEmpty() || value == "0px") << property << ": " << qPrintable(value);
        }
        EXPECT_EQ(QImageReader(picture.captured(1)).size(), size);
        checked.insert(picture.captured(1));
    }
    // The buttons, tabs, tiles, arrows, the guide picture and the about box logo.
    EXPECT_GE(checked.size(), 30);
}

TEST(SkinPictures, BarsAreOpaqueSoTheyCoverTheWindow) {
    for (const char* path : {":/frmMain/widgetTop", ":/frmMain/widgetBottom", ":/frmMain/frameNav"}) {
        SCOPED_TRACE(path);
        const QImage bar = LoadPicture(path);
        ASSERT_FALSE(bar.isNull());
        EXPECT_TRUE(bar.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32_Premultiplied) ==
                    bar)
            << "not fully opaque";
    }
}

// The sizes the desktop and the window take; every one is compiled in and all of them reach the
// application icon.
TEST(SkinIcon, LoadsAtEverySize) {
    const QIcon icon = skinApplicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    ASSERT_FALSE(sizes.isEmpty());
    QSet<int> sides;
    for (const QSize& size : sizes) {
        SCOPED_TRACE(size.width());
        ASSERT_EQ(size.width(), size.height());
        sides.insert(size.width());
        const QString path = QStringLiteral(":/icons/corvane-%1.png").arg(size.width());
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), "png");
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << qPrintable(path);
        EXPECT_EQ(image.size(), size);
        // A rounded tile: transparent in the very corner, opaque in the middle.
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(image.pixelColor(size.width() / 2, size.height() / 2).alpha(), 255);
        EXPECT_EQ(icon.pixmap(size).size(), size);
    }
    // Menus and task bars ask for 16 and 32 px; the window asks for 256 px.
    for (int side : {16, 32, 48, 256})
        EXPECT_TRUE(sides.contains(side)) << side;
    EXPECT_EQ(QDir(":/icons").entryList(QDir::Files).size(), sizes.size());
}

// The PNG sizes are exports of the SVGs beside them (corvane-N.svg where a size has its own
// drawing, corvane.svg otherwise, which is also the about box logo). An SVG edited without
// exporting again would give the desktop and the about box different icons.
TEST(SkinIcon, SizesAreExportsOfTheirSvg) {
    const QDir sources(CORVANE_SKIN_ICON_DIR);
    ASSERT_TRUE(sources.exists("corvane.svg"));
    EXPECT_EQ(ReadAll(sources.filePath("corvane.svg")), ReadAll(":/frmAbout/logo"));
    for (const QSize& size : skinApplicationIcon().availableSizes()) {
        SCOPED_TRACE(size.width());
        const QString own = sources.filePath(QStringLiteral("corvane-%1.svg").arg(size.width()));
        QImageReader svg(QFile::exists(own) ? own : sources.filePath("corvane.svg"));
        svg.setScaledSize(size);
        const QImage drawn = svg.read();
        ASSERT_FALSE(drawn.isNull()) << qPrintable(svg.errorString());
        const QImage exported = LoadPicture(QStringLiteral(":/icons/corvane-%1.png").arg(size.width()));
        // Renderers differ in antialiasing, never by more than a few steps over a few pixels.
        EXPECT_LT(DifferingShare(drawn, exported, 24), 0.02);
        EXPECT_LT(DifferingShare(drawn, exported, 80), 0.002);
    }
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
    EXPECT_EQ(keys.value("Exec"), "corvane %F") << "files opened with the program reach its list";
    EXPECT_EQ(keys.value("Icon"), "corvane");
    EXPECT_EQ(keys.value("Terminal"), "false");
    EXPECT_EQ(keys.value("Categories"), "AudioVideo;Video;Audio;AudioVideoEditing;Qt;");
    EXPECT_EQ(keys.value("MimeType"), "video/x-matroska;audio/x-matroska;");
}

}  // namespace
