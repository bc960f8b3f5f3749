#pragma once

#include "shell/recent_files.h"

#include <QMainWindow>
#include <memory>
#include <vector>

class QDockWidget;
class QMenu;
class QPrinter;
class QToolBar;

namespace quadrel {

class ActionRegistry;
class CClassGridView;
class CFeatureGridView;
class CImageView;
class CPropertyGridView;
class CQuadrelDoc;
class CStatisticGridView;
class FavoritesPanel;
class QtUiServices;
class UiServices;

// The main window: the image view in the middle; the menu bar, toolbar and status bar; the five
// panels (favorites, classes, features, properties, statistics) that dock on their allowed sides and
// keep their layout between runs.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // `ui` replaces the program's dialogs and message boxes (tests); by default the frame makes its own.
    explicit CMainFrame(CQuadrelDoc& doc, UiServices* ui = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Opens a file into the document; on failure the user is told which file and why.
    bool openFile(const QString& path);

    ActionRegistry& registry() const { return *m_registry; }
    CQuadrelDoc& document() const { return m_doc; }
    CImageView* imageView() const { return m_imageView; }
    CFeatureGridView* featureGrid() const { return m_featureGrid; }
    CClassGridView* classGrid() const { return m_classGrid; }
    CStatisticGridView* statisticGrid() const { return m_statisticGrid; }
    CPropertyGridView* propertyView() const { return m_propertyView; }
    FavoritesPanel* favorites() const { return m_favorites; }
    QDockWidget* dock(const QString& commandName) const;
    const RecentFiles& recentFiles() const { return m_recent; }

    // The settings section of the saved layout: "Main." and the program's version.
    static QString profileName();
    void saveLayout();
    bool restoreLayout();

    // Enabled and checked states of every command, and a repaint.
    void refresh();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    void buildMenus();
    void buildToolBar();
    void buildDocks();
    void connectCommands();
    void defaultLayout();
    void runCommand(const QString& text, const std::function<void()>& command);
    void onFileOpen();
    void afterSave(const std::string& oldPath);
    void updateRecentMenu();
    void updateTitle();
    void openFavoritesFolder();
    void openWebPage(const char* url);
    QDockWidget* addPanel(const char* command, const QString& title, QWidget* content, Qt::DockWidgetAreas areas);

    CQuadrelDoc& m_doc;
    std::unique_ptr<QtUiServices> m_ownUi;
    ActionRegistry* m_registry;
    CImageView* m_imageView = nullptr;
    CFeatureGridView* m_featureGrid = nullptr;
    CClassGridView* m_classGrid = nullptr;
    CStatisticGridView* m_statisticGrid = nullptr;
    CPropertyGridView* m_propertyView = nullptr;
    FavoritesPanel* m_favorites = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    std::vector<QAction*> m_recentActions;
    std::vector<std::pair<QString, QDockWidget*>> m_docks;
    RecentFiles m_recent;
    std::shared_ptr<QPrinter> m_printer;
};

} // namespace quadrel
