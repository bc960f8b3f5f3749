#include "properties/property_grid_view.h"

#include "document/quadrel_doc.h"
#include "properties/property_items.h"

#include <QHeaderView>

namespace quadrel {

CPropertyGridView::CPropertyGridView(CQuadrelDoc& doc, QWidget* parent) : QTreeWidget(parent), m_doc(doc) {
    setObjectName("GENERAL");
    setColumnCount(2);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_doc.addView(this);
    initialUpdate();
}

CPropertyGridView::~CPropertyGridView() {
    m_doc.removeView(this);
    clear();
}

void CPropertyGridView::insertPropertyItem(QTreeWidgetItem* category, std::unique_ptr<CReceiverPropertyValue> item,
                                           int changeId) {
    item->setChangeId(changeId);
    item->onCompleted = [this](CReceiverPropertyValue& edited) {
        m_doc.OnPropertyChanged(edited.changeId());
        Q_EMIT propertyChanged(edited.changeId());
    };
    auto* row = new QTreeWidgetItem(category, QStringList{item->name()});
    setItemWidget(row, 1, item->createEditor(this));
    m_items.push_back(std::move(item));
}

void CPropertyGridView::initialUpdate() {
    clear(); // deletes the editors with their rows
    m_items.clear();
    auto category = [this](const QString& name) {
        auto* c = new QTreeWidgetItem(this, QStringList{name});
        QFont f = font();
        f.setBold(true);
        c->setFont(0, f);
        c->setFirstColumnSpanned(true);
        return c;
    };
    QTreeWidgetItem* calibration = category("Calibration");
    insertPropertyItem(
        calibration, std::make_unique<CCalibrationPropertyValue>("XResolution (pixel/unit)", m_doc.m_calibrationX), 15);
    insertPropertyItem(
        calibration, std::make_unique<CCalibrationPropertyValue>("YResolution (pixel/unit)", m_doc.m_calibrationY), 15);
    insertPropertyItem(
        calibration,
        std::make_unique<CItemVectorPropValue>("Measure Unit", &m_doc.m_unitType,
                                               CItemVectorPropValue::Choices{{0, "Millimeter"}, {1, "Inch"}}),
        16);

    QTreeWidgetItem* object = category("Object");
    insertPropertyItem(object, std::make_unique<COleVariantPropertyValue>("Minimum Size", m_doc.m_minObjectSize), 0);
    insertPropertyItem(object, std::make_unique<CBooleanPropValue>("Remove border", m_doc.m_removeBorder), 0);
    insertPropertyItem(object, std::make_unique<COleVariantPropertyValue>("Border size", m_doc.m_borderSize), 0);
    insertPropertyItem(
        object,
        std::make_unique<CItemVectorPropValue>("Thresholded type", &m_doc.m_objectType,
                                               CItemVectorPropValue::Choices{{1, "Bright"}, {0, "Dark"}}),
        0);

    QTreeWidgetItem* misc = category("Miscellaneous");
    insertPropertyItem(misc, std::make_unique<COleVariantPropertyValue>("ROI Magnification", m_doc.m_roiMagnification),
                       14);
    insertPropertyItem(misc, std::make_unique<CRangedVariantPropValue>("Gaussian Filter Size", m_doc.m_gaussianSize),
                       0);
    expandAll();
}

void CPropertyGridView::onUpdate(CQuadrelDoc&, int hint, CDocumentView* sender) {
    if (hint == kHintUnitChanged && sender != this) refreshItems();
}

void CPropertyGridView::refreshItems() {
    for (const auto& item : m_items)
        item->RefreshValue();
}

CReceiverPropertyValue* CPropertyGridView::item(const QString& name) const {
    for (const auto& i : m_items)
        if (i->name() == name) return i.get();
    return nullptr;
}

} // namespace quadrel
