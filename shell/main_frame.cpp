#include "shell/main_frame.h"

#include "core/image.h"
#include "document/profile.h"
#include "document/quadrel_doc.h"
#include "grids/class_grid.h"
#include "grids/feature_grid.h"
#include "grids/statistic_grid.h"
#include "properties/property_grid_view.h"
#include "shell/about_dialog.h"
#include "shell/action_registry.h"
#include "shell/command_states.h"
#include "shell/favorites_panel.h"
#include "shell/image_view.h"
#include "shell/qt_ui_services.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPrinter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>
#include <spdlog/spdlog.h>

namespace quadrel {

namespace {

// The maker's two web pages.
const char* const kShowroomUrl = "https://www.norvane.com/showroom";
const char* const kShopUrl = "https://www.norvane.com/shop";

const char* const kOpenFilter = "Files (*.ddm;*.bmp;*.png;*.jpg;*.tif;*.dat)";

} // namespace

CMainFrame::CMainFrame(CQuadrelDoc& doc, UiServices* ui, QWidget* parent)
    : QMainWindow(parent), m_doc(doc), m_registry(new ActionRegistry(this)),
      m_printer(std::make_shared<QPrinter>(QPrinter::HighResolution)) {
    setObjectName("MainFrame");
    if (!ui) {
        m_ownUi = std::make_unique<QtUiServices>(this);
        m_ownUi->setStatusBar(statusBar());
        ui = m_ownUi.get();
    }
    m_doc.setUiServices(ui);
    setAcceptDrops(true);
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

    m_imageView = new CImageView(m_doc, this);
    setCentralWidget(m_imageView);
    buildDocks();
    buildMenus();
    buildToolBar();
    statusBar()->showMessage("Ready");
    connectCommands();
    if (!restoreLayout()) defaultLayout();
    updateTitle();
    refresh();
}

CMainFrame::~CMainFrame() {
    // The views leave the document before it outlives them; its UI services go with this window.
    delete m_imageView;
    m_imageView = nullptr;
    for (auto& [name, d] : m_docks)
        delete d;
    m_docks.clear();
    if (m_ownUi) m_doc.setUiServices(nullptr);
}

QString CMainFrame::profileName() {
    return "Main." + programVersion();
}

QDockWidget* CMainFrame::addPanel(const char* command, const QString& title, QWidget* content,
                                  Qt::DockWidgetAreas areas) {
    auto* d = new QDockWidget(title, this);
    d->setObjectName(QString("%1Bar").arg(command));
    d->setAllowedAreas(areas);
    d->setWidget(content);
    content->setMinimumSize(80, 60);
    m_docks.emplace_back(command, d);
    return d;
}

QDockWidget* CMainFrame::dock(const QString& commandName) const {
    for (const auto& [name, d] : m_docks)
        if (name == commandName) return d;
    return nullptr;
}

void CMainFrame::buildDocks() {
    m_favorites = new FavoritesPanel;
    m_favorites->reload(favoritesFolder());
    m_classGrid = new CClassGridView(m_doc, *m_registry);
    m_featureGrid = new CFeatureGridView(m_doc, *m_registry);
    m_propertyView = new CPropertyGridView(m_doc);
    m_statisticGrid = new CStatisticGridView(m_doc, *m_registry);
    for (CGridView* g : std::initializer_list<CGridView*>{m_classGrid, m_featureGrid, m_statisticGrid}) {
        g->setPrinter(m_printer);
        connect(g, &CGridView::stateChanged, this, &CMainFrame::refresh);
    }
    const auto sides = Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea;
    addPanel(cmd::ViewFavorites, "Favorites", m_favorites, sides);
    addPanel(cmd::ViewClasses, "Class View", m_classGrid, sides);
    addPanel(cmd::ViewFeatures, "Features View", m_featureGrid, Qt::BottomDockWidgetArea);
    addPanel(cmd::ViewProperties, "Properties", m_propertyView, sides);
    addPanel(cmd::ViewStatistics, "Statistics View", m_statisticGrid, Qt::BottomDockWidgetArea);
}

void CMainFrame::defaultLayout() {
    // Favorites above the classes on the left, the properties on the right, the two tables below.
    addDockWidget(Qt::LeftDockWidgetArea, dock(cmd::ViewFavorites));
    addDockWidget(Qt::LeftDockWidgetArea, dock(cmd::ViewClasses));
    addDockWidget(Qt::RightDockWidgetArea, dock(cmd::ViewProperties));
    addDockWidget(Qt::BottomDockWidgetArea, dock(cmd::ViewFeatures));
    splitDockWidget(dock(cmd::ViewFeatures), dock(cmd::ViewStatistics), Qt::Horizontal);
    resizeDocks({dock(cmd::ViewFavorites), dock(cmd::ViewClasses)}, {200, 400}, Qt::Vertical);
    resizeDocks({dock(cmd::ViewFavorites), dock(cmd::ViewProperties)}, {200, 240}, Qt::Horizontal);
    resizeDocks({dock(cmd::ViewFeatures)}, {200}, Qt::Vertical);
    resizeDocks({dock(cmd::ViewFeatures), dock(cmd::ViewStatistics)}, {600, 400}, Qt::Horizontal);
    for (auto& [name, d] : m_docks)
        d->show();
    resize(1280, 860);
}

void CMainFrame::buildMenus() {
    ActionRegistry& r = *m_registry;
    m_fileMenu = menuBar()->addMenu("&File");
    r.fill(m_fileMenu, {cmd::FileOpen, cmd::FileSave, cmd::FileSaveAs, {}, cmd::LoadROI});
    m_recentSeparator = m_fileMenu->addSeparator();
    for (int i = 0; i < RecentFiles::kSize; ++i) {
        auto* a = new QAction(this);
        a->setObjectName(QString("RecentFile%1").arg(i + 1));
        a->setData(57616 + i);
        connect(a, &QAction::triggered, this, [this, i] {
            if (i >= m_recent.files().size()) return;
            const QString path = m_recent.files()[i];
            // A file that cannot be opened any more leaves the list, as it would only fail again.
            if (!openFile(path)) {
                m_recent.remove(path);
                updateRecentMenu();
            }
        });
        m_fileMenu->addAction(a);
        m_recentActions.push_back(a);
    }
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(r.action(cmd::AppExit));
    updateRecentMenu();

    QMenu* image = menuBar()->addMenu("&Image");
    r.fill(image, {cmd::AutomaticThreshold,
                   cmd::ManualThreshold,
                   {},
                   cmd::FillHoles,
                   cmd::RemoveBorder,
                   cmd::RemoveSmall,
                   cmd::GaussianFilter,
                   {},
                   cmd::GetObjectFeatures,
                   {},
                   cmd::FitToWindow});

    m_viewMenu = menuBar()->addMenu("&View");
    r.fill(m_viewMenu, {cmd::ViewMenubar,
                        cmd::ViewToolbar,
                        cmd::ViewStatusBar,
                        {},
                        cmd::ViewFavorites,
                        cmd::ViewClasses,
                        cmd::ViewFeatures,
                        cmd::ViewProperties,
                        cmd::ViewStatistics,
                        {},
                        cmd::FavoritesFolder});

    QMenu* help = menuBar()->addMenu("&Help");
    r.fill(help, {cmd::AppAbout, {}, cmd::VisitShowroom, cmd::VisitShop});
}

void CMainFrame::buildToolBar() {
    m_toolBar = addToolBar("Toolbar");
    m_toolBar->setObjectName("Toolbar");
    m_toolBar->setAllowedAreas(Qt::TopToolBarArea);
    m_toolBar->setMovable(false);
    QStyle* s = style();
    m_registry->action(cmd::FileOpen)->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));
    m_registry->action(cmd::FileSave)->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));
    m_registry->action(cmd::AppAbout)->setIcon(s->standardIcon(QStyle::SP_MessageBoxQuestion));
    m_toolBar->addAction(m_registry->action(cmd::FileOpen));
    m_toolBar->addAction(m_registry->action(cmd::FileSave));
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_registry->action(cmd::AutomaticThreshold));
    m_toolBar->addAction(m_registry->action(cmd::FillHoles));
    m_toolBar->addAction(m_registry->action(cmd::GaussianFilter));
    m_toolBar->addAction(m_registry->action(cmd::FitToWindow));
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_registry->action(cmd::AppAbout));
}

