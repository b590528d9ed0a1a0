// The style sheet applied to a widget tree with the window's object names: it parses, gives
// every skinned widget its size and colours, and shows the right picture in each state.
// With CORVANE_SKIN_SHOTS set to a folder, the mock-ups are also saved there as pictures.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>

#include "skin.h"
#include "skin_expectations.h"

// Type selectors match on the class name, so the mock main window needs the real one.
class FrmMainWindow : public QMainWindow {
    Q_OBJECT

public:
    using QMainWindow::QMainWindow;
};

namespace {

QStringList g_warnings;

void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    // The offscreen platform's own limits say nothing about the skin.
    if (type != QtDebugMsg && type != QtInfoMsg && !message.startsWith("This plugin does not support"))
        g_warnings << message;
}

// Qt 6 push buttons with mouse tracking take :hover from the last mouse move over their
// face, not from WA_UnderMouse alone, so the test moves a mouse over them.
void Hover(QWidget* widget, bool on) {
    const QPointF at = on ? QRectF(widget->rect()).center() : QPointF(-5, -5);
    widget->setAttribute(Qt::WA_UnderMouse, on);
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

template <typename T>
T* Named(QWidget* parent, const char* name) {
    T* widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text = {}) {
    QPushButton* button = Named<QPushButton>(parent, name);
    button->setText(text);
    return button;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text) {
    QLabel* label = Named<QLabel>(parent, name);
    label->setText(text);
    return label;
}

// A thumbnail-like picture for the mock task rows.
QPixmap Thumbnail(const QColor& sky, const QColor& ground) {
    QImage image(160, 90, QImage::Format_ARGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, 90);
    g.setColorAt(0, sky);
    g.setColorAt(0.6, sky.lighter(130));
    g.setColorAt(0.61, ground);
    g.setColorAt(1, ground.darker(140));
    p.fillRect(image.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(255, 240, 200));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(120, 28), 12, 12);
    return QPixmap::fromImage(image);
}

// The main window as the form lays it out, with the object names the sheet addresses.
struct MainMock {
    std::unique_ptr<FrmMainWindow> window;
    QWidget* widgetTop = nullptr;
    QWidget* widgetBottom = nullptr;
    QWidget* widgetGuide = nullptr;
    QWidget* widgetprofile = nullptr;
    QListWidget* taskList = nullptr;
    QTabWidget* profileTab = nullptr;
    QListWidget* listProfile = nullptr;
    QPushButton* btnAddFile = nullptr;
    QPushButton* btnHelp = nullptr;
    QPushButton* btnShowHide = nullptr;
    QPushButton* btnCurProfile = nullptr;
    QPushButton* btnProfileSet = nullptr;
    QPushButton* btnOpenDir = nullptr;
    QPushButton* btnConvert = nullptr;
    QPushButton* btnPre = nullptr;
    QComboBox* cbxOutDir = nullptr;
    QLabel* formatLabel = nullptr;
    QLabel* lblGuide = nullptr;
    QLabel* lblGuideImage = nullptr;
    QWidget* firstRow = nullptr;
    QMenu* menuFile = nullptr;
};

