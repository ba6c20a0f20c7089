#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QNetworkAccessManager;

// The outcome of one exchange: the HTTP status and answer text when one came
// back, otherwise why not (no connection, refused, timed out, aborted).
struct HttpPostResult {
    bool answered = false;
    int status = 0; // the HTTP status of an answer
    QString answer;
    QString failure;
    bool aborted = false; // cut short by the abort check
};

// A synchronous POST with the endpoint's fixed header. Waits in a local event
// loop on the calling thread, which must be the thread that created the
// object; the wait ends on the answer, after the time-out, or soon after the
// abort check returns true. One object serves every post of a run.
class XmlHttpPost {
public:
    explicit XmlHttpPost(int timeoutMs = 30000, std::function<bool()> abortRequested = {});
    ~XmlHttpPost();
    XmlHttpPost(const XmlHttpPost&) = delete;
    XmlHttpPost& operator=(const XmlHttpPost&) = delete;

    HttpPostResult post(const QString& url, const QByteArray& body);

private:
    std::unique_ptr<QNetworkAccessManager> m_network;
    int m_timeoutMs;
    std::function<bool()> m_abortRequested;
};

// "http://" + XML_DNS + ":8000/B/N_writePNRXML.asp"
QString bookingPostUrl(const QString& xmlDns);
