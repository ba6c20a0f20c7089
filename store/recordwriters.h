#pragma once

#include "filecontext.h"
#include "gatewaysettings.h"
#include "korvaclient.h"

#include <QString>

// The serial number and the three table writers that store one version of a
// booking. They trap nothing: a failure (StoreError from the database or a
// date conversion, korva::Error from the booking tree) goes to the caller.
// Each writer makes its rows of a table before it saves them together, so a
// failure while making them saves none of that table's; tables saved before
// stay unless the caller's transaction rolls back. All of them write on the
// calling thread's connection for ConnectionString().

// Whether the passenger has a ticket issued through the GDS: TKT_NO without
// its leading and trailing blanks is not empty. It decides the TTP case.
bool hasTicketNumber(const korva::Pax& pax);

// The next serial number for a record locator: "001" when none is stored, else
// the one after the highest SER_NO of AMAMD (serialnumber.h). Throws
// StoreError when "ZZZ" is used.
QString GET_XSER_NO(const QString& recordLocator);

// AMAMD, AMAMDD and AMHEAD rows, and the AmamdXml, AmamddXml, AmheadXml fragments.
void UP_Header(bool ttp, const QString& recordLocator, const QString& serialNumber,
               const korva::Pnr& pnr, FileContext& context, const GatewaySettings& settings);

// AMTKT rows in ITN_IDX order with their arrival dates, and the AmtktXml fragment.
void UP_Segment(bool ttp, const QString& recordLocator, const QString& serialNumber,
                const korva::Pnr& pnr, FileContext& context, const GatewaySettings& settings);

// AMPAX and AMPNR rows, the AmpaxXml fragment, and Kind extended.
void upPax(bool ttp, const QString& recordLocator, const QString& serialNumber,
           const korva::Pnr& pnr, FileContext& context, const GatewaySettings& settings);