QWidget* TaskRow(const QString& file, const QString& info, const QString& target, const QPixmap& thumb,
                 int progress, const QString& time) {
    QWidget* row = new QWidget;
    row->setObjectName("TaskWidget");
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(6, 4, 0, 4);
    layout->setSpacing(8);
    QPushButton* thum = Button(row, "btnThum");
    thum->setIcon(thumb);
    thum->setIconSize(QSize(72, 41));
    layout->addWidget(thum);

    auto* middle = new QVBoxLayout;
    middle->setSpacing(3);
    middle->addWidget(Label(row, "lblFileName", file));
    auto* source = new QHBoxLayout;
    source->addWidget(Label(row, "lbl1", "Source:"));
    source->addWidget(Label(row, "lblInfo", info), 1);
    source->addWidget(Label(row, "lbl2", "Target:"));
    source->addWidget(Label(row, "lblOutInfo", target), 1);
    middle->addLayout(source);
    auto* status = new QHBoxLayout;
    status->addWidget(Label(row, "lblAudio", "Audio:"));
    QComboBox* audio = Named<QComboBox>(row, "cbxAudioIndex");
    audio->addItems({"1: aac", "2: ac3"});
    status->addWidget(audio);
    QProgressBar* bar = Named<QProgressBar>(row, "progressBar");
    bar->setRange(0, 100);
    bar->setValue(progress);
    bar->setVisible(progress >= 0);
    status->addWidget(bar, 1);
    QLabel* lblTime = Label(row, "lblTime", time);
    lblTime->setVisible(!time.isEmpty());
    status->addWidget(lblTime);
    middle->addLayout(status);
    layout->addLayout(middle, 1);

    QPushButton* del = Button(row, "btnDel");
    del->setToolTip("Remove this task");
    del->setVisible(progress < 0);
    layout->addWidget(del, 0, Qt::AlignTop);
    return row;
}

QWidget* ProfilePage(QTabWidget* tabs, const QStringList& names, QListWidget** listOut, QPushButton** preOut) {
    QWidget* page = Named<QWidget>(tabs, "ProfileWidget");
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    QPushButton* pre = Button(page, "btnPre");
    layout->addWidget(pre);
    QListWidget* list = Named<QListWidget>(page, "listProfile");
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(80, 50));
    list->setMovement(QListView::Static);
    list->setSpacing(10);
    list->setFlow(QListView::TopToBottom);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setFocusPolicy(Qt::NoFocus);
    const QIcon icon(QStringLiteral(":/icons/corvane-64.png"));
    for (const QString& name : names)
        list->addItem(new QListWidgetItem(icon, name));
    layout->addWidget(list);
    layout->addWidget(Button(page, "btnNext"));
    layout->addStretch();
    if (listOut)
        *listOut = list;
    if (preOut)
        *preOut = pre;
    return page;
}

