#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QWidget;

namespace quadrel {

class TCalibration;
struct RangedInt;

// An item of the property panel, bound to one document member. Its editor writes the member when the
// user completes an input, then the item reports the completion (with its change id) to the panel.
class CReceiverPropertyValue {
public:
    explicit CReceiverPropertyValue(QString name) : m_name(std::move(name)) {}
    virtual ~CReceiverPropertyValue() = default;
    CReceiverPropertyValue(const CReceiverPropertyValue&) = delete;
    CReceiverPropertyValue& operator=(const CReceiverPropertyValue&) = delete;

    const QString& name() const { return m_name; }
    // The change id handed to the document after an edit; 0 when the item has none.
    int changeId() const { return m_changeId; }
    void setChangeId(int id) { m_changeId = id; }

    // The editor is created once and owned by the parent widget.
    virtual QWidget* createEditor(QWidget* parent) = 0;
    QWidget* editor() const { return m_editor; }
    // Reloads the editor from the bound member.
    virtual void RefreshValue() = 0;
    // The text the editor shows.
    virtual QString text() const = 0;

    std::function<void(CReceiverPropertyValue&)> onCompleted;

protected:
    void completed() {
        if (onCompleted) onCompleted(*this);
    }
    QWidget* m_editor = nullptr;

private:
    QString m_name;
    int m_changeId = 0;
};

// Base of the items typed into a line: the input is taken when the user finishes it (Return or leaving
// the field) and only when it was changed.
class CLinePropertyValue : public CReceiverPropertyValue {
public:
    using CReceiverPropertyValue::CReceiverPropertyValue;
    QWidget* createEditor(QWidget* parent) override;
    QString text() const override;
    // Takes the editor's text as if the user had finished typing it.
    void commit();

protected:
    // Applies the typed text; returns whether the document is to be told.
    virtual bool apply(const QString& text) = 0;
    void show(const QString& text);
    QLineEdit* line() const;
};

// Pixels per measure unit of one calibration. Negative values are refused (the old value shows again).
class CCalibrationPropertyValue : public CLinePropertyValue {
public:
    CCalibrationPropertyValue(QString name, std::shared_ptr<TCalibration> calibration);
    void RefreshValue() override;

protected:
    bool apply(const QString& text) override;

private:
    std::shared_ptr<TCalibration> m_calibration;
};

// A number: invalid input keeps the previous value.
class COleVariantPropertyValue : public CLinePropertyValue {
public:
    using Member = std::variant<std::shared_ptr<double>, std::shared_ptr<int32_t>>;
    COleVariantPropertyValue(QString name, Member member);
    void RefreshValue() override;

protected:
    bool apply(const QString& text) override;

private:
    Member m_member;
};

// An integer with a range: input outside it is brought to the nearer bound and shown so.
class CRangedVariantPropValue : public CLinePropertyValue {
public:
    CRangedVariantPropValue(QString name, std::shared_ptr<RangedInt> member);
    void RefreshValue() override;

protected:
    bool apply(const QString& text) override;

private:
    std::shared_ptr<RangedInt> m_member;
};

class CBooleanPropValue : public CReceiverPropertyValue {
public:
    CBooleanPropValue(QString name, std::shared_ptr<bool> member);
    QWidget* createEditor(QWidget* parent) override;
    void RefreshValue() override;
    QString text() const override;
    QCheckBox* checkBox() const;

private:
    std::shared_ptr<bool> m_member;
};

// A choice from a fixed list, bound to an integer member by its address.
class CItemVectorPropValue : public CReceiverPropertyValue {
public:
    using Choices = std::vector<std::pair<int32_t, QString>>;
    CItemVectorPropValue(QString name, int32_t* member, Choices choices);
    QWidget* createEditor(QWidget* parent) override;
    void RefreshValue() override;
    QString text() const override;
    QComboBox* comboBox() const;

private:
    int32_t* m_member;
    Choices m_choices;
};

// Reads a number the way a user may type it: in the user's locale or with a point.
bool parseNumber(const QString& text, double& value);

} // namespace quadrel
