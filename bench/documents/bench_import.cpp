// bench_import [FILES]: the backfill of archived MIR files into the document
// tables of a fresh PALVA.mdb (SQLite, durable commits), as `kesto documents
// --import` does it: FILES (default 20000) ticketed files of two passengers
// spread over dated backup folders, read twice (the second import finds
// every file recorded). Prints files per second; asserts nothing.
#include "archiveimport.h"
#include "connectiontext.h"
#include "mirfiles.h"
#include "mdbfile.h"
#include "threadconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QByteArray archivedFile(int number) {
    const QString serial = QString::number(1000000000LL + number * 2LL);
    const QString next = QString::number(1000000001LL + number * 2LL);
    const QString total = QStringLiteral("%1.50").arg(1000 + number % 900);
    const mirfiles::Taxes taxes{{u"300.00"_s, u"TW"_s}, {u"25.50"_s, u"YQ"_s}};
    return mirfiles::mirFile(
        mirfiles::header(QStringLiteral("B%1").arg(number % 100000, 5, 10, QLatin1Char('0')),
                         number % 10 == 0 ? u'V' : u'H'),
        {mirfiles::passenger(u"DOE/JOHN MR"_s, serial, 1, u"01"_s),
         mirfiles::passenger(u"DOE/JANE MRS"_s, next, 1, u"02"_s),
         mirfiles::fare(u"01"_s, total, taxes), mirfiles::fare(u"02"_s, total, {taxes.first()}),
         mirfiles::payment(u"CC"_s, total, u"VI"_s, u"4111111111114242"_s)});
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    QTemporaryDir root;
    const QString data = root.path() + u"/data/"_s;
    const QString archive = root.path() + u"/BkMirs/"_s;
    QDir().mkpath(data);
    createMdbFile(data + u"PALVA.mdb"_s);
    for (int i = 0; i < files; ++i) {
        const QString folder = archive + QStringLiteral("2026%1/%2/")
                                             .arg(1 + i / 3000 % 12, 2, 10, QLatin1Char('0'))
                                             .arg(1 + i / 100 % 28, 2, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("F%1.MIR").arg(i));
        file.open(QIODevice::WriteOnly);
        file.write(archivedFile(i));
    }
    const QString text = mdbConnectionText(data);
    for (const char* pass : {"first import", "second import (all recorded)"}) {
        QElapsedTimer timer;
        timer.start();
        const ImportCounts counts = importArchive(text, {archive}, {});
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        std::printf("%s: %d files, %d imported, %d known, in %.2f s: %.0f files/s\n", pass,
                    counts.files, counts.imported, counts.known, seconds, counts.files / seconds);
    }
    closeThreadConnections();
    return 0;
}
