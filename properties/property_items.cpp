#include "properties/property_items.h"

#include "document/quadrel_doc.h"
#include "grids/scientific_format.h"
#include "persistence/calibration.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace quadrel {

bool parseNumber(const QString& text, double& value) {
    const QString t = text.trimmed();
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (!ok) v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) return false;
    value = v;
    return true;
}

namespace {

QString numberText(double v) {
    return QString::number(v, 'g', 15);
}

} // namespace

// ---- line items ----

QWidget* CLinePropertyValue::createEditor(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setObjectName(name());
    m_editor = edit;
    RefreshValue();
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [this] {
        if (line()->isModified()) commit();
    });
    return edit;
}

QLineEdit* CLinePropertyValue::line() const {
    return static_cast<QLineEdit*>(m_editor);
}

QString CLinePropertyValue::text() const {
    return m_editor ? line()->text() : QString();
}

void CLinePropertyValue::show(const QString& text) {
    if (!m_editor) return;
    line()->setText(text);
    line()->setModified(false);
}

void CLinePropertyValue::commit() {
    if (!m_editor) return;
    const QString typed = line()->text();
    const bool tell = apply(typed);
    line()->setModified(false);
    if (tell) completed();
}

CCalibrationPropertyValue::CCalibrationPropertyValue(QString name, std::shared_ptr<TCalibration> calibration)
    : CLinePropertyValue(std::move(name)), m_calibration(std::move(calibration)) {}

void CCalibrationPropertyValue::RefreshValue() {
    show(formatScientific(m_calibration->pixelsPerUnit(1.0, 0.0), -1));
}

bool CCalibrationPropertyValue::apply(const QString& text) {
    double v = 0;
    if (!parseNumber(text, v)) {
        RefreshValue();
        return false;
    }
    if (v >= 0) {
        const double factor = m_calibration->unitFactor == 0 ? 1.0 : m_calibration->unitFactor;
        m_calibration->setPixelsPerBaseUnit(v / factor);
    }
    // A negative resolution is refused: the calibration stays and shows again.
    RefreshValue();
    return true;
}

COleVariantPropertyValue::COleVariantPropertyValue(QString name, Member member)
    : CLinePropertyValue(std::move(name)), m_member(std::move(member)) {}

void COleVariantPropertyValue::RefreshValue() {
    if (auto* d = std::get_if<std::shared_ptr<double>>(&m_member))
        show(numberText(**d));
    else
        show(QString::number(*std::get<std::shared_ptr<int32_t>>(m_member)));
}

bool COleVariantPropertyValue::apply(const QString& text) {
    double v = 0;
    bool ok = parseNumber(text, v);
    if (ok) {
        if (auto* d = std::get_if<std::shared_ptr<double>>(&m_member)) {
            **d = v;
        } else {
            // Only whole numbers in range fit an integer member.
            ok = v == std::trunc(v) && v >= INT32_MIN && v <= INT32_MAX;
            if (ok) *std::get<std::shared_ptr<int32_t>>(m_member) = static_cast<int32_t>(v);
        }
    }
    RefreshValue();
    return ok;
}

CRangedVariantPropValue::CRangedVariantPropValue(QString name, std::shared_ptr<RangedInt> member)
    : CLinePropertyValue(std::move(name)), m_member(std::move(member)) {}

void CRangedVariantPropValue::RefreshValue() {
    m_member->value = std::clamp(m_member->value, m_member->minimum, m_member->maximum);
    show(QString::number(m_member->value));
}

bool CRangedVariantPropValue::apply(const QString& text) {
    double v = 0;
    if (!parseNumber(text, v) || v != std::trunc(v)) {
        RefreshValue();
        return false;
    }
    const double clamped =
        std::clamp(v, static_cast<double>(m_member->minimum), static_cast<double>(m_member->maximum));
    m_member->value = static_cast<int32_t>(clamped);
    RefreshValue();
    return true;
}

// ---- check box ----

CBooleanPropValue::CBooleanPropValue(QString name, std::shared_ptr<bool> member)
    : CReceiverPropertyValue(std::move(name)), m_member(std::move(member)) {}

QWidget* CBooleanPropValue::createEditor(QWidget* parent) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(name());
    m_editor = box;
    RefreshValue();
    QObject::connect(box, &QCheckBox::clicked, box, [this](bool checked) {
        *m_member = checked;
        completed();
    });
    return box;
}

QCheckBox* CBooleanPropValue::checkBox() const {
    return static_cast<QCheckBox*>(m_editor);
}

void CBooleanPropValue::RefreshValue() {
    if (m_editor) checkBox()->setChecked(*m_member);
}

QString CBooleanPropValue::text() const {
    return *m_member ? "true" : "false";
}

// ---- drop-down list ----

CItemVectorPropValue::CItemVectorPropValue(QString name, int32_t* member, Choices choices)
    : CReceiverPropertyValue(std::move(name)), m_member(member), m_choices(std::move(choices)) {}

QWidget* CItemVectorPropValue::createEditor(QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name());
    box->setEditable(false); // only the listed choices
    for (const auto& [value, text] : m_choices)
        box->addItem(text, value);
    m_editor = box;
    RefreshValue();
    QObject::connect(box, &QComboBox::activated, box, [this](int index) {
        if (index < 0) return;
        *m_member = comboBox()->itemData(index).toInt();
        completed();
    });
    return box;
}

QComboBox* CItemVectorPropValue::comboBox() const {
    return static_cast<QComboBox*>(m_editor);
}

void CItemVectorPropValue::RefreshValue() {
    if (!m_editor) return;
    const int index = comboBox()->findData(*m_member);
    comboBox()->setCurrentIndex(index < 0 ? 0 : index);
}

QString CItemVectorPropValue::text() const {
    return m_editor ? comboBox()->currentText() : QString();
}

} // namespace quadrel