QMenu* CMainFrame::createPopupMenu() {
    // The bars' own menu offers the View toggles, so a hidden menu bar can be brought back.
    auto* menu = new QMenu(this);
    m_registry->fill(menu, {cmd::ViewMenubar,
                            cmd::ViewToolbar,
                            cmd::ViewStatusBar,
                            {},
                            cmd::ViewFavorites,
                            cmd::ViewClasses,
                            cmd::ViewFeatures,
                            cmd::ViewProperties,
                            cmd::ViewStatistics});
    return menu;
}

void CMainFrame::runCommand(const QString& text, const std::function<void()>& command) {
    spdlog::info("command: {}", text.toStdString());
    statusBar()->showMessage(text + "...");
    statusBar()->repaint();
    command();
    statusBar()->showMessage("Ready");
    refresh();
}

void CMainFrame::connectCommands() {
    ActionRegistry& r = *m_registry;
    auto onDoc = [&](const char* name, auto f) {
        QAction* a = r.action(name);
        connect(a, &QAction::triggered, this, [this, a, f] { runCommand(a->text(), [this, f] { f(m_doc); }); });
    };
    connect(r.action(cmd::FileOpen), &QAction::triggered, this, &CMainFrame::onFileOpen);
    onDoc(cmd::FileSave, [this](CQuadrelDoc& d) {
        const std::string old = d.GetPathName();
        d.OnFileSave();
        afterSave(old);
    });
    onDoc(cmd::FileSaveAs, [this](CQuadrelDoc& d) {
        const std::string old = d.GetPathName();
        d.OnFileSaveAs();
        afterSave(old);
    });
    onDoc(cmd::LoadROI, [](CQuadrelDoc& d) { d.OnLoadROI(); });
    onDoc(cmd::AutomaticThreshold, [](CQuadrelDoc& d) { d.OnAutomaticThreshold(); });
    onDoc(cmd::ManualThreshold, [](CQuadrelDoc& d) { d.OnManualThreshold(); });
    onDoc(cmd::FillHoles, [](CQuadrelDoc& d) { d.OnFillHoles(); });
    onDoc(cmd::RemoveBorder, [](CQuadrelDoc& d) { d.OnRemoveBorderObject(); });
    onDoc(cmd::RemoveSmall, [](CQuadrelDoc& d) { d.OnRemoveSmallObject(); });
    onDoc(cmd::GetObjectFeatures, [](CQuadrelDoc& d) { d.OnGetObjectFeatures(); });
    onDoc(cmd::GaussianFilter, [](CQuadrelDoc& d) { d.OnGaussianFilter(); });
    onDoc(cmd::FitToWindow, [](CQuadrelDoc& d) { d.OnFitToWindow(); });
    onDoc(cmd::NewClass, [](CQuadrelDoc& d) { d.OnNewClass(); });
    onDoc(cmd::SplitCell, [](CQuadrelDoc& d) { d.OnSplitCell(); });
    onDoc(cmd::MergeCell, [](CQuadrelDoc& d) { d.OnMergeCell(); });
    onDoc(cmd::FeaturesSetup, [](CQuadrelDoc& d) { d.OnFeaturesSetup(); });
    onDoc(cmd::NewRuleClass, [](CQuadrelDoc& d) { d.OnNewRuleClass(); });
    connect(r.action(cmd::AppExit), &QAction::triggered, this, &QWidget::close);

    // The bar toggles: the action shows and hides the bar, the bar keeps the check mark in step.
    auto toggle = [&](const char* name, QWidget* bar) {
        QAction* a = r.action(name);
        connect(a, &QAction::triggered, bar, &QWidget::setVisible);
        a->setChecked(true);
    };
    toggle(cmd::ViewMenubar, menuBar());
    toggle(cmd::ViewToolbar, m_toolBar);
    toggle(cmd::ViewStatusBar, statusBar());
    for (auto& [name, d] : m_docks) {
        QAction* a = r.action(name);
        connect(a, &QAction::triggered, d, &QWidget::setVisible);
        connect(d, &QDockWidget::visibilityChanged, a, [a, dk = d] { a->setChecked(!dk->isHidden()); });
    }
    connect(m_toolBar, &QToolBar::visibilityChanged, r.action(cmd::ViewToolbar), &QAction::setChecked);

    connect(r.action(cmd::FavoritesFolder), &QAction::triggered, this, &CMainFrame::openFavoritesFolder);
    connect(r.action(cmd::AppAbout), &QAction::triggered, this, [this] {
        AboutDialog about(this);
        about.exec();
    });
    connect(r.action(cmd::VisitShowroom), &QAction::triggered, this, [this] { openWebPage(kShowroomUrl); });
    connect(r.action(cmd::VisitShop), &QAction::triggered, this, [this] { openWebPage(kShopUrl); });
}

