// The client layer the gateway uses: value objects over KORVA, calls by
// interface position and by name, and the message when KORVA is missing.

#include "korvaclient.h"
#include "testhome.h"

#include <QTest>

class TestKorvaClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void propertiesRoundTrip_data();
    void propertiesRoundTrip();
    void collectionsKeepKeys();
    void duplicateAddThrows();
    void unknownPropertyThrows();
    void copiesShareOneObject();
    void unregisteredLibraryIsNamed();
    void unloadableLibraryIsNamed();
};

void TestKorvaClient::propertiesRoundTrip_data() {
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("name");
    // Members the gateway calls by position, and some it calls by name.
    for (const char* name : {"RLOC_CD", "COMM_RT", "BASE_AM", "TAX_AMB"})
        QTest::addRow("PNR %s", name) << "PNR" << name;
    for (const char* name : {"TKT_AMS", "TKT_TAX", "TKT_NO5", "PAX_NM", "TKT_CJ5"})
        QTest::addRow("PAX %s", name) << "PAX" << name;
    for (const char* name : {"CARR_CD", "RLOC_CD"})
        QTest::addRow("CRL %s", name) << "CRL" << name;
    for (const char* name : {"ITN_IDX", "STOP_OV"})
        QTest::addRow("ITN %s", name) << "ITN" << name;
}

void TestKorvaClient::propertiesRoundTrip() {
    TestHome home(TestHome::Korva::Registered);
    QFETCH(QString, object);
    QFETCH(QString, name);
    const std::string member = name.toStdString();
    const QString value = QString::fromUtf8(" 陳 ") + name;
    QString empty, back;
    if (object == "PNR") {
        auto o = korva::Pnr::create();
        empty = o.get(member);
        o.set(member, value);
        back = o.get(member);
    } else if (object == "PAX") {
        auto o = korva::Pax::create();
        empty = o.get(member);
        o.set(member, value);
        back = o.get(member);
    } else if (object == "CRL") {
        auto o = korva::Crl::create();
        empty = o.get(member);
        o.set(member, value);
        back = o.get(member);
    } else {
        auto o = korva::Itn::create();
        empty = o.get(member);
        o.set(member, value);
        back = o.get(member);
    }
    QVERIFY(empty.isEmpty());
    QCOMPARE(back, value);
}

void TestKorvaClient::collectionsKeepKeys() {
    TestHome home(TestHome::Korva::Registered);
    auto pnr = korva::Pnr::create();
    auto paxs = pnr.paxs();
    auto itns = pnr.itns();
    auto crls = pnr.crls();
    for (qint16 zcnt = 1; zcnt <= 3; ++zcnt) {
        auto pax = korva::Pax::create();
        pax.set("PAX_NM", QStringLiteral("P%1").arg(zcnt));
        paxs.add(pax, zcnt);
        auto itn = korva::Itn::create();
        itn.set("ITN_IDX", QStringLiteral("I%1").arg(zcnt));
        itns.add(itn, zcnt);
        auto crl = korva::Crl::create();
        crl.set("RLOC_CD", QStringLiteral("C%1").arg(zcnt));
        crls.add(crl, qint16(4 - zcnt)); // keys 3, 2, 1
    }
    QCOMPARE(paxs.count(), 3);
    QCOMPARE(itns.count(), 3);
    QCOMPARE(crls.count(), 3);
    QCOMPARE(paxs.item(2).get("PAX_NM"), "P2");
    QCOMPARE(itns.item(3).get("ITN_IDX"), "I3");
    QCOMPARE(crls.item(1).get("RLOC_CD"), "C3");
    QVERIFY(!paxs.find(4).has_value());
    QVERIFY(!crls.find(0).has_value());
    QCOMPARE(itns.find(1)->get("ITN_IDX"), "I1");
    try {
        paxs.item(9);
        QFAIL("an absent key must throw");
    } catch (const korva::Error& e) {
        QCOMPARE(e.code(), korva::kInvalidArgument);
        QCOMPARE(QString::fromUtf8(e.what()), "Invalid procedure call or argument");
    }
    // A collection read again from the PNR is the same one.
    QVERIFY(pnr.paxs().ref().isSameObject(paxs.ref()));
}

void TestKorvaClient::duplicateAddThrows() {
    TestHome home(TestHome::Korva::Registered);
    auto pnr = korva::Pnr::create();
    for (int which = 0; which < 2; ++which) { // CRLS by position, ITNS by name
        try {
            if (which == 0) {
                pnr.crls().add(korva::Crl::create(), 1);
                pnr.crls().add(korva::Crl::create(), 1);
            } else {
                pnr.itns().add(korva::Itn::create(), 1);
                pnr.itns().add(korva::Itn::create(), 1);
            }
            QFAIL("a duplicate key must throw");
        } catch (const korva::Error& e) {
            QCOMPARE(e.code(), korva::kDuplicateKey);
            QVERIFY(QString::fromUtf8(e.what()).contains("already associated"));
        }
    }
    QCOMPARE(pnr.crls().count(), 1);
    QCOMPARE(pnr.itns().count(), 1);
}

void TestKorvaClient::unknownPropertyThrows() {
    TestHome home(TestHome::Korva::Registered);
    auto itn = korva::Itn::create();
    QVERIFY_THROWS_EXCEPTION(korva::Error, itn.get("NO_SUCH"));
    QVERIFY_THROWS_EXCEPTION(korva::Error, itn.set("PAXS", "x"));
}

void TestKorvaClient::copiesShareOneObject() {
    TestHome home(TestHome::Korva::Registered);
    std::optional<korva::Pax> kept;
    {
        auto pnr = korva::Pnr::create();
        auto pax = korva::Pax::create();
        pnr.paxs().add(pax, 1);
        korva::Pax copy = pax;
        copy.set("TKT_NO", "1234567890");
        QCOMPARE(pax.get("TKT_NO"), "1234567890");
        QVERIFY(copy.isSameObject(pnr.paxs().item(1)));
        kept = pnr.paxs().item(1);
    }
    // The member outlives the released tree while held.
    QCOMPARE(kept->get("TKT_NO"), "1234567890");
}

void TestKorvaClient::unregisteredLibraryIsNamed() {
    TestHome home(TestHome::Korva::NotRegistered);
    try {
        korva::Pnr::create();
        QFAIL("activation must fail without registration");
    } catch (const korva::Error& e) {
        const QString message = QString::fromUtf8(e.what());
        QVERIFY2(message.startsWith("the KORVA library is not registered: run kesto-regsvr /"),
                 qPrintable(message));
        QVERIFY(message.endsWith("/libkorva.so"));
        QCOMPARE(e.code(), korva::kNotRegistered);
    }
}

void TestKorvaClient::unloadableLibraryIsNamed() {
    TestHome home(TestHome::Korva::Registered);
    // The registry points at a library that is gone.
    const QString file = home.configHome() + "/KESTO/classregistry.conf";
    QByteArray text = readFileBytes(file);
    text.replace("libkorva.so", "libkorva-moved.so");
    writeFileBytes(file, text);
    try {
        korva::Pax::create();
        QFAIL("activation must fail");
    } catch (const korva::Error& e) {
        const QString message = QString::fromUtf8(e.what());
        QVERIFY2(message.contains("libkorva-moved.so"), qPrintable(message));
        QVERIFY(message.contains("kesto-regsvr"));
    }
}

QTEST_GUILESS_MAIN(TestKorvaClient)
#include "test_korvaclient.moc"