MainMock BuildMainWindow() {
    MainMock m;
    m.window = std::make_unique<FrmMainWindow>();
    FrmMainWindow* w = m.window.get();
    w->setObjectName("FrmMainWindowClass");
    w->setWindowTitle("Corvane");

    QMenuBar* menuBar = Named<QMenuBar>(w, "menuBar");
    w->setMenuBar(menuBar);
    m.menuFile = menuBar->addMenu("File(&F)");
    m.menuFile->setObjectName("menuFile");
    m.menuFile->addAction("Add Files(&O)");
    m.menuFile->addAction("Add Folder(&D)");
    m.menuFile->addAction("Clear Tasks(&C)")->setEnabled(false);
    m.menuFile->addSeparator();
    m.menuFile->addAction("Exit(&E)");
    menuBar->addMenu("Tool(&T)")->setObjectName("menuTool");
    menuBar->addMenu("Help(&H)")->setObjectName("menuHelp");

    QWidget* central = Named<QWidget>(w, "centralWidget");
    w->setCentralWidget(central);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setSpacing(0);
    centralLayout->setContentsMargins(0, 0, 0, 0);

    m.widgetTop = Named<QWidget>(central, "widgetTop");
    auto* top = new QHBoxLayout(m.widgetTop);
    top->setContentsMargins(19, 3, 19, 3);
    top->setSpacing(0);
    m.btnAddFile = Button(m.widgetTop, "btnAddFile");
    m.btnHelp = Button(m.widgetTop, "btnHelp");
    top->addWidget(m.btnAddFile);
    top->addStretch();
    top->addWidget(m.btnHelp);
    centralLayout->addWidget(m.widgetTop);

    QWidget* context = Named<QWidget>(central, "widgetContext");
    auto* contextLayout = new QVBoxLayout(context);
    contextLayout->setSpacing(0);
    contextLayout->setContentsMargins(0, 0, 0, 0);
    QWidget* widgetTask = Named<QWidget>(context, "widgetTask");
    auto* taskLayout = new QVBoxLayout(widgetTask);
    taskLayout->setSpacing(0);
    taskLayout->setContentsMargins(0, 0, 0, 0);
    m.widgetGuide = Named<QWidget>(widgetTask, "widgetGuide");
    auto* guide = new QVBoxLayout(m.widgetGuide);
    guide->addStretch();
    auto* guideRow = new QHBoxLayout;
    guideRow->addStretch();
    m.lblGuideImage = Label(m.widgetGuide, "lblGuideImage", {});
    guideRow->addWidget(m.lblGuideImage);
    guideRow->addStretch();
    guide->addLayout(guideRow);
    m.lblGuide = Label(m.widgetGuide, "lblGuide", "Drag mkv files into this area");
    m.lblGuide->setAlignment(Qt::AlignCenter);
    guide->addWidget(m.lblGuide);
    guide->addStretch();
    taskLayout->addWidget(m.widgetGuide);
    m.taskList = Named<QListWidget>(widgetTask, "taskList");
    m.taskList->hide();
    taskLayout->addWidget(m.taskList);
    contextLayout->addWidget(widgetTask, 1);

    m.widgetprofile = Named<QWidget>(context, "widgetprofile");
    auto* profileLayout = new QVBoxLayout(m.widgetprofile);
    profileLayout->setSpacing(0);
    profileLayout->setContentsMargins(0, 0, 0, 0);
    m.profileTab = Named<QTabWidget>(m.widgetprofile, "profileTab");
    m.profileTab->addTab(ProfilePage(m.profileTab, {"iPhone 4S", "iPad", "Apple TV", "iPod touch", "iPhone 5"},
                                     &m.listProfile, &m.btnPre),
                         "Apple");
    m.profileTab->addTab(ProfilePage(m.profileTab, {"Galaxy S3", "Nexus 7"}, nullptr, nullptr), "Android");
    m.profileTab->addTab(ProfilePage(m.profileTab, {"MP4", "AVI", "WebM"}, nullptr, nullptr), "Video");
    m.profileTab->addTab(ProfilePage(m.profileTab, {"MP3", "AAC"}, nullptr, nullptr), "Audio");
    profileLayout->addWidget(m.profileTab);
    m.btnShowHide = Button(m.profileTab, "btnShowHide");
    m.btnShowHide->setGeometry(0, 0, 31, 27);
    contextLayout->addWidget(m.widgetprofile);
    centralLayout->addWidget(context, 1);

    m.widgetBottom = Named<QWidget>(central, "widgetBottom");
    auto* bottom = new QHBoxLayout(m.widgetBottom);
    bottom->setContentsMargins(8, 0, 8, 0);
    bottom->setSpacing(6);
    m.formatLabel = Label(m.widgetBottom, "label", "Format:");
    bottom->addWidget(m.formatLabel);
    m.btnCurProfile = Button(m.widgetBottom, "btnCurProfile", "iPhone 4S");
    bottom->addWidget(m.btnCurProfile);
    m.btnProfileSet = Button(m.widgetBottom, "btnProfileSet", "Settings");
    bottom->addWidget(m.btnProfileSet);
    bottom->addStretch();
    bottom->addWidget(Label(m.widgetBottom, "label_3", "Output:"));
    m.cbxOutDir = Named<QComboBox>(m.widgetBottom, "cbxOutDir");
    m.cbxOutDir->addItems({"/home/user/Documents/corvane", "choose output folder..."});
    bottom->addWidget(m.cbxOutDir);
    m.btnOpenDir = Button(m.widgetBottom, "btnOpenDir");
    bottom->addWidget(m.btnOpenDir);
    bottom->addStretch();
    m.btnConvert = Button(m.widgetBottom, "btnConvert");
    m.btnConvert->setCheckable(true);
    bottom->addWidget(m.btnConvert);
    centralLayout->addWidget(m.widgetBottom);

    w->resize(980, 600);
    return m;
}

