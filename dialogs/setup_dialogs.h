#pragma once

#include "dialogs/class_setup_model.h"
#include "dialogs/features_setup_model.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QComboBox;
class QLineEdit;
class QListWidget;

namespace quadrel {

class CQuadrelDoc;

// Where the dialogs ask for file names; the program shows file choosers, the tests answer directly.
using FileChooser = std::function<std::optional<std::string>(bool save, const QString& filter, const QString& dir)>;

// "Class Setup": the user writes a class rule of comparisons and AND / OR in postfix order.
class CClassSetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit CClassSetupDialog(QWidget* parent = nullptr, FileChooser chooser = {});

    ClassSetupModel& model() { return m_model; }
    QComboBox* featureBox() const { return m_feature; }
    QComboBox* operatorBox() const { return m_operator; }
    QLineEdit* valueBox() const { return m_value; }
    QListWidget* ruleList() const { return m_list; }

    void onAdd();
    void onAnd();
    void onOr();
    void onDelete();
    void onLoad();
    void onSaveAs();

private:
    void refreshList();

    ClassSetupModel m_model;
    FileChooser m_chooser;
    QComboBox* m_feature = nullptr;
    QComboBox* m_operator = nullptr;
    QLineEdit* m_value = nullptr;
    QListWidget* m_list = nullptr;
};

// "Features Setup": which features the grids show, in which order.
class CFeatureSetupDialog : public QDialog {
    Q_OBJECT
public:
    CFeatureSetupDialog(std::vector<int32_t> chosen, QWidget* parent = nullptr, FileChooser chooser = {});

    FeaturesSetupModel& model() { return m_model; }
    QListWidget* availableList() const { return m_available; }
    QListWidget* chosenList() const { return m_chosen; }

    void onAddAll();
    void onAddSelected();
    void onRemoveSelected();
    void onRemoveAll();
    void onUp();
    void onDown();
    void onLoad();
    void onSaveAs();

private:
    void takeSelections();
    void refreshLists();

    FeaturesSetupModel m_model;
    FileChooser m_chooser;
    QListWidget* m_available = nullptr;
    QListWidget* m_chosen = nullptr;
};

// The document commands "New..." and "Features setup..." with their dialogs: true when the user pressed
// OK and the document took the result. `exec` runs the dialog (tests replace it).
bool runClassSetupCommand(CQuadrelDoc& doc, QWidget* parent, const std::function<int(CClassSetupDialog&)>& exec = {});
bool runFeaturesSetupCommand(CQuadrelDoc& doc, QWidget* parent,
                             const std::function<int(CFeatureSetupDialog&)>& exec = {});

} // namespace quadrel
