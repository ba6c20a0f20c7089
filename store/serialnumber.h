#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

// Serial numbers are three characters that sort in text order. "001" to
// "999" come first; after "999" they go on with a capital letter in front
// and two characters in the order digits then capital letters: "A00",
// "A01" ... "A09", "A0A" ... "A0Z", "A10" ... "AZZ", "B00" ... "ZZZ", another
// 33,696 versions. A stored serial of neither form counts by the number it
// begins with (leading blanks skipped, 0 when it begins with none).

// The place of a stored serial in that order: "001" is 1, "999" 999, "A00"
// 1000, "ZZZ" kLastSerial.
int serialValue(const QString& stored);
inline constexpr int kLastSerial = 999 + 26 * 36 * 36;
// The serial at a place from 0 to kLastSerial: 7 is "007", 1000 "A00".
QString serialText(int place);

// The serial that follows the highest stored one: "001" -> "002", "099" ->
// "100", "999" -> "A00", "A0Z" -> "A10", "ABC" -> "ABD". Nothing when
// "ZZZ" is used.
std::optional<QString> nextSerialNumber(const QString& highestStored);

// The read of a record locator's last stored serial in text order, with
// the locator as its one value. GET_XSER_NO reads it inside the version's
// transaction; on a server it may travel ahead with the ledger's look-up.
QString lastSerialSelect();
// The serial a new version of the record locator takes, given what that read
// found ("" for none). Throws StoreError (kOverflow when all are used).
QString serialAfter(const QString& recordLocator, const QString& lastInText);

// A record locator that has used more than 90 % of its serials: from its
// serial kCrowdedSerial ("XBM") on. An index of the schema keeps only those
// versions, so finding them stays cheap however many versions are stored.
inline constexpr int kCrowdedSerial = kLastSerial * 9 / 10 + 1;
struct CrowdedLocator {
    QString recordLocator;
    int used = 0; // its highest serial's place in the order
};
// Every such record locator, with the serials it used. Throws StoreError.
QList<CrowdedLocator> crowdedLocators(QSqlDatabase& db);

// Whether a version of the record locator holds the serial (after a failed
// insert: whether another gateway took it first, whatever words the
// database used to say so). Throws StoreError.
bool serialTaken(const QString& recordLocator, const QString& serial);