void AddTasks(MainMock& m, bool running) {
    const struct {
        const char* file;
        const char* info;
        QColor sky, ground;
        int progress;
        const char* time;
    } rows[] = {
        {"Holiday in Lisbon.mkv", "1920*1080 1.37 GB", QColor(90, 150, 220), QColor(70, 120, 60), 100, "Finished"},
        {"Concert recording.mkv", "1280*720 824.10 MB", QColor(40, 30, 80), QColor(120, 60, 30), 46,
         "Remaining:00:03:12"},
        {"Nature documentary.mkv", "720*576 162.30 MB", QColor(150, 200, 240), QColor(40, 90, 140), 0, "Wait"},
    };
    for (const auto& r : rows) {
        auto* item = new QListWidgetItem(m.taskList);
        item->setSizeHint(QSize(0, 80));
        QWidget* row = TaskRow(r.file, r.info, "640*480 7.15 MB", Thumbnail(r.sky, r.ground),
                               running ? r.progress : -1, running ? r.time : "");
        m.taskList->setItemWidget(item, row);
        if (!m.firstRow)
            m.firstRow = row;
    }
    m.taskList->setCurrentRow(1);
    m.widgetGuide->hide();
    m.taskList->show();
    if (running) {
        m.btnConvert->setChecked(true);
        for (QWidget* widget : {static_cast<QWidget*>(m.btnAddFile), static_cast<QWidget*>(m.btnHelp),
                                static_cast<QWidget*>(m.taskList), static_cast<QWidget*>(m.btnProfileSet),
                                static_cast<QWidget*>(m.cbxOutDir), m.widgetprofile})
            widget->setEnabled(false);
    }
}

// Draws only what the widget itself paints, onto transparency, so a border-image face can be
// compared with its picture pixel for pixel.
QImage Face(QWidget* widget) {
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_ARGB32);
}

void SaveShot(const QPixmap& shot, const char* name) {
    const QString dir = qEnvironmentVariable("CORVANE_SKIN_SHOTS");
    if (!dir.isEmpty()) {
        ASSERT_TRUE(shot.save(dir + "/" + name)) << name;
    }
}

class SkinStyling : public ::testing::Test {
protected:
    void SetUp() override {
        g_warnings.clear();
        previous_ = qInstallMessageHandler(CollectWarnings);
        qApp->setStyleSheet(skinStyleSheet());
    }
    void TearDown() override {
        qApp->setStyleSheet(QString());
        qInstallMessageHandler(previous_);
    }

private:
    QtMessageHandler previous_ = nullptr;
};

TEST_F(SkinStyling, ParsesWithoutWarnings) {
    ASSERT_FALSE(skinStyleSheet().isEmpty());
    MainMock m = BuildMainWindow();
    AddTasks(m, true);
    m.window->show();
    QApplication::processEvents();
    m.window->grab();
    for (const QString& warning : g_warnings)
        ADD_FAILURE() << qPrintable(warning);
}

TEST_F(SkinStyling, GivesSkinnedWidgetsTheirSizes) {
    MainMock m = BuildMainWindow();
    m.window->show();
    QApplication::processEvents();

    EXPECT_EQ(m.btnAddFile->size(), QSize(39, 46));
    EXPECT_EQ(m.btnHelp->size(), QSize(39, 46));
    EXPECT_EQ(m.btnConvert->size(), QSize(88, 33));
    EXPECT_EQ(m.btnShowHide->size(), QSize(31, 27));
    EXPECT_EQ(m.btnOpenDir->size(), QSize(25, 22));
    EXPECT_EQ(m.btnProfileSet->size(), QSize(62, 26));
    EXPECT_EQ(m.btnCurProfile->size(), QSize(100, 26));
    EXPECT_EQ(m.cbxOutDir->size(), QSize(250, 26));
    EXPECT_EQ(m.btnPre->size(), QSize(19, 28));
    EXPECT_EQ(m.lblGuideImage->size(), QSize(119, 98));
    EXPECT_EQ(m.widgetTop->height(), 65);
    EXPECT_EQ(m.widgetBottom->height(), 44);
    EXPECT_EQ(m.widgetprofile->height(), 130);
    EXPECT_GE(m.widgetGuide->height(), 140);
    EXPECT_EQ(m.listProfile->width(), 680);
    // The window folds the profile area down to the category bar, whose height it takes
    // from the frameNav picture: the tab bar must be exactly that high.
    EXPECT_EQ(m.profileTab->tabBar()->height(), QPixmap(":/frmMain/frameNav").height());
    EXPECT_EQ(m.profileTab->tabBar()->tabRect(0).size(), QSize(82 + 20, 24 + 5));
    EXPECT_EQ(m.listProfile->visualItemRect(m.listProfile->item(0)).size(), QSize(123, 81));
}

