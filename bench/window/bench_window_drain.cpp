// bench_window_drain [FILES]: the desktop window while its cycle drains a
// backlog of FILES (default 2000) ticketed files with the real settle time,
// on durable SQLite: the drain rate, the longest the window's event loop
// went without turning (a 10 ms timer's largest gap), and whether List1
// holds every line the cycle sent since it was last cleared. Run it with
// QT_QPA_PLATFORM=offscreen, or under a display.
#include "cyclefixture.h"
#include "mirmain.h"
#include "mirmaincontrols.h"
#include "runcommand.h"
#include "windowsettings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 2000;
    TestHome home(TestHome::Korva::Registered);
    TestDatabase db(TestEngine::Sqlite, home.folder(QStringLiteral("data")),
                    TestDatabase::Content::Schema);
    const GatewaySettings settings = prepareCycleSettings(home, db);
    // Each booking under a record locator of its own, as a real backlog's.
    const QByteArray booking = sampleMir(QStringLiteral("ticketed-lf.mir"));
    for (int i = 0; i < files; ++i) {
        const QByteArray locator = "W" + QByteArray::number(i + 10000);
        writeFileBytes(settings.MirDownPath + QStringLiteral("W%1.MIR").arg(i, 6, 10, QChar('0')),
                       QByteArray(booking).replace(QByteArray("TPEK4T"), locator));
    }

    MirMain window;
    useSettings(window, settings);
    const MirMainControls& c = window.controls();
    window.show();
    RunCommand command(window);
    command.setTiming(1.0, 3000, 30000, std::chrono::milliseconds(30000));

    QElapsedTimer clock;
    qint64 lastTick = 0, longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
        if (filesIn(dateFolderOf(settings)).size() < files)
            return;
        ticker.stop();
        app.quit();
    });
    c.RunCmd->click();
    clock.start();
    ticker.start(10);
    app.exec();
    const double seconds = clock.elapsed() / 1000.0;
    QTimer::singleShot(500, &app, &QApplication::quit); // the last queued lines
    app.exec();
    c.StopCmd->click();

    // The list is cleared as the 13th file after a clear begins, so it
    // should hold one line for each file from the last clear on (files are
    // taken in the folder's own order, so only their number is known).
    const int lastClear = files >= 13 ? 13 + 13 * ((files - 13) / 13) : 1;
    QStringList sinceClear;
    for (int i = 0; i < c.List1->count(); ++i)
        sinceClear.append(c.List1->item(i)->text());
    static const QRegularExpression fileLine(QStringLiteral("^W\\d{6}\\.MIR:"));
    bool whole = sinceClear.size() == files - lastClear + 1 &&
                 QSet<QString>(sinceClear.cbegin(), sinceClear.cend()).size() == sinceClear.size();
    for (const QString& line : std::as_const(sinceClear))
        whole = whole && fileLine.match(line).hasMatch();
    std::printf("%d files drained by the window's cycle in %.2f s (%.0f files/s, one 1 s settle)\n"
                "longest the window's event loop did not turn: %lld ms\n"
                "List1 at the end: %lld lines, the last \"%s\" (%s)\n",
                files, seconds, files / seconds, longestGap, qlonglong(sinceClear.size()),
                qPrintable(sinceClear.value(sinceClear.size() - 1)),
                whole ? "one per file since its last clear" : "NOT as sent");
    return 0;
}
