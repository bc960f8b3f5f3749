#include "grids/scientific_format.h"

#include <QLocale>
#include <QVariant>
#include <cstdio>

namespace quadrel {

QString formatScientific(const QVariant& value, int places) {
    bool ok = false;
    double v = value.toDouble(&ok);
    if (!ok) v = 0.0;
    const int p = places < 0 ? 6 : places;
    char format[16];
    std::snprintf(format, sizeof format, "%%.%dG", p);
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, format, v);
    return QString::fromLatin1(buffer);
}

QString exportText(const QVariant& value, const QLocale& locale) {
    if (!value.isValid() || value.isNull()) return {};
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.15G", value.toDouble());
        QString text = QString::fromLatin1(buffer);
        text.replace('.', locale.decimalPoint());
        return text;
    }
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toString();
    default:
        return value.toString();
    }
}

} // namespace quadrel
