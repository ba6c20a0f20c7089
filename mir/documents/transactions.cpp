#include "transactions.h"

namespace mir::documents {

Transaction transactionOf(QStringView indicator) {
    if (indicator.isEmpty() || indicator == u" " || indicator == u"N")
        return Transaction::Issue;
    switch (indicator[0].unicode()) {
    case 'V':
        return Transaction::Void;
    case 'R':
        return Transaction::Refund;
    case 'C':
        return Transaction::RefundCancel;
    case 'E':
        return Transaction::EmdIssue;
    case 'D':
        return Transaction::EmdVoid;
    case 'F':
        return Transaction::EmdRefund;
    case 'X':
        return Transaction::EmdExchange;
    default:
        return Transaction::Other;
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

bool isEmdTransaction(Transaction transaction) {
    return transaction == Transaction::EmdIssue || transaction == Transaction::EmdVoid ||
           transaction == Transaction::EmdRefund || transaction == Transaction::EmdExchange;
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
    case Transaction::Void:
        return QStringLiteral("void");
    case Transaction::Refund:
        return QStringLiteral("refund");
    case Transaction::RefundCancel:
        return QStringLiteral("refund-cancel");
    case Transaction::EmdIssue:
        return QStringLiteral("emd-issue");
    case Transaction::EmdVoid:
        return QStringLiteral("emd-void");
    case Transaction::EmdRefund:
        return QStringLiteral("emd-refund");
    case Transaction::EmdExchange:
        return QStringLiteral("emd-exchange");
    case Transaction::Other:
        break;
    }
    return QStringLiteral("other");
}

} // namespace mir::documents
