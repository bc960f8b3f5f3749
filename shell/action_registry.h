#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <vector>

class QAction;
class QMenu;

namespace quadrel {

// Every command of the program is one QAction, created here from one table and found by its name.
// Menus, the toolbar and the context menus of the grids all show the same action objects, so a command
// has one text, one shortcut and one enabled state wherever it appears.
class ActionRegistry : public QObject {
    Q_OBJECT
public:
    explicit ActionRegistry(QObject* parent = nullptr);

    // The action of that name; asking for an unknown name is a programming error and aborts.
    QAction* action(const QString& name) const;
    bool contains(const QString& name) const { return m_actions.count(name) != 0; }
    std::vector<QString> names() const;

    // Appends the named actions to a menu; an empty name is a separator.
    void fill(QMenu* menu, const std::vector<QString>& names) const;

    // The command number the original program gave the command (kept for the logs and the tests).
    static int commandId(const QAction* action);

private:
    std::map<QString, QAction*> m_actions;
};

// Names of the commands, so that callers cannot misspell them.
namespace cmd {
inline constexpr const char* FileOpen = "FileOpen";
inline constexpr const char* FileSave = "FileSave";
inline constexpr const char* FileSaveAs = "FileSaveAs";
inline constexpr const char* LoadROI = "LoadROI";
inline constexpr const char* AppExit = "AppExit";
inline constexpr const char* AutomaticThreshold = "AutomaticThreshold";
inline constexpr const char* ManualThreshold = "ManualThreshold";
inline constexpr const char* FillHoles = "FillHoles";
inline constexpr const char* RemoveBorder = "RemoveBorder";
inline constexpr const char* RemoveSmall = "RemoveSmall";
inline constexpr const char* GaussianFilter = "GaussianFilter";
inline constexpr const char* GetObjectFeatures = "GetObjectFeatures";
inline constexpr const char* FitToWindow = "FitToWindow";
inline constexpr const char* NewClass = "NewClass";
inline constexpr const char* NewRuleClass = "NewRuleClass";
inline constexpr const char* FeaturesSetup = "FeaturesSetup";
inline constexpr const char* SplitCell = "SplitCell";
inline constexpr const char* MergeCell = "MergeCell";
inline constexpr const char* ViewMenubar = "ViewMenubar";
inline constexpr const char* ViewToolbar = "ViewToolbar";
inline constexpr const char* ViewStatusBar = "ViewStatusBar";
inline constexpr const char* ViewFavorites = "ViewFavorites";
inline constexpr const char* ViewClasses = "ViewClasses";
inline constexpr const char* ViewFeatures = "ViewFeatures";
inline constexpr const char* ViewProperties = "ViewProperties";
inline constexpr const char* ViewStatistics = "ViewStatistics";
inline constexpr const char* FavoritesFolder = "FavoritesFolder";
inline constexpr const char* AppAbout = "AppAbout";
inline constexpr const char* VisitShowroom = "VisitShowroom";
inline constexpr const char* VisitShop = "VisitShop";
// Grid commands: one set per grid, named "<grid>.<command>" with the grids below.
inline constexpr const char* SelectAll = "SelectAll";
inline constexpr const char* ClearSelection = "ClearSelection";
inline constexpr const char* InverseSelection = "InverseSelection";
inline constexpr const char* ExportExcel = "ExportExcel";
inline constexpr const char* ExportCsv = "ExportCsv";
inline constexpr const char* Print = "Print";
inline constexpr const char* PrintPreview = "PrintPreview";
inline constexpr const char* PrintSetup = "PrintSetup";
inline constexpr const char* Rename = "Rename";
inline constexpr const char* Delete = "Delete";
inline constexpr const char* Union = "Union";
inline constexpr const char* Intersect = "Intersect";
inline constexpr const char* Complement = "Complement";
inline constexpr const char* Difference = "Difference";
inline constexpr const char* Xor = "Xor";
} // namespace cmd

inline constexpr const char* kFeatureGrid = "feature";
inline constexpr const char* kClassGrid = "class";
inline constexpr const char* kStatisticGrid = "statistic";

// "<grid>.<command>"
QString gridCommand(const char* grid, const char* command);

} // namespace quadrel
