#include "writerfixture.h"

#include "storeerror.h"
#include "threadconnection.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

template <class Member> void setAll(Member& member, Properties properties) {
    for (const auto& [name, value] : properties)
        member.set(name, value);
}

} // namespace

korva::Pnr makePnr(Properties properties) {
    korva::Pnr pnr = korva::Pnr::create();
    setAll(pnr, properties);
    return pnr;
}

korva::Pax addPax(const korva::Pnr& pnr, Properties properties) {
    korva::Pax pax = korva::Pax::create();
    setAll(pax, properties);
    pnr.paxs().add(pax, static_cast<qint16>(pnr.paxs().count() + 1));
    return pax;
}

korva::Itn addItn(const korva::Pnr& pnr, Properties properties) {
    korva::Itn itn = korva::Itn::create();
    setAll(itn, properties);
    pnr.itns().add(itn, static_cast<qint16>(pnr.itns().count() + 1));
    return itn;
}

korva::Crl addCrl(const korva::Pnr& pnr, Properties properties) {
    korva::Crl crl = korva::Crl::create();
    setAll(crl, properties);
    pnr.crls().add(crl, static_cast<qint16>(pnr.crls().count() + 1));
    return crl;
}

GatewaySettings writerSettings(const TestDatabase& db, const QString& xmlFg, const QString& tMode) {
    GatewaySettings settings = db.settings();
    settings.XML_FG = xmlFg;
    settings.T_MODE = tMode;
    return settings;
}

void execOn(const TestDatabase& db, const QString& sql) {
    try {
        QSqlQuery query(threadConnection(db.connectionText()));
        if (!query.exec(sql))
            QTest::qFail(qPrintable(sql + QStringLiteral(": ") + query.lastError().text()),
                         __FILE__, __LINE__);
    } catch (const StoreError& error) {
        QTest::qFail(qPrintable(error.description()), __FILE__, __LINE__);
    }
}

QTestData& newEngineRow(TestEngine engine, const char* caseName) {
    return QTest::addRow("%s/%s", engineRowName(engine), caseName) << engine;
}