// The window folds the profile area with setFixedHeight and disables it during a run; the
// sheet's own fixed height must not spring it open again.
TEST_F(SkinStyling, FoldedProfileAreaStaysFolded) {
    MainMock m = BuildMainWindow();
    m.window->show();
    QApplication::processEvents();
    const int navHeight = QPixmap(":/frmMain/frameNav").height();
    m.widgetprofile->setFixedHeight(navHeight);
    QApplication::processEvents();
    EXPECT_EQ(m.widgetprofile->height(), navHeight);
    m.widgetprofile->setEnabled(false);
    m.btnConvert->setChecked(true);
    QApplication::processEvents();
    EXPECT_EQ(m.widgetprofile->height(), navHeight);
    m.widgetprofile->setEnabled(true);
    QApplication::processEvents();
    EXPECT_EQ(m.widgetprofile->height(), navHeight);
    m.widgetprofile->setFixedHeight(navHeight + 90);
    QApplication::processEvents();
    EXPECT_EQ(m.widgetprofile->height(), navHeight + 90);
}

TEST_F(SkinStyling, SizesTaskRowsAndDialogs) {
    MainMock m = BuildMainWindow();
    AddTasks(m, false);
    m.window->show();
    QApplication::processEvents();

    ASSERT_NE(m.firstRow, nullptr);
    EXPECT_EQ(m.firstRow->height(), 80);
    EXPECT_EQ(m.firstRow->findChild<QPushButton*>("btnThum")->size(), QSize(72, 72));
    EXPECT_GE(m.firstRow->findChild<QComboBox*>("cbxAudioIndex")->minimumWidth(), 30);
    // The remove button's face is 24 x 24, pushed 10 px down from the top and away from
    // the right edge.
    QPushButton* del = m.firstRow->findChild<QPushButton*>("btnDel");
    ASSERT_EQ(del->size(), QSize(34, 34));
    const QImage face = Face(del);
    EXPECT_EQ(DifferingShare(face.copy(0, 10, 24, 24), LoadPicture(":/frmMain/btnDel"), 2), 0.0);
    EXPECT_EQ(CoveredShare(face.copy(0, 0, 34, 10)), 0.0);
    EXPECT_EQ(CoveredShare(face.copy(24, 0, 10, 34)), 0.0);

    const struct {
        const char* name;
        QSize size;
    } dialogs[] = {{"frmAbout", {360, 180}}, {"frmOptions", {400, 240}}, {"frmProfileSet", {470, 295}},
                   {"frmShutdown", {320, 100}}};
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.name);
        QDialog* dialog = Named<QDialog>(m.window.get(), d.name);
        dialog->ensurePolished();
        EXPECT_EQ(dialog->minimumSize(), d.size);
        EXPECT_EQ(dialog->maximumSize(), d.size);
    }
}

