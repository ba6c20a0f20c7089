// The XML transmission: the envelope, the answer judgement, and the POST
// against a real endpoint on loopback.
#include "answerjudgement.h"
#include "bookingxml.h"
#include "httppost.h"
#include "logstamp.h"
#include "testendpoint.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class TestXmlPost : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void envelope();
    void documentLoads_data();
    void documentLoads();
    void judgement_data();
    void judgement();
    void postRequest();
    void postFailures_data();
    void postFailures();
    void abortEndsPost();
};

void TestXmlPost::envelope() {
    FileContext context;
    context.RecordLocator = QStringLiteral("TPEK4T");
    context.Kind = QStringLiteral("T");
    context.AmamdXml = QStringLiteral("<AMAMD><RECLOC>TPEK4T</RECLOC>");
    context.AmamddXml = QStringLiteral("<AMAMDD/>");
    context.AmheadXml = QStringLiteral("<AMHEAD/>");
    context.AmtktXml = QStringLiteral("<AMTKT/>");
    context.AmpaxXml = QStringLiteral("<AMPAX/>");
    QCOMPARE(bookingXmlText(context, QStringLiteral("host.example")),
             QStringLiteral("<PNR><DNS>host.example</DNS><RECLOC>TPEK4T</RECLOC>"
                            "<AMAMD><RECLOC>TPEK4T</RECLOC><KIND>T</KIND></AMAMD>"
                            "<AMAMDD/><AMHEAD/><AMTKT/><AMPAX/></PNR>"));
    QCOMPARE(bookingPostUrl(QStringLiteral("10.1.2.3")),
             QStringLiteral("http://10.1.2.3:8000/B/N_writePNRXML.asp"));

    // Markup in the envelope's own values keeps the document loadable.
    context.RecordLocator = QStringLiteral("A&<B");
    const QString text = bookingXmlText(context, QStringLiteral("h&h"));
    QVERIFY(text.startsWith(QStringLiteral("<PNR><DNS>h&amp;h</DNS><RECLOC>A&amp;&lt;B</RECLOC>")));
    QVERIFY(bookingXmlLoads(text, nullptr));
}

void TestXmlPost::documentLoads_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("loads");
    QTest::newRow("well-formed") << QStringLiteral("<PNR><DNS>a</DNS><KIND></KIND></PNR>") << true;
    QTest::newRow("bare ampersand") << QStringLiteral("<PNR><DNS>A&B</DNS></PNR>") << false;
    QTest::newRow("bare less-than") << QStringLiteral("<PNR><DNS>a<b</DNS></PNR>") << false;
    QTest::newRow("unclosed") << QStringLiteral("<PNR><AMAMD></PNR>") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestXmlPost::documentLoads() {
    QFETCH(QString, text);
    QFETCH(bool, loads);
    QString why;
    QCOMPARE(bookingXmlLoads(text, &why), loads);
    QCOMPARE(why.isEmpty(), loads);
}

void TestXmlPost::judgement_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("linePrefix");
    QTest::addColumn<bool>("answerInLine");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("errorText");
    const QString longTail(300, QLatin1Char('x'));
    QTest::newRow("error with message")
        << QStringLiteral("<ERROR>:bad seat") << "Xml Error:" << true << 9000
        << QStringLiteral("bad seat");
    QTest::newRow("error marker alone")
        << QStringLiteral("<ERROR>") << "Xml Error:" << true << 9000 << QString();
    QTest::newRow("error message cut at 255") << (QStringLiteral("<ERROR>:") + longTail)
                                              << "Xml Error:" << true << 9000 << longTail.left(255);
    QTest::newRow("recloc") << QStringLiteral("RECLOC=TPEK4T") << "Xml OK:" << false << 0
                            << QString();
    QTest::newRow("recloc lower case")
        << QStringLiteral("recloc=TPEK4T") << "Xml Unknown Error:" << false << 9999
        << QStringLiteral("recloc=TPEK4T");
    QTest::newRow("empty answer") << QString() << "Xml Unknown Error:" << false << 9999
                                  << QString();
    QTest::newRow("unknown cut at 255")
        << longTail << "Xml Unknown Error:" << false << 9999 << longTail.left(255);
}

