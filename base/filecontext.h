#pragma once

#include <QString>

// What the processing cycle knows about the file it is processing, shared with
// the table writers and the XML transmission. One file at a time, on the
// cycle's thread.
struct FileContext {
    QString FileName;      // the directory entry's name, no folder part
    QString RecordLocator; // the booking's RLOC_CD
    QString SerialNumber;  // three characters, from GET_XSER_NO
    QString Kind;          // emptied per file, extended by the passenger writer
    QString Cpnid;         // columns 8-15 of the first "A08" line that gives one
    QString Cpnid2Source;  // header columns 227-241
    QString XmlText;       // the booking XML text last posted

    // XML fragments of the three writers.
    QString AmamdXml;
    QString AmamddXml;
    QString AmheadXml;
    QString AmtktXml;
    QString AmpaxXml;
};