TEST_F(SkinStyling, ColoursTextAsTheWindowExpects) {
    MainMock m = BuildMainWindow();
    m.window->show();
    QApplication::processEvents();

    EXPECT_EQ(m.formatLabel->palette().color(QPalette::WindowText), QColor("#eaf0fb"));
    EXPECT_TRUE(m.formatLabel->font().bold());
    EXPECT_EQ(m.lblGuide->palette().color(QPalette::WindowText), QColor(132, 181, 222));
    EXPECT_EQ(m.lblGuide->font().pointSize(), 16);
    EXPECT_EQ(m.btnProfileSet->palette().color(QPalette::ButtonText), QColor("#3c89de"));
    EXPECT_EQ(m.btnProfileSet->font().pointSize(), 8);

    // Dialogs are the window's children, yet their labels keep their own look.
    QDialog* options = Named<QDialog>(m.window.get(), "frmOptions");
    QLabel* label = Label(Named<QGroupBox>(options, "groupBox"), "label", "Number of tasks simultaneously");
    label->ensurePolished();
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(58, 136, 221));
    EXPECT_FALSE(label->font().bold());

    QDialog* about = Named<QDialog>(m.window.get(), "frmAbout");
    QLabel* product = Label(about, "lblProduct", "Corvane");
    product->ensurePolished();
    EXPECT_EQ(product->palette().color(QPalette::WindowText), QColor(58, 136, 221));
    EXPECT_EQ(product->font().pointSize(), 16);
    EXPECT_TRUE(product->font().bold());

    QMessageBox box(QMessageBox::Information, "Hint", "no tasks");
    box.ensurePolished();
    QLabel* text = box.findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(text, nullptr);
    text->ensurePolished();
    EXPECT_GE(text->minimumHeight(), 60);
}

TEST_F(SkinStyling, ConvertButtonShowsTheFaceOfItsState) {
    MainMock m = BuildMainWindow();
    m.window->show();
    QApplication::processEvents();
    QPushButton* b = m.btnConvert;
    auto shows = [&](const char* picture) {
        return DifferingShare(Face(b), LoadPicture(QStringLiteral(":/frmMain/") + picture), 2);
    };

    EXPECT_EQ(shows("btnConvert_normal"), 0.0);
    Hover(b, true);
    EXPECT_EQ(shows("btnConvert_hover"), 0.0);
    b->setDown(true);
    EXPECT_EQ(shows("btnConvert_down"), 0.0);
    b->setDown(false);
    b->setChecked(true);
    EXPECT_EQ(shows("btnConvert_cancel_hover"), 0.0);
    b->setDown(true);
    EXPECT_EQ(shows("btnConvert_cancel_down"), 0.0);
    b->setDown(false);
    Hover(b, false);
    EXPECT_EQ(shows("btnConvert_cancel_normal"), 0.0);
    b->setChecked(false);
    b->setEnabled(false);
    EXPECT_EQ(shows("btnConvert_disable"), 0.0);
}

TEST_F(SkinStyling, TopBarButtonsAndPageArrowsFollowTheMouse) {
    MainMock m = BuildMainWindow();
    m.window->show();
    QApplication::processEvents();
    const struct {
        QPushButton* button;
        const char* normal;
        const char* hover;
    } cases[] = {{m.btnAddFile, "btnAdd_normal", "btnAdd_hover"},
                 {m.btnHelp, "btnHelp_normal", "btnHelp_hover"},
                 {m.btnShowHide, "btnShowHide_normal", "btnShowHide_hover"},
                 {m.btnOpenDir, "btnOpenDir_normal", "btnOpenDir_hover"},
                 {m.btnPre, "btnPre_normal", "btnPre_hover"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.normal);
        EXPECT_EQ(DifferingShare(Face(c.button), LoadPicture(QStringLiteral(":/frmMain/") + c.normal), 2), 0.0);
        Hover(c.button, true);
        EXPECT_EQ(DifferingShare(Face(c.button), LoadPicture(QStringLiteral(":/frmMain/") + c.hover), 2), 0.0);
        Hover(c.button, false);
    }
}

