#include "httppost.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

namespace {
constexpr int kAbortCheckMs = 50;

// The answer in the character set its Content-Type names (an endpoint may
// answer in a local code page), else UTF-8.
QString decodedAnswer(const QByteArray& answer, const QString& contentType) {
    const qsizetype at = contentType.indexOf(QLatin1String("charset="), 0, Qt::CaseInsensitive);
    if (at >= 0) {
        QString charset = contentType.mid(at + 8).section(QLatin1Char(';'), 0, 0).trimmed();
        charset.remove(QLatin1Char('"'));
        QStringDecoder decoder(charset.toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(answer);
    }
    return QString::fromUtf8(answer);
}
} // namespace

XmlHttpPost::XmlHttpPost(int timeoutMs, std::function<bool()> abortRequested)
    : m_network(std::make_unique<QNetworkAccessManager>()), m_timeoutMs(timeoutMs),
      m_abortRequested(std::move(abortRequested)) {}

XmlHttpPost::~XmlHttpPost() = default;

QString bookingPostUrl(const QString& xmlDns) {
    return QStringLiteral("http://") + xmlDns + QStringLiteral(":8000/B/N_writePNRXML.asp");
}

HttpPostResult XmlHttpPost::post(const QString& url, const QByteArray& body) {
    const QUrl target(url, QUrl::StrictMode);
    if (!target.isValid() || target.host().isEmpty())
        return {false, 0, {}, QStringLiteral("Invalid URL: ") + url, false};

    QNetworkRequest request(target);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    // Each post stands alone: no redirects followed, no cached connection reused
    // after a failure.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);

    QEventLoop loop;
    QNetworkReply* reply = m_network->post(request, body);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The transfer time-out only measures silence; this one bounds the whole
    // exchange, so an endpoint that trickles bytes cannot hold the cycle.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline.start(m_timeoutMs);
    QTimer abortCheck;
    bool aborted = false;
    if (m_abortRequested) {
        QObject::connect(&abortCheck, &QTimer::timeout, &loop, [&] {
            if (m_abortRequested()) {
                aborted = true;
                reply->abort();
            }
        });
        abortCheck.start(kAbortCheckMs);
    }
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    abortCheck.stop();
    deadline.stop();

    HttpPostResult result;
    const QByteArray answer = reply->readAll();
    const QNetworkReply::NetworkError error = reply->error();
    // An HTTP error status still carries the endpoint's answer text; only a
    // failed exchange has none.
    const bool httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (error == QNetworkReply::NoError ||
        (httpStatus && !aborted && error != QNetworkReply::OperationCanceledError)) {
        result.answered = true;
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.answer =
            decodedAnswer(answer, reply->header(QNetworkRequest::ContentTypeHeader).toString());
    } else if (aborted) {
        result.aborted = true;
        result.failure = QStringLiteral("Post aborted by stop request");
    } else if (error == QNetworkReply::OperationCanceledError) {
        result.failure = QStringLiteral("Timed out after %1 ms").arg(m_timeoutMs);
    } else {
        result.failure = reply->errorString();
    }
    delete reply;
    return result;
}
