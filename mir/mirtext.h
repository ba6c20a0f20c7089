#pragma once

#include <QByteArray>
#include <QString>

namespace mir {

// The text that the interpreter works on: the file's bytes read as Latin-1
// (every byte becomes the character of the same code, none is lost), split
// into lines at CR LF, LF or a lone CR, and every line followed by exactly one
// CR, the last line included. A CR inside a line cannot exist, so the CRs that
// a GDS puts inside the header come back as CRs at the same places.
QString mirTextFromBytes(const QByteArray& fileBytes);

struct MirFileText {
    bool ok = false;
    QString text;      // when ok
    QString errorText; // when not ok: why the file could not be read
};

// Reads a whole file into the interpreter's text form.
MirFileText readMirText(const QString& path);

} // namespace mir
