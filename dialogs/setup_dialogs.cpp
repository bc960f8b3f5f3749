#include "dialogs/setup_dialogs.h"

#include "dialogs/query_rules.h"
#include "dialogs/stream_file.h"
#include "document/quadrel_doc.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace quadrel {

namespace {

FileChooser defaultChooser(QWidget* parent) {
    return [parent](bool save, const QString& filter, const QString& dir) -> std::optional<std::string> {
        const QString path = save ? QFileDialog::getSaveFileName(parent, QString(), dir, filter)
                                  : QFileDialog::getOpenFileName(parent, QString(), dir, filter);
        if (path.isEmpty()) return std::nullopt;
        return path.toStdString();
    };
}

QPushButton* button(const char* text, QWidget* parent) { return new QPushButton(QString::fromUtf8(text), parent); }

} // namespace

CClassSetupDialog::CClassSetupDialog(QWidget* parent, FileChooser chooser)
    : QDialog(parent), m_chooser(chooser ? std::move(chooser) : defaultChooser(this)) {
    setWindowTitle(QString::fromUtf8(ClassSetupModel::kCaption));
    m_feature = new QComboBox(this);
    for (const auto& c : m_model.featureChoices()) m_feature->addItem(QString::fromStdString(c.text), c.data);
    m_operator = new QComboBox(this);
    for (const auto& c : m_model.operatorChoices()) m_operator->addItem(QString::fromStdString(c.text), c.data);
    m_value = new QLineEdit(this);
    m_list = new QListWidget(this);
    connect(m_feature, &QComboBox::currentIndexChanged, this, [this](int i) { m_model.setFeatureIndex(i); });
    connect(m_operator, &QComboBox::currentIndexChanged, this, [this](int i) { m_model.setOperatorIndex(i); });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_model.setSelectedLine(row); });

    auto* add = button("Add", this);
    auto* andB = button("AND", this);
    auto* orB = button("OR", this);
    auto* del = button("Delete", this);
    auto* load = button("Load...", this);
    auto* save = button("Save As...", this);
    auto* ok = button("OK", this);
    auto* cancel = button("Cancel", this);
    ok->setDefault(true);
    connect(add, &QPushButton::clicked, this, &CClassSetupDialog::onAdd);
    connect(andB, &QPushButton::clicked, this, &CClassSetupDialog::onAnd);
    connect(orB, &QPushButton::clicked, this, &CClassSetupDialog::onOr);
    connect(del, &QPushButton::clicked, this, &CClassSetupDialog::onDelete);
    connect(load, &QPushButton::clicked, this, &CClassSetupDialog::onLoad);
    connect(save, &QPushButton::clicked, this, &CClassSetupDialog::onSaveAs);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Feature"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Op"), this), 0, 1);
    grid->addWidget(m_feature, 1, 0);
    grid->addWidget(m_operator, 1, 1);
    grid->addWidget(m_value, 1, 2);
    grid->addWidget(add, 1, 3);
    auto* side = new QVBoxLayout;
    for (QPushButton* b : {andB, orB, del}) side->addWidget(b);
    side->addStretch();
    grid->addWidget(m_list, 2, 0, 1, 3);
    grid->addLayout(side, 2, 3);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(load);
    bottom->addWidget(save);
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    grid->addLayout(bottom, 3, 0, 1, 4);
}

void CClassSetupDialog::refreshList() {
    m_list->clear();
    for (const std::string& line : m_model.ruleLines()) m_list->addItem(QString::fromStdString(line));
}

void CClassSetupDialog::onAdd() {
    m_model.setValueText(m_value->text().toStdString());
    m_model.add();
    refreshList();
}

void CClassSetupDialog::onAnd() {
    m_model.addAnd();
    refreshList();
}

void CClassSetupDialog::onOr() {
    m_model.addOr();
    refreshList();
}

void CClassSetupDialog::onDelete() {
    m_model.setSelectedLine(m_list->currentRow());
    m_model.deleteSelected();
    refreshList();
}

void CClassSetupDialog::onLoad() {
    const auto path = m_chooser(false, QStringLiteral("Class Files (*.slt)"), QString::fromStdString(m_model.fileFolder()));
    if (!path) return;
    const StreamReadResult r = m_model.load(*path);
    if (!r.ok())
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(*path + ": " + streamReadMessage(r, "class rule file")));
    refreshList();
}

void CClassSetupDialog::onSaveAs() {
    const auto path = m_chooser(true, QStringLiteral("Class Files (*.slt)"), QString::fromStdString(m_model.fileFolder()));
    if (!path) return;
    std::string error;
    if (!m_model.saveAs(*path, &error)) QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
}