void CMainFrame::refresh() {
    CommandStateInput in;
    in.doc = &m_doc;
    in.featureGrid = m_featureGrid->selectionState();
    in.classGrid = m_classGrid->selectionState();
    in.statisticGrid = m_statisticGrid->selectionState();
    updateCommandStates(*m_registry, in);
    m_registry->action(cmd::ViewMenubar)->setChecked(!menuBar()->isHidden());
    m_registry->action(cmd::ViewStatusBar)->setChecked(!statusBar()->isHidden());
    for (auto& [name, d] : m_docks)
        m_registry->action(name)->setChecked(!d->isHidden());
    if (m_imageView) m_imageView->viewport()->update();
}

bool CMainFrame::openFile(const QString& path) {
    spdlog::info("opening {}", path.toStdString());
    statusBar()->showMessage("Opening " + path + "...");
    statusBar()->repaint();
    std::string error;
    const bool ok = m_doc.OnOpenDocument(path.toStdString(), error);
    if (!ok) {
        statusBar()->showMessage("Ready");
        const QString text = QString("The file %1 could not be opened: %2")
                                 .arg(QDir::toNativeSeparators(path), QString::fromStdString(error));
        m_doc.ui().showMessage(UiServices::MessageKind::Error, text.toStdString());
        refresh();
        return false;
    }
    m_recent.add(path);
    updateRecentMenu();
    // A new document: the panel takes the members afresh, as at every opening.
    m_propertyView->initialUpdate();
    updateTitle();
    statusBar()->showMessage("Ready");
    refresh();
    return true;
}

