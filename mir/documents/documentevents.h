#pragma once

// What can happen to a ticketing document in one file, and what kind of
// document it is: the labels the metrics count by, each value once.
namespace mir::documents {

enum class Event { Issue, Void, Refund, RefundCancel, Exchange, Count };

enum class DocumentKind { Ticket, Emd, Count };

} // namespace mir::documents