// Not a check of its own: keeps pictures of the skinned window for a human to look at.
TEST_F(SkinStyling, MockUpsRenderWithoutWarnings) {
    {
        MainMock m = BuildMainWindow();
        m.window->show();
        QApplication::processEvents();
        m.btnConvert->setEnabled(false);
        const QPixmap shot = m.window->grab();
        EXPECT_EQ(shot.size(), m.window->size());
        SaveShot(shot, "corvane-skin-empty.png");
    }
    {
        MainMock m = BuildMainWindow();
        AddTasks(m, false);
        m.window->show();
        QApplication::processEvents();
        m.listProfile->setCurrentRow(0);
        Hover(m.btnConvert, true);
        // Hover a category tab and a profile tile as well, to see those pictures in place.
        QTabBar* tabs = m.profileTab->tabBar();
        const QPointF tab = QRectF(tabs->tabRect(2)).center();
        tabs->setAttribute(Qt::WA_Hover, true);
        tabs->setAttribute(Qt::WA_UnderMouse, true);
        QHoverEvent tabHover(QEvent::HoverMove, tab, tabs->mapToGlobal(tab), QPointF(-1, -1));
        QApplication::sendEvent(tabs, &tabHover);
        QWidget* tiles = m.listProfile->viewport();
        const QPointF tile = QRectF(m.listProfile->visualItemRect(m.listProfile->item(2))).center();
        tiles->setAttribute(Qt::WA_Hover, true);
        tiles->setAttribute(Qt::WA_UnderMouse, true);
        QHoverEvent tileHover(QEvent::HoverMove, tile, tiles->mapToGlobal(tile), QPointF(-1, -1));
        QApplication::sendEvent(tiles, &tileHover);
        m.menuFile->setActiveAction(m.menuFile->actions().at(1));
        SaveShot(m.window->grab(), "corvane-skin-idle.png");
        SaveShot(m.menuFile->grab(), "corvane-skin-menu.png");
        SaveShot(m.widgetBottom->grab().scaled(m.widgetBottom->size() * 2), "corvane-skin-bottom-2x.png");
    }
    {
        MainMock m = BuildMainWindow();
        AddTasks(m, true);
        m.window->show();
        QApplication::processEvents();
        SaveShot(m.window->grab(), "corvane-skin-running.png");
    }
    {
        MainMock m = BuildMainWindow();
        QDialog* about = Named<QDialog>(m.window.get(), "frmAbout");
        about->setWindowTitle("About");
        auto* outer = new QVBoxLayout(about);
        outer->setSpacing(0);
        outer->setContentsMargins(6, 6, 6, 6);
        auto* upper = new QHBoxLayout;
        upper->setSpacing(0);
        upper->setContentsMargins(5, 5, 10, 5);
        auto* stack = new QVBoxLayout;
        stack->setSpacing(3);
        stack->setContentsMargins(12, 12, 0, 0);
        stack->addWidget(Label(about, "lblProduct", "Corvane"));
        stack->addWidget(Label(about, "lblVersion", "Version:1.0.1.121"));
        stack->addWidget(Label(about, "lblCopyRight", "Copyright (C) 2024 Corvane"));
        QLabel* mail = Label(about, "lblmail", "<a href='mailto:support@corvane.example'>support@corvane.example</a>");
        stack->addWidget(mail);
        stack->addStretch();
        upper->addLayout(stack, 1);
        upper->addWidget(Label(about, "lblLogo", {}), 0, Qt::AlignTop);
        outer->addLayout(upper);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(6);
        buttons->addStretch();
        buttons->addWidget(Button(about, "btnOK", "OK"));
        buttons->addWidget(Button(about, "btnCancel", "Cancel"));
        outer->addLayout(buttons);
        about->show();
        QApplication::processEvents();
        EXPECT_EQ(about->size(), QSize(360, 180));
        SaveShot(about->grab(), "corvane-skin-about.png");
    }
    for (const QString& warning : g_warnings)
        ADD_FAILURE() << qPrintable(warning);
}

}  // namespace

#include "skin_styling_test.moc"
