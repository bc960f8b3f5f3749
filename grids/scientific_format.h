#pragma once

#include <QString>

class QLocale;
class QVariant;

namespace quadrel {

// The text a scientific cell shows: the value printed with "%.<p>G", p = the decimal places (6 when
// negative). 123.456789 with 6 shows as 123.457, 1234567 as 1.23457E+06. A value that is not a number
// shows as 0.
QString formatScientific(const QVariant& value, int places);

// The text of a value as the exports write it: doubles with up to 15 significant digits and the
// locale's decimal separator, integers in decimal, text as it stands, nothing for an empty value.
QString exportText(const QVariant& value, const QLocale& locale);

} // namespace quadrel
