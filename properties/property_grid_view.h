#pragma once

#include "document/view_updates.h"

#include <QTreeWidget>
#include <memory>
#include <vector>

namespace quadrel {

class CQuadrelDoc;
class CReceiverPropertyValue;

// The property panel: the document's analysis properties and calibrations by category, each edited in
// place. After an edit the document is told the item's change id; on hint 2 every item reloads.
class CPropertyGridView : public QTreeWidget, public CDocumentView {
    Q_OBJECT
public:
    explicit CPropertyGridView(CQuadrelDoc& doc, QWidget* parent = nullptr);
    ~CPropertyGridView() override;

    // Builds the categories and items anew from the document's members.
    void initialUpdate();
    void onUpdate(CQuadrelDoc& doc, int hint, CDocumentView* sender) override;
    void refreshItems();

    CReceiverPropertyValue* item(const QString& name) const;

Q_SIGNALS:
    // The document was told of an edit.
    void propertyChanged(int changeId);

private:
    void insertPropertyItem(QTreeWidgetItem* category, std::unique_ptr<CReceiverPropertyValue> item, int changeId);

    CQuadrelDoc& m_doc;
    std::vector<std::unique_ptr<CReceiverPropertyValue>> m_items;
};

} // namespace quadrel