void CMainFrame::onFileOpen() {
    CProfile paths("Path");
    std::string dir = paths.getString("InitialDir", "");
    if (dir.empty() || !QFileInfo(QString::fromStdString(dir)).isDir()) dir = QDir::homePath().toStdString();
    const std::optional<std::string> chosen = m_doc.ui().chooseOpenFile("Open", kOpenFilter, dir);
    if (!chosen) return;
    paths.writeString("InitialDir", QFileInfo(QString::fromStdString(*chosen)).absolutePath().toStdString());
    openFile(QString::fromStdString(*chosen));
}

void CMainFrame::afterSave(const std::string& oldPath) {
    if (m_doc.GetPathName() != oldPath && !m_doc.GetPathName().empty()) {
        m_recent.add(QString::fromStdString(m_doc.GetPathName()));
        updateRecentMenu();
    }
    updateTitle();
}

void CMainFrame::updateRecentMenu() {
    const QStringList& files = m_recent.files();
    for (int i = 0; i < static_cast<int>(m_recentActions.size()); ++i) {
        QAction* a = m_recentActions[static_cast<size_t>(i)];
        if (i < files.size()) {
            a->setText(QString("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(files[i])));
            a->setVisible(true);
        } else {
            a->setVisible(false);
        }
    }
    m_recentSeparator->setVisible(!files.isEmpty());
}

void CMainFrame::updateTitle() {
    const std::string& path = m_doc.GetPathName();
    const QString name = path.empty() ? QString("Untitled") : QFileInfo(QString::fromStdString(path)).fileName();
    setWindowTitle(name + " - Quadrel");
}

void CMainFrame::saveLayout() {
    CProfile profile(profileName().toStdString());
    profile.writeString("BarState", saveState().toBase64().toStdString());
    profile.writeString("WindowPlacement", saveGeometry().toBase64().toStdString());
    profile.writeInt("MenuBar", menuBar()->isHidden() ? 0 : 1);
    profile.writeInt("StatusBar", statusBar()->isHidden() ? 0 : 1);
}

bool CMainFrame::restoreLayout() {
    CProfile profile(profileName().toStdString());
    const std::string state = profile.getString("BarState", "");
    if (state.empty()) return false;
    // Every dock must be in a dock area before restoreState places it.
    defaultLayout();
    restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(profile.getString("WindowPlacement", ""))));
    if (!restoreState(QByteArray::fromBase64(QByteArray::fromStdString(state)))) return false;
    menuBar()->setVisible(profile.getInt("MenuBar", 1) != 0);
    statusBar()->setVisible(profile.getInt("StatusBar", 1) != 0);
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    saveLayout();
    m_doc.WriteProperties();
    spdlog::info("main window closed");
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            openFile(url.toLocalFile());
            return;
        }
}

void CMainFrame::openFavoritesFolder() {
    const QString folder = favoritesFolder();
    if (!QFileInfo(folder).isDir()) {
        QMessageBox::warning(this, folder, "The folder does not exist.");
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        QMessageBox::warning(this, folder, "No application could open the folder.");
}

void CMainFrame::openWebPage(const char* url) {
    if (!QDesktopServices::openUrl(QUrl(url))) spdlog::warn("no browser opened {}", url);
}

} // namespace quadrel
