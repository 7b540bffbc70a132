// The program's value rules, used everywhere a text becomes a number or a number a text:
// the number a text begins with, rounding into 16-bit fields, checked 16-bit arithmetic,
// plain and shortest decimal text, and the default text of a cell value.
#pragma once

#include "platform/workbook/Workbook.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <stdexcept>

namespace rostrel {

// A 16-bit field or 16-bit arithmetic left -32768..32767: the action in progress fails.
class OverflowError : public std::runtime_error {
public:
    OverflowError() : std::runtime_error("16-bit overflow") {}
};

// A value that has no text form (an error cell): the action in progress fails.
class TypeMismatchError : public std::runtime_error {
public:
    TypeMismatchError() : std::runtime_error("value cannot be converted") {}
};

// The number a text begins with: leading blanks (space, tab, CR, LF) are skipped, then an
// optional sign, digits with at most one "." and an optional exponent ("1e2" is 100).
// A text that does not begin with a number reads as 0. `found` tells whether digits were read.
double leadingNumber(QStringView text, bool* found = nullptr);

// True when the whole text (blanks around it allowed) is one number; an empty text is not.
bool isNumber(QStringView text);

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4), into a
// 16-bit field; throws OverflowError outside -32768..32767 (NaN included).
int16_t toInt16(double value);

// leadingNumber + toInt16.
int16_t readInt16(QStringView text);

// Checked 16-bit arithmetic; throws OverflowError when the result leaves the range.
int16_t add16(int a, int b);
int16_t sub16(int a, int b);
int16_t mul16(int a, int b);

// Plain decimal text of an integer: no leading zeros, no leading blank.
QString plainText(long long value);

// Shortest decimal text of a number at 15 significant digits, as the program shows numbers:
// 2.5 -> "2.5", 100 -> "100", 0.1 + 0.2 -> "0.3", -0 -> "0". Very large or small magnitudes
// use an exponent ("1E+20", "1E-20").
QString numberText(double value);

// A cell value as read from or written to the roll book, and held in the cell tables.
struct Cell {
    enum class Kind { Empty, Number, Date, Text, Bool, Error };
    Kind kind = Kind::Empty;
    double number = 0.0; // Number, Date (serial day number, 1900 system)
    QString text;        // Text
    bool boolean = false;
    workbook::CellValue::ErrorCode error = workbook::CellValue::ErrorCode::Null;

    static Cell fromNumber(double v) {
        Cell c;
        c.kind = Kind::Number;
        c.number = v;
        return c;
    }
    static Cell fromDate(double serial) {
        Cell c;
        c.kind = Kind::Date;
        c.number = serial;
        return c;
    }
    static Cell fromText(const QString& t) {
        Cell c;
        c.kind = Kind::Text;
        c.text = t;
        return c;
    }
    static Cell fromBool(bool b) {
        Cell c;
        c.kind = Kind::Bool;
        c.boolean = b;
        return c;
    }
    static Cell fromError(workbook::CellValue::ErrorCode e) {
        Cell c;
        c.kind = Kind::Error;
        c.error = e;
        return c;
    }

    bool isEmpty() const { return kind == Kind::Empty; }
    friend bool operator==(const Cell&, const Cell&) = default;
};

// The default text conversion of a cell value: empty -> "", number -> numberText, text as is,
// date -> "yyyy/M/d" (with " h:mm:ss" when it has a time of day), boolean -> "True"/"False".
// An error value has no text: throws TypeMismatchError.
QString defaultText(const Cell& cell);

// The number a cell holds: a number as it is; anything else is its default text read by its
// leading number (empty -> 0, "12abc" -> 12). Error values throw TypeMismatchError.
double cellNumber(const Cell& cell);

// "MM月dd" of a date serial number (1900 date system).
QString monthDayLabel(double dateSerial);

} // namespace rostrel
