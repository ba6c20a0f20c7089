#pragma once

#include "korvaclient.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace mir {

enum class Verdict {
    NotMir,      // the text does not start with "T5"
    Incomplete,  // the declared length (header columns 11-15) is not the text's length minus 1
    Interpreted, // the booking tree is filled
};

struct Interpretation {
    Verdict verdict = Verdict::NotMir;
    std::optional<korva::Pnr> pnr; // the booking tree, only when interpreted
    QString Cpnid;                 // columns 8-15 of the first "A08" line that gives any
    QString Cpnid2Source;          // header columns 227-241
};

// The verdict on a text in the interpreter's form (see mirtext.h) before any
// object is made.
Verdict judgeMirText(QStringView text);

// Interprets a text in the interpreter's form. Creates KORVA objects only for
// an interpreted text; throws korva::Error when KORVA cannot be activated.
//
// Malformed input never fails: short lines give short or empty fields, and a
// number gives its value however long it is. Where a value cannot fit the
// 16-bit or 32-bit whole number the record holds, the remark that carries it
// changes nothing (a passenger number beyond 16 bits names no passenger; an
// amount beyond 32 bits is not set). A collection keys its members by 16-bit
// numbers, so lines beyond its 32767th member are ignored.
Interpretation interpretMirText(const QString& text);

// The same for the bytes of a file.
Interpretation interpretMir(const QByteArray& fileBytes);

} // namespace mir
