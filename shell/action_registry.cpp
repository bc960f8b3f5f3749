#include "shell/action_registry.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <cstdio>
#include <cstdlib>

namespace quadrel {

namespace {

struct CommandRow {
    const char* name;
    int id;           // the original command number
    const char* text; // menu text; a tab separates the shortcut shown in the menu
    bool checkable = false;
};

// The commands of the main menu, the toolbar and the two context menus.
const CommandRow kCommands[] = {
    {cmd::FileOpen, 57601, "&Open...\tCtrl+O"},
    {cmd::FileSave, 57603, "&Save\tCtrl+S"},
    {cmd::FileSaveAs, 57604, "Save &As..."},
    {cmd::LoadROI, 32796, "Load ROI..."},
    {cmd::AppExit, 57665, "E&xit"},
    {cmd::AutomaticThreshold, 32797, "Automatic Threshold"},
    {cmd::ManualThreshold, 32798, "Manual Threshold..."},
    {cmd::FillHoles, 32800, "Fill Hole Object"},
    {cmd::RemoveBorder, 32799, "Remove Border Object"},
    {cmd::RemoveSmall, 32801, "Remove Small Object"},
    {cmd::GaussianFilter, 32802, "Gaussian Filter"},
    {cmd::GetObjectFeatures, 32803, "Get Object Features"},
    {cmd::FitToWindow, 32793, "Fit to window", true},
    {cmd::NewClass, 32771, "New Class"},
    {cmd::NewRuleClass, 32785, "New..."},
    {cmd::FeaturesSetup, 32786, "Features setup..."},
    {cmd::SplitCell, 32787, "Split Cell"},
    {cmd::MergeCell, 32788, "Merge Cell"},
    {cmd::ViewMenubar, 23366, "&Menubar", true},
    {cmd::ViewToolbar, 59392, "&Toolbar", true},
    {cmd::ViewStatusBar, 59393, "&Status Bar", true},
    {cmd::ViewFavorites, 23367, "&Favorites", true},
    {cmd::ViewClasses, 23368, "&Class View", true},
    {cmd::ViewFeatures, 23369, "F&eatures View", true},
    {cmd::ViewProperties, 23370, "&Properties", true},
    {cmd::ViewStatistics, 23371, "St&atistics View", true},
    {cmd::FavoritesFolder, 32804, "Favorites folder..."},
    {cmd::AppAbout, 57664, "&About Quadrel..."},
    {cmd::VisitShowroom, 32805, "Visit our showroom..."},
    {cmd::VisitShop, 32806, "Visit our shop..."},
};

struct GridCommandRow {
    const char* command;
    int featureId, classId, statisticId;
    const char* text;
};

// Commands every grid offers; each grid gets its own action so that a command acts on the grid whose
// menu showed it. A 0 id means the grid does not serve the command.
const GridCommandRow kGridCommands[] = {
    {cmd::SelectAll, 32772, 32782, 32772, "Select All"},
    {cmd::ClearSelection, 32774, 32783, 32774, "Clear Selection"},
    {cmd::InverseSelection, 32773, 32784, 32773, "Inverse Selection"},
    {cmd::Print, 57607, 57607, 57607, "Print"},
    {cmd::PrintPreview, 57609, 57609, 57609, "Print Preview"},
    {cmd::PrintSetup, 57606, 57606, 57606, "Print Setup..."},
    {cmd::ExportExcel, 32794, 32794, 32794, "Export To Excel"},
    {cmd::ExportCsv, 32795, 32795, 32795, "Export As CSV..."},
    {cmd::Rename, 0, 32775, 0, "Rename"},
    {cmd::Delete, 0, 32776, 0, "Delete"},
    {cmd::Union, 0, 32777, 0, "Union"},
    {cmd::Intersect, 0, 32778, 0, "Intersect"},
    {cmd::Complement, 0, 32779, 0, "Complement"},
    {cmd::Difference, 0, 32780, 0, "Difference"},
    {cmd::Xor, 0, 32781, 0, "Xor"},
};

QAction* makeAction(QObject* parent, const QString& name, int id, const QString& menuText, bool checkable) {
    const int tab = menuText.indexOf('\t');
    auto* a = new QAction(tab < 0 ? menuText : menuText.left(tab), parent);
    if (tab >= 0) a->setShortcut(QKeySequence(menuText.mid(tab + 1), QKeySequence::PortableText));
    a->setObjectName(name);
    a->setData(id);
    a->setCheckable(checkable);
    return a;
}

} // namespace

QString gridCommand(const char* grid, const char* command) {
    return QString("%1.%2").arg(grid, command);
}

ActionRegistry::ActionRegistry(QObject* parent) : QObject(parent) {
    for (const CommandRow& row : kCommands)
        m_actions[row.name] = makeAction(this, row.name, row.id, row.text, row.checkable);
    for (const GridCommandRow& row : kGridCommands) {
        const std::pair<const char*, int> grids[] = {
            {kFeatureGrid, row.featureId}, {kClassGrid, row.classId}, {kStatisticGrid, row.statisticId}};
        for (const auto& [grid, id] : grids) {
            if (id == 0) continue;
            const QString name = gridCommand(grid, row.command);
            m_actions[name] = makeAction(this, name, id, row.text, false);
        }
    }
    // The shortcuts belong to the main window, not to whichever panel has the focus.
    for (auto& [name, a] : m_actions)
        a->setShortcutContext(Qt::WindowShortcut);
}

QAction* ActionRegistry::action(const QString& name) const {
    auto it = m_actions.find(name);
    if (it == m_actions.end()) {
        std::fprintf(stderr, "quadrel: no command named %s\n", qPrintable(name));
        std::abort();
    }
    return it->second;
}

std::vector<QString> ActionRegistry::names() const {
    std::vector<QString> out;
    for (const auto& [name, a] : m_actions)
        out.push_back(name);
    return out;
}

void ActionRegistry::fill(QMenu* menu, const std::vector<QString>& names) const {
    for (const QString& n : names) {
        if (n.isEmpty())
            menu->addSeparator();
        else
            menu->addAction(action(n));
    }
}

int ActionRegistry::commandId(const QAction* action) {
    return action ? action->data().toInt() : 0;
}

} // namespace quadrel
