#include "documentmirs.h"

#include "sectionlayout.h"

#include <span>

namespace documentmirs {

namespace {

using mir::documents::Field;
namespace layout = mir::documents::layout;

std::span<const Field> tableOf(const QString& section) {
    if (section == QLatin1String("A02"))
        return layout::kPassenger;
    if (section == QLatin1String("A07"))
        return layout::kFare;
    if (section == QLatin1String("A10"))
        return layout::kExchange;
    if (section == QLatin1String("A11"))
        return layout::kPayment;
    if (section == QLatin1String("A23"))
        return layout::kRefund;
    if (section == QLatin1String("A29"))
        return layout::kEmd;
    if (section == QLatin1String("A30"))
        return layout::kEmdCoupon;
    return layout::kHeader;
}

bool isAmount(const QString& label) {
    return label.endsWith(QLatin1String("TTA")) || label.endsWith(QLatin1String("TBF")) ||
           label.endsWith(QLatin1String("AMT")) || label.endsWith(QLatin1String("TLA"));
}

void put(QString& text, const Field& field, const QString& value) {
    const QString placed = isAmount(QLatin1String(field.label))
                               ? value.rightJustified(field.width, QLatin1Char(' '), true)
                               : value.leftJustified(field.width, QLatin1Char(' '), true);
    const qsizetype end = field.first - 1 + field.width;
    if (text.size() < end)
        text = text.leftJustified(end, QLatin1Char(' '));
    text.replace(field.first - 1, field.width, placed);
}

const Field* find(std::span<const Field> table, const QString& label) {
    for (const Field& field : table) {
        if (label == QLatin1String(field.label))
            return &field;
    }
    if (label == QLatin1String(layout::kTicketingCommand.label))
        return &layout::kTicketingCommand;
    qFatal("no field %s", qPrintable(label));
}

} // namespace

QString line(const char* section, const Values& values) {
    QString text = QString::fromLatin1(section);
    const std::span<const Field> table = tableOf(text);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        put(text, *find(table, it.key()), it.value());
    return text;
}

QString fareLine(const Values& values, const QList<QPair<QString, QString>>& taxes) {
    QString text = line("A07", values).leftJustified(50, QLatin1Char(' '));
    int box = 0;
    for (const auto& [amount, code] : taxes) {
        text += QStringLiteral("T%1:").arg(++box) +
                amount.rightJustified(layout::kTaxAmountWidth, QLatin1Char(' ')) +
                code.leftJustified(layout::kTaxCodeWidth, QLatin1Char(' '));
    }
    return text;
}

QByteArray mirFile(const Values& header, const QStringList& lines) {
    QString head = QStringLiteral("T5");
    for (auto it = header.cbegin(); it != header.cend(); ++it)
        put(head, *find(layout::kHeader, it.key()), it.value());
    head = head.leftJustified(343, QLatin1Char(' ')).left(343);
    for (const int column : {81, 145, 242, 294, 343})
        head[column - 1] = QLatin1Char('\r');
    QString text = head + QLatin1Char('\r');
    for (const QString& section : lines)
        text += section + QLatin1Char('\r');
    text += QStringLiteral("\f\r");
    text.replace(10, 5, QString::number(text.size() - 1).rightJustified(5, QLatin1Char('0')));
    return text.toLatin1();
}

Values header(const QString& recordLocator, const QString& indicator) {
    return {{QStringLiteral("T50SEQ"), QStringLiteral("00001")},
            {QStringLiteral("T50CRE"), QStringLiteral("07DEC26")},
            {QStringLiteral("T50ISC"), QStringLiteral("CI")},
            {QStringLiteral("T50ISA"), QStringLiteral("297")},
            {QStringLiteral("T50BPC"), QStringLiteral("K4TR")},
            {QStringLiteral("T50TPC"), QStringLiteral("K4TR")},
            {QStringLiteral("T50IAT"), QStringLiteral("34212345")},
            {QStringLiteral("T50RCL"), recordLocator},
            {QStringLiteral("T50CUR"), QStringLiteral("TWD")},
            {QStringLiteral("T50IN12"), indicator}};
}

QString passenger(const QString& name, const QString& serial, int books, const QString& fareItem,
                  const QString& exchangeItem) {
    return line("A02", {{QStringLiteral("A02NME"), name},
                        {QStringLiteral("A02TKT"), serial},
                        {QStringLiteral("A02NBK"),
                         QStringLiteral("%1").arg(books, 2, 10, QLatin1Char('0'))},
                        {QStringLiteral("A02FIN"), fareItem},
                        {QStringLiteral("A02EIN"), exchangeItem}});
}

} // namespace documentmirs