CFeatureSetupDialog::CFeatureSetupDialog(std::vector<int32_t> chosen, QWidget* parent, FileChooser chooser)
    : QDialog(parent), m_model(std::move(chosen)), m_chooser(chooser ? std::move(chooser) : defaultChooser(this)) {
    setWindowTitle(QString::fromUtf8(FeaturesSetupModel::kCaption));
    m_available = new QListWidget(this);
    m_chosen = new QListWidget(this);
    for (QListWidget* l : {m_available, m_chosen}) l->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* addAll = button("->>", this);
    auto* addSel = button("-->", this);
    auto* remSel = button("<--", this);
    auto* remAll = button("<<-", this);
    auto* up = button("&Up", this);
    auto* down = button("&Down", this);
    auto* ok = button("OK", this);
    auto* cancel = button("Cancel", this);
    auto* load = button("&Load...", this);
    auto* save = button("&Save As...", this);
    ok->setDefault(true);
    connect(addAll, &QPushButton::clicked, this, &CFeatureSetupDialog::onAddAll);
    connect(addSel, &QPushButton::clicked, this, &CFeatureSetupDialog::onAddSelected);
    connect(remSel, &QPushButton::clicked, this, &CFeatureSetupDialog::onRemoveSelected);
    connect(remAll, &QPushButton::clicked, this, &CFeatureSetupDialog::onRemoveAll);
    connect(up, &QPushButton::clicked, this, &CFeatureSetupDialog::onUp);
    connect(down, &QPushButton::clicked, this, &CFeatureSetupDialog::onDown);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(load, &QPushButton::clicked, this, &CFeatureSetupDialog::onLoad);
    connect(save, &QPushButton::clicked, this, &CFeatureSetupDialog::onSaveAs);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Available fields"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Selected fields"), this), 0, 2);
    grid->addWidget(m_available, 1, 0, 2, 1);
    auto* middle = new QVBoxLayout;
    for (QPushButton* b : {addAll, addSel, remSel, remAll}) middle->addWidget(b);
    middle->addStretch();
    grid->addLayout(middle, 1, 1);
    grid->addWidget(m_chosen, 1, 2);
    auto* order = new QHBoxLayout;
    order->addWidget(up);
    order->addWidget(down);
    grid->addLayout(order, 2, 2);
    auto* right = new QVBoxLayout;
    for (QPushButton* b : {ok, cancel}) right->addWidget(b);
    right->addStretch();
    for (QPushButton* b : {load, save}) right->addWidget(b);
    grid->addLayout(right, 1, 3, 2, 1);
    refreshLists();
}

void CFeatureSetupDialog::takeSelections() {
    std::vector<int> a, c;
    for (int i = 0; i < m_available->count(); ++i)
        if (m_available->item(i)->isSelected()) a.push_back(i);
    for (int i = 0; i < m_chosen->count(); ++i)
        if (m_chosen->item(i)->isSelected()) c.push_back(i);
    m_model.setAvailableSelection(a);
    m_model.setChosenSelection(c);
}

void CFeatureSetupDialog::refreshLists() {
    m_available->clear();
    for (const std::string& name : m_model.available()) m_available->addItem(QString::fromStdString(name));
    m_chosen->clear();
    for (const auto& e : m_model.chosen()) m_chosen->addItem(QString::fromStdString(e.text));
    for (int i : m_model.chosenSelection())
        if (i >= 0 && i < m_chosen->count()) m_chosen->item(i)->setSelected(true);
}

void CFeatureSetupDialog::onAddAll() {
    m_model.addAll();
    refreshLists();
}
void CFeatureSetupDialog::onAddSelected() {
    takeSelections();
    m_model.addSelected();
    refreshLists();
}
void CFeatureSetupDialog::onRemoveSelected() {
    takeSelections();
    m_model.removeSelected();
    refreshLists();
}
void CFeatureSetupDialog::onRemoveAll() {
    m_model.removeAll();
    refreshLists();
}
void CFeatureSetupDialog::onUp() {
    takeSelections();
    m_model.moveUp();
    refreshLists();
}
void CFeatureSetupDialog::onDown() {
    takeSelections();
    m_model.moveDown();
    refreshLists();
}

void CFeatureSetupDialog::onLoad() {
    const auto path = m_chooser(false, QStringLiteral("Feature Files (*.fts)"), QString::fromStdString(m_model.fileFolder()));
    if (!path) return;
    const StreamReadResult r = m_model.load(*path);
    if (!r.ok())
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(*path + ": " + streamReadMessage(r, "feature-list file")));
    refreshLists();
}

void CFeatureSetupDialog::onSaveAs() {
    const auto path = m_chooser(true, QStringLiteral("FeatureFiles (*.fts)"), QString::fromStdString(m_model.fileFolder()));
    if (!path) return;
    std::string error;
    if (!m_model.saveAs(*path, &error)) QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
}

bool runClassSetupCommand(CQuadrelDoc& doc, QWidget* parent, const std::function<int(CClassSetupDialog&)>& exec) {
    CClassSetupDialog dialog(parent);
    const int result = exec ? exec(dialog) : dialog.exec();
    if (result != QDialog::Accepted) return false;
    doc.AddRuleClasses(dialog.model().rule());
    return true;
}

bool runFeaturesSetupCommand(CQuadrelDoc& doc, QWidget* parent, const std::function<int(CFeatureSetupDialog&)>& exec) {
    std::vector<int32_t> ids;
    for (const auto& [pos, f] : *doc.GetFeatures()) ids.push_back(f.id());
    CFeatureSetupDialog dialog(ids, parent);
    const int result = exec ? exec(dialog) : dialog.exec();
    if (result != QDialog::Accepted) return false;
    FeatureList list;
    int32_t pos = 0;
    for (int32_t id : dialog.model().chosenIdentifiers()) list[pos++] = TFeature(id);
    doc.SetFeatures(list);
    return true;
}

} // namespace quadrel
