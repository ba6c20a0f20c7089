// kesto parse FILE...: the interpreter's verdict and booking tree for each
// file, one JSON object per line, keys in a fixed order.

#include "commands.h"

#include "interpreter.h"
#include "mirtext.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <span>
#include <string_view>

namespace {

using PropertyNames = std::span<const std::string_view>;

constexpr std::string_view kPnrProperties[] = {"RLOC_CD",  "SEQ_NO",  "CRAT_DM", "NUM_CDE",
                                               "CARR_CD",  "TRVL_DT", "COMM_RT", "BASE_AM",
                                               "TKT_NETB", "TAX_AMB"};
constexpr std::string_view kPaxProperties[] = {
    "PAX_NM",  "TKT_NO",  "TKT_CJ",  "TKT_AMS", "TKT_NET", "TKT_TAX", "TKT_NO1", "TKT_CJ1",
    "TKT_NO2", "TKT_CJ2", "TKT_NO3", "TKT_CJ3", "TKT_NO4", "TKT_CJ4", "TKT_NO5", "TKT_CJ5"};
constexpr std::string_view kItnProperties[] = {"ITN_IDX", "CARR_CD", "FLT_NO",  "TKT_CLS",
                                               "TKT_ST",  "DEP_DT",  "DEP_TM",  "ARR_TM",
                                               "NXDT_FG", "ORIG_CT", "DEST_CT", "STOP_OV"};
constexpr std::string_view kCrlProperties[] = {"CARR_CD", "RLOC_CD"};

QByteArray jsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char byte : text.toUtf8()) {
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<uchar>(byte) < 0x20)
                out +=
                    "\\u" + QByteArray::number(static_cast<uchar>(byte), 16).rightJustified(4, '0');
            else
                out += byte;
        }
    }
    return out + '"';
}

QByteArray jsonKey(std::string_view name) {
    return '"' + QByteArray(name.data(), qsizetype(name.size())) + "\":";
}

// The text properties of one object, by name, in the given order.
template <class Object> QByteArray propertiesJson(const Object& object, PropertyNames names) {
    QByteArray out;
    for (const std::string_view name : names) {
        if (!out.isEmpty())
            out += ',';
        out += jsonKey(name) + jsonString(object.get(name));
    }
    return out;
}

// The members of a collection as an array, in the order of their keys 1 to Count.
template <class Member>
QByteArray collectionJson(const korva::Collection<Member>& collection, PropertyNames names) {
    QByteArray out = "[";
    const int count = collection.count();
    for (int key = 1; key <= count; ++key) {
        if (key > 1)
            out += ',';
        out += '{' + propertiesJson(collection.item(key), names) + '}';
    }
    return out + ']';
}

QByteArray pnrJson(const korva::Pnr& pnr) {
    return '{' + propertiesJson(pnr, kPnrProperties) + ',' + jsonKey("PAXS") +
           collectionJson(pnr.paxs(), kPaxProperties) + ',' + jsonKey("ITNS") +
           collectionJson(pnr.itns(), kItnProperties) + ',' + jsonKey("CRLS") +
           collectionJson(pnr.crls(), kCrlProperties) + '}';
}

const char* verdictName(mir::Verdict verdict) {
    switch (verdict) {
    case mir::Verdict::NotMir:
        return "not-mir";
    case mir::Verdict::Incomplete:
        return "incomplete";
    case mir::Verdict::Interpreted:
        return "interpreted";
    }
    return "";
}

QByteArray interpretationJson(const QString& file, const mir::Interpretation& result) {
    QByteArray out = '{' + jsonKey("file") + jsonString(file) + ',' + jsonKey("verdict") + '"' +
                     verdictName(result.verdict) + '"';
    if (result.verdict == mir::Verdict::Interpreted) {
        out += ',' + jsonKey("cpnid") + jsonString(result.Cpnid) + ',' + jsonKey("cpnid2Source") +
               jsonString(result.Cpnid2Source) + ',' + jsonKey("pnr") + pnrJson(*result.pnr);
    }
    return out + "}\n";
}

void printError(const QString& file, const QString& message) {
    std::fprintf(stderr, "kesto parse: %s: %s\n", qUtf8Printable(file), qUtf8Printable(message));
}

} // namespace

int runParseCommand(const QStringList& args) {
    if (args.isEmpty()) {
        std::fputs("Usage: kesto parse FILE...\n", stderr);
        return 2;
    }
    int status = 0;
    for (const QString& file : args) {
        const mir::MirFileText read = mir::readMirText(file);
        if (!read.ok) {
            printError(file, read.errorText);
            status = 1;
            continue;
        }
        try {
            const QByteArray line = interpretationJson(file, mir::interpretMirText(read.text));
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        } catch (const korva::Error& error) {
            printError(file, QStringLiteral("cannot build the booking tree: ") +
                                 QString::fromUtf8(error.what()));
            status = 1;
        }
    }
    std::fflush(stdout);
    return status;
}
