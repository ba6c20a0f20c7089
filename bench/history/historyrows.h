#pragma once

#include <QString>

class GatewayHome;

// How much history to make: a large agency's year, by default.
struct HistoryShape {
    int years = 1;
    int versionsPerYear = 470000;    // besides the placeholder locator's
    int placeholderVersions = 30000; // ZZZZZZ's, whatever the years
    int errorRowsPerYear = 100500;
};

// What the measurements ask the history about.
struct HistorySample {
    QString day;            // the newest day of the history, YYYY-MM-DD
    QString documentNumber; // a document from the middle of the history
    QString counts;         // the rows made, for the report
    QString error;          // why no history was made
};

// Stores seed bookings with a real `kesto run --once` in the gateway's SQLite
// database, then copies their rows under new record locators and serials
// (and, for the documents, new digests and numbers), each copy dated a day of
// its own, until the database holds the history `shape` asks for. The days
// end yesterday, so that today's figures start empty.
HistorySample makeHistory(const GatewayHome& gateway, const HistoryShape& shape);