void TestXmlPost::judgement() {
    QFETCH(QString, answer);
    QFETCH(QString, linePrefix);
    QFETCH(bool, answerInLine);
    QFETCH(int, code);
    QFETCH(QString, errorText);
    const QDateTime when(QDate(2027, 3, 1), QTime(9, 5, 7));
    const AnswerJudgement judgement = judgeXmlAnswer(answer, QStringLiteral("A.MIR"), when);
    QString expected = linePrefix + QStringLiteral("A.MIR:") + logStampText(when);
    if (answerInLine)
        expected += QLatin1Char('-') + answer;
    QCOMPARE(judgement.listLine, expected + QStringLiteral("\r\n"));
    QCOMPARE(judgement.errorCode, code);
    QCOMPARE(judgement.errorText, errorText);
}

void TestXmlPost::postRequest() {
    TestEndpoint endpoint(QStringLiteral("127.0.0.21"));
    QVERIFY(endpoint.isListening());
    endpoint.setAnswer("RECLOC TPEK4T");
    XmlHttpPost http(5000);
    const QByteArray body = "<PNR><DNS>127.0.0.21</DNS><NAME>LIN\xc3\xa9</NAME></PNR>";
    const HttpPostResult result = http.post(bookingPostUrl(QStringLiteral("127.0.0.21")), body);
    QVERIFY2(result.answered, qPrintable(result.failure));
    QCOMPARE(result.answer, QStringLiteral("RECLOC TPEK4T"));
    const auto requests = endpoint.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].method, QByteArray("POST"));
    QCOMPARE(requests[0].path, QByteArray("/B/N_writePNRXML.asp"));
    QCOMPARE(requests[0].contentType, QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(requests[0].body, body);

    // An answer in the code page its header names is read in that code page.
    endpoint.setContentType("text/plain; charset=Big5");
    endpoint.setAnswer("<ERROR>:\xae\x79\xa6\xec");
    const HttpPostResult big5 = http.post(bookingPostUrl(QStringLiteral("127.0.0.21")), body);
    QCOMPARE(big5.answer, QStringLiteral("<ERROR>:座位"));
}

void TestXmlPost::postFailures_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("endpoint"); // 0 none, 1 silent, 2 trickling
    QTest::newRow("empty host") << QString() << 0;
    QTest::newRow("refused") << QStringLiteral("127.0.0.22") << 0;
    QTest::newRow("endpoint never answers") << QStringLiteral("127.0.0.23") << 1;
    QTest::newRow("endpoint trickles for ever") << QStringLiteral("127.0.0.25") << 2;
}

void TestXmlPost::postFailures() {
    QFETCH(QString, host);
    QFETCH(int, endpoint);
    std::unique_ptr<TestEndpoint> server;
    if (endpoint != 0) {
        server = std::make_unique<TestEndpoint>(host);
        QVERIFY(server->isListening());
        if (endpoint == 1)
            server->setSilent();
        else
            server->setTrickle();
    }
    XmlHttpPost http(400);
    QElapsedTimer timer;
    timer.start();
    const HttpPostResult result = http.post(bookingPostUrl(host), "<PNR/>");
    QVERIFY(!result.answered);
    QVERIFY(!result.failure.isEmpty());
    QVERIFY2(timer.elapsed() < 5000, "the time-out must end the exchange");
}

void TestXmlPost::abortEndsPost() {
    TestEndpoint endpoint(QStringLiteral("127.0.0.24"));
    QVERIFY(endpoint.isListening());
    endpoint.setSilent();
    std::atomic<bool> abort{false};
    XmlHttpPost http(60000, [&abort] { return abort.load(); });
    QTimer::singleShot(200, [&abort] { abort = true; });
    QElapsedTimer timer;
    timer.start();
    const HttpPostResult result = http.post(bookingPostUrl(QStringLiteral("127.0.0.24")), "<PNR/>");
    QVERIFY(!result.answered);
    QVERIFY(timer.elapsed() < 5000);
}

QTEST_GUILESS_MAIN(TestXmlPost)
#include "test_xmlpost.moc"
