#include "transactions.h"

namespace mir::documents {

Transaction transactionOf(QStringView command, QStringView exchangeIndicator) {
    if (command.size() != 1)
        return Transaction::Unknown;
    switch (command[0].unicode()) {
    case 'H':
        return exchangeIndicator == u"Y" ? Transaction::ExchangeIssue : Transaction::Issue;
    case 'A':
        return Transaction::NonAccounting;
    case 'V':
        return Transaction::Void;
    case 'R':
        return Transaction::Refund;
    case 'C':
        return Transaction::RefundCancel;
    case 'U':
        return Transaction::Unvoid;
    case 'S':
        return Transaction::Spoiled;
    case 'F':
        return Transaction::EmdIssue;
    case 'Z':
        return Transaction::EmdVoid;
    case 'D':
        return Transaction::EmdRefund;
    case 'I':
        return Transaction::EmdExchange;
    case 'X':
    case 'N':
    case 'J':
    case 'B':
    case 'E':
    case 'L':
    case 'G':
        return Transaction::Special;
    default:
        return Transaction::Unknown;
    }
}

DocumentSource documentSourceOf(Transaction transaction) {
    switch (transaction) {
    case Transaction::Issue:
    case Transaction::ExchangeIssue:
    case Transaction::Void:
    case Transaction::EmdVoid:
        return DocumentSource::Passengers;
    case Transaction::Refund:
    case Transaction::RefundCancel:
    case Transaction::EmdRefund:
        return DocumentSource::Refunded;
    case Transaction::EmdIssue:
    case Transaction::EmdExchange:
        return DocumentSource::Emds;
    default:
        return DocumentSource::None;
    }
}

Event eventOf(Transaction transaction) {
    switch (transaction) {
    case Transaction::Void:
    case Transaction::EmdVoid:
        return Event::Void;
    case Transaction::Refund:
    case Transaction::EmdRefund:
        return Event::Refund;
    case Transaction::RefundCancel:
        return Event::RefundCancel;
    default:
        return Event::Issue;
    }
}

DocumentKind kindOf(Transaction transaction) {
    switch (transaction) {
    case Transaction::EmdIssue:
    case Transaction::EmdVoid:
    case Transaction::EmdRefund:
    case Transaction::EmdExchange:
        return DocumentKind::Emd;
    default:
        return DocumentKind::Ticket;
    }
}

QString eventName(Event event) {
    switch (event) {
    case Event::Issue:
        return QStringLiteral("issue");
    case Event::Void:
        return QStringLiteral("void");
    case Event::Refund:
        return QStringLiteral("refund");
    case Event::RefundCancel:
        return QStringLiteral("refund-cancel");
    case Event::Exchange:
    case Event::Count:
        break;
    }
    return QStringLiteral("exchange");
}

QString kindName(DocumentKind kind) {
    return kind == DocumentKind::Emd ? QStringLiteral("emd") : QStringLiteral("ticket");
}

QString transactionName(Transaction transaction) {
    switch (transaction) {
    case Transaction::Issue:
        return QStringLiteral("issue");
    case Transaction::ExchangeIssue:
        return QStringLiteral("exchange-issue");
    case Transaction::McoIssue:
        return QStringLiteral("mco-issue");
    case Transaction::Void:
        return QStringLiteral("void");
    case Transaction::Refund:
        return QStringLiteral("refund");
    case Transaction::RefundCancel:
        return QStringLiteral("refund-cancel");
    case Transaction::Unvoid:
        return QStringLiteral("unvoid");
    case Transaction::Spoiled:
        return QStringLiteral("spoiled");
    case Transaction::EmdIssue:
        return QStringLiteral("emd-issue");
    case Transaction::EmdVoid:
        return QStringLiteral("emd-void");
    case Transaction::EmdRefund:
        return QStringLiteral("emd-refund");
    case Transaction::EmdExchange:
        return QStringLiteral("emd-exchange");
    case Transaction::NonAccounting:
        return QStringLiteral("non-accounting");
    case Transaction::Special:
        return QStringLiteral("special");
    case Transaction::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

} // namespace mir::documents
